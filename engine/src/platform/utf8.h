// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quillbox::platform::detail {

// UTF-8 to UTF-16. With replace set, every maximal ill-formed subsequence becomes one U+FFFD
// (the Unicode recommendation, and what Windows' conversion does); otherwise it is an error.
std::optional<std::u16string> DecodeUtf8(std::string_view utf8, bool replace);
// The same into out, reusing its storage; false where DecodeUtf8 gives none (out then holds
// a part of the text).
bool DecodeUtf8Into(std::string_view utf8, bool replace, std::u16string& out);

// UTF-16 to UTF-8; none for an unpaired surrogate.
std::optional<std::string> EncodeUtf8(std::u16string_view utf16);

// The length EncodeUtf8 would give, without building the text.
std::optional<std::size_t> Utf8Length(std::u16string_view utf16);

// Writes the UTF-8 form of a code point (up to four bytes) and returns its length.
inline int EncodeCodePoint(std::uint32_t cp, char* out) {
    if (cp < 0x80) {
        out[0] = static_cast<char>(cp);
        return 1;
    }
    if (cp < 0x800) {
        out[0] = static_cast<char>(0xC0 | cp >> 6);
        out[1] = static_cast<char>(0x80 | (cp & 0x3F));
        return 2;
    }
    if (cp < 0x10000) {
        out[0] = static_cast<char>(0xE0 | cp >> 12);
        out[1] = static_cast<char>(0x80 | (cp >> 6 & 0x3F));
        out[2] = static_cast<char>(0x80 | (cp & 0x3F));
        return 3;
    }
    out[0] = static_cast<char>(0xF0 | cp >> 18);
    out[1] = static_cast<char>(0x80 | (cp >> 12 & 0x3F));
    out[2] = static_cast<char>(0x80 | (cp >> 6 & 0x3F));
    out[3] = static_cast<char>(0x80 | (cp & 0x3F));
    return 4;
}

}  // namespace quillbox::platform::detail
