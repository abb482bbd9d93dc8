// SPDX-License-Identifier: MIT
#include "read/field_normalisation.h"

#include <algorithm>
#include <limits>
#include <optional>

#include "platform/codec.h"

namespace quillbox {

namespace {

bool StripPrefix(std::string_view& text, std::string_view prefix) {
    if (text.starts_with(prefix)) {
        text.remove_prefix(prefix.size());
        return true;
    }
    return false;
}

bool IsScanfSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// The date's "." and ":" are read as white space.
bool IsDateSpace(char c) {
    return IsScanfSpace(c) || c == '.' || c == ':';
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// The C library's "%d": white space (the date's "." and ":" count as such), an optional sign,
// digits. Like glibc, the digits are taken
// as a long (saturating) and the int keeps its low 32 bits. None for a matching failure.
std::optional<std::int32_t> ScanDecimal(std::string_view text, std::size_t& pos) {
    while (pos < text.size() && IsDateSpace(text[pos])) {
        ++pos;
    }
    bool negative = false;
    std::size_t p = pos;
    if (p < text.size() && (text[p] == '+' || text[p] == '-')) {
        negative = text[p] == '-';
        ++p;
    }
    if (p >= text.size() || !IsDigit(text[p])) {
        return std::nullopt;
    }
    constexpr std::uint64_t kLongMax = std::numeric_limits<std::int64_t>::max();
    const std::uint64_t limit = negative ? kLongMax + 1 : kLongMax;
    std::uint64_t magnitude = 0;
    for (; p < text.size() && IsDigit(text[p]); ++p) {
        const auto digit = static_cast<std::uint64_t>(text[p] - '0');
        magnitude = magnitude > (limit - digit) / 10 ? limit : magnitude * 10 + digit;
    }
    pos = p;
    const std::uint64_t asLong = negative ? 0 - magnitude : magnitude;
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(asLong));
}

}  // namespace

std::string_view NormalizedNumber(std::string_view number) {
    if (const auto colon = number.find(':'); colon != std::string_view::npos) {
        number.remove_prefix(colon + 1);
    }
    StripPrefix(number, "+86");
    StripPrefix(number, "+106");
    StripPrefix(number, "17951");
    if (!StripPrefix(number, "0") && !StripPrefix(number, "12520")) {
        StripPrefix(number, "106");
    }
    return number;
}

std::string NormalizeNumber(std::string_view number) {
    return std::string(NormalizedNumber(number));
}

namespace {

void ControlsToSpaces(std::string& text) {
    for (char& c : text) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
            c = ' ';
        }
    }
}

}  // namespace

std::string ClassicNumber(std::string_view line) {
    if (line.ends_with('\r')) {
        line.remove_suffix(1);
    }
    std::string number = NormalizeNumber(line);
    ControlsToSpaces(number);
    return number;
}

MessageTime ParseMessageDate(std::string_view dateText) {
    // Day, month, year, hour, minute, second. Numbers past the first one that cannot be read
    // stay 0.
    std::int32_t parts[6] = {};
    std::size_t pos = 0;
    for (auto& part : parts) {
        const auto value = ScanDecimal(dateText, pos);
        if (!value) {
            break;
        }
        part = *value;
    }
    return {parts[2], parts[1], parts[0], parts[3], parts[4], parts[5]};
}

namespace {

std::string DecodeNameValue(std::string_view raw) {
    std::string text(raw);
    // Structured names lose their separators (":Zhang;San;;;" is ":ZhangSan"); an escaped
    // semicolon keeps itself and loses its backslash. The first character is never touched.
    std::size_t p = text.find(';', 1);
    while (p != std::string::npos) {
        if (text[p - 1] == '\\') {
            text.erase(p - 1, 1);
        } else {
            text.erase(p, 1);
        }
        p = text.find(';', p);
    }
    if (text.starts_with(':')) {
        return platform::Cp936AsUtf8(std::string_view(text).substr(1));
    }
    if (text.empty()) {
        return {};
    }
    // A line with parameters: whatever they declare, the value is quoted-printable UTF-8.
    const auto colon = text.find(':', 1);
    if (colon == std::string::npos) {
        return {};
    }
    return DecodeQuotedPrintable(std::string_view(text).substr(colon + 1));
}

}  // namespace

int HexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

std::string DecodeContactName(std::string_view raw) {
    std::string name = DecodeNameValue(raw);
    // A name is one line: a CR or LF in it (a quoted-printable "=0D=0A") would start a line of
    // the plain-text archive that looks like a heading or an entry, and an ESC would act on a
    // terminal that shows the archive.
    ControlsToSpaces(name);
    return name;
}

std::string DecodeQuotedPrintable(std::string_view value) {
    std::string decoded;
    decoded.reserve(value.size());
    // "=" followed by no hex digit repeats the escape before it in the value, or gives 0.
    int escape = 0;
    std::size_t in = 0;
    while (in < value.size()) {
        if (value[in] == '=') {
            const int high = in + 1 < value.size() ? HexDigit(value[in + 1]) : -1;
            if (high >= 0) {
                const int low = in + 2 < value.size() ? HexDigit(value[in + 2]) : -1;
                escape = low >= 0 ? high * 16 + low : high;
            }
            decoded.push_back(static_cast<char>(escape));
            in += 3;
        } else {
            decoded.push_back(value[in]);
            ++in;
        }
    }
    // The converter reads up to the first zero byte, so an "=00" ends the name.
    decoded.resize(std::min(decoded.size(), decoded.find('\0')));
    return platform::Utf8Lenient(decoded);
}

}  // namespace quillbox
