// SPDX-License-Identifier: MIT
#include "write/archive_groups.h"

#include <charconv>
#include <cstdio>

namespace quillbox {

namespace {

bool IsScanfSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// "%d" at one offset. The display dates are made by the engine itself, so their numbers always
// fit an int; from_chars refuses anything else and the previous value stays.
std::int32_t NumberAt(std::string_view text, std::size_t offset, std::int32_t previous) {
    if (offset >= text.size()) {
        return previous;
    }
    std::size_t p = offset;
    while (p < text.size() && IsScanfSpace(text[p])) {
        ++p;
    }
    if (p < text.size() && text[p] == '+') {
        ++p;
        if (p < text.size() && text[p] == '-') {
            return previous;
        }
    }
    std::int32_t value = 0;
    const auto [end, error] = std::from_chars(text.data() + p, text.data() + text.size(), value);
    return error == std::errc() ? value : previous;
}

}  // namespace

DateParts ReadDateParts(std::string_view dateText, DateParts previous) {
    return {NumberAt(dateText, 0, previous.year), NumberAt(dateText, 5, previous.month),
            NumberAt(dateText, 8, previous.day)};
}

std::string MonthHeading(std::int32_t year, std::int32_t month, TextForm form) {
    char number[16];
    std::string text;
    std::snprintf(number, sizeof number, "%d", year);
    text.append(number).append(WordsFor(form).year);
    std::snprintf(number, sizeof number, "%02d", month);
    text.append(number).append(WordsFor(form).month);
    return text;
}

std::string SenderHeading(std::string_view displayName, bool bothDirections, TextForm form) {
    const ArchiveWords& words = WordsFor(form);
    std::string text(bothDirections ? words.contact : words.sender);
    text.append(displayName);
    return text;
}

}  // namespace quillbox
