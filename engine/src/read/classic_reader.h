// SPDX-License-Identifier: MIT
#pragma once

// The classic format: only the head of a file is read, 2048 UTF-16 units of a message and 2048
// bytes of a card, and each gives at most one message or one card.

#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "order/contact_book.h"
#include "order/message_store.h"
#include "read/reader.h"

namespace quillbox {

inline constexpr std::size_t kMessageHeadUnits = 2048;
inline constexpr std::size_t kMessageCp936Bytes = 4096;
inline constexpr std::size_t kCardHeadBytes = 2048;

// The readers of InputKind::ClassicMessage and InputKind::ClassicCard.
ReadResult ReadClassicMessage(Input& input, Items& items);
ReadResult ReadClassicCard(Input& input, Items& items);

// A message file's head as read (UTF-16LE bytes) into the store: one message, or the reason the
// file gives none (the store is then unchanged).
std::optional<SkipReason> ParseMessageHead(std::span<const char> head, MessageStore& store);
// The first card of a card file's head after the text-mode read: the whole head for a file of
// one card; where another BEGIN:VCARD follows the first "\nEND:VCARD", the lines up to that END
// line, and more is set.
struct FirstCard {
    std::string_view text;
    bool more = false;
};
FirstCard FindFirstCard(std::string_view head);
// A card's text: one entry per telephone line, or the reason the card gives none (the entries
// are then unchanged).
std::optional<SkipReason> ParseCardText(std::string_view head, CardEntries& entries);

// The parts of ParseMessageHead's work: the head as code page 936 text in narrow, and where the
// fields stand in such a text.
std::optional<SkipReason> MessageHeadText(std::span<const char> head,
                                          std::span<char, kMessageCp936Bytes> cp936,
                                          std::string_view& text);
struct MessageFields {
    std::string_view number;
    std::string_view date;
    std::string_view body;
};
std::optional<SkipReason> FindMessageFields(std::string_view text, MessageFields& fields);

}  // namespace quillbox
