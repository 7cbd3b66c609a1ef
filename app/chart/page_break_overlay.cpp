#include "app/chart/page_break_overlay.h"

#include "core/support/organization_error.h"
#include "core/model/print_settings.h"

#include <QColor>
#include <QFont>
#include <QFontMetricsF>
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

// The label's plate and text in screen pixels at full size.
static constexpr double plateFullWidth = 90;
static constexpr double plateHeight = 18;
static constexpr double labelGap = 4;       // from the page's corner to the plate
static constexpr double labelTextInset = 4; // from the plate's left edge to the text
// Below this a label is too small to read and is left out.
static constexpr double smallestLabelScale = 0.5;

// Set at 11 pixels and scaled with the painter, because a font's pixel size is whole and
// 11 / zoom rarely is.
static QFont labelFont()
{
    QFont font;
    font.setPixelSize(11);
    font.setWeight(QFont::DemiBold);
    return font;
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
    const QFontMetricsF metrics(labelFont());
    for (const ChartPrintTile &tile : pagination->tiles) {
        const Rect rect{tile.chartOrigin, page};
        const QString text = QString("R%1 \u00b7 C%2").arg(tile.row).arg(tile.column);
        // The first row and column of pages start before the chart, which centres in them:
        // their labels sit in the corner of the part that is drawn, not outside the chart.
        const double left = std::max(rect.minX(), 0.0);
        const double top = std::max(rect.minY(), 0.0);
        // Room for the plate on screen: the drawn part of the page less a gap on each side.
        const double roomWidth = (std::min(rect.maxX(), chart.width) - left) * zoom - 2 * labelGap;
        const double roomHeight = (std::min(rect.maxY(), chart.height) - top) * zoom - 2 * labelGap;
        double plateWidth = plateFullWidth;
        double scale = 1;
        if (roomWidth < plateWidth || roomHeight < plateHeight) {
            plateWidth = std::min(plateFullWidth, std::ceil(metrics.horizontalAdvance(text)) + 2 * labelTextInset);
            scale = std::min({1.0, roomWidth / plateWidth, roomHeight / plateHeight});
        }
        if (scale < smallestLabelScale) {
            result.pages.push_back({rect, Rect{}, QString(), 0});
            continue;
        }
        const Rect label = Rect::make(left + labelGap * scale / zoom, top + labelGap * scale / zoom,
                                      plateWidth * scale / zoom, plateHeight * scale / zoom);
        result.pages.push_back({rect, label, text, scale});
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

    const QFont font = labelFont();

    for (const PageOutline &outline : drawn.pages) {
        painter.setPen(pen);
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(toQt(outline.page));
        if (outline.label.isEmpty())
            continue;

        const double textScale = drawn.fontSize / 11 * outline.labelScale;
        painter.setPen(Qt::NoPen);
        painter.setBrush(plate);
        const double radius = drawn.labelCornerRadius * outline.labelScale;
        painter.drawRoundedRect(toQt(outline.labelBox), radius, radius);

        painter.save();
        painter.translate(outline.labelBox.minX() + drawn.labelInset * outline.labelScale, outline.labelBox.midY());
        painter.scale(textScale, textScale);
        painter.setFont(font);
        painter.setPen(blue);
        // The plate in label units, less the inset.
        const QRectF box(0, -plateHeight / 2, outline.labelBox.width() / textScale - labelTextInset, plateHeight);
        painter.drawText(box, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, outline.label);
        painter.restore();
    }
    painter.restore();
}

} // namespace PageBreakOverlay
