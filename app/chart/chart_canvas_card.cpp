#include "app/chart/chart_canvas_card.h"

#include "app/chart/reporting_callout_view.h"

#include "core/model/organization.h"

#include <QFont>
#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>
#include <QPen>
#include <QStringList>

#include <algorithm>

namespace ChartCanvasCard {

static QString joinedNames(const State &state)
{
    QStringList names;
    for (const std::string &name : state.linkedSheetNames)
        names.append(QString::fromStdString(name));
    return names.join(QStringLiteral(", "));
}

Controls controls(const Rect &frame, const Position &position, const State &state, const Look &look)
{
    const ChartScreenCard::Layout placed = ChartScreenCard::layout(frame, position, state, look);
    Controls result;
    result.expandGroup = placed.expandGroup;
    result.branchToggle = placed.branchToggle;
    result.linkedSheets = placed.linkedSheets;
    result.linkedSheetsText = placed.linkedSheetsText;
    result.managerReference = placed.managerReference;
    result.callout = placed.callout;
    return result;
}

Part hit(const Controls &controls, Point point)
{
    const auto inside = [&](const std::optional<Rect> &rect) { return rect && rect->contains(point); };
    if (inside(controls.expandGroup))
        return Part::expandGroup;
    if (inside(controls.branchToggle))
        return Part::branchToggle;
    if (inside(controls.linkedSheets))
        return Part::linkedSheets;
    if (inside(controls.callout))
        return Part::callout;
    if (inside(controls.managerReference))
        return Part::managerReference;
    return Part::card;
}

std::vector<Toggle> toggles(const Controls &controls, const State &state)
{
    // Bare actions: each is a child of its card, whose name says whose branch or group it is.
    std::vector<Toggle> shown;
    if (controls.expandGroup)
        shown.push_back({Part::expandGroup, QStringLiteral("Expand group"), *controls.expandGroup});
    if (controls.branchToggle) {
        shown.push_back({Part::branchToggle,
                         state.branchExpanded ? QStringLiteral("Collapse branch") : QStringLiteral("Expand branch"),
                         *controls.branchToggle});
    }
    return shown;
}

QString toolTip(const Controls &controls, Point point, const Position &position, const State &state, bool hideNames)
{
    switch (hit(controls, point)) {
    case Part::expandGroup: return QStringLiteral("Expand group to see individual people");
    case Part::branchToggle: return QStringLiteral("Expand or collapse this branch");
    case Part::linkedSheets: return QStringLiteral("Also on: ") + joinedNames(state);
    case Part::managerReference:
        return QStringLiteral("Open the primary manager\u2019s chart. Reporting relationships have not changed.");
    case Part::callout:
        return position.reportingCallout ? ReportingCalloutView::tooltip(*position.reportingCallout, hideNames)
                                         : QString();
    case Part::card: return QString();
    }
    return QString();
}

void paintBadge(QPainter &painter, const Position &position, const Controls &controls)
{
    if (controls.callout && position.reportingCallout)
        paintBadge(painter, *position.reportingCallout, *controls.callout);
}

void paintBadge(QPainter &painter, const ReportingCallout &callout, const Rect &badge)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    ReportingCalloutView::paintBadge(painter, badge, callout);
    painter.restore();
}

} // namespace ChartCanvasCard
