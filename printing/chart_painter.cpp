#include "printing/chart_painter.h"

#include "core/chart/chart_scene.h"
#include "core/model/organization.h"
#include "core/planning/proposal_changes.h"
#include "core/model/print_settings.h"
#include "core/support/spatial_grid.h"
#include "printing/chart_text.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPaintEngine>
#include <QPainterPath>
#include <QPen>

#include <algorithm>
#include <array>
#include <cmath>
#include <optional>
#include <span>

namespace {

using ChartText::Weight;

QRectF toQt(const Rect &r)
{
    return QRectF(r.origin.x, r.origin.y, r.size.width, r.size.height).normalized();
}

QString toQt(const std::string &text)
{
    return QString::fromStdString(text);
}

// Qt measures dashes in pen widths, and square or round caps would lengthen each dash.
QPen dashedPen(const QColor &colour, double width, std::span<const double> pattern, double phase)
{
    QPen pen(colour, width, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin);
    pen.setMiterLimit(10);
    if (pattern.empty() || !(width > 0))
        return pen;
    QList<qreal> dashes;
    for (double length : pattern)
        dashes.append(length / width);
    pen.setDashPattern(dashes);
    pen.setDashOffset(phase / width);
    return pen;
}

QPen solidPen(const QColor &colour, double width)
{
    return dashedPen(colour, width, std::span<const double>(), 0);
}

constexpr std::array<double, 2> regionDashes{5, 4};
constexpr std::array<double, 2> assistantDashes{6, 3};

QPainterPath roundedRect(const QRectF &frame, double radius)
{
    QPainterPath path;
    path.addRoundedRect(frame, radius, radius);
    return path;
}

// Calls `visit` with the index of each of `count` pieces, in order, that may meet `area`:
// those `grid` files there; all of them without a grid, for a null area (everything) or
// where the area covers most of the grid.
template <class Visit>
void forEachNear(const SpatialGrid *grid, const Rect &area, size_t count, Visit visit)
{
    std::optional<std::vector<uint32_t>> near;
    if (grid && !area.isNull())
        near = grid->near(area);
    if (!near) {
        for (size_t i = 0; i < count; ++i)
            visit(i);
        return;
    }
    for (const uint32_t i : *near)
        visit(size_t(i));
}

// What will be seen, made once per drawing: every card and piece of ink is tested against it.
class Visible {
public:
    explicit Visible(const PaintOptions &options)
    {
        if (!options.visibleRect.isNull())
            m_rect = toQt(options.visibleRect);
    }
    bool shows(const QRectF &bounds, double slack) const
    {
        return !m_rect || bounds.adjusted(-slack, -slack, slack, slack).intersects(*m_rect);
    }
    // What will be seen, with `slack` around it; nothing when everything will.
    std::optional<QRectF> area(double slack) const
    {
        if (!m_rect)
            return std::nullopt;
        return m_rect->adjusted(-slack, -slack, slack, slack);
    }

private:
    std::optional<QRectF> m_rect;
};

QRectF pathBounds(const Path &path)
{
    const Rect bounds = path.controlBounds();
    return bounds.isNull() ? QRectF() : toQt(bounds);
}

// What may show of a piece `slack` wide: a pixel more around what will be seen.
Rect reach(const PaintOptions &options, double slack)
{
    return options.visibleRect.insetBy(-slack - 1, -slack - 1);
}

void paintRegions(QPainter &painter, const ChartLayout &layout, const PaintOptions &options)
{
    const Visible visible(options);
    const ChartPaintStyle &style = options.style;
    for (const ChartRegion &region : layout.regions) {
        const QRectF frame = toQt(region.frame);
        if (!visible.shows(frame, style.regionLineWidth))
            continue;
        painter.setPen(dashedPen(style.regionOutline, style.regionLineWidth, regionDashes, 0));
        painter.setBrush(style.regionFill);
        painter.drawPath(roundedRect(frame, 12));
        ChartText::drawBox(painter, QRectF(frame.left() + 12, frame.top() + 10, frame.width() - 24, 18),
                           toQt(region.title), ChartText::font(13, Weight::bold), style.regionTitle);
        ChartText::drawBox(painter, QRectF(frame.left() + 12, frame.top() + 30, frame.width() - 24, 24),
                           toQt(region.subtitle), ChartText::font(9), style.regionSubtitle);
    }
}

void paintConnectors(QPainter &painter, const ChartPicture &picture, const PaintOptions &options)
{
    const Visible visible(options);
    const ChartPaintStyle &style = options.style;
    const std::vector<ChartSegment> &segments = picture.layout.primarySegments;
    QPainterPath path;
    const Rect around = reach(options, style.connectorWidth);
    forEachNear(picture.connectorGrid, around, segments.size(), [&](size_t i) {
        const QPointF start(segments[i].start.x, segments[i].start.y);
        const QPointF end(segments[i].end.x, segments[i].end.y);
        if (!visible.shows(QRectF(start, end).normalized(), style.connectorWidth))
            return;
        path.moveTo(start);
        path.lineTo(end);
    });
    if (path.isEmpty())
        return;
    painter.setPen(solidPen(style.connector, style.connectorWidth));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(path);
}

// The ends of a straight stroke, when it is one: a horizontal or vertical line.
std::optional<std::pair<Point, Point>> straightEnds(const Path &path)
{
    if (path.elements.size() != 2 || path.elements[0].kind != PathElement::Kind::moveTo ||
        path.elements[1].kind != PathElement::Kind::lineTo)
        return std::nullopt;
    const Point a = path.elements[0].point;
    const Point b = path.elements[1].point;
    if (a.y != b.y && a.x != b.x)
        return std::nullopt;
    return std::pair{a, b};
}

QRectF runBounds(Point a, Point b)
{
    return QRectF(QPointF(std::min(a.x, b.x), std::min(a.y, b.y)), QPointF(std::max(a.x, b.x), std::max(a.y, b.y)));
}

// A straight run cut to what `area` shows of it, ends moved by whole dash periods so that
// the dashes fall where they did: dashing costs the run's length, and a run can cross the
// whole chart while a small part of the window is painted. Anything else is kept whole.
Path shownPart(const Path &path, const std::optional<QRectF> &area)
{
    const std::optional<std::pair<Point, Point>> ends = straightEnds(path);
    if (!area || !ends)
        return path;
    const auto [a, b] = *ends;
    const bool horizontal = a.y == b.y;
    const double low = horizontal ? area->left() : area->top();
    const double high = horizontal ? area->right() : area->bottom();
    const double from = horizontal ? a.x : a.y;
    const double to = horizontal ? b.x : b.y;
    if (from > to)
        return path;
    const double period = DottedInk::dashPeriod;
    const double start = from + std::max(0.0, std::floor((low - from) / period) - 1) * period;
    const double end = std::min(to, start + (std::ceil((high - start) / period) + 1) * period);
    if (start <= from && end >= to)
        return path;
    Path part;
    part.moveTo(horizontal ? Point{start, a.y} : Point{a.x, start});
    part.lineTo(horizontal ? Point{end, a.y} : Point{a.x, end});
    return part;
}

// Dashed lines a pixel wide or less on a raster device (the screen). Qt draws them a pixel
// at a time and counts their dashes in pixels from where each line starts, whatever the
// phase says in chart points: a run drawn whole, or in pieces where a selection lights a
// share of it, or cut to the part of the window being drawn, would dash otherwise. Such a
// line is drawn from its lower end with the phase that puts its dashes on a grid of pixels
// fixed to the chart's origin, so that every way of cutting it draws alike.
class PixelDashes {
public:
    PixelDashes(const QPainter &painter, const std::optional<QRectF> &area)
    {
        const QPaintEngine *engine = painter.paintEngine();
        m_device = painter.combinedTransform();
        if (!engine || engine->type() != QPaintEngine::Raster || m_device.type() != QTransform::TxScale ||
            std::abs(m_device.m11()) != std::abs(m_device.m22()))
            return;
        m_scale = std::abs(m_device.m11());
        m_back = m_device.inverted();
        m_origin = m_device.map(QPointF(0, 0));
        if (area)
            m_area = m_device.mapRect(*area);
    }

