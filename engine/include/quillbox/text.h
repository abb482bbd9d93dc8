// SPDX-License-Identifier: MIT
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace quillbox {

// Strict UTF-8 to UTF-16 (the engine's messages, command lines): none for malformed input.
std::optional<std::u16string> WidenUtf8(std::string_view utf8);

// A path a person gave as text: UTF-16 from a dialog, or a command-line argument (the system's
// bytes on POSIX, UTF-8 on Windows), as the system names it.
std::filesystem::path PathFromText(std::u16string_view text);
std::filesystem::path PathFromArgument(std::string_view argument);

}  // namespace quillbox
