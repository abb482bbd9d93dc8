// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "quillbox/archive.h"

namespace quillbox {

// A time as the message shows it, on the phone's own clock: no zone. The classic reader takes
// whatever numbers the file writes, so each may be any int.
struct MessageTime {
    std::int32_t year = 0;
    std::int32_t month = 0;
    std::int32_t day = 0;
    std::int32_t hour = 0;
    std::int32_t minute = 0;
    std::int32_t second = 0;
    bool operator==(const MessageTime&) const = default;
};

// Ordering keys count seconds from 1970 as if every month had 31 days. The classic key is
// computed in unsigned arithmetic that wraps, so a year before 1970 sorts as the newest, as
// classic archives always had it; today's readers' key grows with the time in every year.
std::uint64_t ClassicTimeKey(const MessageTime& time);
std::uint64_t TimeKey(const MessageTime& time);

// An attachment that a line of a message's text names ("[图片：IMG_1.jpg]"), stored in an archive
// folder's media.
struct MessageAttachment {
    std::uint32_t line = 0;   // the body's line that names it, from 0
    std::uint32_t lines = 1;  // the lines the name takes (a name may hold a line end)
    std::uint64_t size = 0;
    std::string_view file;  // its file in the media folder; at most 255 bytes
};
// A message's attachments, one after another in a text of their own (NewMessage::attachments).
void AppendAttachment(std::string& list, const MessageAttachment& attachment);
// Takes the first attachment of a list off it; false at its end.
bool TakeAttachment(std::string_view& list, MessageAttachment& attachment);

// One message as a reader hands it over: UTF-8 texts (the engine's text, see platform/codec.h)
// and its time.
struct NewMessage {
    // The other party's normalised number: the sender of a received message, the recipient of a
    // sent one; a named sender ("中国移动") as it is written.
    std::string_view party;
    // In a group conversation, the member who wrote the message; empty otherwise.
    std::string_view author;
    std::string_view body;  // lines separated by LF, no final LF
    MessageTime time;
    std::uint64_t key = 0;  // ClassicTimeKey or TimeKey of the time
    bool sent = false;      // written by the phone's owner
    // Its stored attachments (see AppendAttachment); empty but in an archive folder's run.
    std::string_view attachments = {};
};

// The messages of a run. No message has a heap block of its own: the texts lie one after
// another in large blocks, so a message costs its text and 40 bytes.
class MessageStore {
public:
    class Message {
    public:
        std::string_view Party() const { return {Text(), partyLength_}; }
        std::string_view Author() const { return {Text() + partyLength_, authorLength_}; }
        std::string_view Body() const {
            return {Text() + partyLength_ + authorLength_, bodyLength_};
        }
        std::string_view Attachments() const {
            return {Text() + partyLength_ + authorLength_ + bodyLength_, attachmentsLength_};
        }
        MessageTime Time() const;
        std::uint64_t Key() const { return key_; }
        bool Sent() const { return (flags_ & kSent) != 0; }

    private:
        friend class MessageStore;
        static constexpr std::uint8_t kSent = 1;
        static constexpr std::uint8_t kWideTime = 2;  // the six numbers stand before the texts
        const char* Text() const {
            return text_ + ((flags_ & kWideTime) != 0 ? kWideTimeBytes : 0);
        }
        static constexpr std::size_t kWideTimeBytes = 6 * sizeof(std::int32_t);

        const char* text_ = nullptr;
        std::uint64_t key_ = 0;
        std::uint32_t bodyLength_ = 0;
        std::uint16_t partyLength_ = 0;
        std::uint16_t authorLength_ = 0;
        std::int32_t year_ = 0;
        std::uint8_t month_ = 0;
        std::uint8_t day_ = 0;
        std::uint8_t hour_ = 0;
        std::uint8_t minute_ = 0;
        std::uint8_t second_ = 0;
        std::uint8_t flags_ = 0;
        std::uint32_t attachmentsLength_ = 0;
    };

    // The longest texts a message holds.
    static constexpr std::size_t kLongestParty = 0xFFFF;
    static constexpr std::size_t kLongestBody = 0x7FFFFFFF;

    // Texts go into blocks of blockSize bytes (a longer text into a block of its own).
    explicit MessageStore(std::size_t blockSize = kDefaultBlockSize) : blockSize_(blockSize) {}
    MessageStore(MessageStore&&) = default;
    MessageStore& operator=(MessageStore&&) = default;

    // Room for count messages without moving the list.
    void Reserve(std::size_t count) { messages_.reserve(count); }
    // False, and nothing stored, when a text is longer than the store holds.
    bool Add(const NewMessage& message);
    // Appends copies of messages [first, last) of other, their texts in this store's blocks.
    void Append(const MessageStore& other, std::size_t first, std::size_t last);
    // Appends every message of other, leaving it empty. Where other's blocks are well filled
    // (a large backup's) they change hands and no text is copied; otherwise the texts are copied
    // into this store's blocks, so that a chunk's half-empty block is not kept for the run.
    void Absorb(MessageStore&& other);

    // By date: newest first. By sender: parties in descending byte order (an empty one last),
    // each party's messages newest first. Ties keep the reading order.
    void Order(SortOrder order);
    // Each party's messages together, oldest first, as a conversation reads; the parties in
    // ascending byte order. Ties keep the reading order.
    void OrderByConversation();

    const std::vector<Message>& Messages() const { return messages_; }
    std::size_t Size() const { return messages_.size(); }

    // Keeps the messages for which keep(message) holds, in their order; returns how many went.
    template <typename Keep>
    std::size_t KeepOnly(Keep&& keep) {
        const std::size_t before = messages_.size();
        std::erase_if(messages_, [&](const Message& m) { return !keep(m); });
        return before - messages_.size();
    }

private:
    // Large enough that the blocks are few, small enough that the last one wastes little.
    static constexpr std::size_t kDefaultBlockSize = 1 << 20;

    char* Allocate(std::size_t size);

    std::size_t blockSize_;
    std::vector<Message> messages_;
    std::vector<std::unique_ptr<char[]>> blocks_;
    char* free_ = nullptr;
    std::size_t freeSize_ = 0;
    std::size_t blockBytes_ = 0;  // of all blocks
};

}  // namespace quillbox
