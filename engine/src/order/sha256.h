// SPDX-License-Identifier: MIT
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace quillbox {

// SHA-256 of bytes given in pieces of any size: the name an attachment is stored under, so that
// the same picture sent twice is one file and no crafted picture can take another's name.
class Sha256 {
public:
    Sha256();
    void Add(std::string_view bytes);
    // The digest of what was added; the object is spent.
    std::array<std::uint8_t, 32> Finish();

private:
    void Compress(const std::uint8_t* block);

    std::array<std::uint32_t, 8> state_;
    std::array<std::uint8_t, 64> block_{};
    std::size_t held_ = 0;
    std::uint64_t length_ = 0;
};

// The first bytes of a digest in lower-case hex: two characters a byte.
std::string HexDigest(const std::array<std::uint8_t, 32>& digest, std::size_t bytes);

}  // namespace quillbox
