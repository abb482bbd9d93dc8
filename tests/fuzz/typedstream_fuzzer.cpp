// SPDX-License-Identifier: MIT
// The attributedBody reader on any bytes: a string it finds lies wholly inside them, right after
// its length, and is read the same from a copy.

#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_check.h"
#include "read/typedstream.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const auto text = quillbox::TypedStreamText(bytes);
    if (!text) {
        return 0;
    }
    FUZZ_CHECK(text->data() >= bytes.data());
    FUZZ_CHECK(text->data() + text->size() <= bytes.data() + bytes.size());
    const auto at = static_cast<std::size_t>(text->data() - bytes.data());
    FUZZ_CHECK(bytes.substr(0, at).find("NSString") != std::string_view::npos);
    FUZZ_CHECK(bytes.substr(0, at).find("\x01+") != std::string_view::npos);
    const std::string copy(bytes);
    FUZZ_CHECK(quillbox::TypedStreamText(copy) == text);
    return 0;
}
