#pragma once

#include "core/model/organization.h"

#include <set>
#include <string>
#include <vector>

// Peers (same primary manager, no assistants) that the chart draws as one card.
struct PositionGroup {
    std::string id; // "group-" + UUID; also the id of the collapsed card
    std::string name;
    std::vector<std::string> memberIDs;

    // A new group with a fresh id; name and members stored as given.
    static PositionGroup make(std::string name, std::vector<std::string> memberIDs);

    // The organization as the chart shows it: reporting callouts added, and each group
    // whose members are still peers collapsed into one card at the end, unless its id is in
    // `expanded`. Throws the validation error of the result. Linear in the positions plus
    // the group members, however many groups there are.
    static Organization project(Organization organization, const std::vector<PositionGroup> &groups,
                                const std::set<std::string> &expanded);

    bool operator==(const PositionGroup &) const = default;
};
