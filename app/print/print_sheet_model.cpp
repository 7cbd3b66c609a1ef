#include "app/print/print_sheet_model.h"

#include "core/chart/dotted_ink.h"

#include "app/print/chart_printer.h"
#include "app/shell/dialogs.h"
#include "app/sidebar/chart_design_controls.h"
#include "core/chart/chart_layout.h"
#include "core/chart/chart_print_presentation.h"
#include "core/chart/dotted_ink.h"
#include "core/document/organization_archive.h"
#include "core/support/organization_error.h"
#include "core/support/text.h"
#include "printing/chart_painter.h"
#include "printing/chart_pdf_renderer.h"
#include "printing/chart_text.h"

#include <QDir>
#include <QFileInfo>
#include <QPointer>
#include <QMetaObject>
#include <QSaveFile>
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
    , m_writeSheet([this](const SheetPDFExportJob &job, const QString &folder) {
        return *ChartPDFBatchExport::write(job, folder, {m_routeStore});
    })
    , m_settings(m_input.settings)
    , m_positionSummary(summaryOf(m_input.organization, m_input.scope))
{
    retile();
}

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
    if (settings == m_settings || m_exporting)
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
    if (m_exporting)
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
    if (on == m_fitToPage || m_exporting)
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
                                     m_host.pageSubtitle().toStdString(), {m_routeStore});
}

void PrintSheetModel::updatePreview()
{
    try {
        m_previewLines.reset();
        const PrintedChart chart(m_input.organization, m_settings);
        std::optional<std::vector<DottedRoute>> routes = m_routeStore->find(*chart.routingKey());
        const DottedInk ink(routes ? *routes : std::vector<DottedRoute>{}, std::nullopt);
        m_preview = ChartPDFRenderer::renderPages(chart.picture(ink), chart.pagination(), heading(), m_input.scope,
                                                  m_host.pageSubtitle().toStdString());
        m_host.commitSettings(m_settings);
        m_previewStale = false;
        m_errorMessage.reset();
        if (!routes) {
            // Queued to this object, so the lines are added on the sheet's thread.
            m_previewLines = std::make_unique<DottedRoutingJob>(m_routeStore, chart.routingKey(), [this] {
                QMetaObject::invokeMethod(this, &PrintSheetModel::showRoutedLines, Qt::QueuedConnection);
            });
        }
        emit previewChanged();
        emit changed();
    } catch (const std::exception &error) {
        fail(error);
    }
}

// The preview again, now that its lines are in the store, unless it has been replaced or
// its settings changed meanwhile.
void PrintSheetModel::showRoutedLines()
{
    if (!m_previewLines || !m_previewLines->progress().isComplete() || m_previewStale)
        return;
    updatePreview();
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
    try {
        const QByteArray pdf = makePDF();
        m_printer.print(pdf, m_settings, [this] { m_host.commitSettings(m_settings); });
        m_errorMessage.reset();
        emit changed();
    } catch (const std::exception &error) {
        fail(error);
    }
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
    try {
        writeFile(*path, makePDF());
        m_resultMessage = QStringLiteral("PDF exported.");
        m_errorMessage.reset();
        emit changed();
    } catch (const std::exception &error) {
        fail(error);
    }
}

void PrintSheetModel::writeFile(const QString &path, const QByteArray &bytes)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        throw OrganizationError::invalid(file.errorString().toStdString());
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
    if (!m_export)
        return;
    m_export->cancelled = true;
    // Nothing is being written while lines are routed: stop at once.
    if (m_export->lines) {
        m_export->lines.reset();
        finishExport();
    }
}

// Each chart takes two turns of the event loop: one shows its name in the progress line,
// the next writes it. The sheet may be gone by then; the guard makes that a no-op.
void PrintSheetModel::exportNextSheet()
{
    if (m_export->cancelled || m_export->next >= m_export->jobs.size()) {
        finishExport();
        return;
    }
    m_exportingSheetName = toQt(m_export->jobs[m_export->next].sheetName);
    emit changed();
    QTimer::singleShot(0, this, [self = QPointer(this)] {
        if (self && self->m_export)
            self->writeCurrentSheet();
    });
}

// Starts routing the chart's dotted lines on another thread when the store lacks them, and
// then writes the chart when they are in; true while they are routed.
bool PrintSheetModel::routeLinesFirst(const SheetPDFExportJob &job)
{
    if (m_export->lines) {
        m_export->lines.reset(); // done: the store has them now
        return false;
    }
    try {
        const PrintedChart chart(job.organization, job.settings);
        const std::shared_ptr<const DottedRoutingKey> &key = chart.routingKey();
        if (key->edges.empty() || m_routeStore->find(*key))
            return false;
        m_export->lines = std::make_unique<DottedRoutingJob>(m_routeStore, key, [this] {
            QMetaObject::invokeMethod(
                this,
                [this] {
                    if (m_export && m_export->lines && m_export->lines->progress().isComplete())
                        writeCurrentSheet();
                },
                Qt::QueuedConnection);
        });
        return true;
    } catch (const std::exception &) {
        return false; // the writer reports why the chart cannot be printed
    }
}

void PrintSheetModel::writeCurrentSheet()
{
    const SheetPDFExportJob &job = m_export->jobs[m_export->next];
    if (routeLinesFirst(job))
        return;
    try {
        m_writeSheet(job, m_export->folder);
        ++m_export->written;
    } catch (const std::exception &error) {
        m_export->failures.append(toQt(job.sheetName) + QStringLiteral(": ") + messageOf(error));
    }
    ++m_export->next;
    ++m_exportedSheetCount;
    emit changed();
    QTimer::singleShot(0, this, [self = QPointer(this)] {
        if (self && self->m_export)
            self->exportNextSheet();
    });
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
    emit changed();
}

bool PrintSheetModel::close()
{
    if (m_exporting)
        return false;
    if (m_pagination)
        m_host.commitSettings(m_settings);
    return true;
}
