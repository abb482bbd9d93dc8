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
    // Small blocks: a fuzzer's store holds two messages.
    quillbox::MessageStore store(64);
    store.Add("untouched", "untouched", "untouched", 7);
    // The same head read into UTF-8, as for the archives that keep every character: the same
    // outcome, and text that is valid UTF-8.
    quillbox::MessageStore wide(64);
    wide.SetForm(quillbox::TextForm::Utf8);
    const quillbox::ReadOutcome wideOutcome = quillbox::ParseMessageHead(head, wide);
    const quillbox::ReadOutcome outcome = quillbox::ParseMessageHead(head, store);
    const auto& first = store.Messages().front();
    FUZZ_CHECK(first.Sender() == "untouched" && first.Body() == "untouched" &&
               first.DateText() == "untouched" && first.DateKey() == 7);
    FUZZ_CHECK(wideOutcome == outcome);
    if (!wideOutcome) {
        const auto& utf8 = wide.Messages().front();
        FUZZ_CHECK(quillbox::WidenUtf8(utf8.Sender()).has_value());
        FUZZ_CHECK(quillbox::WidenUtf8(utf8.Body()).has_value());
    }
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
