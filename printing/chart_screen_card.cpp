#include "printing/chart_screen_card.h"

#include "core/model/organization.h"
#include "printing/chart_painter.h"
#include "printing/chart_text.h"

#include <QPainter>
#include <QPainterPath>
#include <QPen>
#include <QStringList>

#include <algorithm>
#include <cmath>

namespace ChartScreenCard {

using ChartText::Weight;

namespace {

constexpr double padding = 10;
constexpr double spacing = 4;
constexpr double buttonSize = 14;
constexpr double chipMaximumWidth = 110;
constexpr double calloutHeight = 17;
constexpr double radius = 12;
// Below this drawing scale an 11-point caption is under two pixels high.
constexpr double legibleScale = 0.18;
// Cards shorter than this many pixels are specks: corners and border are below a pixel.
constexpr double speckPixels = 6;

QFont titleFont() { return ChartText::font(14, Weight::bold); }
QFont captionFont() { return ChartText::font(11); }
QFont captionBoldFont() { return ChartText::font(11, Weight::bold); }
QFont nameFont() { return ChartText::font(13); }
QFont countFont() { return ChartText::font(13, Weight::bold); }
QFont referenceFont() { return ChartText::font(10); }

QString toQt(const std::string &text)
{
    return QString::fromStdString(text);
}

Rect toRect(const QRectF &r)
{
    return Rect::make(r.x(), r.y(), r.width(), r.height());
}

QRectF toQt(const Rect &r)
{
    return QRectF(r.origin.x, r.origin.y, r.size.width, r.size.height);
}

double lineHeight(const QFont &font)
{
    return ChartText::lineHeight(font);
}

// Height of `text` in `width`: one line when it fits on one, else room for `lines` lines
// (ChartText wraps and elides within that room).
double wrappedHeight(const QString &text, const QFont &font, double width, int lines)
{
    const double height = ChartText::lineHeight(font);
    // A point of slack per line: laid-out lines run a little taller than the font's height.
    return ChartText::advance(text, font) <= width ? height + 1 : (height + 1) * lines;
}

QString fteText(const Position &position)
{
    return ChartText::fte(position.fte) + QStringLiteral(" FTE");
}

QString countText(int64_t count)
{
    return QStringLiteral("(x%1)").arg(count);
}

QString joinedNames(const State &state)
{
    QStringList names;
    for (const std::string &name : state.linkedSheetNames)
        names.append(toQt(name));
    return names.join(QStringLiteral(", "));
}

double scaleOf(const QPainter &painter)
{
    return std::sqrt(std::abs(painter.deviceTransform().determinant()));
}

// An assistant's purple, faint over the card's own colour.
QColor assistantTint()
{
    QColor tint = purple;
    tint.setAlphaF(0.1f);
    return tint;
}

bool hasNameRow(const Position &position, const Look &look)
{
    return position.groupMemberCount.has_value() || !look.hideNames;
}

} // namespace

std::vector<QColor> fills(const QColor &background, ChangeTints tints)
{
    const QColor tint = assistantTint();
    const auto over = [&](double under, double top) { return under * (1 - tint.alphaF()) + top * tint.alphaF(); };
    std::vector<QColor> made = {background,
                                QColor::fromRgbF(float(over(background.redF(), tint.redF())),
                                                 float(over(background.greenF(), tint.greenF())),
                                                 float(over(background.blueF(), tint.blueF())))};
    if (tints == ChangeTints::absent)
        return made;
    // An opaque tint covers an assistant's.
    for (const ProposalChangeKind kind : {ProposalChangeKind::added, ProposalChangeKind::deleted,
                                          ProposalChangeKind::moved, ProposalChangeKind::modified}) {
        for (const double amount : {ChartPainter::faintestTint, ChartPainter::strongestTint})
            made.push_back(ChartPainter::changeTint(kind, background, amount));
    }
    return made;
}

void paintBranchSymbol(QPainter &painter, const QRectF &box, const QColor &colour)
{
    // Drawn in an 11-unit box.
    const double unit = std::min(box.width(), box.height()) / 11;
    painter.save();
    painter.translate(box.topLeft());
    painter.scale(unit, unit);
    painter.setPen(QPen(colour, 1.1));
    painter.setBrush(Qt::NoBrush);
    painter.drawLine(QPointF(5, 10), QPointF(5, 5));
    painter.drawLine(QPointF(5, 5), QPointF(2, 1.5));
    painter.drawLine(QPointF(5, 5), QPointF(8, 1.5));
    painter.restore();
}

Layout layout(const Rect &frame, const Position &position, const State &state, const Look &look)
{
    const QRectF f = toQt(frame);
    const double x0 = f.left() + padding;
    const double inner = f.width() - 2 * padding;
    const double caption = lineHeight(captionFont());
    const double fteWidth = ChartText::advance(fteText(position), captionFont());
    const double titleWidth = inner - fteWidth - 8;
    const double titleHeight =
        look.showJobTitle ? wrappedHeight(toQt(position.jobTitle()), titleFont(), titleWidth, 2) : 0;
    const double topHeight = std::max(titleHeight, caption);
    const double nameHeight = position.groupMemberCount ? caption : lineHeight(nameFont());
    const double bottomHeight = std::max({buttonSize, caption, state.count >= 2 ? lineHeight(countFont()) : 0.0});
    std::optional<double> referenceHeight;
    if (position.primaryManagerReference) {
        referenceHeight = wrappedHeight(toQt(position.primaryManagerReference->printedLabel(look.hideNames)),
                                        referenceFont(), inner - 14, 2);
    }

    std::vector<double> rows{topHeight};
    if (hasNameRow(position, look))
        rows.push_back(nameHeight);
    rows.push_back(caption); // department
    if (look.showPayLevel)
        rows.push_back(caption);
    rows.push_back(bottomHeight);
    if (referenceHeight)
        rows.push_back(*referenceHeight);
    if (position.reportingCallout)
        rows.push_back(calloutHeight);
    double total = spacing * double(rows.size() - 1);
    for (double row : rows)
        total += row;

    Layout made;
    double y = f.top() + std::max(padding, (f.height() - total) / 2);
    const auto take = [&](double height) {
        const QRectF row(x0, y, inner, height);
        y += height + spacing;
        return row;
    };
    const QRectF top = take(topHeight);
    if (look.showJobTitle)
        made.jobTitle = QRectF(x0, top.top(), titleWidth, titleHeight);
    made.fte = QRectF(top.right() - fteWidth, top.top() + (topHeight - caption) / 2, fteWidth, caption);
    if (hasNameRow(position, look))
        made.nameRow = take(nameHeight);
    made.department = take(caption);
    if (look.showPayLevel)
        made.payLevel = take(caption);
    made.bottomRow = take(bottomHeight);
    if (referenceHeight)
        made.managerReference = toRect(take(*referenceHeight));
    if (position.reportingCallout)
        made.callout = toRect(take(calloutHeight));

    // The bottom row, left to right: buttons, location, other charts, count.
    const QRectF row = made.bottomRow;
    const double buttonTop = row.top() + (row.height() - buttonSize) / 2;
    double x = row.left();
    if (position.groupMemberCount) {
        made.expandGroup = Rect::make(x, buttonTop, buttonSize, buttonSize);
        x += buttonSize + 4;
    }
    if (state.hasReports) {
        made.branchToggle = Rect::make(x, buttonTop, buttonSize, buttonSize);
        x += buttonSize + 4;
    }
    double right = row.right();
    if (state.count >= 2) {
        const double width = ChartText::advance(countText(state.count), countFont());
        made.count = QRectF(right - width, row.top(), width, row.height());
        right -= width + 6;
    }
    if (position.proposalChange) {
        const double width = ChartText::advance(ChartPainter::changeBadge(*position.proposalChange), captionBoldFont());
        made.changeBadge = QRectF(right - width, row.top() + (row.height() - caption) / 2, width, caption);
        right -= width + 6;
    }
    if (!state.linkedSheetNames.empty()) {
        const QString names = joinedNames(state);
        const double icon = ChartText::advance(QStringLiteral("\u2197 "), captionFont());
        const double width = std::min(chipMaximumWidth, icon + ChartText::advance(names, captionFont()) + 8);
        made.linkedSheetsText = ChartText::elided(names, captionFont(), width - icon - 8);
        made.linkedSheets = Rect::make(right - width, row.top() + (row.height() - caption) / 2, width, caption);
        right -= width + 6;
    }
    made.location = QRectF(x, row.top(), std::max(0.0, right - x), row.height());
    return made;
}

namespace {

void paintCircleButton(QPainter &painter, const Rect &rect, bool plus, const QColor &colour)
{
    const QRectF box = toQt(rect).adjusted(1, 1, -1, -1);
    painter.setPen(QPen(colour, 1.2));
    painter.setBrush(Qt::NoBrush);
    painter.drawEllipse(box);
    const QPointF centre = box.center();
    const double arm = box.width() / 4;
    painter.drawLine(centre - QPointF(arm, 0), centre + QPointF(arm, 0));
    if (plus)
        painter.drawLine(centre - QPointF(0, arm), centre + QPointF(0, arm));
}

// "building.2": two blocks; "arrow.triangle.branch": a stem that forks.
void paintLocationSymbol(QPainter &painter, const QRectF &box, bool split, const QColor &colour)
{
    if (split) {
        paintBranchSymbol(painter, box, colour);
        return;
    }
    painter.setPen(QPen(colour, 1.1));
    painter.setBrush(Qt::NoBrush);
    const QPointF o = box.topLeft();
    painter.drawRect(QRectF(o + QPointF(1, 2), QSizeF(4.5, 8)));
    painter.drawRect(QRectF(o + QPointF(5.5, 5), QSizeF(4, 5)));
}

void paintTexts(QPainter &painter, const Layout &layout, const Position &position, const State &state, const Look &look)
{
    using ChartText::drawBox;
    if (!layout.jobTitle.isNull())
        drawBox(painter, layout.jobTitle, toQt(position.jobTitle()), titleFont(), look.text);
    drawBox(painter, layout.fte, fteText(position), captionFont(), look.text);
    if (position.groupMemberCount)
        drawBox(painter, layout.nameRow, QStringLiteral("POSITION GROUP"), captionBoldFont(), look.groupText);
    else if (!layout.nameRow.isNull())
        drawBox(painter, layout.nameRow, position.employee ? toQt(position.employee->name) : QStringLiteral("Vacant"),
                nameFont(), position.employee ? look.text : look.vacantText);
    const QString department = toQt(position.department);
    if (position.isAssistantPosition())
        drawBox(painter, layout.department, QStringLiteral("ASSISTANT \u00b7 ") + department, captionFont(),
                look.assistantText);
    else
        drawBox(painter, layout.department, department, captionFont(), look.secondaryText);
    if (!layout.payLevel.isNull())
        drawBox(painter, layout.payLevel, QStringLiteral("Pay Level: ") + toQt(position.title), captionFont(),
                look.secondaryText);

    const double caption = lineHeight(captionFont());
    const QRectF textRow(layout.location.left(), layout.location.top() + (layout.location.height() - caption) / 2,
                         layout.location.width(), caption);
    if (textRow.width() > 12) {
        paintLocationSymbol(painter, QRectF(textRow.left(), textRow.top() + (caption - 11) / 2, 11, 11),
                            !position.schoolAssignments.empty(), look.secondaryText);
        drawBox(painter, textRow.adjusted(14, 0, 0, 0), toQt(position.location), captionFont(), look.secondaryText);
    }
    if (!layout.count.isNull())
        drawBox(painter, layout.count, countText(state.count), countFont(), look.text);
    if (!layout.changeBadge.isNull())
        drawBox(painter, layout.changeBadge, ChartPainter::changeBadge(*position.proposalChange), captionBoldFont(),
                look.text);
    if (layout.managerReference) {
        const QRectF box = toQt(*layout.managerReference);
        drawBox(painter, QRectF(box.left(), box.top(), 12, box.height()), QStringLiteral("\u2197"), referenceFont(),
                look.referenceText);
        drawBox(painter, box.adjusted(14, 0, 0, 0),
                toQt(position.primaryManagerReference->printedLabel(look.hideNames)), referenceFont(),
                look.referenceText);
    }
}

} // namespace

bool isSpeck(const QPainter &painter, const Rect &frame)
{
    return scaleOf(painter) * frame.height() < speckPixels;
}

bool isLegible(const QPainter &painter)
{
    return scaleOf(painter) >= legibleScale;
}

namespace {

void paintCard(QPainter &painter, const Rect &frame, const Position &position, const State &state, const Look &look,
               const Layout *given)
{
    if (isSpeck(painter, frame)) {
        // Thousands of specks are drawn on every repaint of a fitted district: their fill
        // and tints alone, as plain rectangles, look the same and cost far less.
        const QRectF f = toQt(frame);
        painter.fillRect(f, look.background);
        if (position.isAssistantPosition())
            painter.fillRect(f, assistantTint());
        if (position.proposalChange) {
            QPainterPath box;
            box.addRect(f);
            ChartPainter::paintChangeTint(painter, box, f, *position.proposalChange);
        }
        return;
    }
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF f = toQt(frame);
    QPainterPath outline;
    outline.addRoundedRect(f, radius, radius);
    painter.fillPath(outline, look.background);
    const bool assistant = position.isAssistantPosition();
    if (assistant)
        painter.fillPath(outline, assistantTint());
    if (position.proposalChange)
        ChartPainter::paintChangeTint(painter, outline, f, *position.proposalChange, look.background);
    QColor border = state.selected ? look.accent : assistant ? purple : secondary;
    if (!state.selected && !assistant)
        border.setAlphaF(0.25f);
    const double width = state.selected ? 2 : 1;
    QPen pen(border, width, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin);
    pen.setMiterLimit(10);
    if (assistant)
        pen.setDashPattern({6 / width, 3 / width}); // Qt measures dashes in pen widths
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(outline);
    // Far out, text and buttons would be a pixel or two high: unreadable, and shaping them
    // for thousands of cards keeps the window busy on every repaint.
    if (!isLegible(painter)) {
        painter.restore();
        return;
    }

    const Layout made = given ? Layout() : layout(frame, position, state, look);
    const Layout &placed = given ? *given : made;
    paintTexts(painter, placed, position, state, look);
    if (placed.expandGroup)
        paintCircleButton(painter, *placed.expandGroup, true, look.accent);
    if (placed.branchToggle)
        paintCircleButton(painter, *placed.branchToggle, !state.branchExpanded, look.accent);
    if (placed.linkedSheets) {
        const QRectF chip = toQt(*placed.linkedSheets);
        painter.setFont(captionFont());
        painter.setPen(look.secondaryText);
        ChartText::drawLine(painter, chip.adjusted(4, 0, -4, 0), QStringLiteral("\u2197 ") + placed.linkedSheetsText);
    }
    painter.restore();
}

} // namespace

void paint(QPainter &painter, const Rect &frame, const Position &position, const State &state, const Look &look)
{
    paintCard(painter, frame, position, state, look, nullptr);
}

void paint(QPainter &painter, const Rect &frame, const Position &position, const State &state, const Look &look,
           const Layout &placed)
{
    paintCard(painter, frame, position, state, look, &placed);
}

} // namespace ChartScreenCard
