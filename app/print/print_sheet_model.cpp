#include "app/print/print_sheet_model.h"

#include "app/print/chart_printer.h"
#include "app/shell/dialogs.h"
#include "app/shell/file_saving.h"
#include "app/sidebar/chart_design_controls.h"
#include "core/chart/chart_layout.h"
#include "core/chart/chart_print_presentation.h"
#include "core/chart/dotted_ink.h"
#include "core/chart/dotted_route_store.h"
#include "core/document/organization_archive.h"
#include "core/support/organization_error.h"
#include "core/support/text.h"
#include "printing/chart_painter.h"
#include "printing/chart_text.h"

#include <QDir>
#include <QFileInfo>
#include <QPointer>
#include <QTimer>

#include <cmath>

namespace {

QString toQt(const std::string &text)
{
    return QString::fromStdString(text);
}

// Counts cards as the positions they stand for; deletion markers of a comparison chart
// are counted apart, one each.
QString summaryOf(const Organization &organization, const std::string &scope)
{
    int64_t positions = 0;
    int64_t markers = 0;
    for (const Position &position : organization.positions) {
        if (position.proposalChange == ProposalChangeKind::deleted)
            ++markers;
        else
            positions += position.groupMemberCount.value_or(1);
    }
    const QString head = toQt(scope) + QStringLiteral(" · ") + QString::number(positions);
    if (markers == 0)
        return head + QStringLiteral(" positions");
    return head + QStringLiteral(" proposed positions · ") + QString::number(markers) + QStringLiteral(" deletion markers");
}

// The settings that shape the layout: scale and overlap only move it across the pages.
ChartPrintSettings layoutKey(ChartPrintSettings settings)
{
    settings.scalePercent = 100;
    settings.overlapInches = 0;
    return settings;
}

bool sameLook(const ChartPrintSettings &a, const ChartPrintSettings &b)
{
    return a.landscape == b.landscape && a.hideNames == b.hideNames && a.showPayLevel == b.showPayLevel
        && a.showJobTitle == b.showJobTitle && a.combineMatchingTitles == b.combineMatchingTitles
        && a.pageBalancedLayout == b.pageBalancedLayout;
}

QString messageOf(const std::exception &error)
{
    return QString::fromUtf8(error.what());
}

} // namespace

namespace PaperPresets {

QString matching(double widthInches, double heightInches)
{
    for (const PaperPreset &preset : standardPapers()) {
        if (std::abs(preset.width - widthInches) < 0.0001 && std::abs(preset.height - heightInches) < 0.0001)
            return preset.name;
    }
    return custom;
}

} // namespace PaperPresets

PrintSheetModel::PrintSheetModel(Input input, PrintSheetHost &host, Dialogs &dialogs, ChartPrinter &printer,
                                 QObject *parent)
    : QObject(parent)
    , m_input(std::move(input))
    , m_host(host)
    , m_dialogs(dialogs)
    , m_printer(printer)
    , m_writeSheet([](const SheetPDFExportJob &job, const QString &folder, const ChartPDFRouting &routing) {
        return ChartPDFBatchExport::write(job, folder, routing);
    })
    , m_settings(m_input.settings)
    , m_positionSummary(summaryOf(m_input.organization, m_input.scope))
    , m_routeStore(host.routeStore() ? host.routeStore() : std::make_shared<DottedRouteStore>())
    , m_outputHold(m_routeStore)
    , m_previewLinesTimer(new QTimer(this))
{
    m_previewLinesTimer->setSingleShot(true);
    m_previewLinesTimer->setInterval(150);
    connect(m_previewLinesTimer, &QTimer::timeout, this, &PrintSheetModel::readPreviewLines);
    connect(&LeftoverJobs::instance(), &LeftoverJobs::settled, this, &PrintSheetModel::releasedSettled);
    connect(&LeftoverJobs::instance(), &LeftoverJobs::unanswered, this, &PrintSheetModel::releasedUnanswered);
    retile();
}

