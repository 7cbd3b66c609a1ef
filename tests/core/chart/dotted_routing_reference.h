#pragma once

#include "core/chart/dotted_routing.h"

// A plain, slow router that follows the routing rules word for word: hash maps keyed by
// state, segment keys as "a:b" text, sets of axes per cell, blocked edges as a set of pairs
// and every port tested against every obstacle. Only for checking the real router.
namespace ReferenceRouting {

std::vector<DottedRoute> routes(const std::vector<ChartNode> &nodes, const std::vector<ChartEdge> &edges);

} // namespace ReferenceRouting
