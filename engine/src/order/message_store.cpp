// SPDX-License-Identifier: MIT
#include "order/message_store.h"

#include <algorithm>
#include <cstring>
#include <iterator>

namespace quillbox {

namespace {

bool FitsByte(std::int32_t value) {
    return value >= 0 && value <= 0xFF;
}

}  // namespace

static_assert(sizeof(MessageStore::Message) <= 40, "a message's place in the list stays small");

void AppendAttachment(std::string& list, const MessageAttachment& attachment) {
    const auto put = [&list](std::uint64_t value, int bytes) {
        for (int i = 0; i < bytes; ++i) {
            list.push_back(static_cast<char>(value >> (8 * i) & 0xFF));
        }
    };
    const std::string_view file = attachment.file.substr(0, 255);
    put(attachment.line, 4);
    put(attachment.lines, 4);
    put(attachment.size, 8);
    put(file.size(), 1);
    list.append(file);
}

bool TakeAttachment(std::string_view& list, MessageAttachment& attachment) {
    constexpr std::size_t kFixed = 4 + 4 + 8 + 1;
    if (list.size() < kFixed) {
        return false;
    }
    const auto take = [&list](int bytes) {
        std::uint64_t value = 0;
        for (int i = 0; i < bytes; ++i) {
            value |= std::uint64_t{static_cast<unsigned char>(list[static_cast<std::size_t>(i)])}
                     << (8 * i);
        }
        list.remove_prefix(static_cast<std::size_t>(bytes));
        return value;
    };
    attachment.line = static_cast<std::uint32_t>(take(4));
    attachment.lines = static_cast<std::uint32_t>(take(4));
    attachment.size = take(8);
    const auto length = static_cast<std::size_t>(take(1));
    attachment.file = list.substr(0, length);
    list.remove_prefix(attachment.file.size());
    return true;
}

std::uint64_t ClassicTimeKey(const MessageTime& time) {
    const auto u32 = [](std::int32_t v) { return std::uint64_t{static_cast<std::uint32_t>(v)}; };
    std::uint64_t key = std::uint64_t{static_cast<std::uint32_t>(time.year) - 1970u} * 12;
    key = (key + u32(time.month) - 1) * 31;
    key = (key + u32(time.day) - 1) * 24;
    key = (key + u32(time.hour)) * 60;
    key = (key + u32(time.minute)) * 60;
    return key + u32(time.second);
}

std::uint64_t TimeKey(const MessageTime& time) {
    // Signed, then moved up by 2^63 so that the unsigned order is the order of the times; from
    // 1970 on the key is the classic one but for that offset.
    std::int64_t key = (std::int64_t{time.year} - 1970) * 12 + time.month - 1;
    key = ((key * 31 + time.day - 1) * 24 + time.hour) * 60;
    key = (key + time.minute) * 60 + time.second;
    return static_cast<std::uint64_t>(key) + (std::uint64_t{1} << 63);
}

MessageTime MessageStore::Message::Time() const {
    if ((flags_ & kWideTime) != 0) {
        std::int32_t wide[6];
        std::memcpy(wide, text_, sizeof wide);
        return {wide[0], wide[1], wide[2], wide[3], wide[4], wide[5]};
    }
    return {year_, month_, day_, hour_, minute_, second_};
}

char* MessageStore::Allocate(std::size_t size) {
    if (size > freeSize_) {
        // Blocks are made uninitialised, so that only what is written takes memory.
        const std::size_t blockSize = std::max(size, blockSize_);
        blocks_.push_back(std::make_unique_for_overwrite<char[]>(blockSize));
        free_ = blocks_.back().get();
        freeSize_ = blockSize;
        blockBytes_ += blockSize;
    }
    char* at = free_;
    free_ += size;
    freeSize_ -= size;
    return at;
}

bool MessageStore::Add(const NewMessage& m) {
    if (m.party.size() > kLongestParty || m.author.size() > kLongestParty ||
        m.body.size() > kLongestBody || m.attachments.size() > kLongestBody) {
        return false;
    }
    const MessageTime& t = m.time;
    // Months to seconds fit a byte in every time a phone writes; the classic reader's odd
    // numbers keep all six as they came.
    const bool wide = !(FitsByte(t.month) && FitsByte(t.day) && FitsByte(t.hour) &&
                        FitsByte(t.minute) && FitsByte(t.second));
    const std::size_t size = (wide ? Message::kWideTimeBytes : 0) + m.party.size() +
                             m.author.size() + m.body.size() + m.attachments.size();
    char* text = Allocate(size);
    Message& message = messages_.emplace_back();
    message.text_ = text;
    message.key_ = m.key;
    message.bodyLength_ = static_cast<std::uint32_t>(m.body.size());
    message.partyLength_ = static_cast<std::uint16_t>(m.party.size());
    message.authorLength_ = static_cast<std::uint16_t>(m.author.size());
    message.attachmentsLength_ = static_cast<std::uint32_t>(m.attachments.size());
    message.flags_ =
        static_cast<std::uint8_t>((m.sent ? Message::kSent : 0) | (wide ? Message::kWideTime : 0));
    if (wide) {
        const std::int32_t numbers[6] = {t.year, t.month, t.day, t.hour, t.minute, t.second};
        std::memcpy(text, numbers, sizeof numbers);
        text += sizeof numbers;
    } else {
        message.year_ = t.year;
        message.month_ = static_cast<std::uint8_t>(t.month);
        message.day_ = static_cast<std::uint8_t>(t.day);
        message.hour_ = static_cast<std::uint8_t>(t.hour);
        message.minute_ = static_cast<std::uint8_t>(t.minute);
        message.second_ = static_cast<std::uint8_t>(t.second);
    }
    // An empty view may carry no pointer at all.
    for (const std::string_view part : {m.party, m.author, m.body, m.attachments}) {
        if (!part.empty()) {
            std::memcpy(text, part.data(), part.size());
            text += part.size();
        }
    }
    return true;
}

void MessageStore::Append(const MessageStore& other, std::size_t first, std::size_t last) {
    for (std::size_t i = first; i < last; ++i) {
        const Message& m = other.messages_[i];
        Add({m.Party(), m.Author(), m.Body(), m.Time(), m.Key(), m.Sent(), m.Attachments()});
    }
}

void MessageStore::Absorb(MessageStore&& other) {
    // The last block's free tail is what taking the blocks would keep for nothing.
    const std::size_t slack = other.freeSize_;
    if (slack * 8 > other.blockBytes_) {
        Append(other, 0, other.Size());
    } else {
        if (messages_.empty() && messages_.capacity() < other.messages_.size()) {
            messages_ = std::move(other.messages_);
        } else {
            messages_.insert(messages_.end(), other.messages_.begin(), other.messages_.end());
        }
        // Pointers into a block stay valid as the block changes hands.
        blocks_.insert(blocks_.end(), std::make_move_iterator(other.blocks_.begin()),
                       std::make_move_iterator(other.blocks_.end()));
        blockBytes_ += other.blockBytes_;
    }
    other = MessageStore(other.blockSize_);
}

void MessageStore::Order(SortOrder order) {
    // std::string_view compares bytes as unsigned values, and a proper prefix as the smaller.
    if (order == SortOrder::ByDate) {
        std::stable_sort(messages_.begin(), messages_.end(),
                         [](const Message& a, const Message& b) { return a.Key() > b.Key(); });
    } else {
        std::stable_sort(messages_.begin(), messages_.end(),
                         [](const Message& a, const Message& b) {
                             if (const int c = a.Party().compare(b.Party()); c != 0) {
                                 return c > 0;
                             }
                             return a.Key() > b.Key();
                         });
    }
}

void MessageStore::OrderByConversation() {
    std::stable_sort(messages_.begin(), messages_.end(), [](const Message& a, const Message& b) {
        if (const int c = a.Party().compare(b.Party()); c != 0) {
            return c < 0;
        }
        return a.Key() < b.Key();
    });
}

}  // namespace quillbox
