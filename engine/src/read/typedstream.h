// SPDX-License-Identifier: MIT
#pragma once

#include <optional>
#include <string_view>

namespace quillbox {

// The text of a message's attributedBody: an NSAttributedString as Messages archives it (Apple's
// "typedstream"). Its string follows the class name "NSString" and the bytes 01 2B, after a
// length: one byte below 0x80, or 0x81 and two bytes, or 0x82 and four (little-endian). The
// bytes as stored, which should be UTF-8; none where no such string lies wholly in bytes.
std::optional<std::string_view> TypedStreamText(std::string_view bytes);

}  // namespace quillbox
