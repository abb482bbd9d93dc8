// SPDX-License-Identifier: MIT
#include "write/encoding.h"

#include <algorithm>
#include <iterator>

#include "platform/platform.h"
#include "write/gb18030_tables.h"

namespace quillbox {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

bool IsSurrogate(char32_t unit) {
    return unit >= 0xD800 && unit <= 0xDFFF;
}

// Code page 936 as the platform converts it, one entry per BMP unit: 0 where the platform
// writes "?". None when the conversion is not code page 936 at all.
std::optional<std::vector<std::uint16_t>> PlatformCp936() {
    std::u16string units;
    units.reserve(0x10000);
    for (char32_t u = 1; u < 0x10000; ++u) {
        if (!IsSurrogate(u)) {
            units.push_back(static_cast<char16_t>(u));
        }
    }
    std::string bytes(units.size() * 2 + 1, '\0');
    const auto length = platform::Utf16ToOem(units, bytes);
    if (!length) {
        return std::nullopt;
    }
    std::vector<std::uint16_t> codes(0x10000, 0);
    std::size_t at = 0;
    for (const char16_t unit : units) {
        if (at >= *length) {
            return std::nullopt;
        }
        const auto lead = static_cast<unsigned char>(bytes[at]);
        // In code page 936 0x81 to 0xFE always lead a pair; every other byte stands alone.
        if (lead >= 0x81 && lead <= 0xFE) {
            if (at + 1 >= *length) {
                return std::nullopt;
            }
            codes[unit] =
                static_cast<std::uint16_t>(lead << 8 | static_cast<unsigned char>(bytes[at + 1]));
            at += 2;
        } else {
            codes[unit] = lead == '?' && unit != u'?' ? 0 : lead;
            at += 1;
        }
    }
    // One character from each kind of the code page tells it from another OEM code page.
    if (at != *length || codes[u'A'] != 'A' || codes[u'\u4E2D'] != 0xD6D0 ||
        codes[u'\u0101'] != 0xA8A1) {
        return std::nullopt;
    }
    return codes;
}

// BMP four-byte index; only for a code point without a one- or two-byte code.
std::uint32_t BmpFourByteIndex(char16_t cp) {
    const auto* run = std::upper_bound(
        std::begin(gb18030::kFourByteRuns), std::end(gb18030::kFourByteRuns), cp,
        [](char16_t value, const gb18030::FourByteRun& r) { return value < r.first; });
    --run;  // the first run starts at U+0080, below every code point asked for
    return run->index + (cp - run->first);
}

void AppendFourBytes(std::string& out, std::uint32_t index) {
    char bytes[4];
    bytes[3] = static_cast<char>(0x30 + index % 10);
    index /= 10;
    bytes[2] = static_cast<char>(0x81 + index % 126);
    index /= 126;
    bytes[1] = static_cast<char>(0x30 + index % 10);
    bytes[0] = static_cast<char>(0x81 + index / 10);
    out.append(bytes, 4);
}

void AppendUtf8CodePoint(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | cp >> 6));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | cp >> 12));
        out.push_back(static_cast<char>(0x80 | (cp >> 6 & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | cp >> 18));
        out.push_back(static_cast<char>(0x80 | (cp >> 12 & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp >> 6 & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

// One code point off the front of UTF-8 text: the maximal ill-formed subsequence (at least one
// byte) is taken as U+FFFD, as the Unicode standard recommends.
char32_t TakeUtf8(std::string_view& text) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char b0 = byte(0);
    std::size_t length = 0;
    char32_t cp = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (b0 < 0x80) {
        text.remove_prefix(1);
        return b0;
    } else if (b0 >= 0xC2 && b0 <= 0xDF) {
        length = 2;
        cp = b0 & 0x1F;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        length = 3;
        cp = b0 & 0x0F;
        low = b0 == 0xE0 ? 0xA0 : 0x80;
        high = b0 == 0xED ? 0x9F : 0xBF;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        length = 4;
        cp = b0 & 0x07;
        low = b0 == 0xF0 ? 0x90 : 0x80;
        high = b0 == 0xF4 ? 0x8F : 0xBF;
    } else {
        text.remove_prefix(1);
        return kReplacement;
    }
    for (std::size_t i = 1; i < length; ++i) {
        if (i >= text.size() || byte(i) < low || byte(i) > high) {
            text.remove_prefix(i);
            return kReplacement;
        }
        cp = cp << 6 | (byte(i) & 0x3F);
        low = 0x80;
        high = 0xBF;
    }
    text.remove_prefix(length);
    return cp;
}

}  // namespace

std::optional<TextEncoder> TextEncoder::Create(ArchiveEncoding encoding) {
    TextEncoder encoder(encoding);
    if (encoding == ArchiveEncoding::Utf8) {
        return encoder;
    }
    auto codes = PlatformCp936();
    if (!codes) {
        return std::nullopt;
    }
    if (encoding == ArchiveEncoding::Gb18030) {
        for (std::uint16_t& code : *codes) {
            if (code < 0x100) {
                code = 0;  // single bytes are ASCII alone, and ASCII is written as itself
            }
        }
        for (const auto& run : gb18030::kAddedPairs) {
            for (std::uint16_t i = 0; i < run.count; ++i) {
                (*codes)[run.first + i] = static_cast<std::uint16_t>(run.code + i);
            }
        }
    }
    encoder.codes_ = std::move(*codes);
    return encoder;
}

std::string_view TextEncoder::CharsetLabel() const {
    switch (encoding_) {
        case ArchiveEncoding::Gbk:
            return "gbk";
        case ArchiveEncoding::Gb18030:
            return "gb18030";
        case ArchiveEncoding::Utf8:
            break;
    }
    return "utf-8";
}

void TextEncoder::AppendCodePoint(std::string& out, char32_t cp) const {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
        return;
    }
    switch (encoding_) {
        case ArchiveEncoding::Utf8:
            AppendUtf8CodePoint(out, cp);
            return;
        case ArchiveEncoding::Gb18030:
            if (cp >= 0x10000) {
                AppendFourBytes(out, gb18030::kFirstSupplementaryIndex + (cp - 0x10000));
            } else if (const std::uint16_t code = codes_[cp]; code != 0) {
                out.push_back(static_cast<char>(code >> 8));
                out.push_back(static_cast<char>(code & 0xFF));
            } else {
                AppendFourBytes(out, BmpFourByteIndex(static_cast<char16_t>(cp)));
            }
            return;
        case ArchiveEncoding::Gbk:
            // A code point above the BMP came as two units, and each unit becomes "?".
            if (cp >= 0x10000) {
                out.append("??");
            } else if (const std::uint16_t code = codes_[cp]; code == 0) {
                out.push_back('?');
            } else if (code < 0x100) {
                out.push_back(static_cast<char>(code));
            } else {
                out.push_back(static_cast<char>(code >> 8));
                out.push_back(static_cast<char>(code & 0xFF));
            }
            return;
    }
}

void TextEncoder::Append(std::string& out, std::u16string_view text) const {
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t cp = text[i];
        if (IsSurrogate(cp)) {
            if (cp <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
                text[i + 1] <= 0xDFFF) {
                cp = 0x10000 + ((cp - 0xD800) << 10) + (text[i + 1] - 0xDC00u);
                ++i;
            } else {
                cp = encoding_ == ArchiveEncoding::Gbk ? U'?' : kReplacement;
            }
        }
        AppendCodePoint(out, cp);
    }
}

void TextEncoder::AppendUtf8(std::string& out, std::string_view text) const {
    while (!text.empty()) {
        // Runs of ASCII, the bulk of most messages, go across whole.
        const auto ascii = std::find_if(
            text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
        const auto run = static_cast<std::size_t>(ascii - text.begin());
        out.append(text.substr(0, run));
        text.remove_prefix(run);
        if (text.empty()) {
            break;
        }
        AppendCodePoint(out, TakeUtf8(text));
    }
}

}  // namespace quillbox
