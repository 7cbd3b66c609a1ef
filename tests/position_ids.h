#pragma once

#include "core/model/organization.h"

#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

// The ids of `positions`, in their order.
inline std::vector<std::string> idsOf(const std::vector<Position> &positions)
{
    std::vector<std::string> ids;
    for (const Position &p : positions)
        ids.push_back(p.id);
    return ids;
}

inline std::vector<std::string> idsOf(const Organization &organization)
{
    return idsOf(organization.positions);
}

// The position with `id`; throws when there is none, so a test fails rather than reads past the end.
inline const Position &positionIn(const Organization &organization, std::string_view id)
{
    for (const Position &p : organization.positions) {
        if (p.id == id)
            return p;
    }
    throw std::out_of_range("no position " + std::string(id));
}
