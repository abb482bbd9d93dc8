// SPDX-License-Identifier: MIT
// The property list reader on any bytes, XML or binary: every key and text it gives is UTF-8,
// every date within the years 0 to 9999 that a calendar shows.

#include <cstdint>
#include <string_view>

#include "fuzz_check.h"
#include "platform/codec.h"
#include "read/plist.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    for (const quillbox::PlistValue& value : quillbox::ReadPlistValues(bytes)) {
        FUZZ_CHECK(quillbox::platform::IsUtf8(value.key));
        FUZZ_CHECK(quillbox::platform::IsUtf8(value.text));
        if (value.date) {
            FUZZ_CHECK(value.text.empty());
            FUZZ_CHECK(*value.date >= -62'167'219'200 && *value.date < 253'402'300'800);
        }
    }
    return 0;
}
