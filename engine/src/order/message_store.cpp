// SPDX-License-Identifier: MIT
#include "order/message_store.h"

#include <algorithm>
#include <cstring>

namespace quillbox {

void MessageStore::Add(std::string_view sender, std::string_view dateText, std::string_view body,
                       std::uint64_t dateKey, bool sent) {
    const std::size_t size = sender.size() + dateText.size() + body.size();
    if (size > freeSize_) {
        // Blocks are made uninitialised, so that only what is written takes memory.
        const std::size_t blockSize = std::max(size, blockSize_);
        blocks_.push_back(std::make_unique_for_overwrite<char[]>(blockSize));
        free_ = blocks_.back().get();
        freeSize_ = blockSize;
    }
    Message& message = messages_.emplace_back();
    message.text_ = free_;
    message.dateKey_ = dateKey;
    message.bodyLength_ = static_cast<std::uint32_t>(body.size()) & 0x7FFFFFFFu;
    message.sent_ = sent ? 1u : 0u;
    message.senderLength_ = static_cast<std::uint16_t>(sender.size());
    message.dateLength_ = static_cast<std::uint16_t>(dateText.size());
    // An empty view may carry no pointer at all.
    for (const std::string_view part : {sender, dateText, body}) {
        if (!part.empty()) {
            std::memcpy(free_, part.data(), part.size());
            free_ += part.size();
        }
    }
    freeSize_ -= size;
}

void MessageStore::Append(const MessageStore& other, std::size_t first, std::size_t last) {
    for (std::size_t i = first; i < last; ++i) {
        const Message& m = other.messages_[i];
        Add(m.Sender(), m.DateText(), m.Body(), m.DateKey(), m.Sent());
    }
}

void MessageStore::Order(SortOrder order) {
    // std::string_view compares bytes as unsigned values, and a proper prefix as the smaller.
    if (order == SortOrder::ByDate) {
        std::stable_sort(
            messages_.begin(), messages_.end(),
            [](const Message& a, const Message& b) { return a.DateKey() > b.DateKey(); });
    } else {
        std::stable_sort(messages_.begin(), messages_.end(),
                         [](const Message& a, const Message& b) {
                             if (const int c = a.Sender().compare(b.Sender()); c != 0) {
                                 return c > 0;
                             }
                             return a.DateKey() > b.DateKey();
                         });
    }
}

}  // namespace quillbox
