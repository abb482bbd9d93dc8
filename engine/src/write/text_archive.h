// SPDX-License-Identifier: MIT
#pragma once

#include <string>
#include <string_view>

#include "order/contact_book.h"
#include "order/message_store.h"
#include "write/archive_groups.h"
#include "write/byte_sink.h"

namespace quillbox {

// Appends text so that every LF reaches the archive as CR LF: an LF already preceded by CR
// stays as it is, a CR on its own stays too.
void AppendWithCrLf(std::string& out, std::string_view text);

// A group's framed heading, and a message's entry with the body given (the message's own, or
// one with more in it), as the plain-text archive writes them.
void AppendTextHeading(std::string& block, const Heading& heading, const ArchiveLayout& layout);
void AppendTextEntry(std::string& block, const MessageStore::Message& message,
                     const EntryParty& party, std::string_view body, const ArchiveLayout& layout);

// The plain-text archive: a framed heading per group and per message the line
// "name <number>     date : " and the body, every line ended by CR LF.
void WriteTextArchive(ByteSink& out, const MessageStore& messages, ContactBook& book,
                      const ArchiveLayout& layout);

}  // namespace quillbox