    // Qt's own test for drawing a line a pixel at a time: its width at the scale drawn.
    bool applies(double width) const { return m_scale > 0 && width * m_scale <= 1; }

    // The piece of the straight run a to b to draw, from its lower end in device pixels, and
    // the pen's dash offset (in pixels, as Qt counts them for such a line); nothing when
    // no part of it will be seen.
    std::optional<std::pair<QLineF, double>> line(Point a, Point b) const
    {
        const bool horizontal = a.y == b.y;
        const auto along = [horizontal](QPointF p) { return horizontal ? p.x() : p.y(); };
        QPointF from = m_device.map(QPointF(a.x, a.y));
        QPointF to = m_device.map(QPointF(b.x, b.y));
        if (along(from) > along(to)) {
            std::swap(a, b);
            std::swap(from, to);
        }
        double low = along(from);
        double high = along(to);
        // Cut two pixels past what will be seen: the partly covered pixel at a cut lies outside.
        if (m_area) {
            low = std::max(low, (horizontal ? m_area->left() : m_area->top()) - 2);
            high = std::min(high, (horizontal ? m_area->right() : m_area->bottom()) + 2);
        }
        if (low >= high)
            return std::nullopt;
        const auto point = [&](double at) {
            const QPointF p = m_back.map(horizontal ? QPointF(at, from.y()) : QPointF(from.x(), at));
            return horizontal ? QPointF(p.x(), a.y) : QPointF(a.x, p.y());
        };
        const QPointF start = low > along(from) ? point(low) : QPointF(a.x, a.y);
        const QPointF end = high < along(to) ? point(high) : QPointF(b.x, b.y);
        // Where Qt starts the line: the start as it maps it, in 1/64 pixel, and no further out
        // than a pixel before the device's edge, where it clips lines.
        const int first = int(std::max(along(m_device.map(start)), -1.0) * 64);
        const double grid = std::floor(along(m_origin));
        return std::pair{QLineF(start, end), first / 64.0 - grid};
    }

private:
    QTransform m_device;
    QTransform m_back;
    double m_scale = 0;
    QPointF m_origin;
    std::optional<QRectF> m_area;
};

void paintInk(QPainter &painter, const ChartPicture &picture, const PaintOptions &options)
{
    const Visible visible(options);
    const ChartPaintStyle &style = options.style;
    const DottedInk &ink = picture.ink;
    painter.setBrush(Qt::NoBrush);
    const double widest = std::max(style.inkWidth, style.highlightedInkWidth);
    const PixelDashes pixelDashes(painter, visible.area(widest));
    QPen plainPen = dashedPen(style.ink, style.inkWidth, DottedInk::dashPattern, 0);
    QPen highlightedPen = dashedPen(style.ink, style.highlightedInkWidth, DottedInk::dashPattern, 0);
    forEachNear(picture.strokeGrid, reach(options, widest), ink.strokes.size(), [&](size_t i) {
        const DottedStroke &stroke = ink.strokes[i];
        const double width = stroke.highlighted ? style.highlightedInkWidth : style.inkWidth;
        // Most strokes are straight runs: their bounds are their ends.
        const std::optional<std::pair<Point, Point>> ends = straightEnds(stroke.path);
        const QRectF bounds = ends ? runBounds(ends->first, ends->second) : pathBounds(stroke.path);
        if (!visible.shows(bounds, width))
            return;
        if (ends && pixelDashes.applies(width)) {
            if (const auto line = pixelDashes.line(ends->first, ends->second)) {
                // A line of one piece: drawn as a path is, without making one.
                QPen &pen = stroke.highlighted ? highlightedPen : plainPen;
                pen.setDashOffset(line->second);
                painter.setPen(pen);
                painter.drawLine(line->first);
            }
            return;
        }
        // Each stroke keeps its own phase so that collinear runs dash in step.
        painter.setPen(dashedPen(style.ink, width, DottedInk::dashPattern, stroke.dashPhase));
        painter.drawPath(ChartPainter::painterPath(shownPart(stroke.path, visible.area(width))));
    });
    painter.setPen(Qt::NoPen);
    painter.setBrush(style.ink);
    forEachNear(picture.arrowGrid, reach(options, 0), ink.arrows.size(), [&](size_t i) {
        const DottedStroke &arrow = ink.arrows[i];
        if (!visible.shows(pathBounds(arrow.path), 0))
            return;
        QPainterPath path = ChartPainter::painterPath(arrow.path);
        path.setFillRule(Qt::WindingFill);
        painter.drawPath(path);
    });
}

// The texts of a card, each in a fixed box measured from the card's edges.
void paintCardTexts(QPainter &painter, const QRectF &f, const Position &position, int64_t count,
                    const PaintOptions &options)
{
    const double x0 = f.left() + 10;
    const auto box = [&painter](double x, double y, double w, double h, const QString &text, const QFont &font) {
        ChartText::drawBox(painter, QRectF(x, y, w, h), text, font);
    };
    const bool isGroup = position.groupMemberCount.has_value();
    const bool showsCount = count > 1 && (isGroup || options.hideNames);
    const double m = position.primaryManagerReference ? 36 : 0;
    const double c = position.reportingCallout ? 24 : 0;

    if (options.showJobTitle)
        box(x0, f.top() + 9, 162, 32, toQt(position.jobTitle()), ChartText::font(12, Weight::bold));
    box(f.right() - 64, f.top() + 9, 54, 13, ChartText::fte(position.fte) + QStringLiteral(" FTE"),
        ChartText::font(8));
    if (isGroup)
        box(x0, f.top() + 43, 220, 16, QStringLiteral("POSITION GROUP"), ChartText::font(9));
    else if (!options.hideNames)
        box(x0, f.top() + 43, 220, 16, position.employee ? toQt(position.employee->name) : QStringLiteral("Vacant"),
            ChartText::font(10));
    const QString department = toQt(position.department);
    box(x0, f.top() + 63, 220, 14,
        position.isAssistantPosition() ? QStringLiteral("ASSISTANT \u00b7 ") + department : department,
        ChartText::font(9));
    if (options.showPayLevel)
        box(x0, f.top() + 81, 220, 14, QStringLiteral("Pay Level: ") + toQt(position.title), ChartText::font(9));
    box(x0, f.bottom() - 23 - m - c, showsCount ? 175 : 220, 14, toQt(position.location), ChartText::font(9));
    if (position.proposalChange)
        box(f.right() - 64, f.top() + 25, 58, 14, ChartPainter::changeBadge(*position.proposalChange),
            ChartText::font(8, Weight::bold));
    if (showsCount)
        box(f.right() - 48, f.bottom() - 26 - m - c, 40, 18, QStringLiteral("(x%1)").arg(count),
            ChartText::font(12, Weight::bold));
    if (position.primaryManagerReference)
        box(x0, f.bottom() - 40 - c, 220, 30, toQt(position.primaryManagerReference->printedLabel(options.hideNames)),
            ChartText::font(9));
    if (position.reportingCallout) {
        painter.fillRect(QRectF(x0, f.bottom() - 27, 220, 17), QColor::fromRgbF(1.0f, 0.94f, 0.84f));
        box(x0 + 4, f.bottom() - 25, 212, 13, toQt(position.reportingCallout->summary()),
            ChartText::font(8, Weight::bold));
    }
}

void paintCard(QPainter &painter, const QRectF &frame, const Position &position, int64_t count,
               const PaintOptions &options)
{
    const ChartPaintStyle &style = options.style;
    const QPainterPath outline = roundedRect(frame, style.cardRadius);
    if (position.isAssistantPosition()) {
        painter.setPen(dashedPen(QColor::fromRgbF(0.45f, 0.30f, 0.60f), 1.4, assistantDashes, 0));
        painter.setBrush(QColor::fromRgbF(0.96f, 0.94f, 1.0f));
    } else {
        painter.setPen(solidPen(style.cardOutline, style.cardOutlineWidth));
        painter.setBrush(style.cardFill);
    }
    painter.drawPath(outline);

    if (position.proposalChange)
        ChartPainter::paintChangeTint(painter, outline, frame, *position.proposalChange);
    paintCardTexts(painter, frame, position, count, options);
}

void paintCards(QPainter &painter, const ChartPicture &picture, const PaintOptions &options)
{
    const Visible visible(options);
    const std::vector<ChartNode> &nodes = picture.layout.nodes;
    forEachNear(picture.cardGrid, reach(options, 2), nodes.size(), [&](size_t i) {
        const ChartNode &node = nodes[i];
        // Culled first: without a grid, a part of a window passes over every card.
        const QRectF frame = toQt(node.frame);
        if (!visible.shows(frame, 2))
            return;
        const auto found = picture.positions.find(node.id);
        if (found == picture.positions.end() || !found->second)
            return;
        const auto counted = picture.counts.find(node.id);
        const int64_t count = counted == picture.counts.end() ? 1 : counted->second;
        if (options.cardPainter)
            options.cardPainter(painter, node, *found->second, count);
        else
            paintCard(painter, frame, *found->second, count, options);
    });
}

} // namespace