PrintSheetModel::~PrintSheetModel() = default;

void PrintSheetModel::appear()
{
    m_preset = PaperPresets::matching(m_settings.widthInches, m_settings.heightInches);
    updatePreview();
}

void PrintSheetModel::assignSettings(const ChartPrintSettings &settings)
{
    m_settings = settings;
    retile();
}

void PrintSheetModel::retile()
{
    const ChartPrintSettings key = layoutKey(m_settings);
    if (key != m_layoutKey) {
        m_layoutKey = key;
        m_chartSize.reset();
        m_layoutError.clear();
        try {
            const ChartPrintPresentation presentation(m_input.organization, m_settings);
            m_chartSize = m_settings.layout(presentation.organization).size;
        } catch (const std::exception &error) {
            m_layoutError = messageOf(error);
        }
    }
    m_pagination.reset();
    if (!m_chartSize)
        return;
    try {
        m_pagination.emplace(*m_chartSize, m_settings);
    } catch (const std::exception &) {
        // The summary shows the check line; "Update Preview" reports the cause.
    }
}

void PrintSheetModel::setSettings(const ChartPrintSettings &settings)
{
    if (settings == m_settings || isBusy())
        return;
    const ChartPrintSettings old = std::exchange(m_settings, settings);
    retile();
    if (m_fitToPage)
        refreshFit();
    else if (sameLook(old, settings))
        m_previewStale = true;
    else
        updatePreview();
    emit changed();
}

void PrintSheetModel::setPreset(const QString &name)
{
    if (isBusy())
        return;
    m_preset = name;
    for (const PaperPreset &preset : standardPapers()) {
        if (preset.name != name)
            continue;
        ChartPrintSettings next = m_settings;
        next.widthInches = preset.width;
        next.heightInches = preset.height;
        setSettings(next);
    }
    emit changed();
}

void PrintSheetModel::setFitToPage(bool on)
{
    if (on == m_fitToPage || isBusy())
        return;
    m_fitToPage = on;
    if (on) {
        // Writing the layout flag here is part of the fit, not a change of its own.
        ChartPrintSettings next = m_settings;
        next.pageBalancedLayout = true;
        if (next != m_settings)
            assignSettings(next);
        refreshFit();
    }
    emit changed();
}

QString PrintSheetModel::pageTitle() const
{
    return m_host.pageTitle();
}

void PrintSheetModel::setPageTitle(const QString &text)
{
    setHeading(text, &PrintSheetHost::pageTitle, &PrintSheetHost::setPageTitle);
}

QString PrintSheetModel::pageSubtitle() const
{
    return m_host.pageSubtitle();
}

void PrintSheetModel::setPageSubtitle(const QString &text)
{
    setHeading(text, &PrintSheetHost::pageSubtitle, &PrintSheetHost::setPageSubtitle);
}

// Headings reach the window as typed; the preview only goes stale.
void PrintSheetModel::setHeading(const QString &text, QString (PrintSheetHost::*read)() const,
                                 void (PrintSheetHost::*write)(const QString &))
{
    if (text == (m_host.*read)())
        return;
    (m_host.*write)(text);
    m_previewStale = true;
    emit changed();
}

std::optional<QString> PrintSheetModel::pagesLine() const
{
    if (!m_pagination)
        return std::nullopt;
    return QStringLiteral("%1 rows × %2 columns = %3 pages")
        .arg(m_pagination->rows)
        .arg(m_pagination->columns)
        .arg(m_pagination->tiles.size());
}

std::optional<QString> PrintSheetModel::paperLine() const
{
    if (!m_pagination)
        return std::nullopt;
    const Size paper = m_settings.paperSize();
    return ChartText::decimal(paper.width / 72, 3) + QStringLiteral(" × ") + ChartText::decimal(paper.height / 72, 3)
        + QStringLiteral(" inches");
}

