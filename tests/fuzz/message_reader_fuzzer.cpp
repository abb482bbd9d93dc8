// The message reader on the head of a message file as it is read from disk.

#include <cstdint>
#include <span>

#include "file_reader.h"
#include "fuzz_check.h"
#include "quillbox/text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const char> head(reinterpret_cast<const char*>(data),
                                     std::min(size, quillbox::kMessageHeadUnits * 2));
    quillbox::MessageRecord record{"untouched", "untouched", "untouched", 7};
    if (!quillbox::ParseMessageHead(head, record)) {
        FUZZ_CHECK(record.sender == "untouched" && record.body == "untouched" &&
                   record.dateText == "untouched" && record.dateKey == 7);
        return 0;
    }
    // The number is cut at the first LF after "TEL:" and the text holds no zero byte.
    FUZZ_CHECK(record.sender.find('\n') == std::string::npos);
    FUZZ_CHECK(record.sender.find('\0') == std::string::npos);
    FUZZ_CHECK(record.body.find('\0') == std::string::npos);
    FUZZ_CHECK(quillbox::WidenText(record.sender).has_value());
    FUZZ_CHECK(!record.dateText.empty() && record.dateText.size() <= 71);
    return 0;
}
