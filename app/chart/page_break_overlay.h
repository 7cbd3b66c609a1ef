#pragma once

#include "core/support/geometry.h"

#include <QString>

#include <vector>

class QPainter;
struct ChartPrintSettings;

// The printed pages drawn over the chart on screen, from the same pagination the print
// uses. Geometry is in chart points; line widths, dashes and labels are divided by the
// zoom so that they look the same at every zoom.
namespace PageBreakOverlay {

inline constexpr const char *accessibleName = "Page boundaries using current print settings";

struct PageOutline {
    Rect page;     // chart points one printed page covers
    Rect labelBox; // white plate behind the label
    QString label; // "R<row> · C<column>"
    bool operator==(const PageOutline &) const = default;
};

struct Outlines {
    std::vector<PageOutline> pages; // in print order
    double lineWidth = 1.5;
    double dashOn = 8;
    double dashOff = 5;
    double labelCornerRadius = 3;
    double fontSize = 11;
    double labelInset = 4; // from the plate's left edge to the text
};

// Nothing when the settings cannot be paginated or the zoom is not a positive number.
Outlines outlines(Size chart, const ChartPrintSettings &settings, double zoom);

// Draws the outlines on a painter in chart points, clipped to the chart.
void paint(QPainter &painter, Size chart, const ChartPrintSettings &settings, double zoom);

} // namespace PageBreakOverlay
