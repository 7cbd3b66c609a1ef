#include "app/print/chart_printer.h"
#include "app/print/preview_pane.h"
#include "app/print/print_sheet_model.h"
#include "bench/app_bench_support.h"
#include "bench/district_generator.h"
#include "core/chart/dotted_route_store.h"
#include "printing/chart_pdf_rasterizer.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QPrinter>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

namespace {

using BenchApp::SilentDialogs;
using BenchDistrict::plainDistrict;

// 5,000 positions with 1,000 dotted lines make 225 pages on Letter at this scale.
const double scaleFor225Pages = 33;

// The window's routes, made by the first run and kept by all: routing these lines takes
// about a minute and a half, and is not what is measured here.
const std::shared_ptr<DottedRouteStore> &windowRoutes()
{
    static const auto store = std::make_shared<DottedRouteStore>();
    return store;
}

struct BenchHost final : PrintSheetHost {
    std::shared_ptr<DottedRouteStore> store = windowRoutes();
    const OrganizationArchive *archive() const override { return nullptr; }
    void commitSettings(const ChartPrintSettings &) override {}
    QString pageTitle() const override { return {}; }
    void setPageTitle(const QString &) override {}
    QString pageSubtitle() const override { return {}; }
    void setPageSubtitle(const QString &) override {}
    std::shared_ptr<DottedRouteStore> routeStore() const override { return store; }
};

PrintSheetModel::Input district5000()
{
    ChartPrintSettings settings;
    settings.scalePercent = scaleFor225Pages;
    return {plainDistrict(5000, 5), "District", "Entire organization", settings};
}

// Print… to a PDF printer (the dialog answered at once): from the click until the job is
// written, through the event loop as the window runs it. "longestTurn" is the longest the
// window waits for its events (the click itself included: the chart laid out for paper and
// the first pages), so also how long Cancel can wait; "jobMB" against "exportMB"
// compares the job with the exported PDF. The lines are routed once, before the runs.
void printToPDFPrinter(benchmark::State &state)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("job.pdf");
    BenchHost host;
    SilentDialogs dialogs;
    SystemChartPrinter printer([&](QPrinter &chosen, int) {
        chosen.setOutputFormat(QPrinter::PdfFormat);
        chosen.setOutputFileName(path);
        return true;
    });
    PrintSheetModel model(district5000(), host, dialogs, printer);
    const QByteArray exported = model.makePDF();
    double longest = 0;
    for (auto _ : state) {
        QElapsedTimer click;
        click.start();
        model.printChart();
        longest = std::max(longest, click.nsecsElapsed() / 1e6);
        longest = std::max(longest, BenchApp::longestTurnWhile([&] { return model.isBusy(); }));
    }
    if (model.errorMessage())
        state.SkipWithError(qPrintable(*model.errorMessage()));
    state.counters["pages"] = model.pagination()->tiles.size();
    state.counters["jobMB"] = QFileInfo(path).size() / 1e6;
    state.counters["exportMB"] = exported.size() / 1e6;
    state.counters["longestTurn_ms"] = longest;
}

// Turning to the next page of the 225-page preview, then back, as a reader does: the time of
// the click, with the time spent reading it (the pages ahead drawn meanwhile) not counted.
// range(0) 0 reads each page for as long as drawing ahead takes; 1 clicks on at once; 2 is
// the pane as it was, reading the whole PDF again for every page.
void previewPaging(benchmark::State &state)
{
    BenchHost host;
    SilentDialogs dialogs;
    SystemChartPrinter printer;
    PrintSheetModel model(district5000(), host, dialogs, printer);
    model.makePDF(); // the lines routed, so the preview has them
    model.updatePreview();
    if (state.range(0) == 2) {
        int page = 0;
        for (auto _ : state)
            benchmark::DoNotOptimize(ChartPDFRasterizer::bitmap(*model.preview(), ++page, PreviewPaneState::pixels));
        return;
    }
    PreviewPaneState pane;
    pane.setDocument(model.preview());
    bool forward = true;
    int steps = 0;
    for (auto _ : state) {
        if (forward ? !pane.canGoForward() : !pane.canGoBack())
            forward = !forward;
        forward ? pane.next() : pane.previous();
        ++steps;
        if (state.range(0) == 0) {
            state.PauseTiming();
            const int ahead = forward ? pane.page() + 1 : pane.page() - 1;
            QElapsedTimer reading;
            reading.start();
            while (ahead >= 0 && ahead < pane.pageCount() && reading.elapsed() < 5000) {
                const std::vector<int> made = pane.picturedPages();
                if (std::find(made.begin(), made.end(), ahead) != made.end())
                    break;
                QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
            }
            state.ResumeTiming();
        }
    }
    state.counters["pages"] = pane.pageCount();
    state.counters["previewMB"] = model.preview()->size() / 1e6;
}

} // namespace

BENCHMARK(printToPDFPrinter)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(previewPaging)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->Iterations(40);

int main(int argc, char **argv) { return BenchApp::runBenchmarks<QApplication>(argc, argv); }
