// SPDX-License-Identifier: MIT
#include "read/base64_stream.h"

#include <algorithm>

namespace quillbox {

namespace {

constexpr std::uint8_t kSpace = 0x80;
constexpr std::uint8_t kPad = 0x81;
constexpr std::uint8_t kOther = 0xFF;

constexpr std::array<std::uint8_t, 256> MakeTable() {
    std::array<std::uint8_t, 256> table{};
    for (auto& entry : table) {
        entry = kOther;
    }
    constexpr std::string_view kAlphabet =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    for (std::size_t i = 0; i < kAlphabet.size(); ++i) {
        table[static_cast<unsigned char>(kAlphabet[i])] = static_cast<std::uint8_t>(i);
    }
    for (const char c : {' ', '\t', '\n', '\r'}) {
        table[static_cast<unsigned char>(c)] = kSpace;
    }
    table['='] = kPad;
    return table;
}

constexpr std::array<std::uint8_t, 256> kTable = MakeTable();

}  // namespace

void Base64Stream::Begin() {
    bits_ = 0;
    sextets_ = 0;
    padded_ = false;
    valid_ = true;
    size_ = 0;
    sink_.Begin();
}

void Base64Stream::Flush() {
    if (size_ > 0) {
        sink_.Write({out_.data(), size_});
        size_ = 0;
    }
}

void Base64Stream::Put(std::uint32_t sextet) {
    bits_ = bits_ << 6 | sextet;
    if (++sextets_ == 4) {
        if (size_ + 3 > out_.size()) {
            Flush();
        }
        out_[size_++] = static_cast<char>(bits_ >> 16 & 0xFF);
        out_[size_++] = static_cast<char>(bits_ >> 8 & 0xFF);
        out_[size_++] = static_cast<char>(bits_ & 0xFF);
        bits_ = 0;
        sextets_ = 0;
    }
}

std::size_t Base64Stream::FeedGroups(std::string_view text) {
    if (sextets_ != 0 || padded_) {
        return 0;
    }
    const auto* const begin = reinterpret_cast<const unsigned char*>(text.data());
    const auto* p = begin;
    std::size_t groups = text.size() / 4;
    while (groups > 0) {
        // As many groups as the buffer takes, without a check of its room for each.
        if (size_ + 3 > out_.size()) {
            Flush();
        }
        const std::size_t batch = std::min(groups, (out_.size() - size_) / 3);
        char* out = out_.data() + size_;
        std::size_t done = 0;
        for (; done < batch; ++done, p += 4, out += 3) {
            const std::uint32_t a = kTable[p[0]];
            const std::uint32_t b = kTable[p[1]];
            const std::uint32_t c = kTable[p[2]];
            const std::uint32_t d = kTable[p[3]];
            if (((a | b | c | d) & 0x80) != 0) {
                break;
            }
            const std::uint32_t group = a << 18 | b << 12 | c << 6 | d;
            out[0] = static_cast<char>(group >> 16);
            out[1] = static_cast<char>(group >> 8 & 0xFF);
            out[2] = static_cast<char>(group & 0xFF);
        }
        size_ += done * 3;
        if (done < batch) {
            break;
        }
        groups -= batch;
    }
    return static_cast<std::size_t>(p - begin);
}

void Base64Stream::Feed(std::string_view text) {
    while (!text.empty()) {
        text.remove_prefix(FeedGroups(text));
        if (text.empty()) {
            break;
        }
        // One byte at a time through white space, padding and damage.
        const std::uint8_t value = kTable[static_cast<unsigned char>(text.front())];
        text.remove_prefix(1);
        if (value == kSpace) {
            continue;
        }
        if (value == kPad) {
            // "xx==" and "xxx=" end the value; anything but padding after them is damage.
            valid_ = valid_ && sextets_ >= 2;
            padded_ = true;
            continue;
        }
        if (value == kOther || padded_) {
            valid_ = false;
            continue;
        }
        Put(value);
    }
}

void Base64Stream::End() {
    // Two or three sextets left carry one or two bytes; one carries none and is damage.
    if (size_ + 2 > out_.size()) {
        Flush();
    }
    if (sextets_ == 2) {
        out_[size_++] = static_cast<char>(bits_ >> 4 & 0xFF);
    } else if (sextets_ == 3) {
        out_[size_++] = static_cast<char>(bits_ >> 10 & 0xFF);
        out_[size_++] = static_cast<char>(bits_ >> 2 & 0xFF);
    } else if (sextets_ == 1) {
        valid_ = false;
    }
    Flush();
    sink_.End(valid_);
    bits_ = 0;
    sextets_ = 0;
}

}  // namespace quillbox
