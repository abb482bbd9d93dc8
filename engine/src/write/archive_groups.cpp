// SPDX-License-Identifier: MIT
#include "write/archive_groups.h"

#include <array>
#include <charconv>

namespace quillbox {

namespace {

// "%d" of the value, or "%02d" with pad: a sign counts towards the width.
char* AppendDecimal(char* out, std::int32_t value, bool pad) {
    if (pad && value >= 0 && value < 10) {
        *out++ = '0';
    }
    return std::to_chars(out, out + 11, value).ptr;
}

bool IsScanfSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// "%d" at one offset. A display time's numbers always fit an int; from_chars refuses anything
// else and the previous value stays.
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

void AppendDisplayTime(std::string& out, const MessageTime& time) {
    // Six numbers of up to 11 characters and five separators.
    std::array<char, 71> chars;
    char* end = chars.data();
    end = AppendDecimal(end, time.year, false);
    *end++ = '-';
    end = AppendDecimal(end, time.month, true);
    *end++ = '-';
    end = AppendDecimal(end, time.day, true);
    *end++ = ' ';
    end = AppendDecimal(end, time.hour, true);
    *end++ = ':';
    end = AppendDecimal(end, time.minute, true);
    *end++ = ':';
    end = AppendDecimal(end, time.second, true);
    out.append(chars.data(), end);
}

GroupMonth GroupMonthOf(const MessageTime& time, GroupMonth previous) {
    // A four-digit year and a month of at most two digits stand where the offsets fall.
    if (time.year >= 1000 && time.year <= 9999 && time.month >= 0 && time.month <= 99) {
        return {time.year, time.month};
    }
    std::string text;
    AppendDisplayTime(text, time);
    return {NumberAt(text, 0, previous.year), NumberAt(text, 5, previous.month)};
}

std::string MonthHeading(GroupMonth month) {
    char number[12];
    std::string heading(number, AppendDecimal(number, month.year, false));
    heading.append(kYearWord);
    heading.append(number, AppendDecimal(number, month.month, true));
    heading.append(kMonthWord);
    return heading;
}

Heading GroupWalker::PartyHeading(std::string_view party) {
    if (const auto group = AsGroup(party)) {
        return {kGroupWord, GroupLabel(party, *group), true};
    }
    headingName_ = book_.Lookup(party);
    return {layout_.withDirections ? kContactWord : kSenderWord, headingName_, true};
}

EntryParty GroupWalker::PartyOf(const MessageStore::Message& message) {
    const std::string_view party = message.Party();
    const auto group = AsGroup(party);
    if (!group) {
        return {book_.Lookup(party), party};
    }
    if (!message.Author().empty()) {
        return {book_.Lookup(message.Author()), message.Author()};
    }
    const std::string& label = GroupLabel(party, *group);
    members_.clear();
    for (const std::string_view member : group->members) {
        members_.append(members_.empty() ? "" : kMemberSeparator).append(member);
    }
    return {label, members_};
}

const std::string& GroupWalker::GroupLabel(std::string_view party, const Group& group) {
    if (party != labelParty_) {
        labelParty_ = party;
        label_ = group.name;
        if (label_.empty()) {
            for (const std::string_view member : group.members) {
                label_.append(label_.empty() ? "" : kMemberSeparator).append(book_.Lookup(member));
            }
        }
    }
    return label_;
}

}  // namespace quillbox
