// SPDX-License-Identifier: MIT
#pragma once

#include <string>
#include <string_view>
#include <unordered_map>

namespace quillbox {

// One telephone number of a contact card with the card's name, both UTF-8; the number
// normalised.
struct ContactEntry {
    std::string name;
    std::string number;
};

// Normalised number to contact name. The first name given for a number keeps it.
class ContactBook {
public:
    void AddEntry(const ContactEntry& entry);

    // The name for the number when the book holds a non-empty one, else the number itself.
    // The answer stays valid until the next lookup. A run of lookups for the same number, which
    // is what the sender order produces, costs one comparison each.
    const std::string& Lookup(std::string_view number);

private:
    std::unordered_map<std::string, std::string> names_;
    std::string memoNumber_;
    std::string memoDisplayName_;
};

}  // namespace quillbox
