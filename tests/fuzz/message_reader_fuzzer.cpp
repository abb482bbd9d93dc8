// SPDX-License-Identifier: MIT
// The message reader on the head of a message file as it is read from disk.

#include <algorithm>
#include <cstdint>
#include <span>
#include <string_view>

#include "fuzz_check.h"
#include "order/message_store.h"
#include "quillbox/text.h"
#include "read/classic_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const char> head(reinterpret_cast<const char*>(data),
                                     std::min(size, quillbox::kMessageHeadUnits * 2));
    quillbox::MessageStore store;
    store.Add("untouched", "untouched", "untouched", 7);
    const quillbox::ReadOutcome outcome = quillbox::ParseMessageHead(head, store);
    const auto& first = store.Messages().front();
    FUZZ_CHECK(first.Sender() == "untouched" && first.Body() == "untouched" &&
               first.DateText() == "untouched" && first.DateKey() == 7);
    if (outcome) {
        FUZZ_CHECK(store.Messages().size() == 1);
        FUZZ_CHECK(*outcome != quillbox::SkipReason::Empty || head.empty());
        return 0;
    }
    FUZZ_CHECK(store.Messages().size() == 2);
    const auto& message = store.Messages().back();
    // The number is cut at the first LF after "TEL:" and the text holds no zero byte.
    FUZZ_CHECK(message.Sender().find('\n') == std::string_view::npos);
    FUZZ_CHECK(message.Sender().find('\0') == std::string_view::npos);
    FUZZ_CHECK(message.Body().find('\0') == std::string_view::npos);
    FUZZ_CHECK(quillbox::WidenText(message.Sender()).has_value());
    FUZZ_CHECK(!message.DateText().empty() && message.DateText().size() <= 71);
    return 0;
}
