#pragma once

#include <QByteArray>
#include <QImage>

#include <memory>

class QBuffer;
class QPdfDocument;

// Pictures of the pages of a PDF held in memory, for the print preview.
namespace ChartPDFRasterizer {

// A PDF read once, for drawing many of its pages: reading a large PDF costs more than
// drawing one of its pages. Use it on one thread at a time.
class Document {
public:
    // Throws OrganizationError("Could not read the preview PDF.") for bytes that are not a PDF.
    explicit Document(const QByteArray &pdf);
    ~Document();
    Document(const Document &) = delete;
    Document &operator=(const Document &) = delete;

    int pageCount() const;
    // Page `page` (from 0) on opaque white, scaled so that its longer side is exactly
    // `maximumDimension` pixels (100 to 4000) and its shorter side the ceiling of its scaled
    // length. Throws OrganizationError with the message the preview shows.
    QImage bitmap(int page, int maximumDimension);

private:
    // Declared in this order so that the document goes first: it reads the buffer while it lives.
    std::unique_ptr<QBuffer> m_buffer;
    std::unique_ptr<QPdfDocument> m_document;
};

// As Document, reading the PDF for this one call.
int pageCount(const QByteArray &pdf);
QImage bitmap(const QByteArray &pdf, int page, int maximumDimension);

} // namespace ChartPDFRasterizer
