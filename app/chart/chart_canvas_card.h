#pragma once

#include "core/support/geometry.h"
#include "printing/chart_screen_card.h"

#include <QColor>
#include <QString>

#include <optional>
#include <string>
#include <vector>

class QPainter;
struct OrganizationSheet;
struct Position;
struct ReportingCallout;

// What answers a click on a screen card (ChartScreenCard draws it): the controls on its
// location row (expand a group, fold a branch, open another chart that lists the same
// people), the primary-manager reference and the reporting badge, which is drawn here.
// Chart points throughout.
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
using State = ChartScreenCard::State;
using Look = ChartScreenCard::Look;

// Where the screen card puts its controls.
Controls controls(const Rect &frame, const Position &position, const State &state, const Look &look);

// The control under `point`, or the card itself.
Part hit(const Controls &controls, Point point);

// A button on the card as a screen reader names it.
struct Toggle {
    Part part; // expandGroup or branchToggle
    QString name;
    Rect rect;
};

// The group's and the branch's buttons, in drawing order: "Expand group", then "Collapse
// branch" or "Expand branch".
std::vector<Toggle> toggles(const Controls &controls, const State &state);

// The card's help text at a point: the reporting details, the manager-reference help, the
// other charts, or the controls' help; empty elsewhere.
QString toolTip(const Controls &controls, Point point, const Position &position, const State &state, bool hideNames);

// Draws the reporting badge over the room the card keeps for it.
void paintBadge(QPainter &painter, const Position &position, const Controls &controls);
void paintBadge(QPainter &painter, const ReportingCallout &callout, const Rect &badge);

} // namespace ChartCanvasCard
