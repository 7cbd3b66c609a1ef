#include "app/print/chart_printer.h"

#include "app/shell/file_saving.h"
#include "core/support/organization_error.h"
#include "core/support/pending_file.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QPageLayout>
#include <QPageRanges>
#include <QPainter>
#include <QPrintDialog>
#include <QPrintEngine>
#include <QPrinter>
#include <QProcess>
#include <QTemporaryFile>

#include <algorithm>
#include <cerrno>
#include <optional>

namespace {

[[noreturn]] void unavailable()
{
    throw OrganizationError::invalid("Printing is not available.");
}

// The options the print dialog gives a CUPS printer (page set, pages per sheet, banners,
// priority...); Qt's own key for them.
const auto cupsOptionsKey = QPrintEngine::PrintEnginePropertyKey(0xfe00);
// How long `lp` may take to hand a finished job to the print queue.
const int submitMilliseconds = 60000;

// The pages the dialog chose (its "from"/"to" are page numbers from 1), then repeated for
// the copies a printer that cannot make them leaves to us: whole sets when collated.
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

// What Qt itself tells CUPS about a job it prints: the paper, copies, sides, orientation
// and every option the dialog set, for the queue named without its instance.
QStringList lpArguments(QPrinter &printer, const QString &file)
{
    QStringList arguments{QStringLiteral("-d"), printer.printerName().section(QLatin1Char('/'), 0, 0)};
    if (!printer.docName().isEmpty())
        arguments << QStringLiteral("-t") << printer.docName();
    const QPageLayout layout = printer.pageLayout();
    arguments << QStringLiteral("-o") << QStringLiteral("media=") + layout.pageSize().key();
    if (printer.copyCount() > 1) {
        arguments << QStringLiteral("-n") << QString::number(printer.copyCount());
        if (printer.collateCopies())
            arguments << QStringLiteral("-o") << QStringLiteral("Collate=True");
    }
    const bool portrait = layout.orientation() == QPageLayout::Portrait;
    QString sides = QStringLiteral("one-sided");
    if (printer.duplex() == QPrinter::DuplexLongSide || (printer.duplex() == QPrinter::DuplexAuto && portrait))
        sides = QStringLiteral("two-sided-long-edge");
    else if (printer.duplex() == QPrinter::DuplexShortSide || printer.duplex() == QPrinter::DuplexAuto)
        sides = QStringLiteral("two-sided-short-edge");
    arguments << QStringLiteral("-o") << QStringLiteral("sides=") + sides;
    if (!portrait)
        arguments << QStringLiteral("-o") << QStringLiteral("landscape=true");
    const QStringList options = printer.printEngine()->property(cupsOptionsKey).toStringList();
    for (qsizetype i = 0; i + 1 < options.size(); i += 2)
        arguments << QStringLiteral("-o") << options[i] + QLatin1Char('=') + options[i + 1];
    arguments << QStringLiteral("--") << file;
    return arguments;
}

// True when the file ends as a whole PDF does: the PDF writer reports no failed write, so
// a full disk shows as a file without its end.
bool endsAsPDF(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() < 8)
        return false;
    file.seek(std::max<qint64>(0, file.size() - 1024));
    return file.readAll().contains("%%EOF");
}

class SystemPrintJob final : public PrintJob {
public:
    SystemPrintJob(std::unique_ptr<QPrinter> printer, int pageCount)
        : m_printer(std::move(printer)), m_pages(pagesToDraw(*m_printer, pageCount))
    {
        if (m_printer->outputFormat() == QPrinter::PdfFormat) {
            if (m_printer->outputFileName().isEmpty())
                unavailable();
            m_file.emplace(FileSaving::localPath(m_printer->outputFileName()));
            m_printer->setOutputFileName(QFile::decodeName(m_file->temporaryPath().c_str()));
        } else {
            // A name without ".pdf" keeps the printer's own engine, which then writes the job
            // here instead of sending it.
            m_spool = std::make_unique<QTemporaryFile>(QDir::tempPath() + QStringLiteral("/vantrel-print-XXXXXX.job"));
            if (!m_spool->open())
                unavailable();
            m_spool->close();
            m_printer->setOutputFileName(m_spool->fileName());
        }
        if (!m_painter.begin(m_printer.get()))
            unavailable();
    }

    const std::vector<int> &pages() const override { return m_pages; }

    void drawPage(const std::function<void(QPainter &)> &draw) override
    {
        if (m_drawn > 0 && !m_printer->newPage())
            unavailable();
        ++m_drawn;
        m_painter.save();
        const double dotsPerPoint = m_printer->resolution() / 72.0;
        m_painter.scale(dotsPerPoint, dotsPerPoint);
        draw(m_painter);
        m_painter.restore();
    }

    void finish() override
    {
        if (!m_painter.end())
            unavailable();
        if (m_file) {
            const QString written = QFile::decodeName(m_file->temporaryPath().c_str());
            if (!endsAsPDF(written))
                throw FileWriteError(m_file->fileName(), EIO);
            m_file->commit();
            return;
        }
        QProcess lp;
        lp.start(QStringLiteral("lp"), lpArguments(*m_printer, m_spool->fileName()));
        if (!lp.waitForFinished(submitMilliseconds) || lp.exitStatus() != QProcess::NormalExit || lp.exitCode() != 0)
            unavailable();
    }

private:
    // In this order: the painter ends (and finishes the file it writes) before the printer goes.
    std::unique_ptr<QPrinter> m_printer;
    std::vector<int> m_pages;
    std::optional<PendingFile> m_file;       // printing to a PDF file
    std::unique_ptr<QTemporaryFile> m_spool; // printing to a printer's queue
    QPainter m_painter;
    size_t m_drawn = 0;
};

} // namespace

bool SystemChartPrinter::askWithPrintDialog(QPrinter &printer, int pageCount)
{
    // The dialog is the user's turn: no busy cursor over it, and back to busy for the printing.
    const bool busy = QApplication::overrideCursor() != nullptr;
    if (busy)
        QApplication::restoreOverrideCursor();
    QPrintDialog dialog(&printer, QApplication::activeWindow());
    dialog.setMinMax(1, std::max(1, pageCount));
    const bool accepted = dialog.exec() == QDialog::Accepted;
    if (busy)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    return accepted;
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
    return std::make_unique<SystemPrintJob>(std::move(printer), pageCount);
}
