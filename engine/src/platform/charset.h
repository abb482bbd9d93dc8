// SPDX-License-Identifier: MIT
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace quillbox::platform {

// Bytes in a named character set to UTF-8, through the system's converters: iconv on POSIX, the
// Windows code pages there. Names are taken as cards write them ("GBK", "Shift_JIS",
// "windows-1251", any case, "-" and "_" ignored). GBK, GB2312 and CP936 are code page 936, as the
// phone's own text is. None for a name this table does not know or bytes the set does not define.
std::optional<std::string> DecodeToUtf8(std::string_view charset, std::string_view bytes);

}  // namespace quillbox::platform
