// SPDX-License-Identifier: MIT
#pragma once

// Messages as plain values, for the tests of the units that take a MessageStore.

#include <cstdint>
#include <cstdio>
#include <ostream>
#include <string>
#include <vector>

#include "order/message_store.h"
#include "write/archive_groups.h"

namespace quillbox {

inline void PrintTo(const SkippedItems& items, std::ostream* os) {
    *os << "{" << items.index << " +" << items.count << " " << SkipReasonName(items.reason);
    if (!items.detail.empty()) {
        *os << " " << items.detail;
    }
    *os << "}";
}

}  // namespace quillbox

namespace quillbox::test {

struct Message {
    std::string party;
    std::string body;
    std::string time;  // as the archive shows it: "2009-03-18 10:15:30"
    std::uint64_t key = 0;
    bool operator==(const Message&) const = default;
};

// "2009-03-18 10:15:30" as numbers; "10000--1-01 00:00:00" is year 10000, month -1, day 1.
inline MessageTime TimeOf(const std::string& text) {
    MessageTime t;
    std::sscanf(text.c_str(), "%d-%d-%d %d:%d:%d", &t.year, &t.month, &t.day, &t.hour, &t.minute,
                &t.second);
    return t;
}

inline MessageStore StoreOf(const std::vector<Message>& messages) {
    MessageStore store;
    for (const Message& m : messages) {
        store.Add({m.party, {}, m.body, TimeOf(m.time), m.key, false});
    }
    return store;
}

inline std::vector<Message> Contents(const MessageStore& store) {
    std::vector<Message> messages;
    for (const MessageStore::Message& m : store.Messages()) {
        std::string time;
        AppendDisplayTime(time, m.Time());
        messages.push_back({std::string(m.Party()), std::string(m.Body()), time, m.Key()});
    }
    return messages;
}

}  // namespace quillbox::test
