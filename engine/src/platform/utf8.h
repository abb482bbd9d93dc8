#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace quillbox::platform::detail {

// UTF-8 to UTF-16. With replace set, every maximal ill-formed subsequence becomes one U+FFFD
// (the Unicode recommendation, and what Windows' conversion does); otherwise it is an error.
std::optional<std::u16string> DecodeUtf8(std::string_view utf8, bool replace);

// UTF-16 to UTF-8; none for an unpaired surrogate.
std::optional<std::string> EncodeUtf8(std::u16string_view utf16);

}  // namespace quillbox::platform::detail
