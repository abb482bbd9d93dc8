// SPDX-License-Identifier: MIT
// The field normalisations on any text a reader can cut out.

#include <cstdint>
#include <string>

#include "fuzz_check.h"
#include "platform/codec.h"
#include "read/field_normalisation.h"
#include "write/archive_groups.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);

    // Only prefixes are removed.
    const std::string number = quillbox::NormalizeNumber(text);
    FUZZ_CHECK(text.ends_with(number));

    std::string display;
    quillbox::AppendDisplayTime(display, quillbox::ParseMessageDate(text));
    int fields = 0;
    for (const char c : display) {
        fields += (c == ' ' || c == ':') ? 1 : 0;
    }
    FUZZ_CHECK(fields >= 3 && display.size() <= 71);

    // A card's name is one line of the archive.
    FUZZ_CHECK(quillbox::DecodeContactName(text).find_first_of("\r\n") == std::string::npos);

    // Whatever the bytes, a decoded quoted-printable name is valid UTF-8.
    FUZZ_CHECK(quillbox::platform::IsUtf8(quillbox::DecodeQuotedPrintable(text)));
    return 0;
}
