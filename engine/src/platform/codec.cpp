// SPDX-License-Identifier: MIT
#include "platform/codec.h"

#include <algorithm>
#include <cstring>

namespace quillbox::platform {

namespace {

std::uint8_t Byte(std::string_view text, std::size_t i) {
    return static_cast<std::uint8_t>(text[i]);
}

// A well-formed sequence's length and code point, or length 0 and the length of the maximal
// ill-formed subsequence in used.
struct Sequence {
    std::size_t length = 0;
    std::size_t used = 1;
    char32_t cp = 0;
};

// The lead byte's length and the range its second byte must fall in, which rules out overlong
// forms, surrogates and values past U+10FFFF.
Sequence Decode(std::string_view text) {
    const std::uint8_t b0 = Byte(text, 0);
    Sequence s;
    std::size_t length = 0;
    std::uint8_t low = 0x80;
    std::uint8_t high = 0xBF;
    char32_t cp = 0;
    if (b0 < 0x80) {
        return {1, 1, b0};
    } else if (b0 >= 0xC2 && b0 <= 0xDF) {
        length = 2;
        cp = b0 & 0x1Fu;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        length = 3;
        cp = b0 & 0x0Fu;
        low = b0 == 0xE0 ? 0xA0 : 0x80;
        high = b0 == 0xED ? 0x9F : 0xBF;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        length = 4;
        cp = b0 & 0x07u;
        low = b0 == 0xF0 ? 0x90 : 0x80;
        high = b0 == 0xF4 ? 0x8F : 0xBF;
    } else {
        return s;
    }
    for (std::size_t i = 1; i < length; ++i) {
        if (i >= text.size() || Byte(text, i) < low || Byte(text, i) > high) {
            s.used = i;
            return s;
        }
        cp = cp << 6 | (Byte(text, i) & 0x3Fu);
        low = 0x80;
        high = 0xBF;
    }
    return {length, length, cp};
}

// ED B2 80..ED B3 BF: a byte escaped by AppendCp936AsUtf8.
bool StartsWithEscape(std::string_view text) {
    return text.size() >= 3 && Byte(text, 0) == 0xED && (Byte(text, 1) & 0xFE) == 0xB2 &&
           (Byte(text, 2) & 0xC0) == 0x80;
}

void AppendUnit(std::u16string& out, char32_t cp) {
    if (cp < 0x10000) {
        out.push_back(static_cast<char16_t>(cp));
    } else {
        cp -= 0x10000;
        out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
        out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    }
}

// Calls take(code point) for every character of UTF-16 units, an unpaired surrogate as U+FFFD.
template <typename UnitAt, typename Take>
void ForEachUtf16(std::size_t count, UnitAt unitAt, Take take) {
    for (std::size_t i = 0; i < count; ++i) {
        char32_t cp = unitAt(i);
        if (IsSurrogate(cp)) {
            if (cp <= 0xDBFF && i + 1 < count && unitAt(i + 1) >= 0xDC00 &&
                unitAt(i + 1) <= 0xDFFF) {
                cp = 0x10000 + ((cp - 0xD800) << 10) + (unitAt(i + 1) - 0xDC00u);
                ++i;
            } else {
                cp = kReplacement;
            }
        }
        take(cp);
    }
}

// The character of one code page 936 code (one byte, or a pair), when it has one that converts
// back to that same code.
std::optional<char16_t> RoundTrip(const Cp936Tables& t, std::string_view code) {
    const auto lead = static_cast<std::uint8_t>(code[0]);
    std::uint16_t unit = 0;
    std::uint16_t back = 0;
    if (code.size() == 1) {
        unit = t.singleByte[lead];
        back = lead;
        if (unit == kNotSingleByte) {
            return std::nullopt;
        }
    } else {
        const auto trail = static_cast<std::uint8_t>(code[1]);
        if (trail < kCp936FirstTrail || trail > kCp936LastTrail) {
            return std::nullopt;
        }
        unit = t.pairs[(lead - kCp936FirstLead) * kCp936Trails + (trail - kCp936FirstTrail)];
        back = static_cast<std::uint16_t>(lead << 8 | trail);
        if (unit == 0) {
            return std::nullopt;
        }
    }
    if (lead >= 0x80 && t.fromUnicode[unit] != back) {
        return std::nullopt;
    }
    return static_cast<char16_t>(unit);
}

bool IsLead(std::uint8_t b) {
    return b >= kCp936FirstLead && b <= kCp936LastLead;
}

}  // namespace

std::size_t AsciiPrefix(std::string_view text) {
    std::size_t i = 0;
    // Eight bytes at a time: most text is ASCII.
    for (; i + 8 <= text.size(); i += 8) {
        std::uint64_t word;
        std::memcpy(&word, text.data() + i, sizeof word);
        if ((word & 0x8080808080808080u) != 0) {
            break;
        }
    }
    while (i < text.size() && IsAsciiByte(text[i])) {
        ++i;
    }
    return i;
}

char32_t TakeCodePoint(std::string_view& text) {
    if (StartsWithEscape(text)) {
        const char32_t cp = 0xD000 | (Byte(text, 1) & 0x3Fu) << 6 | (Byte(text, 2) & 0x3Fu);
        text.remove_prefix(3);
        return cp;
    }
    const Sequence s = Decode(text);
    text.remove_prefix(s.used);
    return s.length != 0 ? s.cp : kReplacement;
}

namespace {

// Writes the UTF-8 bytes of cp at `at`, room for four given; returns the end.
char* EncodeUtf8(char* at, char32_t cp) {
    if (cp < 0x80) {
        *at++ = static_cast<char>(cp);
    } else if (cp < 0x800) {
        *at++ = static_cast<char>(0xC0 | cp >> 6);
        *at++ = static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        *at++ = static_cast<char>(0xE0 | cp >> 12);
        *at++ = static_cast<char>(0x80 | (cp >> 6 & 0x3F));
        *at++ = static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        *at++ = static_cast<char>(0xF0 | cp >> 18);
        *at++ = static_cast<char>(0x80 | (cp >> 12 & 0x3F));
        *at++ = static_cast<char>(0x80 | (cp >> 6 & 0x3F));
        *at++ = static_cast<char>(0x80 | (cp & 0x3F));
    }
    return at;
}

}  // namespace

void AppendCodePoint(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
        return;
    }
    char bytes[4];
    out.append(bytes, static_cast<std::size_t>(EncodeUtf8(bytes, cp) - bytes));
}

