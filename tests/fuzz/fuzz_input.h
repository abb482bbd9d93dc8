// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace quillbox::fuzz {

// Takes a fuzzer's bytes apart: small numbers from the front, length-prefixed pieces after.
class FuzzInput {
public:
    FuzzInput(const std::uint8_t* data, std::size_t size)
        : bytes_(reinterpret_cast<const char*>(data), size) {}

    bool Empty() const { return bytes_.empty(); }

    // A number in [0, bound), 0 once the input is used up.
    unsigned Choose(unsigned bound) {
        if (bytes_.empty() || bound == 0) {
            return 0;
        }
        const auto value = static_cast<unsigned char>(bytes_.front());
        bytes_.remove_prefix(1);
        return value % bound;
    }

    // Up to maxLength bytes, the length taken from the input itself.
    std::string Piece(std::size_t maxLength) {
        std::size_t length = Choose(256) << 8 | Choose(256);
        length = std::min({length, maxLength, bytes_.size()});
        std::string piece(bytes_.substr(0, length));
        bytes_.remove_prefix(length);
        return piece;
    }

    std::string Rest() {
        std::string rest(bytes_);
        bytes_ = {};
        return rest;
    }

private:
    std::string_view bytes_;
};

}  // namespace quillbox::fuzz
