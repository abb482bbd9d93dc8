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

// The fixed Chinese words of the headings, as GB2312 bytes.
inline constexpr std::string_view kYearWord = "\xC4\xEA";                            // 年
inline constexpr std::string_view kMonthWord = "\xD4\xC2";                           // 月
inline constexpr std::string_view kSenderWord = "\xB7\xA2\xD0\xC5\xC8\xCB\xA3\xBA";  // 发信人：
inline constexpr std::string_view kContactWord = "\xC1\xAA\xCF\xB5\xC8\xCB\xA3\xBA";  // 联系人：
// What a sent message's entry starts with.
inline constexpr std::string_view kSentMark = "\xA1\xFA ";  // "→ "

// "2009年03月" by date, "发信人：" and the display name by sender.
std::string MonthHeading(std::int32_t year, std::int32_t month);
// By sender; "联系人：" instead where a group holds both directions.
std::string SenderHeading(std::string_view displayName, bool bothDirections = false);

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
                onHeading(MonthHeading(group.year, group.month));
            }
        } else if (sender != groupSender) {
            groupSender = sender;
            onHeading(SenderHeading(displayName, messages.BothDirections()));
        }
        onEntry(record, displayName);
    }
}

}  // namespace quillbox
