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

namespace {

void AppendName(std::string& block, std::string_view text, const ArchiveLayout& layout) {
    AppendIsolated(block, text, layout.isolateNames, kIsolateOpen, kIsolateClose, AppendWithCrLf);
}

}  // namespace

void AppendTextHeading(std::string& block, const Heading& heading, const ArchiveLayout& layout) {
    block.append(kHeadingOpen);
    AppendWithCrLf(block, heading.word);
    if (heading.named) {
        AppendName(block, heading.name, layout);
    }
    block.append(kHeadingClose);
}

void AppendTextEntry(std::string& block, const MessageStore::Message& message,
                     const EntryParty& party, std::string_view body, const ArchiveLayout& layout) {
    block.append(message.Sent() ? kSentMark : std::string_view());
    AppendName(block, party.name, layout);
    block.append(" <");
    AppendName(block, party.number, layout);
    block.append(">     ");
    AppendDisplayTime(block, message.Time());
    block.append(" : \r\n");
    AppendWithCrLf(block, body);
    block.append("\r\n");
}

void WriteTextArchive(ByteSink& out, const MessageStore& messages, ContactBook& book,
                      const ArchiveLayout& layout) {
    std::string block;
    WalkGroups(
        messages, book, layout,
        [&](const Heading& heading) {
            block.clear();
            AppendTextHeading(block, heading, layout);
            out.Write(block);
        },
        [&](const MessageStore::Message& message, const EntryParty& party) {
            block.clear();
            AppendTextEntry(block, message, party, message.Body(), layout);
            out.Write(block);
        });
}

}  // namespace quillbox
