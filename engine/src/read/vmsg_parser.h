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

#include "read/field_normalisation.h"

namespace quillbox {

// A date as written: no time zone applied, a trailing "Z" ignored.
struct MessageDate {
    int year = 0;
    int month = 0;
    int day = 0;
    int hour = 0;
    int minute = 0;
    int second = 0;
    bool operator==(const MessageDate&) const = default;
};

// The forms phones write: "dd.mm.yyyy hh:mm:ss", "dd-mm-yyyy hh:mm:ss", "yyyy/mm/dd hh:mm:ss",
// "yyyy-mm-dd hh:mm:ss", "yyyy.m.d.h.m.sZ", "yyyymmddThhmmss(Z)" and ISO 8601 with "T"; a
// four-digit first number puts the year first; a two-digit year is 19xx from 70 up, else 20xx;
// a missing time is midnight, missing seconds are 0. None for anything else or a date out of
// range.
std::optional<MessageDate> ParseVMessageDate(std::string_view text);

// The archive's display text ("2009-03-18 10:15:30") and ordering key of a date: the same the
// classic reading gives for the same date written "18.03.2009 10:15:30".
std::uint64_t ArchiveDate(const MessageDate& date, DisplayDate& display);

enum class MessageDirection : std::uint8_t { Received, Sent };

struct VMessage {
    std::size_t index = 0;  // the block's place among the file's BEGIN:VMSG lines, from 0
    MessageDirection direction = MessageDirection::Received;
    // The other party's: the originator's for a received message, the recipient's for a sent
    // one. Cleaned as CleanNumber does, not normalised (NormalizeNumber is the caller's); empty
    // when the block names none.
    std::string number;
    MessageDate date;
    std::string text;  // UTF-8, lines joined by "\n", no final line end; may be empty
};

enum class MessageSkip : std::uint8_t {
    NoDate,   // neither a Date line nor an X-NOK-DT
    BadDate,  // a date in no form that reads
    NoBody,   // no BEGIN:VBODY block and no text property
    Draft,    // the drafts box: never sent
    Cut,      // no END:VMSG before the file ends or the next message begins
};
// A stable short name for reports: "no-date", "bad-date", "no-body", "draft", "cut".
std::string_view SkipName(MessageSkip reason);

struct SkippedMessage {
    std::size_t index = 0;
    MessageSkip reason = MessageSkip::NoDate;
};

// What the messages of one or more files gave; ParseVMessages appends.
struct MessageBatch {
    std::vector<VMessage> messages;  // in file order
    std::vector<SkippedMessage> skipped;
};

// Reads every message block of a file's bytes. The encoding is the byte-order mark's (UTF-16LE,
// UTF-16BE, UTF-8); without one UTF-16LE when the first bytes show it, else UTF-8 when the whole
// file is valid UTF-8, else code page 936.
void ParseVMessages(std::string_view fileBytes, MessageBatch& out);

}  // namespace quillbox