QString PrintSheetModel::previewCaption() const
{
    return m_previewStale ? QStringLiteral("Settings changed. Click Update Preview to refresh.")
                          : QStringLiteral("Preview reflects the last update.");
}

bool PrintSheetModel::offersExportAll() const
{
    const OrganizationArchive *archive = m_host.archive();
    return archive && archive->sheets && !archive->sheets->empty();
}

void PrintSheetModel::fail(const std::exception &error)
{
    setFailure(messageOf(error));
    emit changed();
}

void PrintSheetModel::setFailure(const std::optional<QString> &failure)
{
    m_errorMessage = failure;
    if (failure)
        ++m_failures;
}

std::string PrintSheetModel::heading() const
{
    const std::string typed = Text::trimmed(m_host.pageTitle().toStdString());
    return typed.empty() ? m_input.title : typed;
}

QByteArray PrintSheetModel::makePDF() const
{
    return *ChartPDFRenderer::render(m_input.organization, heading(), m_input.scope, m_settings,
                                     m_host.pageSubtitle().toStdString(), ChartPDFRouting{m_routeStore, {}, {}, {}});
}

// The routes of `chart` when nothing is left to route; nothing while they must be made.
std::optional<std::vector<DottedRoute>> PrintSheetModel::storedRoutes(const PrintedChart &chart) const
{
    if (chart.routingKey()->edges.empty())
        return std::vector<DottedRoute>{};
    return m_routeStore->find(*chart.routingKey());
}

// Counts reach this thread as events; those of a run already over are dropped.
ChartPDFRouting PrintSheetModel::routing(std::stop_token stop)
{
    const auto report = [this, run = m_run](size_t PrintSheetModel::*done, size_t PrintSheetModel::*total) {
        return [this, run, done, total](size_t count, size_t of) {
            QMetaObject::invokeMethod(this, [this, run, done, total, count, of] {
                if (run != m_run || !isBusy())
                    return;
                this->*done = count;
                this->*total = of;
                emit changed();
            }, Qt::QueuedConnection);
        };
    };
    return {m_routeStore, std::move(stop), report(&PrintSheetModel::m_linesDone, &PrintSheetModel::m_linesTotal),
            report(&PrintSheetModel::m_pagesDone, &PrintSheetModel::m_pagesTotal)};
}

void PrintSheetModel::begin(Task task)
{
    ++m_run;
    m_task = task;
    m_printStep = PrintStep::preparing;
    m_schedulerSlow = false;
    m_linesDone = m_linesTotal = m_pagesDone = m_pagesTotal = 0;
    emit changed();
}

void PrintSheetModel::end()
{
    ++m_run;
    m_task = Task::none;
    m_printStep = PrintStep::preparing;
    m_schedulerSlow = false;
    m_linesDone = m_linesTotal = m_pagesDone = m_pagesTotal = 0;
    emit changed();
}

// The cards at once; the dotted lines too when the store has them, else when a routing job
// has made them all (readPreviewLines).
void PrintSheetModel::updatePreview()
{
    try {
        auto chart = std::make_unique<PrintedChart>(m_input.organization, m_settings);
        const std::string title = heading();
        const std::optional<std::string> subtitle = m_host.pageSubtitle().toStdString();
        const std::optional<std::vector<DottedRoute>> routes = storedRoutes(*chart);
        const DottedInk ink(routes.value_or(std::vector<DottedRoute>{}), std::nullopt);
        QByteArray bytes = ChartPDFRenderer::renderPages(chart->picture(ink), chart->pagination(), title,
                                                         m_input.scope, subtitle);
        m_routingJob.reset();
        m_previewChart.reset();
        m_previewLinesTimer->stop();
        if (!routes) {
            m_previewChart = std::move(chart);
            m_previewSettings = m_settings;
            m_previewHeading = title;
            m_previewSubtitle = subtitle;
            m_previewLinesDone = 0;
            m_previewLinesTotal = m_previewChart->routingKey()->edges.size();
            // The window routes the same lines when the sheet prints as shown: it gives way.
            m_routingJob = std::make_unique<DottedRoutingJob>(
                m_routeStore, m_previewChart->routingKey(),
                [this] { QMetaObject::invokeMethod(this, &PrintSheetModel::previewLinesArrived, Qt::QueuedConnection); },
                DottedRouteStore::Turn::first);
        }
        m_preview = std::move(bytes);
        m_host.commitSettings(m_settings);
        m_previewStale = false;
        m_errorMessage.reset();
        emit previewChanged(false);
        emit changed();
    } catch (const std::exception &error) {
        fail(error);
    }
}

