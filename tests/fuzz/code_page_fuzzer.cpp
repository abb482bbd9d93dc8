// SPDX-License-Identifier: MIT
// The code page 936 conversions both ways.

#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_check.h"
#include "quillbox/archive.h"
#include "quillbox/text.h"

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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // As UTF-16: every unit becomes itself, its code page twin, or "?".
    std::u16string wide;
    for (std::size_t i = 0; i + 1 < size; i += 2) {
        const auto unit = static_cast<char16_t>(data[i] | data[i + 1] << 8);
        if (unit == 0) {
            break;
        }
        wide.push_back(unit);
    }
    const auto narrow = quillbox::NarrowText(wide);
    FUZZ_CHECK(narrow.has_value());
    const auto back = quillbox::WidenText(*narrow);
    FUZZ_CHECK(back.has_value() && back->size() == wide.size());
    for (std::size_t i = 0; i < wide.size(); ++i) {
        FUZZ_CHECK((*back)[i] == wide[i] || (*back)[i] == u'?' ||
                   quillbox::NarrowText(std::u16string(1, (*back)[i])) ==
                       quillbox::NarrowText(std::u16string(1, wide[i])));
    }
    // A path typed as text names the file it spells: shown to people, it reads as typed, with
    // U+FFFD only for a lone surrogate, which spells nothing.
    const auto shown = quillbox::WidenUtf8(quillbox::DisplayPath(quillbox::PathFromText(wide)));
    FUZZ_CHECK(shown.has_value());
    if (!HasLoneSurrogate(wide)) {
        FUZZ_CHECK(*shown == wide);
    }

    // As code page 936: what widens narrows back to the same bytes.
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const std::string text = bytes.substr(0, bytes.find('\0'));
    if (const auto widened = quillbox::WidenText(text)) {
        FUZZ_CHECK(quillbox::NarrowText(*widened) == text);
    }
    return 0;
}
