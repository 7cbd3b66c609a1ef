#pragma once

// moc cannot parse the standard library's C++20 headers that the JSON library pulls in.
#ifndef Q_MOC_RUN
#include "app/print/chart_printer.h"
#include "app/print/leftover_jobs.h"
#include "core/model/organization.h"
#include "core/model/print_settings.h"
#include "printing/chart_pdf_batch_export.h"
#include "printing/chart_pdf_renderer.h"
#endif

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

class Dialogs;
class DottedRouteStore;
class DottedRoutingJob;
class QTimer;
struct OrganizationArchive;

// What the print sheet reads from and writes to the window that opened it: the document
// (read again whenever it is needed, so headings typed in the sheet are included), the
// chart's committed print settings and its two page headings.
class PrintSheetHost {
public:
    virtual ~PrintSheetHost() = default;
    // The whole document; null when there is none.
    virtual const OrganizationArchive *archive() const = 0;
    virtual void commitSettings(const ChartPrintSettings &settings) = 0;
    virtual QString pageTitle() const = 0;
    virtual void setPageTitle(const QString &text) = 0;
    virtual QString pageSubtitle() const = 0;
    virtual void setPageSubtitle(const QString &text) = 0;
    // A heading's typing was committed: the next typing is an undo step of its own.
    virtual void endHeadingEdit() {}
    // Where the window keeps the dotted routes it shows, so that a chart printed as shown is
    // not routed again; null when there is none.
    virtual std::shared_ptr<DottedRouteStore> routeStore() const { return nullptr; }
};

// The sheet's paper choices: the standard papers, then "Custom", which has no size.
namespace PaperPresets {
inline const QString custom = QStringLiteral("Custom");
// The first standard paper within 0.0001 inch of the stored width and height, in stored
// order (the sheet's own rule, stricter than the panel's); "Custom" when none is.
QString matching(double widthInches, double heightInches);
} // namespace PaperPresets

// The state and actions of the "Export PDF & Print" sheet, without widgets: the working
// settings and how each change reacts (nothing, mark the preview stale, render, refit),
// the page summary, the preview bytes, printing, saving the PDF and the export of every
// chart.
//
// Long output never holds the window: a PDF to save, and each chart of an export of all,
// is routed and written on a worker thread; printing draws its pages on this thread a few
// at a time between events, then hands the job to the print queue on a worker. Each shows
// its progress from its start (the layout, the dotted lines routed, then the pages) and
// stops on Cancel without leaving a partial file or job. Saving and exporting say how they
// ended; printing reports only a job the print system would not take.
//
// Dotted lines come from the window's route store when it has them. Otherwise the preview
// shows the cards at once, says how far the routing is, and adds the lines when a routing
// job has them all. The sheet's routing goes before the window's background routing of the
// same lines, which waits for it. Lines routed only for the sheet's paper leave the store
// when the sheet goes.
//
// The tiling is computed once per settings change and kept, so the summary and the
// buttons read it for free; the layout behind it is reused while only the scale or the
// overlap changes.
class PrintSheetModel : public QObject {
    Q_OBJECT
public:
    struct Input {
        Organization organization; // the chart as the window shows it
        std::string title;         // the chart's name: fallback heading
        std::string scope;         // what the chart covers
        ChartPrintSettings settings; // the committed settings the sheet starts from
    };
    // Writes one chart of an export into a folder, on the export's worker thread; nothing
    // when stopped through the routing. ChartPDFBatchExport::write by default.
    using SheetWriter = std::function<std::optional<QString>(const SheetPDFExportJob &, const QString &folder,
                                                             const ChartPDFRouting &routing)>;

    PrintSheetModel(Input input, PrintSheetHost &host, Dialogs &dialogs, ChartPrinter &printer,
                    QObject *parent = nullptr);
    ~PrintSheetModel() override;
    void setSheetWriter(SheetWriter writer) { m_writeSheet = std::move(writer); }

    const Organization &organization() const { return m_input.organization; }
    const std::string &title() const { return m_input.title; }
    const std::string &scope() const { return m_input.scope; }

    // The sheet was shown: picks the matching preset and renders the first preview.
    void appear();

