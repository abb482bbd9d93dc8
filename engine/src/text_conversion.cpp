// SPDX-License-Identifier: MIT
#include <cstdio>

#include "platform/codec.h"
#include "platform/platform.h"
#include "quillbox/text.h"

namespace quillbox {

std::optional<std::u16string> WidenUtf8(std::string_view utf8) {
    return platform::Utf8ToUtf16(utf8, platform::Utf8Errors::Reject);
}

std::filesystem::path PathFromText(std::u16string_view text) {
    return std::filesystem::path(platform::NativeFromUtf16(text));
}

std::filesystem::path PathFromArgument(std::string_view argument) {
    if constexpr (sizeof(platform::NativeChar) == 1) {
        return std::filesystem::path(std::string(argument));
    } else {
        const auto wide = platform::Utf8ToUtf16(argument, platform::Utf8Errors::Replace);
        return PathFromText(wide.value_or(std::u16string()));
    }
}

bool IsActingCharacter(char32_t cp) {
    return cp < 0x20 || (cp >= 0x7F && cp <= 0x9F) || cp == 0x061C || cp == 0x200E ||
           cp == 0x200F || (cp >= 0x2028 && cp <= 0x202E) || (cp >= 0x2066 && cp <= 0x2069);
}

std::string PrintableText(std::string_view utf8) {
    constexpr char kHex[] = "0123456789abcdef";
    std::string out;
    out.reserve(utf8.size());
    while (!utf8.empty()) {
        if (const std::size_t plain = platform::AsciiPrefix(utf8); plain != 0) {
            std::size_t shown = 0;
            while (shown < plain && !IsActingCharacter(static_cast<unsigned char>(utf8[shown]))) {
                ++shown;
            }
            out.append(utf8.substr(0, shown));
            utf8.remove_prefix(shown);
            if (utf8.empty()) {
                break;
            }
        }
        char32_t cp = platform::TakeCodePoint(utf8);
        if (platform::IsEscape(cp)) {
            cp = platform::kReplacement;
        }
        if (!IsActingCharacter(cp)) {
            platform::AppendCodePoint(out, cp);
        } else if (cp <= 0x7F) {
            out.append("\\x").push_back(kHex[cp >> 4]);
            out.push_back(kHex[cp & 0xF]);
        } else {
            out.append("\\u");
            for (int shift = 12; shift >= 0; shift -= 4) {
                out.push_back(kHex[(cp >> shift) & 0xF]);
            }
        }
    }
    return out;
}

std::string SizeText(std::uint64_t bytes) {
    char text[32];
    if (bytes < 1024) {
        std::snprintf(text, sizeof text, "%llu 字节", static_cast<unsigned long long>(bytes));
    } else if (bytes < 1024 * 1024) {
        std::snprintf(text, sizeof text, "%.1f KB", static_cast<double>(bytes) / 1024.0);
    } else {
        std::snprintf(text, sizeof text, "%.1f MB", static_cast<double>(bytes) / 1048576.0);
    }
    return text;
}

}  // namespace quillbox
