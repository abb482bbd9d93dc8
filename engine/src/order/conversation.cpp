// SPDX-License-Identifier: MIT
#include "order/conversation.h"

#include <algorithm>

namespace quillbox {

namespace {

// Control characters no number or cleaned name holds: a group's party begins with kGroup, its
// name follows, and each member after kMember.
constexpr char kGroup = '\x1D';
constexpr char kMember = '\x1E';

}  // namespace

std::string GroupParty(std::vector<std::string> members, std::string_view name) {
    std::sort(members.begin(), members.end());
    members.erase(std::unique(members.begin(), members.end()), members.end());
    std::string party(1, kGroup);
    party.append(name);
    for (const std::string& member : members) {
        party.push_back(kMember);
        party.append(member);
    }
    return party;
}

std::optional<Group> AsGroup(std::string_view party) {
    if (party.empty() || party.front() != kGroup) {
        return std::nullopt;
    }
    party.remove_prefix(1);
    Group group;
    auto next = party.find(kMember);
    group.name = party.substr(0, next);
    while (next != std::string_view::npos) {
        const auto start = next + 1;
        next = party.find(kMember, start);
        group.members.push_back(party.substr(
            start, next == std::string_view::npos ? std::string_view::npos : next - start));
    }
    return group;
}

}  // namespace quillbox
