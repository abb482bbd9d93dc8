// SPDX-License-Identifier: MIT
#include "order/contact_book.h"

namespace quillbox {

void ContactBook::AddEntry(const ContactEntry& entry) {
    names_.try_emplace(entry.number, entry.name);
}

const std::string& ContactBook::Lookup(std::string_view number) {
    if (number == memoNumber_) {
        return memoDisplayName_;
    }
    memoNumber_.assign(number);
    const auto found = names_.find(memoNumber_);
    if (found != names_.end() && !found->second.empty()) {
        memoDisplayName_ = found->second;
    } else {
        memoDisplayName_.assign(number);
    }
    return memoDisplayName_;
}

}  // namespace quillbox
