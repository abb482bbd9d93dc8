// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "quillbox/archive.h"
#include "read/text_form.h"

namespace quillbox {

// The messages of a run: each holds its sender's normalised number, its display date (year
// first), its body (lines separated by LF, no final LF) and its ordering key, all code page 936
// text. No message has a heap block of its own: the texts lie one after another in large
// blocks, so a message costs its text and 24 bytes.
class MessageStore {
public:
    class Message {
    public:
        std::string_view Sender() const { return {text_, senderLength_}; }
        std::string_view DateText() const { return {text_ + senderLength_, dateLength_}; }
        std::string_view Body() const { return {text_ + senderLength_ + dateLength_, bodyLength_}; }
        std::uint64_t DateKey() const { return dateKey_; }
        // A message the phone's owner sent (read with --modern); its sender is the recipient.
        bool Sent() const { return sent_ != 0; }

    private:
        friend class MessageStore;
        const char* text_ = nullptr;
        std::uint64_t dateKey_ = 0;
        std::uint32_t bodyLength_ : 31 = 0;
        std::uint32_t sent_ : 1 = 0;
        std::uint16_t senderLength_ = 0;
        std::uint16_t dateLength_ = 0;
    };

    // Texts go into blocks of blockSize bytes (a longer text into a block of its own).
    explicit MessageStore(std::size_t blockSize = kDefaultBlockSize) : blockSize_(blockSize) {}
    MessageStore(MessageStore&&) = default;
    MessageStore& operator=(MessageStore&&) = default;

    // Room for count messages without moving the list.
    void Reserve(std::size_t count) { messages_.reserve(count); }
    // Sender and date are shorter than 64 KiB, the body than 2 GiB: a message is never longer
    // than the file it was read from, and no file read whole is that long.
    void Add(std::string_view sender, std::string_view dateText, std::string_view body,
             std::uint64_t dateKey, bool sent = false);
    // By date: newest first. By sender: senders in descending byte order (an empty sender last),
    // each sender's messages newest first. Ties keep the reading order.
    void Order(SortOrder order);

    const std::vector<Message>& Messages() const { return messages_; }

    // Appends copies of messages [first, last) of other, their texts in this store's blocks.
    void Append(const MessageStore& other, std::size_t first, std::size_t last);

    // Keeps the messages for which keep(message) holds, in their order; returns how many went.
    template <typename Keep>
    std::size_t KeepOnly(Keep&& keep) {
        const std::size_t before = messages_.size();
        std::erase_if(messages_, [&](const Message& m) { return !keep(m); });
        return before - messages_.size();
    }

    // Whether the messages were read with their direction (--modern): a sender's group then
    // holds both what the owner received from and what the owner sent to that number.
    bool BothDirections() const { return bothDirections_; }
    void SetBothDirections(bool both) { bothDirections_ = both; }

    // The form of every text in the store, and of the names of the run's contact book.
    TextForm Form() const { return form_; }
    void SetForm(TextForm form) { form_ = form; }

private:
    // Large enough that the blocks are few, small enough that the last one wastes little.
    static constexpr std::size_t kDefaultBlockSize = 1 << 20;

    std::size_t blockSize_;
    std::vector<Message> messages_;
    std::vector<std::unique_ptr<char[]>> blocks_;
    char* free_ = nullptr;
    std::size_t freeSize_ = 0;
    bool bothDirections_ = false;
    TextForm form_ = TextForm::CodePage936;
};

}  // namespace quillbox
