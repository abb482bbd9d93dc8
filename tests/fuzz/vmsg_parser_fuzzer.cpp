// SPDX-License-Identifier: MIT
// The whole-file message parser on any bytes: every block it begins ends read or skipped, in
// order, with UTF-8 text, a clean number and a date the archive can show.

#include <algorithm>
#include <cstdint>
#include <string_view>
#include <vector>

#include "fuzz_check.h"
#include "platform/codec.h"
#include "read/vformat_text.h"
#include "read/vmsg_parser.h"
#include "write/archive_groups.h"

namespace {

bool IsDial(char c) {
    return (c >= '0' && c <= '9') || c == '+' || c == '*' || c == '#';
}

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
    return quillbox::platform::IsUtf8(number);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    quillbox::MessageBatch batch;
    quillbox::ParseVMessages(bytes, batch);

    std::vector<std::size_t> indices;
    for (const auto& message : batch.messages) {
        FUZZ_CHECK(quillbox::platform::IsUtf8(message.text));
        FUZZ_CHECK(message.text.find('\0') == std::string::npos);
        FUZZ_CHECK(!message.text.ends_with('\n'));
        FUZZ_CHECK(IsCleanNumber(message.number));
        const auto& date = message.date;
        FUZZ_CHECK(date.year >= 1900 && date.year <= 9999);
        FUZZ_CHECK(date.month >= 1 && date.month <= 12 && date.day >= 1 && date.day <= 31);
        FUZZ_CHECK(date.hour <= 23 && date.minute <= 59 && date.second <= 60);
        std::string display;
        quillbox::AppendDisplayTime(display, date);
        FUZZ_CHECK(display.size() == 19);
        FUZZ_CHECK(indices.empty() || indices.back() < message.index);
        indices.push_back(message.index);
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