PaintOptions PaintOptions::forSettings(const ChartPrintSettings &settings)
{
    PaintOptions options;
    options.hideNames = settings.hideNames;
    options.showPayLevel = settings.showPayLevel;
    options.showJobTitle = settings.showJobTitle;
    return options;
}

namespace ChartPainter {

QPainterPath painterPath(const Path &path)
{
    QPainterPath result;
    for (const PathElement &element : path.elements) {
        switch (element.kind) {
        case PathElement::Kind::moveTo: result.moveTo(element.point.x, element.point.y); break;
        case PathElement::Kind::lineTo: result.lineTo(element.point.x, element.point.y); break;
        case PathElement::Kind::quadCurveTo:
            result.quadTo(element.control.x, element.control.y, element.point.x, element.point.y);
            break;
        case PathElement::Kind::closeSubpath: result.closeSubpath(); break;
        }
    }
    return result;
}

void paint(QPainter &painter, const ChartPicture &picture, const PaintOptions &options)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    paintRegions(painter, picture.layout, options);
    paintConnectors(painter, picture, options);
    paintInk(painter, picture, options);
    paintCards(painter, picture, options);
    painter.restore();
}

void paint(QPainter &painter, const ChartScene &scene, const PaintOptions &options)
{
    const std::shared_ptr<const DottedInk> ink = scene.ink(options.selectedID);
    ChartPicture picture{scene.layout(), scene.positions(), scene.presentation().counts, *ink};
    // Grids pay off for the parts of a window, not for a whole drawing.
    std::shared_ptr<const DottedInkGrids> inkGrids;
    if (!options.visibleRect.isNull()) {
        const ChartLayoutGrids &layoutGrids = scene.layoutGrids();
        picture.cardGrid = &layoutGrids.cards;
        picture.connectorGrid = &layoutGrids.connectors;
        // Ink just made for another selection is drawn by going over all of it until its
        // grids are there: they take longer to make than that.
        inkGrids = scene.inkGridsIfMade(options.selectedID);
        if (inkGrids) {
            picture.strokeGrid = &inkGrids->strokes;
            picture.arrowGrid = &inkGrids->arrows;
        }
    }
    paint(painter, picture, options);
}

} // namespace ChartPainter