// Lines have come: read them a little later, so that a fast routing is not copied line by line.
void PrintSheetModel::previewLinesArrived()
{
    if (m_routingJob && !m_previewLinesTimer->isActive())
        m_previewLinesTimer->start();
}

void PrintSheetModel::readPreviewLines()
{
    if (!m_routingJob)
        return;
    const DottedRoutingProgress progress = m_routingJob->progress();
    m_previewLinesDone = progress.done;
    m_previewLinesTotal = progress.total;
    if (!progress.isComplete()) {
        emit changed();
        return;
    }
    m_routingJob.reset();
    const std::unique_ptr<PrintedChart> chart = std::move(m_previewChart);
    try {
        const DottedInk ink(progress.routes, std::nullopt);
        m_preview = ChartPDFRenderer::renderPages(chart->picture(ink), chart->pagination(), m_previewHeading,
                                                  m_input.scope, m_previewSubtitle);
        emit previewChanged(true);
    } catch (const std::exception &error) {
        setFailure(messageOf(error));
    }
    emit changed();
}

std::optional<QString> PrintSheetModel::previewLinesNote() const
{
    if (!m_routingJob)
        return std::nullopt;
    return QStringLiteral("Routing dotted lines: %1 of %2. The preview shows them once all are routed.")
        .arg(m_previewLinesDone)
        .arg(m_previewLinesTotal);
}

void PrintSheetModel::refreshFit()
{
    double fitted = 0;
    try {
        if (!m_chartSize)
            throw OrganizationError::invalid(m_layoutError.toStdString());
        fitted = m_settings.fittedPercentage(*m_chartSize);
    } catch (const std::exception &error) {
        fail(error);
        return;
    }
    if (std::abs(m_settings.scalePercent - fitted) > 1e-9) {
        ChartPrintSettings next = m_settings;
        next.scalePercent = fitted;
        assignSettings(next);
    }
    updatePreview();
}

void PrintSheetModel::exportPDF()
{
    if (!canOutput())
        return;
    // Committed before the panel, so a cancelled export still keeps the settings.
    m_host.commitSettings(m_settings);
    const std::optional<QString> path =
        m_dialogs.fileToSave(QStringLiteral("PDF (*.pdf)"), QStringLiteral("Organization Chart.pdf"));
    if (!path || path->isEmpty())
        return;
    begin(Task::savePDF);
    m_exportWorker = std::jthread([this, run = m_run, path = *path, organization = m_input.organization,
                                   title = heading(), scope = m_input.scope, settings = m_settings,
                                   subtitle = std::optional<std::string>(m_host.pageSubtitle().toStdString()),
                                   routing = routing({})](std::stop_token stop) mutable {
        routing.stop = stop;
        bool written = false;
        std::optional<QString> failure;
        try {
            const std::optional<QByteArray> pdf =
                ChartPDFRenderer::render(organization, title, scope, settings, subtitle, routing);
            // Stopped: nothing is written. The write itself is whole or nothing.
            if (pdf && !stop.stop_requested()) {
                FileSaving::write(path, *pdf);
                written = true;
            }
        } catch (const std::exception &error) {
            failure = messageOf(error);
        }
        QMetaObject::invokeMethod(this, [this, run, written, failure] {
            if (run != m_run)
                return;
            if (written)
                m_resultMessage = QStringLiteral("PDF exported.");
            setFailure(failure);
            end();
        }, Qt::QueuedConnection);
    });
}

