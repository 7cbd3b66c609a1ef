#include "printing_test_support.h"

#include "pdf_pages.h"
#include "printing/chart_pdf_renderer.h"

#include <QBuffer>
#include <QPainter>
#include <QPdfWriter>
#include <QRegularExpression>

void TestChart::addCard(const Position &position, double x, double y, double height)
{
    layout.nodes.push_back(ChartNode{position.id, Rect::make(x, y, 240, height)});
    positions[position.id] = position;
    layout.size.width = std::max(layout.size.width, x + 240 + 40);
    layout.size.height = std::max(layout.size.height, y + height + 40);
}

ChartPicture TestChart::picture() const
{
    m_cards.clear();
    for (const auto &[id, position] : positions)
        m_cards.emplace(id, &position);
    return ChartPicture{layout, m_cards, counts, ink};
}

Position testPosition(const std::string &id, const std::string &title, const std::string &name)
{
    Position position;
    position.id = id;
    position.title = title;
    position.department = "Finance";
    position.location = "District Office";
    if (!name.empty())
        position.employee = Employee{"E" + id, name};
    return position;
}

QByteArray renderTestChart(const TestChart &chart, const ChartPrintSettings &settings, const std::string &title,
                           const std::string &scope, const std::optional<std::string> &subtitle)
{
    const ChartPagination pagination(chart.layout.size, settings);
    return ChartPDFRenderer::renderPages(chart.picture(), pagination, title, scope, subtitle);
}

static PDFPages readPages(const QByteArray &pdf)
{
    return readPDFPages(pdf, QRegularExpression("\\r\\n|\\n|\\r"));
}

QStringList pageTexts(const QByteArray &pdf)
{
    return readPages(pdf).texts;
}

QSizeF pageSize(const QByteArray &pdf, int page)
{
    return readPages(pdf).sizes.at(size_t(page));
}

QString paintedText(const std::function<void(QPainter &)> &paint)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    {
        QPdfWriter writer(&buffer);
        writer.setResolution(72);
        QPainter painter(&writer);
        paint(painter);
    }
    return readPDFPages(bytes, QRegularExpression("\\s+")).texts.value(0).trimmed();
}

bool isWhite(QRgb pixel)
{
    return qRed(pixel) == 255 && qGreen(pixel) == 255 && qBlue(pixel) == 255 && qAlpha(pixel) == 255;
}