namespace ChartPainter {

QColor changeColour(ProposalChangeKind kind)
{
    switch (kind) {
    case ProposalChangeKind::added: return QColor(52, 199, 89);
    case ProposalChangeKind::deleted: return QColor(255, 59, 48);
    case ProposalChangeKind::moved:
    case ProposalChangeKind::modified: return QColor(255, 204, 0);
    }
    return Qt::white;
}

QColor changeTint(ProposalChangeKind kind, const QColor &base, double amount)
{
    const QColor colour = changeColour(kind);
    const auto mix = [amount](double under, double over) { return (1 - amount) * under + amount * over; };
    return QColor::fromRgbF(float(mix(base.redF(), colour.redF())), float(mix(base.greenF(), colour.greenF())),
                            float(mix(base.blueF(), colour.blueF())));
}

void paintChangeTint(QPainter &painter, const QPainterPath &outline, const QRectF &frame, ProposalChangeKind kind,
                     const QColor &base)
{
    // Opaque, so that paper and screen show the same.
    QLinearGradient tint(frame.topLeft(), frame.bottomRight());
    tint.setColorAt(0, changeTint(kind, base, faintestTint));
    tint.setColorAt(1, changeTint(kind, base, strongestTint));
    painter.save();
    painter.setClipPath(outline, Qt::IntersectClip);
    painter.fillRect(frame, tint);
    painter.restore();
}

QString changeBadge(ProposalChangeKind kind)
{
    return QString::fromUtf8(proposalChangeKindLabel(kind)).toUpper();
}

} // namespace ChartPainter
