#include "app/print/chart_printer.h"

#include "app/shell/file_saving.h"
#include "app/sidebar/chart_design_controls.h"
#include "core/support/organization_error.h"
#include "core/support/pending_file.h"
#include "printing/chart_text.h"

#include <QApplication>
#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QPageLayout>
#include <QPageRanges>
#include <QPainter>
#include <QPdfWriter>
#include <QPrintDialog>
#include <QPrintEngine>
#include <QPrinter>
#include <QPrinterInfo>
#include <QProcess>
#include <QTemporaryFile>

#include <algorithm>
#include <cmath>
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

// The options the dialog may carry that would put the chart on other paper, turn it or
// scale it: the chart's own paper and orientation win over them.
bool contradictsChartPaper(const QString &option)
{
    static const QStringList sizeOptions{QStringLiteral("PageSize"), QStringLiteral("PageRegion"),
                                         QStringLiteral("media"), QStringLiteral("media-col"),
                                         QStringLiteral("orientation-requested"), QStringLiteral("landscape"),
                                         QStringLiteral("fit-to-page"), QStringLiteral("fitplot"),
                                         QStringLiteral("print-scaling"), QStringLiteral("scaling")};
    return sizeOptions.contains(option, Qt::CaseInsensitive);
}

// What Qt itself tells CUPS about a job it prints (copies, sides and every option the
// dialog set) for the queue named without its instance, then the chart's paper by the name
// the queue's PPD gives it: `PageSize` is what a PPD queue obeys, `media` what a driverless
// one does; both come last, so nothing the dialog chose overrides them.
QStringList lpArguments(QPrinter &printer, const QString &queuePaper, const QString &file)
{
    QStringList arguments{QStringLiteral("-d"), printer.printerName().section(QLatin1Char('/'), 0, 0)};
    if (!printer.docName().isEmpty())
        arguments << QStringLiteral("-t") << printer.docName();
    if (printer.copyCount() > 1) {
        arguments << QStringLiteral("-n") << QString::number(printer.copyCount());
        if (printer.collateCopies())
            arguments << QStringLiteral("-o") << QStringLiteral("Collate=True");
    }
    const QPageLayout layout = printer.pageLayout();
    const bool portrait = layout.orientation() == QPageLayout::Portrait;
    QString sides = QStringLiteral("one-sided");
    if (printer.duplex() == QPrinter::DuplexLongSide || (printer.duplex() == QPrinter::DuplexAuto && portrait))
        sides = QStringLiteral("two-sided-long-edge");
    else if (printer.duplex() == QPrinter::DuplexShortSide || printer.duplex() == QPrinter::DuplexAuto)
        sides = QStringLiteral("two-sided-short-edge");
    arguments << QStringLiteral("-o") << QStringLiteral("sides=") + sides;
    const QStringList options = printer.printEngine()->property(cupsOptionsKey).toStringList();
    for (qsizetype i = 0; i + 1 < options.size(); i += 2) {
        if (!contradictsChartPaper(options[i]))
            arguments << QStringLiteral("-o") << options[i] + QLatin1Char('=') + options[i + 1];
    }
    arguments << QStringLiteral("-o") << QStringLiteral("PageSize=") + queuePaper;
    arguments << QStringLiteral("-o") << QStringLiteral("media=") + queuePaper;
    if (!portrait)
        arguments << QStringLiteral("-o") << QStringLiteral("landscape=true");
    arguments << QStringLiteral("--") << file;
    return arguments;
}

// The chart's paper as the user knows it: "Letter", "A3", or its size in inches.
QString paperName(const QPageSize &paper)
{
    const QSizeF inches = paper.size(QPageSize::Inch);
    const double shortSide = std::min(inches.width(), inches.height());
    const double longSide = std::max(inches.width(), inches.height());
    for (const PaperPreset &preset : standardPapers()) {
        if (std::abs(preset.width - shortSide) < 0.01 && std::abs(preset.height - longSide) < 0.01)
            return preset.name;
    }
    return ChartText::decimal(shortSide, 3) + QStringLiteral(" × ") + ChartText::decimal(longSide, 3)
        + QStringLiteral(" inch");
}

