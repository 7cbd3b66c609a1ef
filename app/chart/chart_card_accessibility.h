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

// What the card holds beyond its label: for a position reporting to several managers, who
// they are, one line each as its badge lists them (with names hidden where the chart hides
// them). Empty for any other card.
QString description(const Position &position, const ChartPrintSettings &settings);

} // namespace ChartCardAccessibility
