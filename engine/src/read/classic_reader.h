// SPDX-License-Identifier: MIT
#pragma once

#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "order/message_store.h"
#include "platform/platform.h"
#include "quillbox/archive.h"

namespace quillbox {

// What reading one file gave: none when it was read, else why it gave nothing.
using ReadOutcome = std::optional<SkipReason>;

// Only the head of a file is read: 2048 UTF-16 units of a message, 2048 bytes of a card.
inline constexpr std::size_t kMessageHeadUnits = 2048;
inline constexpr std::size_t kMessageNarrowBytes = 4096;
inline constexpr std::size_t kCardHeadBytes = 2048;

// A message file's head as read (UTF-16LE bytes) into the store: one message, or the reason
// the file gives none (the store is then unchanged). The fields are found in the head's code
// page 936 form as always; a store of UTF-8 text gets them from the UTF-16 units they came from.
ReadOutcome ParseMessageHead(std::span<const char> head, MessageStore& store);
// A card file's head after the text-mode read: one entry per telephone line, its name in the
// form asked for. On a refusal the entries appended before it are to be discarded.
ReadOutcome ParseCardHead(std::span<const char> head, std::vector<ContactEntry>& entries,
                          TextForm form = TextForm::CodePage936);

// The same for an open file.
ReadOutcome ReadMessageFile(platform::InputFile& file, MessageStore& store);
ReadOutcome ReadCardFile(platform::InputFile& file, std::vector<ContactEntry>& entries,
                         TextForm form = TextForm::CodePage936);

// The parts of ParseMessageHead's work: the head as code page 936 text in narrow, and where the
// fields stand in such a text, the number and the date as they are written.
ReadOutcome MessageHeadText(std::span<const char> head, std::span<char, kMessageNarrowBytes> narrow,
                            std::string_view& text);
struct MessageFields {
    std::string_view number;
    std::string_view date;
    std::string_view body;
};
ReadOutcome FindMessageFields(std::string_view text, MessageFields& fields);
ReadOutcome ParseCardText(std::string_view text, std::vector<ContactEntry>& entries,
                          TextForm form = TextForm::CodePage936);

}  // namespace quillbox
