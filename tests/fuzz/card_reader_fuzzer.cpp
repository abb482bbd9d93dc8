// SPDX-License-Identifier: MIT
// The card reader through the platform layer's text-mode read of a real file.

#include <unistd.h>

#include <algorithm>
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
    const quillbox::CardEntries& entries = items.cards;
    FUZZ_CHECK(!outcome || entries.Size() == 0);
    // Only a file whose text-mode head holds nothing is empty.
    FUZZ_CHECK((outcome == quillbox::SkipReason::Empty) == (size == 0 || data[0] == 0x1A));
    for (std::size_t i = 0; i < entries.Size(); ++i) {
        // A number and a name are one line each, without control characters: each of them,
        // "=0D" and "=0A" included, became a space.
        for (const std::string_view text : {entries.Number(i), entries.Name(i)}) {
            FUZZ_CHECK(std::none_of(text.begin(), text.end(), [](char c) {
                return static_cast<unsigned char>(c) < 0x20 || c == 0x7F;
            }));
        }
    }
    std::remove(path.c_str());
    return 0;
}
