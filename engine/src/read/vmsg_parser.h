// SPDX-License-Identifier: MIT
#pragma once

// Every message of a whole .vmg or .vmsg file as phones export them today: one BEGIN:VMSG ...
// END:VMSG block a message, sent and received, many to a file.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "order/message_store.h"
#include "read/reader.h"

namespace quillbox {

// The forms phones write: "dd.mm.yyyy hh:mm:ss", "dd-mm-yyyy hh:mm:ss", "yyyy/mm/dd hh:mm:ss",
// "yyyy-mm-dd hh:mm:ss", "yyyy.m.d.h.m.sZ", "yyyymmddThhmmss(Z)" and ISO 8601 with "T"; a
// four-digit first number puts the year first; a two-digit year is 19xx from 70 up, else 20xx;
// a missing time is midnight, missing seconds are 0. None for anything else or a date out of
// range.
std::optional<MessageTime> ParseVMessageDate(std::string_view text);

enum class MessageDirection : std::uint8_t { Received, Sent };

struct VMessage {
    std::size_t index = 0;  // the block's place among the file's BEGIN:VMSG lines, from 0
    MessageDirection direction = MessageDirection::Received;
    // The other party's: the originator's for a received message, the recipient's for a sent
    // one. Cleaned as CleanNumber does, not normalised (NormalizeNumber is the caller's); empty
    // when the block names none.
    std::string number;
    MessageTime date;
    std::string text;  // UTF-8, lines joined by "\n", no final line end; may be empty
};

// What the messages of one or more files gave; ParseVMessages appends.
struct MessageBatch {
    std::vector<VMessage> messages;  // in file order
    std::vector<SkippedItems> skipped;
};

// Reads every message block of a file's bytes. The encoding is the byte-order mark's (UTF-16LE,
// UTF-16BE, UTF-8); without one UTF-16LE when the first bytes show it, else UTF-8 when the whole
// file is valid UTF-8, else code page 936.
void ParseVMessages(std::string_view fileBytes, MessageBatch& out);

// The reader of InputKind::VMessageFile: every message of the file read whole, sent ones marked,
// each under the other party.
ReadResult ReadVMessageFile(Input& input, Items& items);

}  // namespace quillbox
