// SPDX-License-Identifier: MIT
#include "order/contact_book.h"

#include <functional>

namespace quillbox {

void CardEntries::AddCard(std::string_view name) {
    names_.emplace_back(name);
}

void CardEntries::AddNumber(std::string_view number) {
    numbers_.append(number);
    entries_.push_back({static_cast<std::uint32_t>(names_.size() - 1), numbers_.size()});
}

std::string_view CardEntries::Number(std::size_t i) const {
    const std::uint64_t start = i == 0 ? 0 : entries_[i - 1].numberEnd;
    return std::string_view(numbers_).substr(start, entries_[i].numberEnd - start);
}

void CardEntries::Truncate(std::size_t count) {
    if (count >= entries_.size()) {
        return;
    }
    entries_.resize(count);
    numbers_.resize(count == 0 ? 0 : entries_.back().numberEnd);
}

ContactBook::Slot& ContactBook::SlotOf(std::string_view number) {
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t i = std::hash<std::string_view>()(number) & mask;; i = (i + 1) & mask) {
        Slot& slot = slots_[i];
        if (slot.length == kEmpty ||
            std::string_view(numbers_).substr(slot.number, slot.length) == number) {
            return slot;
        }
    }
}

void ContactBook::Grow() {
    std::vector<Slot> old = std::move(slots_);
    slots_.assign(old.empty() ? 1024 : old.size() * 2, Slot{});
    for (const Slot& slot : old) {
        if (slot.length != kEmpty) {
            SlotOf(std::string_view(numbers_).substr(slot.number, slot.length)) = slot;
        }
    }
}

void ContactBook::AddEntry(std::string_view name, std::string_view number) {
    if ((used_ + 1) * 4 > slots_.size() * 3) {
        Grow();
    }
    Slot& slot = SlotOf(number);
    if (slot.length != kEmpty) {
        return;
    }
    if (names_.empty() || names_.back() != name) {
        names_.emplace_back(name);
    }
    slot = {numbers_.size(), static_cast<std::uint32_t>(number.size()),
            static_cast<std::uint32_t>(names_.size() - 1)};
    numbers_.append(number);
    ++used_;
}

const std::string& ContactBook::Lookup(std::string_view number) {
    if (number == memoNumber_) {
        return memoDisplayName_;
    }
    memoNumber_.assign(number);
    if (!slots_.empty()) {
        if (const Slot& slot = SlotOf(number);
            slot.length != kEmpty && !names_[slot.name].empty()) {
            memoDisplayName_ = names_[slot.name];
            return memoDisplayName_;
        }
    }
    memoDisplayName_.assign(number);
    return memoDisplayName_;
}

}  // namespace quillbox
