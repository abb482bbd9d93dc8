#include "message_order.h"

#include <algorithm>
#include <cstring>

namespace quillbox {

namespace {

// Large enough that the blocks are few, small enough that the last one wastes little.
constexpr std::size_t kBlockSize = 1 << 20;

// Ordering for records and stored messages alike. std::string and std::string_view compare
// bytes as unsigned values, and a proper prefix as the smaller.
template <typename Message, typename SenderOf, typename KeyOf>
void Order(std::vector<Message>& messages, SortOrder order, SenderOf sender, KeyOf key) {
    if (order == SortOrder::ByDate) {
        std::stable_sort(messages.begin(), messages.end(),
                         [&](const Message& a, const Message& b) { return key(a) > key(b); });
    } else {
        std::stable_sort(messages.begin(), messages.end(), [&](const Message& a, const Message& b) {
            if (const int c = sender(a).compare(sender(b)); c != 0) {
                return c > 0;
            }
            return key(a) > key(b);
        });
    }
}

}  // namespace

std::vector<MessageRecord> OrderMessages(std::vector<MessageRecord> messages, SortOrder order) {
    Order(
        messages, order, [](const MessageRecord& m) -> const std::string& { return m.sender; },
        [](const MessageRecord& m) { return m.dateKey; });
    return messages;
}

void MessageStore::Add(std::string_view sender, std::string_view dateText, std::string_view body,
                       std::uint64_t dateKey) {
    const std::size_t size = sender.size() + dateText.size() + body.size();
    if (size > freeSize_) {
        // Blocks are made uninitialised, so that only what is written takes memory.
        const std::size_t blockSize = std::max(size, kBlockSize);
        blocks_.push_back(std::make_unique_for_overwrite<char[]>(blockSize));
        free_ = blocks_.back().get();
        freeSize_ = blockSize;
    }
    Message& message = messages_.emplace_back();
    message.text_ = free_;
    message.dateKey_ = dateKey;
    message.bodyLength_ = static_cast<std::uint32_t>(body.size());
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

void MessageStore::Order(SortOrder order) {
    quillbox::Order(
        messages_, order, [](const Message& m) { return m.Sender(); },
        [](const Message& m) { return m.DateKey(); });
}

}  // namespace quillbox
