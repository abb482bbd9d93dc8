// SPDX-License-Identifier: MIT
#include "read/field_normalisation.h"

#include <array>
#include <limits>
#include <vector>

#include "platform/platform.h"

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

// "%d" of the value, or "%02d" with pad: a sign counts towards the width.
char* AppendDecimal(char* out, std::int32_t value, bool pad) {
    std::uint32_t magnitude = static_cast<std::uint32_t>(value);
    if (value < 0) {
        *out++ = '-';
        magnitude = 0 - magnitude;
    } else if (pad && magnitude < 10) {
        *out++ = '0';
    }
    char digits[10];
    int n = 0;
    do {
        digits[n++] = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    while (n > 0) {
        *out++ = digits[--n];
    }
    return out;
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

std::uint64_t ParseMessageDate(std::string_view dateText, DisplayDate& display) {
    // Day, month, year, hour, minute, second. Numbers past the first one that cannot be read
    // stay 0.
    std::array<std::int32_t, 6> parts{};
    std::size_t pos = 0;
    for (auto& part : parts) {
        const auto value = ScanDecimal(dateText, pos);
        if (!value) {
            break;
        }
        part = *value;
    }
    const auto [day, month, year, hour, minute, second] = parts;

    // "%d-%02d-%02d %02d:%02d:%02d"
    char* out = display.chars.data();
    out = AppendDecimal(out, year, false);
    *out++ = '-';
    out = AppendDecimal(out, month, true);
    *out++ = '-';
    out = AppendDecimal(out, day, true);
    *out++ = ' ';
    out = AppendDecimal(out, hour, true);
    *out++ = ':';
    out = AppendDecimal(out, minute, true);
    *out++ = ':';
    out = AppendDecimal(out, second, true);
    display.length = static_cast<std::size_t>(out - display.chars.data());

    const auto u32 = [](std::int32_t v) { return std::uint64_t{static_cast<std::uint32_t>(v)}; };
    std::uint64_t key = std::uint64_t{static_cast<std::uint32_t>(year) - 1970u} * 12;
    key = (key + u32(month) - 1) * 31;
    key = (key + u32(day) - 1) * 24;
    key = (key + u32(hour)) * 60;
    key = (key + u32(minute)) * 60;
    return key + u32(second);
}

std::uint64_t ParseMessageDate(std::string dateText, std::string& display) {
    DisplayDate date;
    const std::uint64_t key = ParseMessageDate(std::string_view(dateText), date);
    display.assign(date.View());
    return key;
}

namespace {

std::string DecodeNameValue(std::string_view raw, TextForm form) {
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
        return form == TextForm::Utf8 ? LocalToUtf8(std::string_view(text).substr(1))
                                      : text.substr(1);
    }
    if (text.empty()) {
        return {};
    }
    // A line with parameters: whatever they declare, the value is quoted-printable UTF-8.
    const auto colon = text.find(':', 1);
    if (colon == std::string::npos) {
        return {};
    }
    return DecodeQuotedPrintable(std::string_view(text).substr(colon + 1), form);
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

std::string DecodeContactName(std::string_view raw, TextForm form) {
    std::string name = DecodeNameValue(raw, form);
    // A name is one line: a CR or LF in it (a quoted-printable "=0D=0A") would start a line of
    // the plain-text archive that looks like a heading or an entry.
    for (char& c : name) {
        if (c == '\r' || c == '\n') {
            c = ' ';
        }
    }
    return name;
}

std::string DecodeQuotedPrintable(std::string_view value, TextForm form) {
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
    if (form == TextForm::Utf8) {
        return ValidUtf8(decoded);
    }
    return Utf8ToLocal(decoded).value_or(std::string());
}

std::string ValidUtf8(std::string_view text) {
    const auto wide = platform::Utf8ToUtf16(text, platform::Utf8Errors::Replace);
    return wide ? platform::Utf16ToUtf8(*wide) : std::string();
}

std::string LocalToUtf8(std::string_view local) {
    if (const auto wide = platform::AnsiToUtf16(local)) {
        return platform::Utf16ToUtf8(*wide);
    }
    // Character by character, so that one stray byte costs only itself.
    std::u16string wide;
    for (std::size_t i = 0; i < local.size();) {
        const auto b = static_cast<unsigned char>(local[i]);
        const std::size_t length = b >= 0x81 && b <= 0xFE && i + 1 < local.size() ? 2 : 1;
        if (const auto unit = platform::AnsiToUtf16(local.substr(i, length))) {
            wide += *unit;
            i += length;
        } else {
            wide += u'\uFFFD';
            ++i;
        }
    }
    return platform::Utf16ToUtf8(wide);
}

std::optional<std::string> Utf8ToLocal(std::string_view utf8) {
    const auto wide =
        platform::Utf8ToUtf16(utf8.substr(0, utf8.find('\0')), platform::Utf8Errors::Replace);
    if (!wide) {
        return std::nullopt;
    }
    std::vector<char> area(wide->size() * 2 + 1);
    const auto length = platform::Utf16ToOem(*wide, area);
    if (!length) {
        return std::nullopt;
    }
    return std::string(area.data(), *length);
}

}  // namespace quillbox
