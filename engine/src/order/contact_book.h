// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quillbox {

// One telephone number of a contact card with the card's name, both UTF-8; the number
// normalised.
struct ContactEntry {
    std::string name;
    std::string number;
};

// The entries of card files as the readers hand them over: each card's name once, its numbers
// one after another, so that a card of a million numbers costs little more than its numbers.
class CardEntries {
public:
    // Starts a card; the numbers added next are its.
    void AddCard(std::string_view name);
    void AddNumber(std::string_view number);

    std::size_t Size() const { return entries_.size(); }
    std::string_view Name(std::size_t i) const { return names_[entries_[i].card]; }
    std::string_view Number(std::size_t i) const;
    // Drops the entries from the count-th on (a card that failed gives none).
    void Truncate(std::size_t count);

private:
    struct Entry {
        std::uint32_t card = 0;
        std::uint64_t numberEnd = 0;  // the number runs from the previous entry's end
    };
    std::vector<std::string> names_;
    std::string numbers_;
    std::vector<Entry> entries_;
};

// Normalised number to contact name. The first name given for a number keeps it. The numbers lie
// one after another in one text and a flat open-addressed table finds them, so that the book
// takes little more than its numbers and names.
class ContactBook {
public:
    void AddEntry(std::string_view name, std::string_view number);

    // The name for the number when the book holds a non-empty one, else the number itself.
    // The answer stays valid until the next lookup. A run of lookups for the same number, which
    // is what the sender order produces, costs one comparison each.
    const std::string& Lookup(std::string_view number);

private:
    struct Slot {
        std::uint64_t number = 0;  // where the number starts in numbers_
        std::uint32_t length = kEmpty;
        std::uint32_t name = 0;
    };
    static constexpr std::uint32_t kEmpty = 0xFFFFFFFF;

    // The slot that holds the number, or the empty one where it would go.
    Slot& SlotOf(std::string_view number);
    void Grow();

    std::string numbers_;
    std::vector<std::string> names_;  // a card's entries share their name
    std::vector<Slot> slots_;         // a power of two long, at most 3/4 full
    std::size_t used_ = 0;
    std::string memoNumber_;
    std::string memoDisplayName_;
};

}  // namespace quillbox
