// SPDX-License-Identifier: MIT
#pragma once

#include <string>
#include <string_view>

#include "write/archive_groups.h"
#include "write/byte_sink.h"

namespace quillbox {

// "&", "<", ">" and '"' as entities; nothing else changes. Safe in text and in a quoted
// attribute alike.
void AppendEscapedHtml(std::string& out, std::string_view text);

// The modern archive: one self-contained HTML5 page with the same groups and entries as the
// classic page, a contents list, and a search box that filters the entries as one types (and
// takes a search from the page's address, "page.html?q=word"). It loads nothing from outside;
// without JavaScript every entry shows and the box stays hidden. charset is the page's label.
void WriteModernPage(ByteSink& out, const MessageStore& messages, ContactBook& book,
                     const ArchiveLayout& layout, std::string_view charset);

}  // namespace quillbox
