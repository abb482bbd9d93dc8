// SPDX-License-Identifier: MIT
#pragma once

// Messages as plain values, for the tests of the units that take a MessageStore.

#include <cstdint>
#include <string>
#include <vector>

#include "order/message_store.h"

namespace quillbox::test {

struct Message {
    std::string sender;
    std::string body;
    std::string dateText;
    std::uint64_t dateKey = 0;
    bool operator==(const Message&) const = default;
};

inline MessageStore StoreOf(const std::vector<Message>& messages) {
    MessageStore store;
    for (const Message& m : messages) {
        store.Add(m.sender, m.dateText, m.body, m.dateKey);
    }
    return store;
}

inline std::vector<Message> Contents(const MessageStore& store) {
    std::vector<Message> messages;
    for (const MessageStore::Message& m : store.Messages()) {
        messages.push_back({std::string(m.Sender()), std::string(m.Body()),
                            std::string(m.DateText()), m.DateKey()});
    }
    return messages;
}

}  // namespace quillbox::test
