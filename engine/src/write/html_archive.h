// SPDX-License-Identifier: MIT
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "order/contact_book.h"
#include "order/message_store.h"
#include "write/archive_groups.h"
#include "write/byte_sink.h"

namespace quillbox {

// One character of text for a page: "&", "<" and ">" as entities, and '"' too where the text
// may stand in an attribute (the modern page); every other byte as it is.
inline void AppendEscapedChar(std::string& out, char c, bool inAttribute = false) {
    switch (c) {
        case '&':
            out.append("&amp;");
            break;
        case '<':
            out.append("&lt;");
            break;
        case '>':
            out.append("&gt;");
            break;
        case '"':
            if (inAttribute) {
                out.append("&quot;");
                break;
            }
            out.push_back(c);
            break;
        default:
            out.push_back(c);
    }
}

// Appends the body escaped, with every CR LF pair, then every remaining LF, as "<br/>"; a CR on
// its own stays.
void AppendBodyHtml(std::string& out, std::string_view body);

// The classic HTML archive: one HTML 4.01 page without line breaks of its own, labelled with
// charset: the classic page's "gb2312", or that of the archive's encoding.
void WriteHtmlArchive(ByteSink& out, const MessageStore& messages, ContactBook& book,
                      const ArchiveLayout& layout, std::string_view charset);

}  // namespace quillbox