int PrintSheetModel::exportTotal() const
{
    if (m_export)
        return std::max<int>(1, int(m_export->jobs.size()));
    const OrganizationArchive *archive = m_host.archive();
    return archive && archive->sheets && !archive->sheets->empty() ? int(archive->sheets->size()) : 1;
}

void PrintSheetModel::exportAllSheets()
{
    if (!canOutput())
        return;
    const OrganizationArchive *archive = m_host.archive();
    if (!archive)
        return;
    Export run;
    try {
        run.jobs = ChartPDFBatchExport::jobs(*archive, m_settings,
                                             m_fitToPage ? ExportScale::fitEachChartToPage : ExportScale::shared);
    } catch (const std::exception &error) {
        fail(error);
        return;
    }
    const std::optional<QString> folder = m_dialogs.folderToChoose(
        QStringLiteral("Export All Sheets as PDFs"),
        QStringLiteral("Choose a folder for %1 PDFs using the shared print settings. Existing files will be kept; "
                       "duplicate filenames receive a numbered suffix.")
            .arg(run.jobs.size()),
        QStringLiteral("Export PDFs"));
    if (!folder || folder->isEmpty())
        return;
    run.folder = *folder;
    m_export = std::move(run);
    m_exporting = true;
    m_exportedSheetCount = 0;
    m_errorMessage.reset();
    m_resultMessage.reset();
    begin(Task::exportAll);
    exportNextSheet();
}

void PrintSheetModel::cancelExport()
{
    switch (m_task) {
    case Task::none:
        return;
    case Task::exportAll:
        // The chart being written stops within a page and is not written; no chart after it begins.
        m_export->cancelled = true;
        m_exportWorker.request_stop();
        return;
    case Task::savePDF:
    case Task::print:
        // The worker stops on its own within a page, or ends lp; what it still reports is dropped.
        // A print stopped after its dialog was answered ran as far as the user wanted.
        if (m_print)
            m_errorMessage.reset();
        if (m_printStep == PrintStep::handingOver)
            m_cutHandOver = m_run;
        m_exportWorker.request_stop();
        m_print.reset();
        end();
        return;
    }
}

// A PDF saved or printed with the settings the preview was made with waits for the preview's
// own routing job (the store routes a chart once), so its count is the one to show.
std::pair<size_t, size_t> PrintSheetModel::linesRouted() const
{
    if (m_linesTotal == 0 && m_task != Task::exportAll && m_routingJob && m_previewSettings == m_settings)
        return {m_previewLinesDone, m_previewLinesTotal};
    return {m_linesDone, m_linesTotal};
}

// Each output shows where it is from its first second: the layout (no count yet), then the
// dotted lines routed, then the pages drawn.
QString PrintSheetModel::progressLabel() const
{
    const auto [linesDone, linesTotal] = linesRouted();
    const QString pages = QStringLiteral("  Page %1 of %2").arg(m_pagesDone).arg(m_pagesTotal);
    const QString lines = QStringLiteral("  Dotted lines: %1 of %2").arg(linesDone).arg(linesTotal);
    if (m_task == Task::exportAll) {
        const QString label = QStringLiteral("Exporting ") + m_exportingSheetName + QStringLiteral("…");
        if (m_pagesTotal > 0)
            return label + pages;
        return linesTotal > 0 ? label + lines : label;
    }
    // lp may wait up to a minute for a scheduler that does not answer: say what is waited on.
    if (waitsForPrintSystem())
        return QStringLiteral("Waiting for the print system…");
    if (m_pagesTotal > 0)
        return (m_task == Task::print ? QStringLiteral("Printing…") : QStringLiteral("Writing the PDF…")) + pages;
    if (linesTotal > 0) {
        return (m_task == Task::print ? QStringLiteral("Routing the dotted lines to print…")
                                      : QStringLiteral("Routing the dotted lines of the PDF…"))
            + lines;
    }
    if (m_task == Task::print && m_printStep != PrintStep::preparing)
        return QStringLiteral("Printing…");
    return QStringLiteral("Laying out the chart…");
}

