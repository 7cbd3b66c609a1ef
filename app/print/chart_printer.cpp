#include "app/print/chart_printer.h"

#include "core/model/print_settings.h"
#include "core/support/organization_error.h"

#include <QApplication>
#include <QBuffer>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfDocument>
#include <QPdfDocumentRenderOptions>
#include <QPrintDialog>
#include <QPrinter>

#include <algorithm>
#include <cmath>

namespace {

[[noreturn]] void unavailable()
{
    throw OrganizationError::invalid("Printing is not available.");
}

// Rows of pixels rendered at once: a Letter page at 600 dpi is 5,100 pixels wide, so a
// band stays near 10 MB.
const int bandHeight = 512;
const int maximumDotsPerInch = 600;

// Draws page `page` over the whole paper of `printer`, band by band.
bool printPage(QPdfDocument &document, int page, QPainter &painter, const QRect &paper, int dotsPerInch)
{
    const QSizeF points = document.pagePointSize(page);
    const QSize pixels(std::max(1, int(std::lround(points.width() * dotsPerInch / 72))),
                       std::max(1, int(std::lround(points.height() * dotsPerInch / 72))));
    const double toPaperX = double(paper.width()) / pixels.width();
    const double toPaperY = double(paper.height()) / pixels.height();
    for (int top = 0; top < pixels.height(); top += bandHeight) {
        const QRect band(0, top, pixels.width(), std::min(bandHeight, pixels.height() - top));
        QPdfDocumentRenderOptions options;
        options.setScaledSize(pixels);
        options.setScaledClipRect(band);
        QImage image = document.render(page, band.size(), options);
        if (image.isNull())
            return false;
        // Paper is white: flatten what the page leaves transparent.
        QImage flat(image.size(), QImage::Format_RGB32);
        flat.fill(Qt::white);
        QPainter(&flat).drawImage(0, 0, image);
        painter.drawImage(QRectF(paper.left() + band.left() * toPaperX, paper.top() + band.top() * toPaperY,
                                 band.width() * toPaperX, band.height() * toPaperY),
                          flat);
    }
    return true;
}

} // namespace

bool SystemChartPrinter::askWithPrintDialog(QPrinter &printer)
{
    // The dialog is the user's turn: no busy cursor over it, and back to busy for the printing.
    const bool busy = QApplication::overrideCursor() != nullptr;
    if (busy)
        QApplication::restoreOverrideCursor();
    QPrintDialog dialog(&printer, QApplication::activeWindow());
    const bool accepted = dialog.exec() == QDialog::Accepted;
    if (busy)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    return accepted;
}

ChartPrinter::Outcome SystemChartPrinter::print(const QByteArray &pdf, const ChartPrintSettings &settings,
                                                const std::function<void()> &prepared)
{
    QBuffer buffer;
    buffer.setData(pdf);
    QPdfDocument document;
    if (buffer.open(QIODevice::ReadOnly))
        document.load(&buffer);
    if (document.status() != QPdfDocument::Status::Ready || document.pageCount() < 1)
        throw OrganizationError::invalid("Could not prepare the PDF for printing.");
    prepared();

    QPrinter printer(QPrinter::HighResolution);
    const QPageSize paper(QSizeF(std::min(settings.widthInches, settings.heightInches),
                                 std::max(settings.widthInches, settings.heightInches)),
                          QPageSize::Inch, QString(), QPageSize::ExactMatch);
    const QPageLayout layout(paper, settings.landscape ? QPageLayout::Landscape : QPageLayout::Portrait, QMarginsF(),
                             QPageLayout::Point);
    if (!paper.isValid() || !printer.setPageLayout(layout))
        unavailable();
    printer.setFullPage(true);
    if (!m_ask(printer))
        return Outcome::cancelled;

    QPainter painter;
    if (!painter.begin(&printer))
        unavailable();
    const int dotsPerInch = std::min(printer.resolution(), maximumDotsPerInch);
    const QRect paperRect = printer.pageLayout().fullRectPixels(printer.resolution());
    for (int page = 0; page < document.pageCount(); ++page) {
        if (page > 0 && !printer.newPage())
            unavailable();
        if (!printPage(document, page, painter, paperRect.translated(-paperRect.topLeft()), dotsPerInch))
            unavailable();
    }
    if (!painter.end())
        unavailable();
    return Outcome::printed;
}
