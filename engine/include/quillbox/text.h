// SPDX-License-Identifier: MIT
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace quillbox {

// Code page 936 text to UTF-16. None when the bytes are not code page 936.
std::optional<std::u16string> WidenText(std::string_view narrow);

// UTF-16 to code page 936. A character the code page lacks becomes "?", as Windows does it;
// none only when the platform's conversion itself fails.
std::optional<std::string> NarrowText(std::u16string_view wide);

// Strict UTF-8 to UTF-16 (command lines, file names): none for malformed input.
std::optional<std::u16string> WidenUtf8(std::string_view utf8);

// A path a person gave as text: UTF-16 from a dialog, or a command-line argument (the system's
// bytes on POSIX, UTF-8 on Windows), as the system names it.
std::filesystem::path PathFromText(std::u16string_view text);
std::filesystem::path PathFromArgument(std::string_view argument);

}  // namespace quillbox
