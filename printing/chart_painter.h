#pragma once

#include "core/chart/chart_layout.h"
#include "core/chart/dotted_ink.h"
#include "core/support/geometry.h"
#include "core/support/spatial_grid.h"

#include <QColor>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <unordered_map>

class ChartScene;
class QPainter;
class QPainterPath;
class QRectF;
class QString;
enum class ProposalChangeKind;
struct ChartPrintSettings;
struct Position;

// Everything one drawing of a chart reads, in chart points. Borrowed, not owned: the
// chart scene (or the PDF renderer) keeps the values alive while the painter runs.
struct ChartPicture {
    const ChartLayout &layout;
    const std::unordered_map<std::string, const Position *> &positions; // card id -> the card's position
    const std::unordered_map<std::string, int64_t> &counts;           // card id -> positions it stands for
    const DottedInk &ink;
    // Where the layout's nodes and primarySegments and the ink's strokes and arrows lie, by
    // index, when known: a drawing of part of the chart then visits only what lies there.
    const SpatialGrid *cardGrid = nullptr;
    const SpatialGrid *connectorGrid = nullptr;
    const SpatialGrid *strokeGrid = nullptr;
    const SpatialGrid *arrowGrid = nullptr;
};

// Colours and line widths; the defaults are the printed chart's.
struct ChartPaintStyle {
    QColor regionFill = QColor::fromRgbF(0.97f, 0.97f, 0.97f);
    QColor regionOutline = QColor::fromRgbF(0.65f, 0.65f, 0.65f);
    double regionLineWidth = 0.8;
    QColor regionTitle = Qt::black;
    QColor regionSubtitle = Qt::black;
    QColor connector = QColor::fromRgbF(1 / 3.f, 1 / 3.f, 1 / 3.f);
    double connectorWidth = 1.2;
    QColor ink = QColor(255, 149, 0);
    double inkWidth = DottedInk::lineWidth;
    double highlightedInkWidth = DottedInk::lineWidth; // paper shows no selection
    QColor cardFill = Qt::white;
    QColor cardOutline = QColor::fromRgbF(0.65f, 0.65f, 0.65f);
    double cardOutlineWidth = 1.0;
    double cardRadius = 9;
};

struct PaintOptions {
    bool hideNames = false;
    bool showPayLevel = false;
    bool showJobTitle = true;
    // Chart points that will be seen (a page, the exposed part of a window); what lies
    // wholly outside is not drawn. Null draws everything.
    Rect visibleRect = Rect::null();
    // The card whose dotted lines are highlighted, when drawing a scene.
    std::optional<std::string> selectedID;
    ChartPaintStyle style;
    // Draws one card in place of the printed card (the screen's card); unset on paper.
    std::function<void(QPainter &, const ChartNode &, const Position &, int64_t count)> cardPainter;

    static PaintOptions forSettings(const ChartPrintSettings &settings);
};

// The one chart painter of screen and paper: regions, solid connectors, dotted lines and
// their arrowheads, then the cards, in chart points on any painter. Leaves the painter's
// state as it found it. Linear in the cards and lines drawn.
namespace ChartPainter {

void paint(QPainter &painter, const ChartPicture &picture, const PaintOptions &options);
// The scene's cards and lines, its dotted ink highlighted for `options.selectedID`.
void paint(QPainter &painter, const ChartScene &scene, const PaintOptions &options);

// A core path as a Qt path, with its quadratic pieces kept.
QPainterPath painterPath(const Path &path);

// How a proposal chart marks a changed card: green added, red deleted, yellow moved or
// edited; a diagonal tint of that colour inside the card's outline, and an upper-case badge.
QColor changeColour(ProposalChangeKind kind);
// The tint runs from the faintest to the strongest share of the change's colour over `base`,
// the card's own colour.
inline constexpr double faintestTint = 0.12;
inline constexpr double strongestTint = 0.42;
QColor changeTint(ProposalChangeKind kind, const QColor &base, double amount);
void paintChangeTint(QPainter &painter, const QPainterPath &outline, const QRectF &frame, ProposalChangeKind kind,
                     const QColor &base = Qt::white);
QString changeBadge(ProposalChangeKind kind);

} // namespace ChartPainter
