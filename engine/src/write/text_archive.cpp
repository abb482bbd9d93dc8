// SPDX-License-Identifier: MIT
#include "write/text_archive.h"

#include "write/archive_groups.h"

namespace quillbox {

namespace {
constexpr std::string_view kHeadingOpen = "\r\n>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>";
constexpr std::string_view kHeadingClose = "<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<\r\n";
}  // namespace

void AppendWithCrLf(std::string& out, std::string_view text) {
    for (const char c : text) {
        if (c == '\n' && (out.empty() || out.back() != '\r')) {
            out.push_back('\r');
        }
        out.push_back(c);
    }
}

namespace {

void WriteText(ByteSink& out, const MessageStore& messages, ContactBook& book, SortOrder order) {
    std::string block;
    WalkGroups(
        messages, book, order,
        [&](std::string_view heading) {
            block.assign(kHeadingOpen);
            AppendWithCrLf(block, heading);
            block.append(kHeadingClose);
            out.Write(block);
        },
        [&](const MessageStore::Message& record, std::string_view displayName) {
            block.assign(record.Sent() ? WordsFor(messages.Form()).sent : std::string_view());
            AppendWithCrLf(block, displayName);
            block.append(" <");
            AppendWithCrLf(block, record.Sender());
            block.append(">     ");
            AppendWithCrLf(block, record.DateText());
            block.append(" : \r\n");
            AppendWithCrLf(block, record.Body());
            block.append("\r\n");
            out.Write(block);
        });
}

}  // namespace

void WriteTextArchive(ByteSink& out, const MessageStore& messages, ContactBook& book,
                      SortOrder order) {
    WriteText(out, messages, book, order);
}

}  // namespace quillbox
