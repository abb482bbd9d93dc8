// SPDX-License-Identifier: MIT
// The message reader on the head of a message file as it is read from disk.

#include <algorithm>
#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "fuzz_check.h"
#include "order/message_store.h"
#include "platform/codec.h"
#include "read/classic_reader.h"
#include "read/field_normalisation.h"
#include "write/encoding.h"

namespace {

std::string Encoded(std::string_view text, quillbox::ArchiveEncoding encoding) {
    std::string out;
    quillbox::AppendEncoded(out, text, encoding);
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const char> head(reinterpret_cast<const char*>(data),
                                     std::min(size, quillbox::kMessageHeadUnits * 2));
    // Small blocks: a fuzzer's store holds two messages.
    quillbox::MessageStore store(64);
    store.Add({"untouched", {}, "untouched", {1, 2, 3, 4, 5, 6}, 7});
    const auto outcome = quillbox::ParseMessageHead(head, store);
    const auto& first = store.Messages().front();
    FUZZ_CHECK(first.Party() == "untouched" && first.Body() == "untouched" && first.Key() == 7);
    if (outcome) {
        FUZZ_CHECK(store.Size() == 1);
        FUZZ_CHECK(*outcome != quillbox::SkipReason::Empty || head.empty());
        return 0;
    }
    FUZZ_CHECK(store.Size() == 2);
    const auto& message = store.Messages().back();
    // The number is cut at the first LF after "TEL:" and the text holds no zero byte.
    FUZZ_CHECK(message.Party().find('\n') == std::string_view::npos);
    FUZZ_CHECK(message.Party().find('\0') == std::string_view::npos);
    FUZZ_CHECK(message.Body().find('\0') == std::string_view::npos);
    // The classic archive gets back the very bytes the fields had in the head's code page 936
    // form; the other encodings get valid text.
    std::array<char, quillbox::kMessageCp936Bytes> narrow;
    std::string_view text;
    FUZZ_CHECK(!quillbox::MessageHeadText(head, narrow, text));
    quillbox::MessageFields fields;
    FUZZ_CHECK(!quillbox::FindMessageFields(text, fields));
    FUZZ_CHECK(Encoded(message.Party(), quillbox::ArchiveEncoding::Gbk) ==
               quillbox::ClassicNumber(fields.number));
    FUZZ_CHECK(Encoded(message.Body(), quillbox::ArchiveEncoding::Gbk) == fields.body);
    FUZZ_CHECK(message.Time() == quillbox::ParseMessageDate(fields.date));
    FUZZ_CHECK(
        quillbox::platform::IsUtf8(Encoded(message.Body(), quillbox::ArchiveEncoding::Utf8)));
    return 0;
}
