#pragma once

#include "core/support/geometry.h"

#include <optional>
#include <string>
#include <vector>

class ChartScene;

// Where a chart's next scene draws otherwise than the one shown, so that a canvas draws
// only those parts again: an edit of one card of a 20,000-card chart repaints that card.
namespace ChartSceneChanges {

// Where `next` draws otherwise than `shown`, when it keeps the same layout (the very object,
// or one the caller found equal): the new dotted lines and the cards that say something
// else, in chart points. Nothing when anything else may differ. Linear in the cards.
std::optional<std::vector<Rect>> changedAreas(const ChartScene &shown, const ChartScene &next, bool layoutsEqual);

// Adds where the chart draws otherwise when the selected card moves from `was`, drawn in
// `shown`, to `is` in `next` (the same scene, or one of the same layout): the two cards'
// frames and the ink of the lines related to either, the only ink that can be highlighted
// otherwise.
void addSelectionAreas(std::vector<Rect> &areas, const ChartScene &shown, const std::optional<std::string> &was,
                       const ChartScene &next, const std::optional<std::string> &is);

} // namespace ChartSceneChanges
