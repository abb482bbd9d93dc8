// SPDX-License-Identifier: MIT
#pragma once

#include <string>
#include <string_view>

#include "order/message_store.h"

namespace quillbox {

// The form under which message senders and card numbers are matched: everything up to the first
// ":" goes, then "+86", "+106" and "17951" (each at most once, in that order), then one of "0",
// "12520" or "106".
std::string_view NormalizedNumber(std::string_view number);
std::string NormalizeNumber(std::string_view number);

// A classic file's number as the archive shows and matches it: the CR of a line ended by CR LF
// is not part of it, it is normalised, and every other control character (C0 and DEL) becomes a
// space, so that no number can start a line of the archive or act on a terminal.
std::string ClassicNumber(std::string_view line);

// "18.03.2009 10:15:30": day, month, year, hour, minute and second, read as the C library's "%d"
// reads them (the "." and ":" as white space); numbers past the last one read are 0.
MessageTime ParseMessageDate(std::string_view dateText);

// The raw text after "FN" or "N" on a classic card's name line, ":" or ";" included, as the
// engine's text: a plain value's code page 936 bytes, or a value with parameters as
// quoted-printable UTF-8. Each control character of the name (C0 and DEL) becomes a space.
std::string DecodeContactName(std::string_view raw);

// A quoted-printable UTF-8 value, up to its first zero byte, as the engine's text.
std::string DecodeQuotedPrintable(std::string_view value);

// The value of a hexadecimal digit in either case, or -1.
int HexDigit(char c);

}  // namespace quillbox
