// SPDX-License-Identifier: MIT
#pragma once

// A group conversation is one party: its members, and its own name where it has one. The party
// is kept as text so that the store, the order and the writers handle it as any other party.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quillbox {

// The party of a group conversation of these members' normalised numbers (sorted, each once;
// the owner's own number is no member) and the group's own name, empty where it has none.
std::string GroupParty(std::vector<std::string> members, std::string_view name = {});

struct Group {
    std::vector<std::string_view> members;
    std::string_view name;
};
// The group a party stands for; none for a party of one.
std::optional<Group> AsGroup(std::string_view party);

}  // namespace quillbox
