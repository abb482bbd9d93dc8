// SPDX-License-Identifier: MIT
#include "write/text_archive.h"

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

void WriteTextArchive(ByteSink& out, const MessageStore& messages, ContactBook& book,
                      const ArchiveLayout& layout) {
    std::string block;
    const auto name = [&](std::string_view text) {
        AppendIsolated(block, text, layout.isolateNames, kIsolateOpen, kIsolateClose,
                       AppendWithCrLf);
    };
    WalkGroups(
        messages, book, layout,
        [&](const Heading& heading) {
            block.assign(kHeadingOpen);
            AppendWithCrLf(block, heading.word);
            if (heading.named) {
                name(heading.name);
            }
            block.append(kHeadingClose);
            out.Write(block);
        },
        [&](const MessageStore::Message& message, const EntryParty& party) {
            block.assign(message.Sent() ? kSentMark : std::string_view());
            name(party.name);
            block.append(" <");
            name(party.number);
            block.append(">     ");
            AppendDisplayTime(block, message.Time());
            block.append(" : \r\n");
            AppendWithCrLf(block, message.Body());
            block.append("\r\n");
            out.Write(block);
        });
}

}  // namespace quillbox
