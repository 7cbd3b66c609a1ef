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

static constexpr double buttonSize = 14;
static constexpr double chipMaximumWidth = 110;
static const QColor secondary(128, 128, 128);

static QRectF toQt(const Rect &rect)
{
    return QRectF(rect.origin.x, rect.origin.y, rect.size.width, rect.size.height);
}

static QFont captionFont()
{
    QFont font;
    font.setPixelSize(10);
    return font;
}

static QString joinedNames(const State &state)
{
    QStringList names;
    for (const std::string &name : state.linkedSheetNames)
        names.append(QString::fromStdString(name));
    return names.join(QStringLiteral(", "));
}

// The painter leaves room at the card's foot for the manager reference and the badge;
// these are the same measures, so the screen's controls land on the painter's rows.
static double managerRoom(const Position &position)
{
    return position.primaryManagerReference ? 36 : 0;
}

static double calloutRoom(const Position &position)
{
    return position.reportingCallout ? 24 : 0;
}

Controls controls(const Rect &frame, const Position &position, const State &state)
{
    Controls result;
    const double x0 = frame.minX() + 10;
    const double right = frame.maxX() - 10;
    // Below the FTE, beside the job title: the card's buttons.
    double buttonRight = right;
    if (state.hasReports) {
        result.branchToggle = Rect::make(buttonRight - buttonSize, frame.minY() + 25, buttonSize, buttonSize);
        buttonRight -= buttonSize + 4;
    }
    if (position.groupMemberCount)
        result.expandGroup = Rect::make(buttonRight - buttonSize, frame.minY() + 25, buttonSize, buttonSize);

    if (!state.linkedSheetNames.empty()) {
        const QFontMetricsF metrics(captionFont());
        const QString names = joinedNames(state);
        const double icon = metrics.horizontalAdvance(QStringLiteral("\u2197 "));
        const double width = std::min(chipMaximumWidth, icon + metrics.horizontalAdvance(names) + 8);
        result.linkedSheetsText = metrics.elidedText(names, Qt::ElideRight, width - icon - 8);
        // Left of the painter's "(xN)" when the card shows a count there.
        const double chipRight = state.countShown ? frame.maxX() - 52 : right;
        const double rowTop = frame.maxY() - 23 - managerRoom(position) - calloutRoom(position);
        result.linkedSheets = Rect::make(chipRight - width, rowTop, width, 14);
    }
    if (position.primaryManagerReference)
        result.managerReference = Rect::make(x0, frame.maxY() - 40 - calloutRoom(position), 220, 30);
    if (position.reportingCallout)
        result.callout = Rect::make(x0, frame.maxY() - 27, 220, 17);
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

static void paintButton(QPainter &painter, const Rect &rect, bool plus, const QColor &colour)
{
    const QRectF box = toQt(rect).adjusted(1, 1, -1, -1);
    painter.setPen(QPen(colour, 1.2));
    painter.setBrush(Qt::white);
    painter.drawEllipse(box);
    const QPointF centre = box.center();
    const double arm = box.width() / 4;
    painter.drawLine(centre - QPointF(arm, 0), centre + QPointF(arm, 0));
    if (plus)
        painter.drawLine(centre - QPointF(0, arm), centre + QPointF(0, arm));
}

static void paintChip(QPainter &painter, const Rect &rect, const QString &names)
{
    const QRectF box = toQt(rect);
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::white); // covers the tail of a long location under it
    painter.drawRoundedRect(box, 3, 3);
    painter.setFont(captionFont());
    painter.setPen(secondary);
    painter.drawText(box.adjusted(4, 0, -4, 0), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                     QStringLiteral("\u2197 ") + names);
}

void paint(QPainter &painter, const Rect &frame, const Position &position, const State &state,
           const Controls &controls, bool selected, const QColor &accent, double cornerRadius)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    if (controls.expandGroup)
        paintButton(painter, *controls.expandGroup, true, accent);
    if (controls.branchToggle)
        paintButton(painter, *controls.branchToggle, !state.branchExpanded, accent);
    if (controls.linkedSheets)
        paintChip(painter, *controls.linkedSheets, controls.linkedSheetsText);
    if (controls.callout && position.reportingCallout) {
        // The screen's badge takes the place of the printed band.
        painter.fillRect(toQt(*controls.callout), Qt::white);
        ReportingCalloutView::paintBadge(painter, *controls.callout, *position.reportingCallout);
    }
    if (selected) {
        QPen border(accent, 2, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin);
        border.setMiterLimit(10);
        // An assistant keeps its dashed outline when selected.
        if (position.isAssistantPosition())
            border.setDashPattern({6 / 2.0, 3 / 2.0});
        painter.setPen(border);
        painter.setBrush(Qt::NoBrush);
        painter.drawRoundedRect(toQt(frame), cornerRadius, cornerRadius);
    }
    painter.restore();
}

} // namespace ChartCanvasCard