// The queue's name for the chart's paper: the PPD's key for a paper of the same size (within
// a point), else a custom size where the queue takes one.
std::optional<QString> queuePaperFor(const QPrinter &printer, const QPageSize &paper)
{
    // Papers are named upright; one named the other way round ("Ledger" for Tabloid) feeds
    // across and is another paper to the queue.
    const QSizeF points = paper.size(QPageSize::Point);
    const QSizeF want(std::min(points.width(), points.height()), std::max(points.width(), points.height()));
    const auto sameSize = [&](const QSizeF &size) {
        return std::abs(size.width() - want.width()) <= 1 && std::abs(size.height() - want.height()) <= 1;
    };
    // The paper's own name first ("Letter" rather than "AnsiA", both 612 × 792 points).
    const QPrinterInfo queue(printer);
    std::optional<QString> found;
    for (const QPageSize &offered : queue.supportedPageSizes()) {
        if (!sameSize(offered.size(QPageSize::Point)) || offered.key().isEmpty())
            continue;
        if (offered.key() == QPageSize(paper.id()).key())
            return offered.key();
        if (!found)
            found = offered.key();
    }
    if (found)
        return found;
    if (queue.supportsCustomPageSizes())
        return QStringLiteral("Custom.%1x%2").arg(qRound(want.width())).arg(qRound(want.height()));
    return std::nullopt;
}

// Plain words for what `lp` said: its own sentence without the program's name in front.
QString lpFailure(QProcess &lp, const QString &queue)
{
    QString said = QString::fromLocal8Bit(lp.readAllStandardError()).trimmed();
    if (said.isEmpty())
        said = QString::fromLocal8Bit(lp.readAllStandardOutput()).trimmed();
    // "/usr/bin/lp: Destination … is not accepting jobs." without the program's path.
    said = said.section(QLatin1Char('\n'), 0, 0).trimmed();
    const qsizetype colon = said.indexOf(QStringLiteral(": "));
    if (colon > 0 && said.left(colon).endsWith(QStringLiteral("lp")))
        said = said.mid(colon + 2).trimmed();
    if (lp.error() == QProcess::FailedToStart)
        said = QStringLiteral("the lp command could not be started.");
    else if (lp.error() == QProcess::Timedout)
        said = QStringLiteral("the print queue did not answer within a minute.");
    else if (said.isEmpty())
        said = QStringLiteral("lp ended with code %1.").arg(lp.exitCode());
    if (!said.endsWith(QLatin1Char('.')))
        said += QLatin1Char('.');
    return QStringLiteral("The printer “%1” did not take the job: %2").arg(queue, said);
}

class SystemPrintJob final : public PrintJob {
public:
    // `queuePaper` is the queue's name for the chart's paper; unused when printing to a file.
    SystemPrintJob(std::unique_ptr<QPrinter> printer, int pageCount, QString queuePaper)
        : m_printer(std::move(printer)), m_pages(pagesToDraw(*m_printer, pageCount)), m_queuePaper(std::move(queuePaper))
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

    void finish() override
    {
        if (!m_painter.end())
            unavailable();
        if (m_file) {
            m_writer.reset();
            m_file->append(std::string_view(m_buffer.data().constData(), size_t(m_buffer.data().size())));
            m_file->commit();
            return;
        }
        QProcess lp;
        lp.start(QStringLiteral("lp"), lpArguments(*m_printer, m_queuePaper, m_spool->fileName()));
        if (!lp.waitForFinished(submitMilliseconds) || lp.exitStatus() != QProcess::NormalExit || lp.exitCode() != 0)
            throw OrganizationError::invalid(
                lpFailure(lp, m_printer->printerName().section(QLatin1Char('/'), 0, 0)).toStdString());
    }

private:
    // In this order: the painter ends (and finishes what it draws into) before its device goes.
    std::unique_ptr<QPrinter> m_printer;
    std::vector<int> m_pages;
    QString m_queuePaper;
    std::optional<PendingFile> m_file; // printing to a PDF file: its bytes wait in m_buffer
    QBuffer m_buffer;
    std::unique_ptr<QPdfWriter> m_writer;
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
    QString queuePaper;
    if (printer->outputFormat() == QPrinter::NativeFormat) {
        // A queue without the chart's paper would print it scaled or cut: say so first.
        const std::optional<QString> offered = queuePaperFor(*printer, fullPage.pageSize());
        if (!offered)
            throw OrganizationError::invalid(QStringLiteral("The printer “%1” has no %2 paper.")
                                                 .arg(printer->printerName().section(QLatin1Char('/'), 0, 0),
                                                      paperName(fullPage.pageSize()))
                                                 .toStdString());
        queuePaper = *offered;
    }
    return std::make_unique<SystemPrintJob>(std::move(printer), pageCount, queuePaper);
}
