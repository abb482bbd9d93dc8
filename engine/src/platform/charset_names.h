// SPDX-License-Identifier: MIT
#pragma once

// The character sets DecodeToUtf8 knows, shared by both platforms so that a card reads the same
// on either: each name as vCards write it, with its Windows code page and its iconv name.

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace quillbox::platform::detail {

struct CharsetName {
    std::string_view key;  // upper case, without "-", "_" and spaces
    std::uint32_t codePage;
    const char* iconvName;  // null: code page 936, read with the engine's own table
};

inline constexpr std::uint32_t kCodePage936 = 936;

inline constexpr std::array<CharsetName, 47> kCharsets = {{
    {"UTF8", 65001, "UTF-8"},
    {"GBK", kCodePage936, nullptr},
    {"CP936", kCodePage936, nullptr},
    {"MS936", kCodePage936, nullptr},
    {"WINDOWS936", kCodePage936, nullptr},
    {"GB2312", kCodePage936, nullptr},
    {"EUCCN", kCodePage936, nullptr},
    {"XGBK", kCodePage936, nullptr},
    {"CSGB2312", kCodePage936, nullptr},
    {"GB18030", 54936, "GB18030"},
    {"BIG5", 950, "CP950"},
    {"BIG5HKSCS", 950, "CP950"},
    {"CP950", 950, "CP950"},
    {"XXBIG5", 950, "CP950"},
    {"CSBIG5", 950, "CP950"},
    {"SHIFTJIS", 932, "CP932"},
    {"SJIS", 932, "CP932"},
    {"XSJIS", 932, "CP932"},
    {"MSKANJI", 932, "CP932"},
    {"CP932", 932, "CP932"},
    {"WINDOWS31J", 932, "CP932"},
    {"CSSHIFTJIS", 932, "CP932"},
    {"EUCJP", 20932, "EUC-JP"},
    {"EUCKR", 949, "CP949"},
    {"CP949", 949, "CP949"},
    {"KSC56011987", 949, "CP949"},
    {"UHC", 949, "CP949"},
    {"WINDOWS1250", 1250, "CP1250"},
    {"WINDOWS1251", 1251, "CP1251"},
    {"WINDOWS1252", 1252, "CP1252"},
    {"WINDOWS1253", 1253, "CP1253"},
    {"WINDOWS1254", 1254, "CP1254"},
    {"WINDOWS1257", 1257, "CP1257"},
    {"CP1250", 1250, "CP1250"},
    {"CP1251", 1251, "CP1251"},
    {"CP1252", 1252, "CP1252"},
    {"ISO88591", 28591, "ISO-8859-1"},
    {"LATIN1", 28591, "ISO-8859-1"},
    {"ISO88592", 28592, "ISO-8859-2"},
    {"ISO88595", 28595, "ISO-8859-5"},
    {"ISO88597", 28597, "ISO-8859-7"},
    {"ISO88599", 28599, "ISO-8859-9"},
    {"ISO885915", 28605, "ISO-8859-15"},
    {"KOI8R", 20866, "KOI8-R"},
    {"KOI8U", 21866, "KOI8-U"},
    {"USASCII", 20127, "ASCII"},
    {"ASCII", 20127, "ASCII"},
}};

inline std::optional<CharsetName> FindCharset(std::string_view name) {
    // The longest name above has 11 letters; anything longer is unknown.
    char key[16];
    std::size_t length = 0;
    for (const char c : name) {
        if (c == '-' || c == '_' || c == ' ') {
            continue;
        }
        if (length == sizeof key) {
            return std::nullopt;
        }
        key[length++] = c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
    }
    const std::string_view wanted(key, length);
    for (const auto& charset : kCharsets) {
        if (charset.key == wanted) {
            return charset;
        }
    }
    return std::nullopt;
}

}  // namespace quillbox::platform::detail
