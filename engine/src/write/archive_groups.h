// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "order/contact_book.h"
#include "order/message_store.h"
#include "quillbox/archive.h"

namespace quillbox {

// How the writers lay the messages out.
struct ArchiveLayout {
    SortOrder order = SortOrder::BySender;
    // The messages were read with their direction (--modern): a party's group then holds both
    // what the owner received from and what the owner sent to that number.
    bool withDirections = false;
};

// The fixed words of the archive.
inline constexpr std::string_view kYearWord = "年";
inline constexpr std::string_view kMonthWord = "月";
inline constexpr std::string_view kSenderWord = "发信人：";
inline constexpr std::string_view kContactWord = "联系人：";
inline constexpr std::string_view kSentMark = "→ ";  // before a sent message's entry

// The display time: "%d-%02d-%02d %02d:%02d:%02d" of year, month, day, hour, minute, second.
void AppendDisplayTime(std::string& out, const MessageTime& time);

// The year and month that group a message by date: the numbers that stand at offsets 0 and 5 of
// its display time, as the classic archive reads them (so a two-digit year 9 groups as
// "9年18月" of "9-03-18 ..."). Where no number stands at an offset (a negative field), the
// previous message's stays.
struct GroupMonth {
    std::int32_t year = 0;
    std::int32_t month = 0;
    bool operator==(const GroupMonth&) const = default;
};
GroupMonth GroupMonthOf(const MessageTime& time, GroupMonth previous);

// "2009年03月" by date; "发信人：" and the display name by sender ("联系人：" where a group holds
// both directions).
std::string MonthHeading(GroupMonth month);
std::string SenderHeading(std::string_view displayName, bool withDirections);

// Walks the ordered messages once: onHeading(text) whenever a group begins (a new month by date,
// a new party by sender), then onEntry(message, displayName) for every message. A group key
// equal to the starting one (year 0 month 0, or the empty party) opens no group.
template <typename OnHeading, typename OnEntry>
void WalkGroups(const MessageStore& messages, ContactBook& book, const ArchiveLayout& layout,
                OnHeading&& onHeading, OnEntry&& onEntry) {
    GroupMonth group;
    GroupMonth previous;
    std::string groupParty;
    for (const MessageStore::Message& message : messages.Messages()) {
        const std::string_view party = message.Party();
        const std::string& displayName = book.Lookup(party);
        if (layout.order == SortOrder::ByDate) {
            previous = GroupMonthOf(message.Time(), previous);
            if (previous != group) {
                group = previous;
                onHeading(MonthHeading(group));
            }
        } else if (party != groupParty) {
            groupParty = party;
            onHeading(SenderHeading(displayName, layout.withDirections));
        }
        onEntry(message, displayName);
    }
}

}  // namespace quillbox