std::size_t NextUtf8Error(std::string_view bytes, std::size_t from) {
    for (std::size_t i = from + AsciiPrefix(bytes.substr(std::min(from, bytes.size())));
         i < bytes.size();) {
        const Sequence s = Decode(bytes.substr(i));
        if (s.length == 0) {
            return i;
        }
        i += s.length;
        i += AsciiPrefix(bytes.substr(i));
    }
    return std::string_view::npos;
}

bool IsUtf8(std::string_view bytes) {
    return NextUtf8Error(bytes, 0) == std::string_view::npos;
}

void AppendUtf8Lenient(std::string& out, std::string_view bytes) {
    while (!bytes.empty()) {
        const std::size_t ascii = AsciiPrefix(bytes);
        out.append(bytes.substr(0, ascii));
        bytes.remove_prefix(ascii);
        if (bytes.empty()) {
            break;
        }
        const Sequence s = Decode(bytes);
        if (s.length != 0) {
            out.append(bytes.substr(0, s.length));
        } else {
            AppendCodePoint(out, kReplacement);
        }
        bytes.remove_prefix(s.used);
    }
}

std::string Utf8Lenient(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    AppendUtf8Lenient(out, bytes);
    return out;
}

std::optional<std::u16string> Utf8ToUtf16(std::string_view utf8, Utf8Errors errors) {
    std::u16string out;
    out.reserve(utf8.size());
    while (!utf8.empty()) {
        const Sequence s = Decode(utf8);
        if (s.length == 0 && errors == Utf8Errors::Reject) {
            return std::nullopt;
        }
        char32_t cp = s.length != 0 ? s.cp : kReplacement;
        std::size_t used = s.used;
        if (errors == Utf8Errors::Replace && StartsWithEscape(utf8)) {
            cp = kReplacement;
            used = 3;
        }
        AppendUnit(out, cp);
        utf8.remove_prefix(used);
    }
    return out;
}

// A unit gives at most three bytes (a pair of them four): the text is written into room made
// for that, then cut to its length, as these run on every message's text.
std::string Utf16ToUtf8(std::u16string_view units) {
    std::string out(units.size() * 3, '\0');
    char* at = out.data();
    ForEachUtf16(
        units.size(), [&](std::size_t i) { return units[i]; },
        [&](char32_t cp) { at = EncodeUtf8(at, cp); });
    out.resize(static_cast<std::size_t>(at - out.data()));
    return out;
}

