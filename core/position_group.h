#pragma once

#include <string>
#include <vector>

// Peers (same primary manager, no assistants) that the chart draws as one card.
struct PositionGroup {
    std::string id; // "group-" + UUID; also the id of the collapsed card
    std::string name;
    std::vector<std::string> memberIDs;

    bool operator==(const PositionGroup &) const = default;
};
