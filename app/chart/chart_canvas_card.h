#pragma once

#include "core/support/geometry.h"

#include <QColor>
#include <QString>

#include <optional>
#include <string>
#include <vector>

class QPainter;
struct OrganizationSheet;
struct Position;

// What the screen adds to a card that the shared chart painter draws: the selection
// border, the controls on the card's location row (expand a group, fold a branch, open
// another chart that lists the same people), and the places that answer a click (the
// primary-manager reference and the reporting badge). Chart points throughout.
namespace ChartCanvasCard {

// Where a click on a card lands.
enum class Part { card, expandGroup, branchToggle, linkedSheets, managerReference, callout };

struct Controls {
    std::optional<Rect> expandGroup;
    std::optional<Rect> branchToggle;
    std::optional<Rect> linkedSheets;
    std::optional<Rect> managerReference;
    std::optional<Rect> callout;
    QString linkedSheetsText; // the other charts' names joined by ", ", elided to fit
};

// What decides the controls of one card besides its position.
struct State {
    bool hasReports = false;
    bool branchExpanded = true;
    std::vector<std::string> linkedSheetNames;
    bool countShown = false; // the painter writes "(xN)" at the right of the location row
};

// Controls sit right-aligned on the location row, at most 110 points for the chart names.
Controls controls(const Rect &frame, const Position &position, const State &state);

// The control under `point`, or the card itself.
Part hit(const Controls &controls, Point point);

// The card's help text at a point: the reporting details, the manager-reference help, the
// other charts, or the controls' help; empty elsewhere.
QString toolTip(const Controls &controls, Point point, const Position &position, const State &state, bool hideNames);

// Draws the controls and, on a selected card, the accent border.
void paint(QPainter &painter, const Rect &frame, const Position &position, const State &state,
           const Controls &controls, bool selected, const QColor &accent, double cornerRadius);

} // namespace ChartCanvasCard
