#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace quillbox {

// Code page 936 text to UTF-16. None when the bytes are not code page 936.
std::optional<std::u16string> WidenText(std::string_view narrow);

// UTF-16 to code page 936. A character the code page lacks becomes "?", as Windows does it;
// none only when the platform's conversion itself fails.
std::optional<std::string> NarrowText(std::u16string_view wide);

// NarrowText for a path the user chose: none unless the narrow text widens back to exactly
// the same UTF-16 text, since a path with "?" in place of a character names another file.
std::optional<std::string> NarrowPath(std::u16string_view wide);

// Strict UTF-8 to UTF-16 (command lines, file names): none for malformed input.
std::optional<std::u16string> WidenUtf8(std::string_view utf8);

}  // namespace quillbox