    const ChartPrintSettings &settings() const { return m_settings; }
    // A change of the working settings and its reaction; an equal value does nothing.
    void setSettings(const ChartPrintSettings &settings);
    const QString &preset() const { return m_preset; }
    // A preset writes its size in one settings change; "Custom" changes nothing.
    void setPreset(const QString &name);
    bool fitToPage() const { return m_fitToPage; }
    void setFitToPage(bool on);
    QString pageTitle() const;
    void setPageTitle(const QString &text);
    QString pageSubtitle() const;
    void setPageSubtitle(const QString &text);
    // Return in a heading, or the focus leaving it: its typing is one undo step.
    void endHeadingEdit() { m_host.endHeadingEdit(); }

    // The tiling of the working settings; null when they cannot be tiled or the chart
    // cannot be laid out.
    const ChartPagination *pagination() const { return m_pagination ? &*m_pagination : nullptr; }
    // "R rows × C columns = N pages" and "W × H inches"; nothing without a tiling.
    std::optional<QString> pagesLine() const;
    std::optional<QString> paperLine() const;
    static QString checkLine() { return QStringLiteral("Check page size, scale, margins, and overlap."); }
    // "<scope> · P positions", or with deletion markers "… proposed positions · K deletion markers".
    const QString &positionSummary() const { return m_positionSummary; }

    const std::optional<QByteArray> &preview() const { return m_preview; }
    // The preview shows the cards; its dotted lines are still being routed.
    bool arePreviewLinesPending() const { return m_routingJob != nullptr; }
    // While they are: how far, as the preview column says it.
    std::optional<QString> previewLinesNote() const;
    bool isPreviewStale() const { return m_previewStale; }
    QString previewCaption() const;
    const std::optional<QString> &errorMessage() const { return m_errorMessage; }
    // Failures reported so far: one more each time an action fails, also with the text the
    // error line already shows, which is news to the user all the same.
    int failureCount() const { return m_failures; }
    const std::optional<QString> &resultMessage() const { return m_resultMessage; }

    // Whether the all-sheets export is offered: the document has at least one sheet.
    bool offersExportAll() const;
    // Print, Export PDF and Export All: a tiling and no export running.
    bool canOutput() const { return m_pagination && !isBusy(); }

    void updatePreview();
    void refreshFit();
    // The PDF of the chart with the working settings and the page headings. Throws
    // OrganizationError.
    QByteArray makePDF() const;
    void printChart();
    void exportPDF();
    void exportAllSheets();
    // Stops the running output: printing, the PDF being saved or the export of all charts.
    // Within a page: nothing of it is printed or written, and charts already exported stay.
    void cancelExport();
    // Close: false while an output runs; otherwise commits the settings when they tile.
    bool close();

    bool isExporting() const { return m_exporting; }
    // An output runs (printing, saving a PDF, exporting every chart): the form and the output
    // buttons wait, the progress row shows progressLabel() with Cancel.
    bool isBusy() const { return m_task != Task::none; }
    // The progress row: an output runs, and it is not the user's turn in the print dialog,
    // behind which nothing goes on.
    bool showsProgress() const { return isBusy() && m_printStep != PrintStep::asking; }
    QString progressLabel() const;
    // The progress bar: charts done of all while exporting every chart, else the pages drawn
    // or the lines routed; a maximum of 0 while the total is not known yet, and while the print
    // system has yet to take a job whose pages are all drawn.
    int progressValue() const;
    int progressMaximum() const;
    int exportedSheetCount() const { return m_exportedSheetCount; }
    int exportTotal() const;
    const QString &exportingSheetName() const { return m_exportingSheetName; }

signals:
    // Anything the sheet shows changed.
    void changed();
    // New preview bytes; `sameLayout` when only the dotted lines were added, so the pane
    // may stay on its page.
    void previewChanged(bool sameLayout);

private:
    struct PrintRun;
    enum class Task { none, savePDF, print, exportAll };
    // Where a print is: laid out and routed on a worker, the print dialog open, its pages
    // drawn, then the job handed to the print system, which may take its time.
    enum class PrintStep { preparing, asking, drawing, handingOver };

