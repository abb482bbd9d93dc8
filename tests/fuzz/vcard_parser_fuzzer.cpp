// SPDX-License-Identifier: MIT
// The whole-file card parser on any bytes: every card it begins ends read or skipped, and what
// it gives is one-line UTF-8 names and numbers without separators.

#include <algorithm>
#include <cstdint>
#include <string_view>
#include <vector>

#include "fuzz_check.h"
#include "platform/codec.h"
#include "read/vcard_parser.h"
#include "read/vformat_text.h"

namespace {

bool IsDial(char c) {
    return (c >= '0' && c <= '9') || c == '+' || c == '*' || c == '#';
}

// What CleanNumber leaves: no separators or control characters, and no dial pause or extension
// right after the leading run of dial characters (there the number ends).
bool IsCleanNumber(std::string_view number) {
    for (const char c : number) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x20 || b == 0x7F ||
            std::string_view(" -.()/;").find(c) != std::string_view::npos) {
            return false;
        }
    }
    const auto firstOther = std::find_if_not(number.begin(), number.end(), IsDial);
    if (firstOther != number.begin() && firstOther != number.end() &&
        std::string_view("pPwWxXeE,").find(*firstOther) != std::string_view::npos) {
        return false;
    }
    return !number.empty() && quillbox::platform::IsUtf8(number);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    quillbox::CardBatch batch;
    quillbox::ParseVCards(bytes, batch);

    std::vector<std::size_t> indices;
    for (const auto& card : batch.cards) {
        FUZZ_CHECK(!card.name.empty());
        FUZZ_CHECK(quillbox::platform::IsUtf8(card.name));
        FUZZ_CHECK(card.name.find_first_of(std::string_view("\0\r\n", 3)) == std::string::npos);
        for (const auto& number : card.numbers) {
            FUZZ_CHECK(IsCleanNumber(number));
        }
        FUZZ_CHECK(indices.empty() || indices.back() < card.index);
        indices.push_back(card.index);
    }
    for (const auto& skip : batch.skipped) {
        FUZZ_CHECK(skip.count >= 1);
        for (std::size_t k = 0; k < skip.count; ++k) {
            indices.push_back(skip.index + k);
        }
    }
    std::sort(indices.begin(), indices.end());
    for (std::size_t i = 0; i < indices.size(); ++i) {
        FUZZ_CHECK(indices[i] == i);
    }
    return 0;
}
