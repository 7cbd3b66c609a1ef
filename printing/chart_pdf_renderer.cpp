#include "printing/chart_pdf_renderer.h"

#include "core/chart/chart_layout.h"
#include "core/chart/chart_print_presentation.h"
#include "core/chart/dotted_ink.h"
#include "core/chart/dotted_routing.h"
#include "core/support/organization_error.h"
#include "core/model/print_settings.h"
#include "core/support/text.h"
#include "printing/chart_painter.h"
#include "printing/chart_text.h"

#include <QBuffer>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPainterPath>
#include <QPdfWriter>

#include <algorithm>

namespace {

using ChartText::Weight;

QRectF toQt(const Rect &r)
{
    return QRectF(r.origin.x, r.origin.y, r.size.width, r.size.height).normalized();
}

QString secondHeadingLine(const ChartPrintSettings &settings, const std::string &scope,
                          const std::optional<std::string> &subtitle)
{
    if (subtitle && !Text::isBlank(*subtitle))
        return QString::fromStdString(Text::trimmed(*subtitle));
    if (settings.hideNames)
        return QStringLiteral("Positions only");
    return QString::fromStdString(scope);
}

QString footerText(const ChartPagination &pagination, const ChartPrintTile &tile)
{
    const int page = (tile.row - 1) * pagination.columns + tile.column;
    return QStringLiteral("Row %1 of %2 | Column %3 of %4 | %5% | Page %6 of %7")
        .arg(tile.row)
        .arg(pagination.rows)
        .arg(tile.column)
        .arg(pagination.columns)
        .arg(ChartText::decimal(pagination.settings.scalePercent, 2))
        .arg(page)
        .arg(pagination.tiles.size());
}

const double guideWidth = 0.4;

QPen solidGuidePen()
{
    QPen pen(QColor::fromRgbF(0.65f, 0.65f, 0.65f), guideWidth, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin);
    pen.setMiterLimit(10);
    return pen;
}

// Qt measures dashes in pen widths; flat caps keep each dash at its own length.
QPen dashedGuidePen()
{
    QPen pen = solidGuidePen();
    pen.setDashPattern({2 / guideWidth, 3 / guideWidth});
    return pen;
}

// The dashed content border, the overlap lines shared with the previous row and column,
// and solid crosses at the content corners: what the user trims and tapes along.
void drawGuides(QPainter &painter, const ChartPagination &pagination, const ChartPrintTile &tile)
{
    const QRectF content = toQt(pagination.contentRect);
    painter.save();
    painter.setBrush(Qt::NoBrush);
    painter.setPen(dashedGuidePen());
    QPainterPath border;
    border.addRect(content);
    painter.drawPath(border);

    const double overlap = pagination.settings.overlapInches * 72;
    if (overlap > 0) {
        QPainterPath lines;
        if (tile.column >= 2) {
            lines.moveTo(content.left() + overlap, content.top());
            lines.lineTo(content.left() + overlap, content.bottom());
        }
        if (tile.row >= 2) {
            lines.moveTo(content.left(), content.top() + overlap);
            lines.lineTo(content.right(), content.top() + overlap);
        }
        painter.drawPath(lines);
    }

    painter.setPen(solidGuidePen());
    QPainterPath crosses;
    for (const QPointF corner : {content.topLeft(), content.topRight(), content.bottomLeft(), content.bottomRight()}) {
        crosses.moveTo(corner.x() - 4, corner.y());
        crosses.lineTo(corner.x() + 4, corner.y());
        crosses.moveTo(corner.x(), corner.y() - 4);
        crosses.lineTo(corner.x(), corner.y() + 4);
    }
    painter.drawPath(crosses);
    painter.restore();
}

[[noreturn]] void cannotCreate()
{
    throw OrganizationError::invalid("Could not create the PDF.");
}

} // namespace

PrintedChart::PrintedChart(const Organization &organization, const ChartPrintSettings &settings)
    : m_presentation(organization, settings),
      m_layout(settings.layout(m_presentation.organization)),
      m_pagination(m_layout.size, settings),
      m_routingKey(std::make_shared<const DottedRoutingKey>(DottedRoutingKey::of(m_layout)))
{
    m_positions.reserve(m_presentation.organization.positions.size());
    for (const Position &position : m_presentation.organization.positions)
        m_positions.emplace(position.id, &position);
}

ChartPicture PrintedChart::picture(const DottedInk &ink) const
{
    return ChartPicture{m_layout, m_positions, m_presentation.counts, ink};
}

ChartPages::ChartPages(const ChartPicture &picture, const ChartPagination &pagination, const std::string &title,
                       const std::string &scope, const std::optional<std::string> &subtitle)
    : m_picture(picture)
    , m_pagination(pagination)
    , m_title(QString::fromStdString(title))
    , m_secondLine(secondHeadingLine(pagination.settings, scope, subtitle))
{
}

