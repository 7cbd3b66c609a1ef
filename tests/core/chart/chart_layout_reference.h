#pragma once

#include "core/chart/chart_layout_engine.h"

// A plain, slow arrangement search that follows the layout rules word for word: plans are
// copied maps of frames, packing compares every pair of rectangles and every combination
// is packed again from the start. Only for checking the real planner on small charts.
namespace ReferenceLayout {

ChartLayoutEngine::Placement place(const Organization &organization, const ChartLayoutEngine::Tree &tree,
                                   const ChartLayoutEngine::Metrics &metrics);

} // namespace ReferenceLayout
