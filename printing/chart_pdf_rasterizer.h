#pragma once

#include <QByteArray>
#include <QImage>

// Pictures of the pages of a PDF held in memory, for the print preview. Keeps nothing:
// every call reads the PDF from the bytes again.
namespace ChartPDFRasterizer {

// Throws OrganizationError("Could not read the preview PDF.") for bytes that are not a PDF.
int pageCount(const QByteArray &pdf);

// Page `page` (from 0) on opaque white, scaled so that its longer side is exactly
// `maximumDimension` pixels (100 to 4000) and its shorter side the ceiling of its scaled
// length. Throws OrganizationError with the message the preview shows.
QImage bitmap(const QByteArray &pdf, int page, int maximumDimension);

} // namespace ChartPDFRasterizer
