#pragma once

#include "core/support/geometry.h"

#include <QColor>
#include <QRectF>
#include <QString>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

class QPainter;
struct Position;

// A chart card as the window shows it (paper keeps the printed card): the job title and
// FTE, the name or an orange "Vacant" (a blue "POSITION GROUP" on a group card), the
// department (purple with "ASSISTANT · " on an assistant), the pay level, then a row of
// the group and branch buttons, the location with its symbol, the other charts and the
// count, and below it the primary-manager reference and room for the reporting badge.
// A card of a proposal chart is tinted by its change and names it on the bottom row.
// The rows stand in a column padded by 10 points and centred in the card. Chart points.
namespace ChartScreenCard {

inline const QColor orange{255, 149, 0};
inline const QColor purple{175, 82, 222};
inline const QColor blue{0, 122, 255};
inline const QColor secondary{128, 128, 128};

// The text colours are the wanted ones; a window makes them read on its cards' fills().
struct Look {
    bool hideNames = false;
    bool showPayLevel = false;
    bool showJobTitle = true;
    QColor background = Qt::white;
    QColor accent = blue;             // the selection's border and the card's buttons
    QColor text = Qt::black;          // job title, name, FTE, count, change badge
    QColor secondaryText = secondary; // department, pay level, location, other charts
    QColor vacantText = orange;       // "Vacant"
    QColor groupText = blue;          // "POSITION GROUP"
    QColor assistantText = purple;    // "ASSISTANT · " and the department
    QColor referenceText = blue;      // the primary-manager reference
};

// Whether a chart's cards may carry a proposal's change tint.
enum class ChangeTints { absent, shown };

// Every colour a card's texts may stand on over `background`: the card's own, an assistant's
// tint over it and, where change tints are shown, both ends of each tint's gradient.
std::vector<QColor> fills(const QColor &background, ChangeTints tints);

// What the window knows of a card besides its position.
struct State {
    int64_t count = 1; // positions the card stands for
    bool hasReports = false;
    bool branchExpanded = true;
    std::vector<std::string> linkedSheetNames; // the other charts that show the card's people
    bool selected = false;
};

// Where each row and control of a card lies; absent rows are null rectangles.
struct Layout {
    QRectF jobTitle;
    QRectF fte;
    QRectF nameRow; // the name, "Vacant" or "POSITION GROUP"
    QRectF department;
    QRectF payLevel;
    QRectF bottomRow;
    std::optional<Rect> expandGroup;
    std::optional<Rect> branchToggle;
    QRectF location; // symbol and text
    std::optional<Rect> linkedSheets;
    QString linkedSheetsText; // the names joined by ", ", elided to fit
    QRectF count;
    QRectF changeBadge; // "ADDED", "DELETED", "MOVED" or "EDITED" on a proposal chart
    std::optional<Rect> managerReference;
    std::optional<Rect> callout; // the reporting badge, drawn by the window
};

// "arrow.triangle.branch": a stem that forks, scaled to `box`.
void paintBranchSymbol(QPainter &painter, const QRectF &box, const QColor &colour);

Layout layout(const Rect &frame, const Position &position, const State &state, const Look &look);

// Whether `frame` is drawn as a speck at the painter's scale: its fill and tints alone, which
// do not depend on the card's state.
bool isSpeck(const QPainter &painter, const Rect &frame);

// Whether cards show their texts and buttons at the painter's scale; below it a card is its
// fill and border, and needs no layout.
bool isLegible(const QPainter &painter);

// Draws the whole card but the reporting badge's content.
void paint(QPainter &painter, const Rect &frame, const Position &position, const State &state, const Look &look);
// The same, with the card's layout at hand: made by layout() from the same frame, position,
// state and look.
void paint(QPainter &painter, const Rect &frame, const Position &position, const State &state, const Look &look,
           const Layout &placed);

} // namespace ChartScreenCard