void AppendUtf16BytesAsUtf8(std::string& out, std::string_view bytes, bool bigEndian,
                            bool dropZeros) {
    const auto unitAt = [&](std::size_t i) -> char32_t {
        const char32_t first = Byte(bytes, 2 * i);
        const char32_t second = Byte(bytes, 2 * i + 1);
        return bigEndian ? (first << 8 | second) : (second << 8 | first);
    };
    const std::size_t before = out.size();
    out.resize(before + bytes.size() / 2 * 3);
    char* at = out.data() + before;
    ForEachUtf16(bytes.size() / 2, unitAt, [&](char32_t cp) {
        if (cp != 0 || !dropZeros) {
            at = EncodeUtf8(at, cp);
        }
    });
    out.resize(static_cast<std::size_t>(at - out.data()));
}

std::optional<std::u16string> Cp936ToUtf16(std::string_view bytes) {
    const Cp936Tables& t = Cp936();
    std::u16string out;
    out.reserve(bytes.size());
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const std::uint8_t b = Byte(bytes, i);
        if (t.singleByte[b] != kNotSingleByte) {
            out.push_back(static_cast<char16_t>(t.singleByte[b]));
            continue;
        }
        if (!IsLead(b) || i + 1 >= bytes.size()) {
            return std::nullopt;
        }
        const std::uint8_t trail = Byte(bytes, i + 1);
        if (trail < kCp936FirstTrail || trail > kCp936LastTrail) {
            return std::nullopt;
        }
        const std::uint16_t unit =
            t.pairs[(b - kCp936FirstLead) * kCp936Trails + (trail - kCp936FirstTrail)];
        if (unit == 0) {
            return std::nullopt;
        }
        out.push_back(static_cast<char16_t>(unit));
        ++i;
    }
    return out;
}

void AppendCp936AsUtf8(std::string& out, std::string_view bytes) {
    const Cp936Tables& t = Cp936();
    while (!bytes.empty()) {
        const std::size_t ascii = AsciiPrefix(bytes);
        out.append(bytes.substr(0, ascii));
        bytes.remove_prefix(ascii);
        if (bytes.empty()) {
            break;
        }
        const std::uint8_t b = Byte(bytes, 0);
        std::size_t length = IsLead(b) && bytes.size() >= 2 ? 2 : 1;
        auto unit = RoundTrip(t, bytes.substr(0, length));
        if (!unit && length == 2) {
            // A lead byte without its trail: the byte alone, then the next one anew.
            length = 1;
            unit = RoundTrip(t, bytes.substr(0, 1));
        }
        AppendCodePoint(out, unit ? char32_t{*unit} : kFirstEscape + (b - 0x80));
        bytes.remove_prefix(length);
    }
}

std::string Cp936AsUtf8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size() + bytes.size() / 2);
    AppendCp936AsUtf8(out, bytes);
    return out;
}

void AppendAsCp936(std::string& out, std::string_view text) {
    const Cp936Tables& t = Cp936();
    while (!text.empty()) {
        const std::size_t ascii = AsciiPrefix(text);
        out.append(text.substr(0, ascii));
        text.remove_prefix(ascii);
        if (text.empty()) {
            break;
        }
        const char32_t cp = TakeCodePoint(text);
        if (IsEscape(cp)) {
            out.push_back(static_cast<char>(cp - kFirstEscape + 0x80));
        } else if (cp >= 0x10000) {
            out.append("??");
        } else if (const std::uint16_t code = IsSurrogate(cp) ? 0 : t.fromUnicode[cp]; code == 0) {
            out.push_back('?');
        } else if (code < 0x100) {
            out.push_back(static_cast<char>(code));
        } else {
            out.push_back(static_cast<char>(code >> 8));
            out.push_back(static_cast<char>(code & 0xFF));
        }
    }
}

std::optional<std::size_t> Utf16ToCp936(std::u16string_view units, std::span<char> out) {
    const Cp936Tables& t = Cp936();
    std::size_t n = 0;
    for (const char16_t unit : units) {
        if (unit == 0) {
            break;
        }
        // A surrogate is never in code page 936: a pair becomes "??", a lone one "?".
        const std::uint16_t code = IsSurrogate(unit) ? 0 : t.fromUnicode[unit];
        const std::size_t width = code >= 0x100 ? 2 : 1;
        if (n + width >= out.size()) {
            return std::nullopt;
        }
        if (code == 0) {
            out[n++] = '?';
        } else if (width == 1) {
            out[n++] = static_cast<char>(code);
        } else {
            out[n++] = static_cast<char>(code >> 8);
            out[n++] = static_cast<char>(code & 0xFF);
        }
    }
    if (n >= out.size()) {
        return std::nullopt;
    }
    out[n] = '\0';
    return n;
}

}  // namespace quillbox::platform
