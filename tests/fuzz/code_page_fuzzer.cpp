// SPDX-License-Identifier: MIT
// The text conversions of the codec, both ways.

#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_check.h"
#include "platform/codec.h"
#include "quillbox/archive.h"
#include "quillbox/text.h"
#include "write/encoding.h"

namespace {

bool HasLoneSurrogate(std::u16string_view text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] >= 0xD800 && text[i] <= 0xDBFF && i + 1 < text.size() &&
            text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            ++i;
        } else if (text[i] >= 0xD800 && text[i] <= 0xDFFF) {
            return true;
        }
    }
    return false;
}

std::string Narrow(std::u16string_view wide) {
    std::string area(wide.size() * 2 + 1, '\0');
    const auto length = quillbox::platform::Utf16ToCp936(wide, area);
    FUZZ_CHECK(length.has_value());
    area.resize(*length);
    return area;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    namespace platform = quillbox::platform;
    // As UTF-16: every unit becomes itself, its code page twin, or "?".
    std::u16string wide;
    for (std::size_t i = 0; i + 1 < size; i += 2) {
        const auto unit = static_cast<char16_t>(data[i] | data[i + 1] << 8);
        if (unit == 0) {
            break;
        }
        wide.push_back(unit);
    }
    const std::string narrow = Narrow(wide);
    const auto back = platform::Cp936ToUtf16(narrow);
    FUZZ_CHECK(back.has_value() && back->size() == wide.size());
    for (std::size_t i = 0; i < wide.size(); ++i) {
        FUZZ_CHECK((*back)[i] == wide[i] || (*back)[i] == u'?' ||
                   Narrow(std::u16string(1, (*back)[i])) == Narrow(std::u16string(1, wide[i])));
    }
    // The same text through UTF-8 reaches the classic archive as the same bytes.
    std::string classic;
    quillbox::AppendEncoded(classic, platform::Utf16ToUtf8(wide), quillbox::ArchiveEncoding::Gbk);
    FUZZ_CHECK(classic == narrow);
    // A path typed as text names the file it spells: shown to people, it reads as typed, with
    // U+FFFD only for a lone surrogate, which spells nothing.
    const auto shown = quillbox::WidenUtf8(quillbox::DisplayPath(quillbox::PathFromText(wide)));
    FUZZ_CHECK(shown.has_value());
    if (!HasLoneSurrogate(wide)) {
        FUZZ_CHECK(*shown == wide);
    }

    // As code page 936: any bytes come back whole from the engine's text, and show as valid
    // UTF-8 everywhere else.
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const std::string text = platform::Cp936AsUtf8(bytes);
    std::string again;
    platform::AppendAsCp936(again, text);
    FUZZ_CHECK(again == bytes);
    std::string utf8;
    quillbox::AppendEncoded(utf8, text, quillbox::ArchiveEncoding::Utf8);
    FUZZ_CHECK(platform::IsUtf8(utf8));
    // As UTF-8: the lenient reading is valid and leaves valid text alone.
    const std::string lenient = platform::Utf8Lenient(bytes);
    FUZZ_CHECK(platform::IsUtf8(lenient));
    FUZZ_CHECK(!platform::IsUtf8(bytes) || lenient == bytes);
    return 0;
}