    void assignSettings(const ChartPrintSettings &settings);
    void setHeading(const QString &text, QString (PrintSheetHost::*read)() const,
                    void (PrintSheetHost::*write)(const QString &));
    void retile();
    // The error line stays until a preview, a print or an export succeeds, or Export All
    // starts: a change of the settings alone does not show that the refused action would work.
    void fail(const std::exception &error);
    // The outcome of an action: its failure, or none, which takes the error line away.
    void setFailure(const std::optional<QString> &failure);
    void previewLinesArrived();
    void readPreviewLines();
    std::string heading() const;
    std::optional<std::vector<DottedRoute>> storedRoutes(const PrintedChart &chart) const;
    // Where a worker takes and keeps its routes; its lines and pages show in the progress row.
    ChartPDFRouting routing(std::stop_token stop);
    // An output starts or ends; counts and late events of the one before are dropped. The
    // message lines are each output's own business: a print clears the error line once it
    // ran, a PDF once written, Export All as it starts.
    void begin(Task task);
    void end();
    std::pair<size_t, size_t> linesRouted() const;
    void preparePrint(const std::string &title, const std::optional<std::string> &subtitle,
                      const std::function<void(std::shared_ptr<PrintRun>)> &then);
    void printSomePages();
    void handToQueue(PrintJob::HandOver handOver);
    void printed(const std::optional<QString> &failure);
    // The scheduler is slow to answer before the print dialog, or answered after all.
    void schedulerSlow(unsigned run, bool slow);
    bool waitsForPrintSystem() const
    {
        return m_printStep == PrintStep::handingOver || (m_printStep == PrintStep::preparing && m_schedulerSlow);
    }
    // A job let print as its hand-over was cancelled or ran out of time: once its cancel goes
    // unanswered (at once, after `cause`, when the hand-over ran out of time), the error line
    // says it may print, until its cancel is confirmed or comes too late.
    void watchReleased(const PrintQueue::Leftover &released, const QString &cause);
    void releasedUnanswered(const QString &job);
    void releasedSettled(const QString &job, LeftoverJobs::Fate fate);
    void exportNextSheet();
    void writeCurrentSheet();
    void sheetWritten(bool written, const std::optional<QString> &failure);
    void finishExport();

    Input m_input;
    PrintSheetHost &m_host;
    Dialogs &m_dialogs;
    ChartPrinter &m_printer;
    SheetWriter m_writeSheet;

    ChartPrintSettings m_settings;
    QString m_preset = QStringLiteral("Letter");
    std::optional<QByteArray> m_preview;
    bool m_previewStale = false;
    std::optional<QString> m_errorMessage;
    std::optional<QString> m_resultMessage;
    int m_failures = 0;
    bool m_fitToPage = false;
    QString m_positionSummary;

    // The layout's size under m_layoutKey (the settings less scale and overlap), or the
    // reason it could not be made.
    std::optional<ChartPrintSettings> m_layoutKey;
    std::optional<Size> m_chartSize;
    QString m_layoutError;
    std::optional<ChartPagination> m_pagination;

    struct Export {
        QString folder;
        std::vector<SheetPDFExportJob> jobs;
        size_t next = 0;
        int written = 0;
        QStringList failures;
        bool cancelled = false;
    };
    Task m_task = Task::none;
    PrintStep m_printStep = PrintStep::preparing; // each output starts over at the first
    unsigned m_run = 0; // counts outputs begun and ended
    bool m_schedulerSlow = false;
    // The hand-over last cancelled, whose job may still print; the line that says so.
    unsigned m_cutHandOver = 0;
    std::optional<PrintQueue::Leftover> m_released;
    QString m_releasedCause;
    QString m_releasedLine; // empty until said
    bool m_exporting = false;
    int m_exportedSheetCount = 0;
    QString m_exportingSheetName;
    size_t m_linesDone = 0;
    size_t m_linesTotal = 0;
    size_t m_pagesDone = 0;
    size_t m_pagesTotal = 0;
    std::optional<Export> m_export;
    std::shared_ptr<PrintRun> m_print;

    std::shared_ptr<DottedRouteStore> m_routeStore;
    // The lines routed for the sheet's paper stay in the window's store while it is open, and
    // leave with it; the workers below are joined first, so none keeps lines after.
    DottedRouteStore::OutputHold m_outputHold;
    // While the preview's lines are routed: the chart and headings it was drawn with.
    std::unique_ptr<PrintedChart> m_previewChart;
    ChartPrintSettings m_previewSettings;
    std::string m_previewHeading;
    std::optional<std::string> m_previewSubtitle;
    // The preview's lines as last read, and the timer that keeps reading them unhurried.
    size_t m_previewLinesDone = 0;
    size_t m_previewLinesTotal = 0;
    QTimer *m_previewLinesTimer = nullptr;
    // Last: stopped and joined before anything they use goes away.
    std::unique_ptr<DottedRoutingJob> m_routingJob;
    std::jthread m_exportWorker;
};
