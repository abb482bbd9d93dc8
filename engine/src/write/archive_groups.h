// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "order/contact_book.h"
#include "order/conversation.h"
#include "order/message_store.h"
#include "quillbox/archive.h"

namespace quillbox {

// How the writers lay the messages out.
struct ArchiveLayout {
    SortOrder order = SortOrder::BySender;
    // The messages were read with their direction (--modern): a party's group then holds both
    // what the owner received from and what the owner sent to that number.
    bool withDirections = false;
    // Each name and number stands apart from the text around it (U+2068..U+2069 in text,
    // <bdi> in a page), so that a right-to-left override in a name cannot reverse the line. Only
    // where the archive's encoding can carry such a character: never in GBK.
    bool isolateNames = false;
};

// The fixed words of the archive.
inline constexpr std::string_view kYearWord = "年";
inline constexpr std::string_view kMonthWord = "月";
inline constexpr std::string_view kSenderWord = "发信人：";
inline constexpr std::string_view kContactWord = "联系人：";
inline constexpr std::string_view kGroupWord = "群聊：";
// First strong isolate and pop directional isolate, around a name in text.
inline constexpr std::string_view kIsolateOpen = "\u2068";
inline constexpr std::string_view kIsolateClose = "\u2069";
inline constexpr std::string_view kMemberSeparator = "、";
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

// "2009年03月" by date.
std::string MonthHeading(GroupMonth month);

// A heading: its word ("发信人：", or the whole "2009年03月") and, for a party's group, the name
// after it.
struct Heading {
    std::string_view word;
    std::string_view name;
    bool named = false;
};

// Who an entry shows: the name and the number of the other party, or in a group of the member
// who wrote it; the group itself for what the owner wrote to it.
struct EntryParty {
    std::string_view name;
    std::string_view number;
};

// Walks the ordered messages once: onHeading(heading) whenever a group begins (a new month by
// date, a new party by sender), then onEntry(message, party) for every message. A group key
// equal to the starting one (year 0 month 0, or the empty party) opens no group.
class GroupWalker {
public:
    GroupWalker(ContactBook& book, const ArchiveLayout& layout) : book_(book), layout_(layout) {}

    template <typename OnHeading, typename OnEntry>
    void Walk(const MessageStore& messages, OnHeading&& onHeading, OnEntry&& onEntry) {
        for (const MessageStore::Message& message : messages.Messages()) {
            const std::string_view party = message.Party();
            if (layout_.order == SortOrder::ByDate) {
                previous_ = GroupMonthOf(message.Time(), previous_);
                if (previous_ != month_) {
                    month_ = previous_;
                    monthText_ = MonthHeading(month_);
                    onHeading(Heading{monthText_, {}, false});
                }
            } else if (party != groupParty_) {
                groupParty_ = party;
                onHeading(PartyHeading(party));
            }
            onEntry(message, PartyOf(message));
        }
    }

    // A party's heading, and who a message's entry shows: valid until the next call.
    Heading PartyHeading(std::string_view party);
    EntryParty PartyOf(const MessageStore::Message& message);

private:
    // A group conversation's name: its own, or its members' names joined; cached for the
    // group last asked for.
    const std::string& GroupLabel(std::string_view party, const Group& group);

    ContactBook& book_;
    const ArchiveLayout& layout_;
    GroupMonth month_;
    GroupMonth previous_;
    std::string monthText_;
    std::string groupParty_;
    std::string headingName_;
    std::string labelParty_;
    std::string label_;
    std::string members_;
};

template <typename OnHeading, typename OnEntry>
void WalkGroups(const MessageStore& messages, ContactBook& book, const ArchiveLayout& layout,
                OnHeading&& onHeading, OnEntry&& onEntry) {
    GroupWalker(book, layout).Walk(messages, onHeading, onEntry);
}

// Appends a name or a number, isolated where the layout asks for it, through append (the
// writer's own escaping); isolate holds the text put before and after.
template <typename Append>
void AppendIsolated(std::string& out, std::string_view text, bool isolate, std::string_view before,
                    std::string_view after, Append&& append) {
    if (isolate) {
        out.append(before);
    }
    append(out, text);
    if (isolate) {
        out.append(after);
    }
}

}  // namespace quillbox
