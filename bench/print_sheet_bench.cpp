#include "app/print/chart_print_sheet.h"
#include "app/print/chart_printer.h"
#include "app/print/preview_pane.h"
#include "app/print/print_sheet_model.h"
#include "bench/app_bench_support.h"
#include "bench/district_generator.h"
#include "core/chart/dotted_route_store.h"
#include "core/document/organization_archive.h"
#include "printing/chart_pdf_renderer.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include <benchmark/benchmark.h>

namespace {

using BenchApp::SilentDialogs;
using BenchDistrict::plainDistrict;

struct BenchHost final : PrintSheetHost {
    std::optional<OrganizationArchive> document;
    const OrganizationArchive *archive() const override { return document ? &*document : nullptr; }
    void commitSettings(const ChartPrintSettings &) override {}
    QString pageTitle() const override { return {}; }
    void setPageTitle(const QString &) override {}
    QString pageSubtitle() const override { return {}; }
    void setPageSubtitle(const QString &) override {}
    // The window's routes, where a run has a window.
    std::shared_ptr<DottedRouteStore> store;
    std::shared_ptr<DottedRouteStore> routeStore() const override { return store; }
};

PrintSheetModel::Input inputOf(const Organization &organization, ChartPrintSettings settings = {})
{
    return {organization, "District", "Entire organization", settings};
}

// "Update Preview" on 1,000 positions, Letter at 100 % (423 pages), until page 1 shows.
void updatePreview(benchmark::State &state)
{
    BenchHost host;
    SilentDialogs dialogs;
    SystemChartPrinter printer;
    PrintSheetModel model(inputOf(plainDistrict(1000)), host, dialogs, printer);
    PreviewPaneState pane;
    for (auto _ : state) {
        model.updatePreview();
        pane.setDocument(model.preview());
        pane.setDocument(std::nullopt);
    }
    state.counters["pages"] = pane.pageCount();
}

// Next, then Previous, through the same 423-page preview: one page picture per step.
void pageFlip(benchmark::State &state)
{
    BenchHost host;
    SilentDialogs dialogs;
    SystemChartPrinter printer;
    PrintSheetModel model(inputOf(plainDistrict(1000)), host, dialogs, printer);
    model.updatePreview();
    PreviewPaneState pane;
    pane.setDocument(model.preview());
    bool forward = true;
    for (auto _ : state) {
        forward ? pane.next() : pane.previous();
        forward = !forward;
    }
    state.counters["MB"] = double(model.preview()->size()) / 1e6;
}

// Another paper with Fit to Page on, on 5,000 positions with 250 dotted lines: the time until
// the fitted cards show; the lines are routed by a job meanwhile (the store lacks them,
// paper changing the page-balanced layout).
void paperChangeAt5000(benchmark::State &state)
{
    const Organization &organization = plainDistrict(5000, 20);
    BenchHost host;
    SilentDialogs dialogs;
    SystemChartPrinter printer;
    PrintSheetModel model(inputOf(organization), host, dialogs, printer);
    model.setFitToPage(true);
    bool legal = false;
    for (auto _ : state) {
        legal = !legal;
        model.setPreset(legal ? "Legal" : "Letter");
        benchmark::DoNotOptimize(model.preview());
    }
    state.counters["linesPending"] = model.arePreviewLinesPending();
}

// A committed field change on a 20,000-position district: the summary and the buttons read
// the tiling made here. range(0): 0 changes the margin (new layout), 1 the scale (layout
// kept), 2 the margin of a page-balanced landscape chart (the window's default).
void summaryAt20000(benchmark::State &state)
{
    BenchHost host;
    SilentDialogs dialogs;
    SystemChartPrinter printer;
    ChartPrintSettings settings = state.range(0) == 2 ? ChartPrintSettings::departmentDesign() : ChartPrintSettings{};
    settings.scalePercent = 5;
    PrintSheetModel model(inputOf(plainDistrict(20000), settings), host, dialogs, printer);
    bool flip = false;
    for (auto _ : state) {
        ChartPrintSettings next = model.settings();
        if (state.range(0) != 1)
            next.marginInches = flip ? 0.5 : 0.75;
        else
            next.scalePercent = flip ? 5 : 6;
        flip = !flip;
        model.setSettings(next);
        benchmark::DoNotOptimize(model.pagesLine());
    }
    state.counters["pages"] = model.pagination() ? double(model.pagination()->tiles.size()) : 0;
}

// Export All of 20 charts of 50 positions from a 1,000-position district, through the event
// loop as the sheet runs it; "longestTurn" is the longest time the window waits for events.
void exportTwentyCharts(benchmark::State &state)
{
    const Organization &organization = plainDistrict(1000);
    BenchHost host;
    host.document = OrganizationArchive::make("District", organization);
    host.document->sheets.emplace();
    for (int chart = 0; chart < 20; ++chart) {
        OrganizationSheet sheet;
        sheet.id = "S" + std::to_string(chart);
        sheet.name = "Chart " + std::to_string(chart);
        for (int i = chart * 50; i < chart * 50 + 50; ++i)
            sheet.positionIDs.push_back(organization.positions[i].id);
        host.document->sheets->push_back(sheet);
    }
    SilentDialogs dialogs;
    SystemChartPrinter printer;
    // The chart shown does not matter here: every chart comes from the document.
    PrintSheetModel model(inputOf(Organization{}), host, dialogs, printer);
    double longest = 0;
    for (auto _ : state) {
        state.PauseTiming();
        QTemporaryDir folder;
        dialogs.folder = folder.path();
        state.ResumeTiming();
        model.exportAllSheets();
        longest = std::max(longest, BenchApp::longestTurnWhile([&] { return model.isExporting(); }));
    }
    state.counters["longestTurn_ms"] = longest;
}

// Export PDF on a 20,000-position district while the window routes the same lines in the
// background: the seconds until the progress row has a count ("countShown_s": the layout is
// done and the routing total is known) and until it first rises ("countRising_s"). Cancelled
// then: the whole routing is not the point.
void exportPDFFirstCountAt20000(benchmark::State &state)
{
    const Organization &organization = plainDistrict(20000, 5);
    BenchHost host;
    SilentDialogs dialogs;
    SystemChartPrinter printer;
    ChartPrintSettings settings = ChartPrintSettings::departmentDesign();
    settings.scalePercent = 5;
    double shown = 0;
    double rising = 0;
    int lines = 0;
    for (auto _ : state) {
        state.PauseTiming();
        host.store = std::make_shared<DottedRouteStore>();
        // The window's own routing of the chart it shows, which the sheet prints as shown.
        const PrintedChart shownChart(organization, settings);
        DottedRoutingJob window(host.store, shownChart.routingKey(), [] {});
        QTemporaryDir folder;
        dialogs.file = folder.filePath("chart.pdf");
        PrintSheetModel model(inputOf(organization, settings), host, dialogs, printer);
        state.ResumeTiming();
        QElapsedTimer clock;
        clock.start();
        model.exportPDF();
        BenchApp::longestTurnWhile([&] { return model.isBusy() && model.progressMaximum() == 0; });
        shown = clock.elapsed() / 1000.0;
        BenchApp::longestTurnWhile([&] { return model.isBusy() && model.progressValue() == 0; });
        rising = clock.elapsed() / 1000.0;
        lines = model.progressMaximum();
        model.cancelExport();
    }
    state.counters["countShown_s"] = shown;
    state.counters["countRising_s"] = rising;
    state.counters["lines"] = lines;
}

// What a child run of this program does (see main), and on how many positions.
constexpr const char *childRole = "VANTREL_BENCH_CHILD";
constexpr const char *childSize = "VANTREL_BENCH_CHILD_SIZE";

// The whole chart as the window shows it by default: page-balanced landscape at 5 %.
ChartPrintSettings wholeChartSettings()
{
    ChartPrintSettings settings = ChartPrintSettings::departmentDesign();
    settings.scalePercent = 5;
    return settings;
}

// Resident megabytes now.
double residentMB()
{
    QFile statm("/proc/self/statm");
    if (!statm.open(QIODevice::ReadOnly))
        return -1;
    return statm.readAll().split(' ').value(1).toDouble() * double(sysconf(_SC_PAGESIZE)) / (1024 * 1024);
}

// What the child run `role` on `size` positions printed, or nothing when it failed.
QList<QByteArray> childOutput(const char *role, int size)
{
    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(childRole, role);
    environment.insert(childSize, QString::number(size));
    child.setProcessEnvironment(environment);
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(QCoreApplication::applicationFilePath(), {});
    if (!child.waitForFinished(-1) || child.exitStatus() != QProcess::NormalExit || child.exitCode() != 0)
        return {};
    return child.readAllStandardOutput().trimmed().split(' ');
}

// Peak resident megabytes of the child run `role` on `size` positions, or -1 when it failed.
double childPeakMB(const char *role, int size)
{
    const QList<QByteArray> output = childOutput(role, size);
    return output.isEmpty() ? -1 : output.front().toDouble();
}

// In a child process of its own, so that each peak is that run's alone: "route" routes the
// whole chart's dotted lines and nothing else; "export" exports its PDF through the sheet
// while the window routes the lines it shows.
int runChild(const QByteArray &role, int size)
{
    const Organization organization = BenchDistrict::plainItinerantDistrict(size);
    if (role == "route") {
        const PrintedChart chart(organization, wholeChartSettings());
        DottedRouteStore store;
        if (!store.route(chart.routingKey()))
            return 1;
    } else if (role == "export") {
        BenchHost host;
        host.store = std::make_shared<DottedRouteStore>();
        // The window routes the chart it shows for other paper meanwhile, into the store the
        // sheet shares.
        ChartPrintSettings letter;
        letter.scalePercent = 5;
        const PrintedChart shown(organization, letter);
        DottedRoutingJob window(host.store, shown.routingKey(), [] {});
        SilentDialogs dialogs;
        SystemChartPrinter printer;
        QTemporaryDir folder;
        dialogs.file = folder.filePath("chart.pdf");
        PrintSheetModel model(inputOf(organization, wholeChartSettings()), host, dialogs, printer);
        model.exportPDF();
        BenchApp::longestTurnWhile([&] { return model.isBusy(); });
        if (model.errorMessage() || !QFileInfo(*dialogs.file).exists())
            return 1;
    } else if (role == "sheet") {
        // Resident megabytes before the sheet opens, once its preview shows every line, and
        // after it closes.
        BenchHost host;
        host.store = std::make_shared<DottedRouteStore>();
        const double before = residentMB();
        double open = 0;
        {
            SilentDialogs dialogs;
            auto printer = std::make_unique<SystemChartPrinter>();
            auto model = std::make_unique<PrintSheetModel>(inputOf(organization, wholeChartSettings()), host,
                                                           dialogs, *printer);
            const PrintSheetModel &shown = *model;
            ChartPrintSheet sheet(std::move(model), std::move(printer));
            sheet.show();
            BenchApp::longestTurnWhile([&] { return !shown.preview() || shown.arePreviewLinesPending(); });
            open = residentMB();
        }
        std::printf("%.1f %.1f %.1f\n", before, open, residentMB());
        return 0;
    } else {
        return 1;
    }
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("%.1f\n", double(usage.ru_maxrss) / 1024);
    return 0;
}

// Peak memory of the whole-chart PDF export of the itinerant district (range(0) positions,
// with its dotted lines), against routing those lines alone.
void exportPDFPeakMemory(benchmark::State &state)
{
    const int size = static_cast<int>(state.range(0));
    double routing = 0;
    double exporting = 0;
    for (auto _ : state) {
        routing = childPeakMB("route", size);
        exporting = childPeakMB("export", size);
    }
    state.counters["routingPeakMB"] = routing;
    state.counters["exportPeakMB"] = exporting;
    state.counters["ratio"] = routing > 0 ? exporting / routing : 0;
}

// Memory of the print sheet over the itinerant district (range(0) positions): what opening it
// takes, and what is still held once it has closed.
void printSheetMemory(benchmark::State &state)
{
    QList<QByteArray> measured;
    for (auto _ : state)
        measured = childOutput("sheet", static_cast<int>(state.range(0)));
    if (measured.size() != 3) {
        state.SkipWithError("the sheet's run failed");
        return;
    }
    state.counters["openedMB"] = measured[1].toDouble() - measured[0].toDouble();
    state.counters["keptMB"] = measured[2].toDouble() - measured[0].toDouble();
}

} // namespace

BENCHMARK(printSheetMemory)->Arg(5000)->Arg(20000)->Unit(benchmark::kSecond)->Iterations(1);
BENCHMARK(exportPDFPeakMemory)->Arg(5000)->Arg(20000)->Unit(benchmark::kSecond)->Iterations(1);
BENCHMARK(updatePreview)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(pageFlip)->Unit(benchmark::kMillisecond);
BENCHMARK(paperChangeAt5000)->Unit(benchmark::kMillisecond)->Iterations(4);
BENCHMARK(summaryAt20000)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->Iterations(6);
BENCHMARK(exportTwentyCharts)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(exportPDFFirstCountAt20000)->Unit(benchmark::kMillisecond)->Iterations(1);

int main(int argc, char **argv)
{
    if (const char *role = std::getenv(childRole)) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        QApplication app(argc, argv);
        return runChild(role, std::atoi(std::getenv(childSize)));
    }
    return BenchApp::runBenchmarks<QApplication>(argc, argv);
}
