// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
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

// Characters a terminal or a viewer acts on instead of showing: C0 and C1 controls, DEL, the
// bidi controls (U+061C, U+200E, U+200F, U+202A..U+202E, U+2066..U+2069) and the line and
// paragraph separators. A name holding one could move the cursor, retitle a window, reverse the
// rest of a line or forge one.
bool IsActingCharacter(char32_t cp);
// UTF-8 text for a person's terminal: each acting character as a visible escape, "\x1b" for
// one below U+0080 and DEL, "\u202e" for the others (as ls and git show names). Malformed bytes
// show as U+FFFD.
std::string PrintableText(std::string_view utf8);

// A size as people read it: "857 字节", "430.7 KB", "1.2 MB".
std::string SizeText(std::uint64_t bytes);

}  // namespace quillbox
