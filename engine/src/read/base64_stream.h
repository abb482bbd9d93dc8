// SPDX-License-Identifier: MIT
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace quillbox {

// Where the bytes of a backup's attachments go as they are decoded, one attachment after
// another in the order the file holds them.
class PartDataSink {
public:
    virtual void Begin() = 0;
    virtual void Write(std::string_view bytes) = 0;
    // complete: the attachment's base64 was whole and valid.
    virtual void End(bool complete) = 0;

protected:
    ~PartDataSink() = default;
};

// A sink that counts what it is given.
class CountingSink final : public PartDataSink {
public:
    void Begin() override { ++parts_; }
    void Write(std::string_view bytes) override { bytes_ += bytes.size(); }
    void End(bool complete) override { damaged_ += complete ? 0u : 1u; }

    std::size_t Parts() const { return parts_; }
    std::uint64_t Bytes() const { return bytes_; }
    std::size_t Damaged() const { return damaged_; }

private:
    std::size_t parts_ = 0;
    std::uint64_t bytes_ = 0;
    std::size_t damaged_ = 0;
};

// Base64 decoded as it arrives, in pieces of any size, into a sink. White space is skipped;
// bytes outside the alphabet and text after the padding are skipped too, and make the value
// incomplete.
class Base64Stream {
public:
    explicit Base64Stream(PartDataSink& sink) : sink_(sink) {}

    void Begin();
    void Feed(std::string_view text);
    // Decodes the whole groups of four at the front of text while they are plain base64, and
    // returns how many bytes it took: the fast way through a long value.
    std::size_t FeedGroups(std::string_view text);
    // Marks the value incomplete: it was cut.
    void Damage() { valid_ = false; }
    void End();

private:
    void Put(std::uint32_t sextet);
    void Flush();

    PartDataSink& sink_;
    std::uint32_t bits_ = 0;
    unsigned sextets_ = 0;
    bool padded_ = false;
    bool valid_ = true;
    std::size_t size_ = 0;
    std::array<char, 16384> out_{};
};

}  // namespace quillbox
