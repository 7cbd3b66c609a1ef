#pragma once

// moc cannot parse the standard library's C++20 headers that the JSON library pulls in.
#ifndef Q_MOC_RUN
#include "core/model/organization.h"
#include "core/model/print_settings.h"
#include "core/chart/dotted_route_store.h"
#include "printing/chart_pdf_batch_export.h"
#endif

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class ChartPrinter;
class Dialogs;
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
// chart, which runs one chart per turn of the event loop.
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
    // Writes one chart of an export into a folder; ChartPDFBatchExport::write with the
    // sheet's route store by default.
    using SheetWriter = std::function<QString(const SheetPDFExportJob &, const QString &folder)>;

    PrintSheetModel(Input input, PrintSheetHost &host, Dialogs &dialogs, ChartPrinter &printer,
                    QObject *parent = nullptr);
    void setSheetWriter(SheetWriter writer) { m_writeSheet = std::move(writer); }
    // Where the dotted lines come from: the window's store, so a chart printed as the window
    // shows it is not routed again. A preview whose lines the store lacks shows the cards
    // at once and is drawn again with its lines when they are routed on another thread.
    void setRouteStore(std::shared_ptr<DottedRouteStore> store) { m_routeStore = std::move(store); }

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
    bool isPreviewStale() const { return m_previewStale; }
    QString previewCaption() const;
    const std::optional<QString> &errorMessage() const { return m_errorMessage; }
    const std::optional<QString> &resultMessage() const { return m_resultMessage; }

    // Whether the all-sheets export is offered: the document has at least one sheet.
    bool offersExportAll() const;
    // Print, Export PDF and Export All: a tiling and no export running.
    bool canOutput() const { return m_pagination && !m_exporting; }

    void updatePreview();
    void refreshFit();
    // The PDF of the chart with the working settings and the page headings. Throws
    // OrganizationError.
    QByteArray makePDF() const;
    void printChart();
    void exportPDF();
    void exportAllSheets();
    // Stops a running export after the chart being written.
    void cancelExport();
    // Close: false while an export runs; otherwise commits the settings when they tile.
    bool close();

    bool isExporting() const { return m_exporting; }
    int exportedSheetCount() const { return m_exportedSheetCount; }
    int exportTotal() const;
    const QString &exportingSheetName() const { return m_exportingSheetName; }

    // Stores `bytes` at `path` atomically, replacing what is there; throws OrganizationError
    // with the system's reason, leaving an existing file whole.
    static void writeFile(const QString &path, const QByteArray &bytes);

signals:
    // Anything the sheet shows changed.
    void changed();
    // New preview bytes.
    void previewChanged();

private:
    void assignSettings(const ChartPrintSettings &settings);
    void setHeading(const QString &text, QString (PrintSheetHost::*read)() const,
                    void (PrintSheetHost::*write)(const QString &));
    void retile();
    void fail(const std::exception &error);
    void exportNextSheet();
    void writeCurrentSheet();
    void finishExport();
    std::string heading() const;
    void showRoutedLines();
    bool routeLinesFirst(const SheetPDFExportJob &job);

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
        // Routes the lines of the chart to write next when the store lacks them.
        std::unique_ptr<DottedRoutingJob> lines;
    };
    bool m_exporting = false;
    int m_exportedSheetCount = 0;
    QString m_exportingSheetName;
    std::optional<Export> m_export;

    std::shared_ptr<DottedRouteStore> m_routeStore = std::make_shared<DottedRouteStore>();
    // Routes the lines the shown preview lacks; last, so it stops before anything it reads goes.
    std::unique_ptr<DottedRoutingJob> m_previewLines;
};
