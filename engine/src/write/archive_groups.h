// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "order/contact_book.h"
#include "order/message_store.h"
#include "quillbox/archive.h"

namespace quillbox {

struct DateParts {
    std::int32_t year = 0;
    std::int32_t month = 0;
    std::int32_t day = 0;
};

// Year, month and day read with "%d" at the fixed offsets 0, 5 and 8 of a display date. Where no
// number stands at an offset (a negative field of an odd date), the value of previous is kept.
DateParts ReadDateParts(std::string_view dateText, DateParts previous);

// The fixed Chinese words of the archive, in the run's text form: GB2312 bytes for the classic
// archive, UTF-8 otherwise.
struct ArchiveWords {
    std::string_view year;     // 年
    std::string_view month;    // 月
    std::string_view sender;   // 发信人：
    std::string_view contact;  // 联系人：
    std::string_view sent;     // "→ ", before a sent message's entry
};
inline constexpr ArchiveWords kCodePage936Words = {"\xC4\xEA", "\xD4\xC2",
                                                   "\xB7\xA2\xD0\xC5\xC8\xCB\xA3\xBA",
                                                   "\xC1\xAA\xCF\xB5\xC8\xCB\xA3\xBA", "\xA1\xFA "};
inline constexpr ArchiveWords kUtf8Words = {"年", "月", "发信人：", "联系人：", "→ "};
inline const ArchiveWords& WordsFor(TextForm form) {
    return form == TextForm::Utf8 ? kUtf8Words : kCodePage936Words;
}

// "2009年03月" by date, "发信人：" and the display name by sender ("联系人：" where a group holds
// both directions).
std::string MonthHeading(std::int32_t year, std::int32_t month,
                         TextForm form = TextForm::CodePage936);
std::string SenderHeading(std::string_view displayName, bool bothDirections = false,
                          TextForm form = TextForm::CodePage936);

// Walks the ordered messages once: onHeading(text) whenever a group begins (a new month by date,
// a new sender number by sender), then onEntry(record, displayName) for every message. A group
// key equal to the starting one (year 0 month 0, or the empty sender) opens no group.
template <typename OnHeading, typename OnEntry>
void WalkGroups(const MessageStore& messages, ContactBook& book, SortOrder order,
                OnHeading&& onHeading, OnEntry&& onEntry) {
    DateParts group;
    DateParts previous;
    std::string groupSender;
    for (const MessageStore::Message& record : messages.Messages()) {
        const std::string_view sender = record.Sender();
        const std::string& displayName = book.Lookup(sender);
        if (order == SortOrder::ByDate) {
            previous = ReadDateParts(record.DateText(), previous);
            if (previous.year != group.year || previous.month != group.month) {
                group = previous;
                onHeading(MonthHeading(group.year, group.month, messages.Form()));
            }
        } else if (sender != groupSender) {
            groupSender = sender;
            onHeading(SenderHeading(displayName, messages.BothDirections(), messages.Form()));
        }
        onEntry(record, displayName);
    }
}

}  // namespace quillbox
