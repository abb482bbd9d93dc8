// SPDX-License-Identifier: MIT
// The card reader through the platform layer's text-mode read of a real file.

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_check.h"
#include "platform/platform.h"
#include "read/classic_reader.h"

namespace {

std::string CardPath() {
    const char* tmp = std::getenv("TMPDIR");
    return std::string(tmp != nullptr ? tmp : "/tmp") + "/quillbox-card-fuzz-" +
           std::to_string(::getpid()) + ".vcf";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::string path = CardPath();
    std::FILE* file = std::fopen(path.c_str(), "wb");
    FUZZ_CHECK(file != nullptr);
    FUZZ_CHECK(std::fwrite(data, 1, size, file) == size);
    FUZZ_CHECK(std::fclose(file) == 0);

    quillbox::platform::InputFile input;
    FUZZ_CHECK(input.Open(path, quillbox::platform::EntryKind::Unchecked, std::nullopt) ==
               quillbox::platform::InputFile::Outcome::Opened);
    std::string scratch;
    const quillbox::ReadSettings settings;
    quillbox::Input read{input, {}, {}, settings, scratch};
    quillbox::Items items;
    const auto outcome = quillbox::ReadClassicCard(read, items).refused;
    const std::vector<quillbox::ContactEntry>& entries = items.cards;
    FUZZ_CHECK(!outcome || entries.empty());
    // Only a file whose text-mode head holds nothing is empty.
    FUZZ_CHECK((outcome == quillbox::SkipReason::Empty) == (size == 0 || data[0] == 0x1A));
    for (const auto& entry : entries) {
        // A number is cut from one line, and a name is one line too: each CR or LF of it,
        // "=0D" and "=0A" included, became a space.
        FUZZ_CHECK(entry.number.find('\n') == std::string::npos);
        FUZZ_CHECK(entry.number.find('\0') == std::string::npos);
        FUZZ_CHECK(entry.name.find_first_of(std::string_view("\r\n\0", 3)) == std::string::npos);
    }
    std::remove(path.c_str());
    return 0;
}
