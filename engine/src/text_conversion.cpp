// SPDX-License-Identifier: MIT
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

}  // namespace quillbox
