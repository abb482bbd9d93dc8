// SPDX-License-Identifier: MIT
#include "read/typedstream.h"

#include <cstdint>

namespace quillbox {

namespace {

// Between the class name and the string's type "+" stand the class's version and the tags of
// a new object; a few bytes at most.
constexpr std::size_t kTypeWithin = 16;

std::uint32_t LittleEndian(std::string_view bytes) {
    std::uint32_t value = 0;
    for (std::size_t i = bytes.size(); i-- > 0;) {
        value = value << 8 | static_cast<unsigned char>(bytes[i]);
    }
    return value;
}

}  // namespace

std::optional<std::string_view> TypedStreamText(std::string_view bytes) {
    constexpr std::string_view kClass = "NSString";
    constexpr std::string_view kType = "\x01\x2B";
    for (std::size_t at = bytes.find(kClass); at != std::string_view::npos;
         at = bytes.find(kClass, at + 1)) {
        const std::size_t after = at + kClass.size();
        const std::size_t type = bytes.substr(after, kTypeWithin + kType.size()).find(kType);
        if (type == std::string_view::npos) {
            continue;
        }
        std::string_view rest = bytes.substr(after + type + kType.size());
        if (rest.empty()) {
            return std::nullopt;
        }
        const auto tag = static_cast<unsigned char>(rest.front());
        rest.remove_prefix(1);
        std::size_t length = tag;
        if (tag >= 0x80) {
            const std::size_t width = tag == 0x81 ? 2 : tag == 0x82 ? 4 : 0;
            if (width == 0 || rest.size() < width) {
                return std::nullopt;
            }
            length = LittleEndian(rest.substr(0, width));
            rest.remove_prefix(width);
        }
        if (length > rest.size()) {
            return std::nullopt;
        }
        return rest.substr(0, length);
    }
    return std::nullopt;
}

}  // namespace quillbox