QPageLayout ChartPages::pageLayout() const
{
    const ChartPrintSettings &settings = m_pagination.settings;
    // Paper is given by its edges, not snapped to the nearest named size.
    const QPageSize paper(QSizeF(std::min(settings.widthInches, settings.heightInches),
                                 std::max(settings.widthInches, settings.heightInches)),
                          QPageSize::Inch, QString(), QPageSize::ExactMatch);
    return QPageLayout(paper, settings.landscape ? QPageLayout::Landscape : QPageLayout::Portrait, QMarginsF(),
                       QPageLayout::Point);
}

void ChartPages::draw(QPainter &painter, size_t index) const
{
    const ChartPrintTile &tile = m_pagination.tiles.at(index);
    const ChartPrintSettings &settings = m_pagination.settings;
    const Size paper = settings.paperSize();
    const QRectF content = toQt(m_pagination.contentRect);

    painter.fillRect(QRectF(0, 0, paper.width, paper.height), Qt::white);
    ChartText::drawBox(painter, QRectF(content.left(), 12, content.width(), 22), m_title,
                       ChartText::font(16, Weight::bold));
    ChartText::drawBox(painter, QRectF(content.left(), 36, content.width(), 14), m_secondLine, ChartText::font(9));
    ChartText::drawBox(painter, QRectF(content.left(), paper.height - 28, content.width(), 14),
                       footerText(m_pagination, tile), ChartText::font(8));

    const double k = settings.scalePercent / 100;
    PaintOptions options = PaintOptions::forSettings(settings);
    options.visibleRect =
        Rect::make(tile.chartOrigin.x, tile.chartOrigin.y, content.width() / k, content.height() / k);
    painter.save();
    painter.setClipRect(content);
    painter.translate(content.topLeft());
    painter.scale(k, k);
    painter.translate(-tile.chartOrigin.x, -tile.chartOrigin.y);
    ChartPainter::paint(painter, m_picture, options);
    painter.restore();

    drawGuides(painter, m_pagination, tile);
}

namespace ChartPDFRenderer {

QByteArray render(const Organization &organization, const std::string &title, const std::string &scope,
                  const ChartPrintSettings &settings, const std::optional<std::string> &subtitle)
{
    return *render(organization, title, scope, settings, subtitle, ChartPDFRouting{});
}

std::optional<QByteArray> render(const Organization &organization, const std::string &title,
                                 const std::string &scope, const ChartPrintSettings &settings,
                                 const std::optional<std::string> &subtitle, const ChartPDFRouting &routing)
{
    const PrintedChart chart(organization, settings);
    std::optional<std::vector<DottedRoute>> routes;
    if (routing.store)
        routes = routing.store->find(*chart.routingKey());
    if (!routes) {
        const std::shared_ptr<DottedRouteStore> store =
            routing.store ? routing.store : std::make_shared<DottedRouteStore>(1);
        std::function<void(const DottedRoutingProgress &)> progress;
        if (routing.progress)
            progress = [&](const DottedRoutingProgress &p) { routing.progress(p.done, p.total); };
        // The user waits for this output: a window's background routing of the same lines
        // gives way to it.
        routes = store->route(chart.routingKey(), routing.stop, progress, DottedRouteStore::Turn::first);
        if (!routes)
            return std::nullopt;
    }
    const DottedInk ink(*routes, std::nullopt);
    return renderPages(chart.picture(ink), chart.pagination(), title, scope, subtitle, routing.stop, routing.pageDone);
}

QByteArray renderPages(const ChartPicture &picture, const ChartPagination &pagination, const std::string &title,
                       const std::string &scope, const std::optional<std::string> &subtitle)
{
    return *renderPages(picture, pagination, title, scope, subtitle, {}, {});
}

std::optional<QByteArray> renderPages(const ChartPicture &picture, const ChartPagination &pagination,
                                      const std::string &title, const std::string &scope,
                                      const std::optional<std::string> &subtitle, std::stop_token stop,
                                      const std::function<void(size_t done, size_t total)> &pageDone)
{
    const ChartPages pages(picture, pagination, title, scope, subtitle);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    if (!buffer.open(QIODevice::WriteOnly))
        cannotCreate();
    QPdfWriter writer(&buffer);
    // One device unit per point, so page geometry is written as given.
    writer.setResolution(72);
    const QPageLayout layout = pages.pageLayout();
    if (!layout.pageSize().isValid() || !writer.setPageLayout(layout))
        cannotCreate();
    QPainter painter;
    if (!painter.begin(&writer))
        cannotCreate();
    for (size_t page = 0; page < pages.count(); ++page) {
        if (stop.stop_requested())
            return std::nullopt; // the painter ends into the buffer, which goes with it
        if (page > 0 && !writer.newPage())
            cannotCreate();
        pages.draw(painter, page);
        if (pageDone)
            pageDone(page + 1, pages.count());
    }
    if (!painter.end())
        cannotCreate();
    return bytes;
}

} // namespace ChartPDFRenderer
