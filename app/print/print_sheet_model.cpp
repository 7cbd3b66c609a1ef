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
{
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
    m_errorMessage = messageOf(error);
    emit changed();
}

std::string PrintSheetModel::heading() const
{
    const std::string typed = Text::trimmed(m_host.pageTitle().toStdString());
    return typed.empty() ? m_input.title : typed;
}

QByteArray PrintSheetModel::makePDF() const
{
    return *ChartPDFRenderer::render(m_input.organization, heading(), m_input.scope, m_settings,
                                     m_host.pageSubtitle().toStdString(), ChartPDFRouting{m_routeStore, {}, {}});
}

// The routes of `chart` when nothing is left to route; nothing while they must be made.
std::optional<std::vector<DottedRoute>> PrintSheetModel::storedRoutes(const PrintedChart &chart) const
{
    if (chart.routingKey()->edges.empty())
        return std::vector<DottedRoute>{};
    return m_routeStore->find(*chart.routingKey());
}

ChartPDFRouting PrintSheetModel::routing(std::stop_token stop)
{
    return {m_routeStore, std::move(stop), [this](size_t done, size_t total) {
                QMetaObject::invokeMethod(this, [this, done, total] {
                    if (!isBusy())
                        return;
                    m_linesDone = done;
                    m_linesTotal = total;
                    emit changed();
                }, Qt::QueuedConnection);
            }};
}

void PrintSheetModel::withPDF(const std::function<void(const QByteArray &)> &then)
{
    const std::string title = heading();
    const std::optional<std::string> subtitle = m_host.pageSubtitle().toStdString();
    try {
        const PrintedChart chart(m_input.organization, m_settings);
        if (const std::optional<std::vector<DottedRoute>> routes = storedRoutes(chart)) {
            const DottedInk ink(*routes, std::nullopt);
            then(ChartPDFRenderer::renderPages(chart.picture(ink), chart.pagination(), title, m_input.scope, subtitle));
            return;
        }
    } catch (const std::exception &error) {
        fail(error);
        return;
    }
    m_preparing = true;
    m_linesDone = m_linesTotal = 0;
    m_errorMessage.reset();
    emit changed();
    m_exportWorker = std::jthread([this, organization = m_input.organization, title, scope = m_input.scope,
                                   settings = m_settings, subtitle, then](std::stop_token stop) {
        std::optional<QByteArray> bytes;
        std::optional<QString> failure;
        try {
            bytes = ChartPDFRenderer::render(organization, title, scope, settings, subtitle, routing(stop));
        } catch (const std::exception &error) {
            failure = messageOf(error);
        }
        QMetaObject::invokeMethod(this, [this, bytes, failure, then] {
            m_preparing = false;
            m_linesDone = m_linesTotal = 0;
            if (failure)
                m_errorMessage = failure;
            else if (bytes)
                then(*bytes);
            emit changed();
        }, Qt::QueuedConnection);
    });
}

// The cards at once; the dotted lines too when the store has them, else when a routing job
// has made them (previewLinesArrived).
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
        if (!routes) {
            m_previewChart = std::move(chart);
            m_previewHeading = title;
            m_previewSubtitle = subtitle;
            m_routingJob = std::make_unique<DottedRoutingJob>(m_routeStore, m_previewChart->routingKey(), [this] {
                QMetaObject::invokeMethod(this, &PrintSheetModel::previewLinesArrived, Qt::QueuedConnection);
            });
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

void PrintSheetModel::previewLinesArrived()
{
    if (!m_routingJob)
        return;
    const DottedRoutingProgress progress = m_routingJob->progress();
    if (!progress.isComplete())
        return;
    m_routingJob.reset();
    const std::unique_ptr<PrintedChart> chart = std::move(m_previewChart);
    try {
        const DottedInk ink(progress.routes, std::nullopt);
        m_preview = ChartPDFRenderer::renderPages(chart->picture(ink), chart->pagination(), m_previewHeading,
                                                  m_input.scope, m_previewSubtitle);
        emit previewChanged(true);
    } catch (const std::exception &error) {
        m_errorMessage = messageOf(error);
    }
    emit changed();
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

void PrintSheetModel::printChart()
{
    if (!canOutput())
        return;
    withPDF([this](const QByteArray &pdf) {
        try {
            m_printer.print(pdf, m_settings, [this] { m_host.commitSettings(m_settings); });
            m_errorMessage.reset();
            emit changed();
        } catch (const std::exception &error) {
            fail(error);
        }
    });
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
    withPDF([this, path = *path](const QByteArray &pdf) {
        try {
            FileSaving::write(path, pdf);
            m_resultMessage = QStringLiteral("PDF exported.");
            m_errorMessage.reset();
            emit changed();
        } catch (const std::exception &error) {
            fail(error);
        }
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
    emit changed();
    exportNextSheet();
}

void PrintSheetModel::cancelExport()
{
    if (m_export)
        m_export->cancelled = true;
    if (isBusy())
        m_exportWorker.request_stop();
}

QString PrintSheetModel::progressLabel() const
{
    QString label = m_exporting ? QStringLiteral("Exporting ") + m_exportingSheetName + QStringLiteral("…")
                                : QStringLiteral("Routing the dotted lines of the PDF…");
    if (m_linesTotal > 0)
        label += QStringLiteral("  Dotted lines: %1 of %2").arg(m_linesDone).arg(m_linesTotal);
    return label;
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
    m_linesDone = m_linesTotal = 0;
    emit changed();
    QTimer::singleShot(0, this, [self = QPointer(this)] {
        if (self && self->m_export)
            self->writeCurrentSheet();
    });
}

void PrintSheetModel::writeCurrentSheet()
{
    m_exportWorker = std::jthread([this, job = m_export->jobs[m_export->next], folder = m_export->folder,
                                   writer = m_writeSheet](std::stop_token stop) {
        bool written = false;
        std::optional<QString> failure;
        try {
            written = writer(job, folder, routing(stop)).has_value();
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
    m_resultMessage = QStringLiteral("Exported %1 of %2 sheet PDFs to %3. Existing files were not replaced.")
                          .arg(run.written)
                          .arg(run.jobs.size())
                          .arg(QFileInfo(QDir::cleanPath(run.folder)).fileName());
    if (run.failures.isEmpty())
        m_errorMessage.reset();
    else
        m_errorMessage = run.failures.join(QLatin1Char('\n'));
    m_exporting = false;
    m_exportingSheetName.clear();
    m_linesDone = m_linesTotal = 0;
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
