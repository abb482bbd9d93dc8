// SPDX-License-Identifier: MIT
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "read/text_form.h"

namespace quillbox {

// The form under which message senders and card numbers are matched: everything up to the first
// ":" goes, then "+86", "+106" and "17951" (each at most once, in that order), then one of "0",
// "12520" or "106".
std::string NormalizeNumber(std::string_view number);

// "18.03.2009 10:15:30" gives the display date "2009-03-18 10:15:30" and a key that counts
// seconds from 1970 as if every month had 31 days.
std::uint64_t ParseMessageDate(std::string dateText, std::string& display);

// The display date without a heap block: six numbers of up to 11 characters and five separators.
struct DisplayDate {
    std::array<char, 71> chars;
    std::size_t length = 0;
    std::string_view View() const { return {chars.data(), length}; }
};
std::uint64_t ParseMessageDate(std::string_view dateText, DisplayDate& display);

// NormalizeNumber as a part of number.
std::string_view NormalizedNumber(std::string_view number);

// The raw text after "FN" or "N" on a card's name line, ":" or ";" included.
// Each CR or LF of the name becomes a space. The name is code page 936 text, or UTF-8.
std::string DecodeContactName(std::string_view raw, TextForm form = TextForm::CodePage936);

// A quoted-printable UTF-8 value to code page 936 (empty when the conversion fails), or to
// valid UTF-8.
std::string DecodeQuotedPrintable(std::string_view value, TextForm form = TextForm::CodePage936);

// Code page 936 text to UTF-8; a byte that starts no character becomes U+FFFD.
std::string LocalToUtf8(std::string_view local);
// The value of a hexadecimal digit in either case, or -1.
int HexDigit(char c);

// UTF-8 with each malformed sequence as U+FFFD.
std::string ValidUtf8(std::string_view text);

// UTF-8 to code page 936 through UTF-16. None when the text converts to nothing at all.
std::optional<std::string> Utf8ToLocal(std::string_view utf8);

}  // namespace quillbox
