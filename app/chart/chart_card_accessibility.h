#pragma once

#include <QString>

#include <cstdint>

struct ChartPrintSettings;
struct Position;

// The spoken description of a chart card: what the card shows, in reading order, so that
// a screen reader says no more (hidden names stay hidden) and no less than the eye sees.
namespace ChartCardAccessibility {

// `count` is how many positions the card stands for (1 for a card of one position).
// Parts are joined with ", "; empty parts are left out. Never fails.
QString label(const Position &position, const ChartPrintSettings &settings, int64_t count);

} // namespace ChartCardAccessibility
