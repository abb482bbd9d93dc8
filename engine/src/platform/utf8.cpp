// SPDX-License-Identifier: MIT
#include "platform/utf8.h"

#include <cstdint>

namespace quillbox::platform::detail {

namespace {

constexpr char16_t kReplacement = 0xFFFD;

void AppendCodePoint(std::u16string& out, std::uint32_t cp) {
    if (cp < 0x10000) {
        out.push_back(static_cast<char16_t>(cp));
    } else {
        cp -= 0x10000;
        out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
        out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    }
}

// Length of the sequence a lead byte starts, and the range its second byte must fall in, which
// rules out overlong forms, surrogates and values past U+10FFFF.
struct Lead {
    int length;
    std::uint8_t secondLow;
    std::uint8_t secondHigh;
};

Lead ClassifyLead(std::uint8_t b) {
    if (b >= 0xC2 && b <= 0xDF)
        return {2, 0x80, 0xBF};
    if (b == 0xE0)
        return {3, 0xA0, 0xBF};
    if (b == 0xED)
        return {3, 0x80, 0x9F};
    if (b >= 0xE1 && b <= 0xEF)
        return {3, 0x80, 0xBF};
    if (b == 0xF0)
        return {4, 0x90, 0xBF};
    if (b >= 0xF1 && b <= 0xF3)
        return {4, 0x80, 0xBF};
    if (b == 0xF4)
        return {4, 0x80, 0x8F};
    return {0, 0, 0};
}

}  // namespace

std::optional<std::u16string> DecodeUtf8(std::string_view utf8, bool replace) {
    std::u16string out;
    if (!DecodeUtf8Into(utf8, replace, out)) {
        return std::nullopt;
    }
    return out;
}

bool DecodeUtf8Into(std::string_view utf8, bool replace, std::u16string& out) {
    out.clear();
    out.reserve(utf8.size());
    std::size_t i = 0;
    while (i < utf8.size()) {
        const auto b = static_cast<std::uint8_t>(utf8[i]);
        if (b < 0x80) {
            out.push_back(b);
            ++i;
            continue;
        }
        const Lead lead = ClassifyLead(b);
        std::uint32_t cp = lead.length == 2   ? (b & 0x1Fu)
                           : lead.length == 3 ? (b & 0x0Fu)
                                              : (b & 0x07u);
        std::size_t used = 1;
        bool complete = lead.length != 0;
        for (int k = 1; complete && k < lead.length; ++k) {
            if (i + used >= utf8.size()) {
                complete = false;
                break;
            }
            const auto c = static_cast<std::uint8_t>(utf8[i + used]);
            const std::uint8_t low = k == 1 ? lead.secondLow : std::uint8_t{0x80};
            const std::uint8_t high = k == 1 ? lead.secondHigh : std::uint8_t{0xBF};
            if (c < low || c > high) {
                complete = false;
                break;
            }
            cp = cp << 6 | (c & 0x3Fu);
            ++used;
        }
        if (!complete) {
            if (!replace) {
                return false;
            }
            out.push_back(kReplacement);
            i += used;
            continue;
        }
        AppendCodePoint(out, cp);
        i += used;
    }
    return true;
}

std::optional<std::string> EncodeUtf8(std::u16string_view utf16) {
    std::string out;
    out.reserve(utf16.size() * 3);
    for (std::size_t i = 0; i < utf16.size(); ++i) {
        std::uint32_t cp = utf16[i];
        if (cp >= 0xD800 && cp <= 0xDBFF) {
            if (i + 1 >= utf16.size() || utf16[i + 1] < 0xDC00 || utf16[i + 1] > 0xDFFF) {
                return std::nullopt;
            }
            cp = 0x10000 + ((cp - 0xD800) << 10) + (utf16[i + 1] - 0xDC00u);
            ++i;
        } else if (cp >= 0xDC00 && cp <= 0xDFFF) {
            return std::nullopt;
        }
        char bytes[4];
        out.append(bytes, static_cast<std::size_t>(EncodeCodePoint(cp, bytes)));
    }
    return out;
}

std::optional<std::size_t> Utf8Length(std::u16string_view utf16) {
    std::size_t length = 0;
    for (std::size_t i = 0; i < utf16.size(); ++i) {
        const char16_t unit = utf16[i];
        if (unit < 0x80) {
            length += 1;
        } else if (unit < 0x800) {
            length += 2;
        } else if (unit >= 0xD800 && unit <= 0xDBFF) {
            if (i + 1 >= utf16.size() || utf16[i + 1] < 0xDC00 || utf16[i + 1] > 0xDFFF) {
                return std::nullopt;
            }
            length += 4;
            ++i;
        } else if (unit >= 0xDC00 && unit <= 0xDFFF) {
            return std::nullopt;
        } else {
            length += 3;
        }
    }
    return length;
}

}  // namespace quillbox::platform::detail