int PrintSheetModel::progressValue() const
{
    if (m_task == Task::exportAll)
        return m_exportedSheetCount;
    if (waitsForPrintSystem())
        return 0;
    return int(m_pagesTotal > 0 ? m_pagesDone : linesRouted().first);
}

int PrintSheetModel::progressMaximum() const
{
    if (m_task == Task::exportAll)
        return exportTotal();
    if (waitsForPrintSystem())
        return 0; // no count to give: the bar shows it is busy
    return int(m_pagesTotal > 0 ? m_pagesTotal : linesRouted().second);
}

// Each chart shows its name first, then is written on the worker thread; its result comes
// back as an event, so the window stays responsive and the sheet may be gone by then (the
// worker is joined when the model goes, and events for it are dropped).
void PrintSheetModel::exportNextSheet()
{
    if (m_export->cancelled || m_export->next >= m_export->jobs.size()) {
        finishExport();
        return;
    }
    m_exportingSheetName = toQt(m_export->jobs[m_export->next].sheetName);
    m_linesDone = m_linesTotal = m_pagesDone = m_pagesTotal = 0;
    emit changed();
    QTimer::singleShot(0, this, [self = QPointer(this)] {
        if (!self || !self->m_export)
            return;
        // Cancelled before its turn came: no chart is begun.
        if (self->m_export->cancelled)
            self->finishExport();
        else
            self->writeCurrentSheet();
    });
}

void PrintSheetModel::writeCurrentSheet()
{
    m_exportWorker = std::jthread([this, job = m_export->jobs[m_export->next], folder = m_export->folder,
                                   writer = m_writeSheet, routing = routing({})](std::stop_token stop) mutable {
        routing.stop = stop;
        bool written = false;
        std::optional<QString> failure;
        try {
            written = writer(job, folder, routing).has_value();
        } catch (const std::exception &error) {
            failure = toQt(job.sheetName) + QStringLiteral(": ") + messageOf(error);
        }
        QMetaObject::invokeMethod(this, [this, written, failure] { sheetWritten(written, failure); },
                                  Qt::QueuedConnection);
    });
}

// A chart stopped by Cancel is neither written nor failed.
void PrintSheetModel::sheetWritten(bool written, const std::optional<QString> &failure)
{
    if (!m_export)
        return;
    if (written)
        ++m_export->written;
    if (failure)
        m_export->failures.append(*failure);
    ++m_export->next;
    ++m_exportedSheetCount;
    exportNextSheet();
}

void PrintSheetModel::finishExport()
{
    const Export run = std::move(*m_export);
    m_export.reset();
    m_exporting = false;
    m_exportingSheetName.clear();
    end();
    m_resultMessage = QStringLiteral("Exported %1 of %2 sheet PDFs to %3. Existing files were not replaced.")
                          .arg(run.written)
                          .arg(run.jobs.size())
                          .arg(QFileInfo(QDir::cleanPath(run.folder)).fileName());
    if (run.cancelled)
        m_resultMessage->prepend(QStringLiteral("Export cancelled. "));
    setFailure(run.failures.isEmpty() ? std::nullopt : std::optional(run.failures.join(QLatin1Char('\n'))));
    emit changed();
}

bool PrintSheetModel::close()
{
    if (isBusy())
        return false;
    if (m_pagination)
        m_host.commitSettings(m_settings);
    return true;
}
