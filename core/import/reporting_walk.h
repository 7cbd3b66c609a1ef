#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

struct Position;

namespace ReportingWalk {

// For each position from index `from` on: walk from it along primary managers, a manager
// id naming the first position with that id, and stop at a position without a manager or
// at an id that names none. The result is the first id met a second time, or nothing when
// the walk stops. A position whose chain runs into a cycle elsewhere names the cycle's
// entry. Linear in the positions whatever the chain lengths (each link is followed once);
// the views point into `positions`.
std::vector<std::optional<std::string_view>> firstRepeatedIDs(std::span<const Position *const> positions,
                                                              size_t from);

} // namespace ReportingWalk
