#include "app/chart/page_break_overlay.h"

#include "core/support/organization_error.h"
#include "core/model/print_settings.h"

#include <QColor>
#include <QFont>
#include <QPainter>
#include <QPainterPath>
#include <QPen>

#include <algorithm>
#include <cmath>
#include <optional>

namespace PageBreakOverlay {

static const QColor blue(0, 122, 255);

static QRectF toQt(const Rect &rect)
{
    return QRectF(rect.origin.x, rect.origin.y, rect.size.width, rect.size.height);
}

Outlines outlines(Size chart, const ChartPrintSettings &settings, double zoom)
{
    if (!std::isfinite(zoom) || zoom <= 0)
        return {};
    std::optional<ChartPagination> pagination;
    try {
        pagination.emplace(chart, settings);
    } catch (const OrganizationError &) {
        return {}; // settings that cannot be printed show no pages; the print sheet says why
    }
    const double scale = settings.scalePercent / 100;
    const Size page{pagination->contentRect.width() / scale, pagination->contentRect.height() / scale};

    Outlines result;
    result.lineWidth = 1.5 / zoom;
    result.dashOn = 8 / zoom;
    result.dashOff = 5 / zoom;
    result.labelCornerRadius = 3 / zoom;
    result.fontSize = 11 / zoom;
    result.labelInset = 4 / zoom;
    result.pages.reserve(pagination->tiles.size());
    for (const ChartPrintTile &tile : pagination->tiles) {
        const Rect rect{tile.chartOrigin, page};
        // The first row and column of pages start before the chart, which centres in them:
        // their labels sit in the corner of the part that is drawn, not outside the chart.
        const Rect label = Rect::make(std::max(rect.minX(), 0.0) + 4 / zoom, std::max(rect.minY(), 0.0) + 4 / zoom,
                                      90 / zoom, 18 / zoom);
        result.pages.push_back({rect, label, QString("R%1 \u00b7 C%2").arg(tile.row).arg(tile.column)});
    }
    return result;
}

void paint(QPainter &painter, Size chart, const ChartPrintSettings &settings, double zoom)
{
    const Outlines drawn = outlines(chart, settings, zoom);
    if (drawn.pages.empty())
        return;
    painter.save();
    painter.setClipRect(QRectF(0, 0, chart.width, chart.height), Qt::IntersectClip);
    painter.setRenderHint(QPainter::Antialiasing);

    QColor line(blue);
    line.setAlphaF(0.8f);
    // Qt measures dashes in pen widths; flat caps keep each dash its own length.
    QPen pen(line, drawn.lineWidth, Qt::CustomDashLine, Qt::FlatCap, Qt::MiterJoin);
    pen.setMiterLimit(10);
    pen.setDashPattern({drawn.dashOn / drawn.lineWidth, drawn.dashOff / drawn.lineWidth});
    QColor plate(Qt::white);
    plate.setAlphaF(0.9f);

    // The label is set at 11 pixels and scaled with the painter, because a font's
    // pixel size is whole and 11 / zoom rarely is.
    QFont font;
    font.setPixelSize(11);
    font.setWeight(QFont::DemiBold);
    const double textScale = drawn.fontSize / 11;

    for (const PageOutline &outline : drawn.pages) {
        painter.setPen(pen);
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(toQt(outline.page));

        painter.setPen(Qt::NoPen);
        painter.setBrush(plate);
        painter.drawRoundedRect(toQt(outline.labelBox), drawn.labelCornerRadius, drawn.labelCornerRadius);

        painter.save();
        painter.translate(outline.labelBox.minX() + drawn.labelInset, outline.labelBox.midY());
        painter.scale(textScale, textScale);
        painter.setFont(font);
        painter.setPen(blue);
        const QRectF box(0, -9, 90 - 4, 18); // the plate in label units, less the inset
        painter.drawText(box, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, outline.label);
        painter.restore();
    }
    painter.restore();
}

} // namespace PageBreakOverlay
