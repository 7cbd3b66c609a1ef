#include "printing/chart_pdf_rasterizer.h"

#include "core/support/organization_error.h"

#include <QBuffer>
#include <QPainter>
#include <QPdfDocument>

#include <algorithm>
#include <cmath>

namespace {

[[noreturn]] void unreadable()
{
    throw OrganizationError::invalid("Could not read the preview PDF.");
}

// Pixels for a side of `length` points when the longer side `longest` gets `pixels`.
int scaledSide(double length, double longest, int pixels)
{
    if (length >= longest)
        return pixels;
    // Multiply before dividing, and forgive rounding noise, so an exact fit is not raised by one.
    return std::max(1, static_cast<int>(std::ceil(length * pixels / longest - 1e-9)));
}

} // namespace

namespace ChartPDFRasterizer {

Document::Document(const QByteArray &pdf) : m_buffer(std::make_unique<QBuffer>()), m_document(std::make_unique<QPdfDocument>())
{
    m_buffer->setData(pdf);
    if (pdf.isEmpty() || !m_buffer->open(QIODevice::ReadOnly))
        unreadable();
    m_document->load(m_buffer.get());
    if (m_document->status() != QPdfDocument::Status::Ready || m_document->error() != QPdfDocument::Error::None)
        unreadable();
}

Document::~Document() = default;

int Document::pageCount() const
{
    return m_document->pageCount();
}

QImage Document::bitmap(int page, int maximumDimension)
{
    if (page < 0 || page >= m_document->pageCount() || maximumDimension < 100 || maximumDimension > 4000)
        throw OrganizationError::invalid("That preview page is not available.");
    const QSizeF points = m_document->pagePointSize(page);
    if (!(points.width() > 0) || !(points.height() > 0))
        throw OrganizationError::invalid("The PDF page has an invalid size.");

    const double longest = std::max(points.width(), points.height());
    const QSize pixels(scaledSide(points.width(), longest, maximumDimension),
                       scaledSide(points.height(), longest, maximumDimension));
    QImage image(pixels, QImage::Format_RGBA8888_Premultiplied);
    if (image.isNull())
        throw OrganizationError::invalid("Could not allocate the page preview.");
    // Opaque white under the page: the preview never shows a checkerboard or a dark backdrop.
    image.fill(Qt::white);

    const QImage rendered = m_document->render(page, pixels);
    if (rendered.isNull())
        throw OrganizationError::invalid("Could not render the page preview.");
    QPainter painter(&image);
    painter.drawImage(QPoint(0, 0), rendered);
    painter.end();
    return image;
}

int pageCount(const QByteArray &pdf)
{
    return Document(pdf).pageCount();
}

QImage bitmap(const QByteArray &pdf, int page, int maximumDimension)
{
    return Document(pdf).bitmap(page, maximumDimension);
}

} // namespace ChartPDFRasterizer
