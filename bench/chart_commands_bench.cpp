#include "app/chart/chart_search.h"
#include "app/chart/chart_view.h"
#include "app/chart/sheet_commands.h"
#include "app/chart/version_history.h"
#include "app/shell/organization_document.h"

#include "core/document/organization_archive.h"

#include "bench/app_bench_support.h"
#include "bench/district_generator.h"

#include <QCoreApplication>

namespace {

// A district with 20 charts that together list every other position.
OrganizationArchive chartedDistrict(int size)
{
    OrganizationArchive archive = OrganizationArchive::make("Bench", BenchDistrict::district(size));
    std::vector<OrganizationSheet> sheets;
    for (int s = 0; s < 20; ++s)
        sheets.push_back(OrganizationSheet::make("Chart " + std::to_string(s), {}));
    const auto &positions = archive.organization.positions;
    for (size_t i = 0; i < positions.size(); i += 2)
        sheets[(i / 2) % sheets.size()].positionIDs.push_back(positions[i].id);
    archive.sheets = std::move(sheets);
    return archive;
}

// One change of the search text: the whole district searched, the first 100 rows made.
// Arg 1 searches a word most positions have, arg 0 one name.
void BM_SearchResultRows(benchmark::State &state)
{
    const OrganizationArchive archive = chartedDistrict(20000);
    const Organization chart = archive.organizationIn(archive.sheets->front().id);
    const std::string text = state.range(0) ? "teacher" : archive.organization.positions[777].employee
                                                              ? archive.organization.positions[777].employee->name
                                                              : "vacant";
    int64_t count = 0;
    for (auto _ : state) {
        SearchResults results = searchResultRows(archive.organization, text, chart);
        count = results.count;
        benchmark::DoNotOptimize(results);
    }
    state.counters["matches"] = double(count);
}
BENCHMARK(BM_SearchResultRows)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// The same with the chart's organization made for it, as the window does after a change
// of the document.
void BM_SearchWithChartProjection(benchmark::State &state)
{
    const OrganizationArchive archive = chartedDistrict(20000);
    for (auto _ : state) {
        const Organization chart = archive.organizationIn(archive.sheets->front().id);
        benchmark::DoNotOptimize(searchResultRows(archive.organization, "teacher", chart));
    }
}
BENCHMARK(BM_SearchWithChartProjection)->Unit(benchmark::kMillisecond);

// "New Sheet…" for a department of thousands, half of them on charts already, including
// the copy of the document that the edit works on.
void BM_CreateSheet(benchmark::State &state)
{
    const OrganizationArchive archive = chartedDistrict(20000);
    size_t members = 0;
    for (auto _ : state) {
        OrganizationArchive next = archive;
        OrganizationSheet sheet = SheetCommands::newSheet(next, "teacher");
        members = sheet.positionIDs.size();
        next.sheets->push_back(std::move(sheet));
        benchmark::DoNotOptimize(next);
    }
    state.counters["members"] = double(members);
}
BENCHMARK(BM_CreateSheet)->Unit(benchmark::kMillisecond);

// "Save Version" and "Restore" through the window on a district with 50 versions, each as
// one undo step (undone again so every round starts from the same document).
void BM_HistoryThroughTheWindow(benchmark::State &state)
{
    OrganizationArchive archive = chartedDistrict(20000);
    for (int v = 0; v < 50; ++v)
        archive.checkpoint("Version " + std::to_string(v));
    BenchApp::SilentDialogs dialogs;
    OrganizationDocument document;
    document.setArchive(archive);
    ChartView view(document, dialogs);
    VersionHistory &history = VersionHistory::of(view);
    const std::string first = archive.revisions.front()->id;
    for (auto _ : state) {
        if (state.range(0))
            history.restore(first);
        else
            history.saveVersion();
        state.PauseTiming();
        document.undo();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_HistoryThroughTheWindow)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// One keystroke in a chart's heading, merged into the step of the typing before it: what
// the document does for it, the window's listeners included.
void BM_HeadingKeystroke(benchmark::State &state)
{
    BenchApp::SilentDialogs dialogs;
    OrganizationDocument document;
    document.setArchive(chartedDistrict(int(state.range(0))));
    ChartView view(document, dialogs);
    view.setSelectedSheetID(document.archive().sheets->front().id);
    view.setPageTitle("S");
    bool longer = false;
    for (auto _ : state) {
        longer = !longer;
        view.setPageTitle(longer ? "St" : "S");
    }
    state.counters["steps"] = double(document.history().undoCount());
}
BENCHMARK(BM_HeadingKeystroke)->Arg(20000)->Unit(benchmark::kMillisecond);

} // namespace

// The window's objects need an application object; no window is shown.
int main(int argc, char **argv) { return BenchApp::runBenchmarks<QCoreApplication>(argc, argv); }
