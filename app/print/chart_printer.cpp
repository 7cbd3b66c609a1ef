#include "app/print/chart_printer.h"

#include "app/print/chart_print_dialog.h"
#include "app/shell/file_saving.h"
#include "app/shell/widget_dialogs.h"
#include "core/support/organization_error.h"
#include "core/support/pending_file.h"

#include <QApplication>
#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QPageLayout>
#include <QPageRanges>
#include <QPainter>
#include <QPdfWriter>
#include <QPrintEngine>
#include <QPrinter>
#include <QTemporaryFile>

#include <algorithm>
#include <optional>
#include <string_view>

namespace {

[[noreturn]] void unavailable()
{
    throw OrganizationError::invalid("Printing is not available.");
}

// The options the print dialog gives a CUPS printer (page set, pages per sheet, banners,
// priority...); Qt's own key for them.
const auto cupsOptionsKey = QPrintEngine::PrintEnginePropertyKey(0xfe00);

QString queueOf(const QPrinter &printer)
{
    return printer.printerName().section(QLatin1Char('/'), 0, 0);
}

// The pages the dialog chose (its "from"/"to" are page numbers from 1), last first in a file
// when "Reverse" is checked (a queue is told to reverse them), then repeated for the copies a
// printer that cannot make them leaves to us: whole sets when collated.
std::vector<int> pagesToDraw(QPrinter &printer, int pageCount)
{
    std::vector<int> chosen;
    if (printer.printRange() == QPrinter::PageRange && !printer.pageRanges().isEmpty()) {
        for (const QPageRanges::Range &range : printer.pageRanges().toRangeList()) {
            for (int page = std::max(1, range.from); page <= std::min(pageCount, range.to); ++page)
                chosen.push_back(page - 1);
        }
    } else {
        for (int page = 0; page < pageCount; ++page)
            chosen.push_back(page);
    }
    if (printer.outputFormat() == QPrinter::PdfFormat && printer.pageOrder() == QPrinter::LastPageFirst)
        std::reverse(chosen.begin(), chosen.end());
    const int copies = printer.supportsMultipleCopies() ? 1 : std::max(1, printer.copyCount());
    std::vector<int> pages;
    pages.reserve(chosen.size() * size_t(copies));
    if (printer.collateCopies()) {
        for (int copy = 0; copy < copies; ++copy)
            pages.insert(pages.end(), chosen.begin(), chosen.end());
    } else {
        for (int page : chosen)
            pages.insert(pages.end(), size_t(copies), page);
    }
    return pages;
}

class SystemPrintJob final : public PrintJob {
public:
    // `paper` is the chart's, which the queue is asked for by its own name as the job is handed over.
    SystemPrintJob(std::unique_ptr<QPrinter> printer, int pageCount, QPageSize paper, PrintQueue::Commands commands)
        : m_printer(std::move(printer))
        , m_pages(pagesToDraw(*m_printer, pageCount))
        , m_paper(std::move(paper))
        , m_commands(std::move(commands))
    {
        QPaintDevice *device = m_printer.get();
        if (m_printer->outputFormat() == QPrinter::PdfFormat) {
            if (m_printer->outputFileName().isEmpty())
                unavailable();
            // Drawn in memory and written through the PendingFile, which checks every byte
            // and names the file when the disk refuses it.
            m_file.emplace(FileSaving::localPath(m_printer->outputFileName()));
            if (!m_buffer.open(QIODevice::WriteOnly))
                unavailable();
            m_writer = std::make_unique<QPdfWriter>(&m_buffer);
            m_writer->setResolution(m_printer->resolution());
            m_writer->setTitle(m_printer->docName());
            m_writer->setCreator(m_printer->creator());
            if (!m_writer->setPageLayout(m_printer->pageLayout()))
                unavailable();
            device = m_writer.get();
        } else {
            // A name without ".pdf" keeps the printer's own engine, which then writes the job
            // here instead of sending it.
            m_spool = std::make_unique<QTemporaryFile>(QDir::tempPath() + QStringLiteral("/vantrel-print-XXXXXX.job"));
            if (!m_spool->open())
                unavailable();
            m_spool->close();
            m_printer->setOutputFileName(m_spool->fileName());
        }
        if (!m_painter.begin(device))
            unavailable();
    }

    const std::vector<int> &pages() const override { return m_pages; }

    void drawPage(const std::function<void(QPainter &)> &draw) override
    {
        if (m_drawn > 0 && !(m_writer ? m_writer->newPage() : m_printer->newPage()))
            unavailable();
        ++m_drawn;
        m_painter.save();
        const double dotsPerPoint = m_printer->resolution() / 72.0;
        m_painter.scale(dotsPerPoint, dotsPerPoint);
        draw(m_painter);
        m_painter.restore();
    }

    HandOver finish() override
    {
        if (!m_painter.end())
            unavailable();
        if (m_file) {
            m_writer.reset();
            m_file->append(std::string_view(m_buffer.data().constData(), size_t(m_buffer.data().size())));
            m_file->commit();
            return {};
        }
        // Made here: the worker touches neither the printer nor the spool file's owner. The
        // queue's papers are asked there, as the scheduler may not answer.
        return [request = SystemChartPrinter::queueRequest(*m_printer, QString(), m_spool->fileName()),
                paper = m_paper, commands = m_commands](std::stop_token stop) {
            return PrintQueue::handOver(request, paper, commands, stop);
        };
    }

private:
    // In this order: the painter ends (and finishes what it draws into) before its device goes.
    std::unique_ptr<QPrinter> m_printer;
    std::vector<int> m_pages;
    QPageSize m_paper;
    PrintQueue::Commands m_commands;
    std::optional<PendingFile> m_file; // printing to a PDF file: its bytes wait in m_buffer
    QBuffer m_buffer;
    std::unique_ptr<QPdfWriter> m_writer;
    std::unique_ptr<QTemporaryFile> m_spool; // printing to a printer's queue
    QPainter m_painter;
    size_t m_drawn = 0;
};

} // namespace

SystemChartPrinter::SystemChartPrinter(Ask ask, PrintQueue::Commands commands)
    : m_ask(std::move(ask)), m_commands(std::move(commands))
{
    if (!m_ask) {
        m_ask = [commands = m_commands](QPrinter &printer, int pageCount) {
            return askWithPrintDialog(printer, pageCount, commands);
        };
    }
}

bool SystemChartPrinter::askWithPrintDialog(QPrinter &printer, int pageCount, const PrintQueue::Commands &commands)
{
    // The dialog is the user's turn: no busy cursor over it, and back to busy for the printing.
    const bool busy = QApplication::overrideCursor() != nullptr;
    if (busy)
        QApplication::restoreOverrideCursor();
    ChartPrintDialog dialog(&printer, pageCount, QApplication::activeWindow(),
                            [commands](std::stop_token stop) { PrintQueue::requireAnswer(commands, stop); });
    const bool accepted = WidgetDialogs::runModal(dialog) == QDialog::Accepted;
    if (busy)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    if (dialog.failure())
        throw OrganizationError::invalid(*dialog.failure());
    return accepted;
}

PrintQueue::Request SystemChartPrinter::queueRequest(QPrinter &printer, const QString &queuePaper, const QString &file)
{
    PrintQueue::Request request;
    request.queue = queueOf(printer);
    request.title = printer.docName();
    request.copies = printer.copyCount();
    request.collate = printer.collateCopies();
    request.landscape = printer.pageLayout().orientation() == QPageLayout::Landscape;
    // The dialog's "Reverse" is the printer's page order, not one of its CUPS options.
    request.reverse = printer.pageOrder() == QPrinter::LastPageFirst;
    // Long-edge binding turns with the page: for a landscape chart the auto choice is the short edge.
    if (printer.duplex() == QPrinter::DuplexLongSide || (printer.duplex() == QPrinter::DuplexAuto && !request.landscape))
        request.sides = QStringLiteral("two-sided-long-edge");
    else if (printer.duplex() == QPrinter::DuplexShortSide || printer.duplex() == QPrinter::DuplexAuto)
        request.sides = QStringLiteral("two-sided-short-edge");
    if (QPrintEngine *engine = printer.printEngine())
        request.dialogOptions = engine->property(cupsOptionsKey).toStringList();
    request.paper = queuePaper;
    request.file = file;
    return request;
}

std::unique_ptr<PrintJob> SystemChartPrinter::start(const QPageLayout &paper, int pageCount, const QString &title)
{
    QPageLayout fullPage = paper;
    fullPage.setMode(QPageLayout::FullPageMode);
    auto printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
    if (!paper.isValid() || !printer->setPageLayout(fullPage))
        unavailable();
    printer->setFullPage(true);
    printer->setDocName(title);
    if (!m_ask(*printer, pageCount))
        return nullptr;
    // The printer chosen in the dialog brought its own default paper. A printer that refuses
    // the chart's paper keeps its own, and the pages print on it at their own size from its
    // top-left corner: stretched to fit, a tiled chart would no longer line up.
    printer->setPageLayout(fullPage);
    printer->setFullPage(true);
    return std::make_unique<SystemPrintJob>(std::move(printer), pageCount, fullPage.pageSize(), m_commands);
}
