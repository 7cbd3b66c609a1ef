// The chart window's edits on a 20,000-position district: an action with its undo, each
// followed by the one scene rebuild the window makes; the counts, inspector and sidebar
// read from a built scene; the JSON import; the memory of a hundred undo steps.
#include "app/chart/chart_view.h"
#include "app/chart/selection_inspector.h"
#include "app/shell/organization_document.h"
#include "bench/app_bench_support.h"
#include "bench/district_generator.h"

#include <QApplication>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <malloc.h>

#include <set>

namespace {

using BenchApp::SilentDialogs;

constexpr int districtSize = 20000;

OrganizationArchive districtArchive()
{
    return OrganizationArchive::make("District", BenchDistrict::plainDistrict(districtSize));
}

struct Window {
    SilentDialogs dialogs;
    OrganizationDocument document;
    ChartView view{document, dialogs};

    Window() { document.setArchive(districtArchive()); }
};

// The reference: the smallest edit there is (one name) and the scene rebuild it causes.
void renameAndRebuild(benchmark::State &state)
{
    Window window;
    const std::string id = BenchDistrict::occupiedLeaf(window.document.archive().organization);
    window.view.chartScene();
    int round = 0;
    for (auto _ : state) {
        window.document.edit("Rename", [&](OrganizationArchive &archive) {
            for (Position &position : archive.organization.positions) {
                if (position.id == id)
                    position.employee->name = "Name " + std::to_string(++round);
            }
        });
        benchmark::DoNotOptimize(window.view.chartScene());
    }
}

void makeVacantAndUndo(benchmark::State &state)
{
    Window window;
    const std::string id = BenchDistrict::occupiedLeaf(window.document.archive().organization);
    window.view.chartScene();
    for (auto _ : state) {
        window.view.makeVacantConfirmed(id);
        benchmark::DoNotOptimize(window.view.chartScene());
        window.document.undo();
        benchmark::DoNotOptimize(window.view.chartScene());
    }
}

void deleteAndUndo(benchmark::State &state)
{
    Window window;
    const std::string id = BenchDistrict::occupiedLeaf(window.document.archive().organization);
    window.view.chartScene();
    for (auto _ : state) {
        window.view.deleteConfirmed(id);
        benchmark::DoNotOptimize(window.view.chartScene());
        window.document.undo();
        benchmark::DoNotOptimize(window.view.chartScene());
    }
}

// What the body reads once per scene: the counts, the inspector and the sidebar's list.
void countsInspectorSidebar(benchmark::State &state)
{
    Window window;
    window.view.setSelectedID(BenchDistrict::occupiedLeaf(window.document.archive().organization));
    window.view.chartScene();
    for (auto _ : state) {
        benchmark::DoNotOptimize(window.view.chartCounts());
        benchmark::DoNotOptimize(SelectionInspector::strip(window.view));
        benchmark::DoNotOptimize(window.view.sidebarPositions());
    }
}

void importJSON(benchmark::State &state)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("district.json");
    OrganizationDocument::writeFile(districtArchive(), path);
    SilentDialogs dialogs;
    OrganizationDocument document;
    ChartView view(document, dialogs);
    for (auto _ : state) {
        view.importOrganizationFile(path);
        state.PauseTiming();
        document.undo(); // back to the empty organization, without the recovery version
        state.ResumeTiming();
    }
}

// Heap growth of a hundred steps, each making one position vacant and back again.
void hundredUndoSteps(benchmark::State &state)
{
    for (auto _ : state) {
        Window window;
        std::vector<std::string> ids;
        for (const Position &position : window.document.archive().organization.positions) {
            if (position.employee && ids.size() < 100)
                ids.push_back(position.id);
        }
        const size_t before = mallinfo2().uordblks;
        for (const std::string &id : ids) {
            window.document.edit("Rename", [&](OrganizationArchive &archive) {
                for (Position &position : archive.organization.positions) {
                    if (position.id == id) {
                        position.employee->name += " Jr.";
                        return;
                    }
                }
            });
        }
        state.counters["heapMB"] = double(mallinfo2().uordblks - before) / (1024 * 1024);
        state.counters["steps"] = double(window.document.history().undoCount());
    }
}

} // namespace

BENCHMARK(renameAndRebuild)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(makeVacantAndUndo)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(deleteAndUndo)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(countsInspectorSidebar)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(importJSON)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(hundredUndoSteps)->Unit(benchmark::kMillisecond)->Iterations(1);

int main(int argc, char **argv) { return BenchApp::runBenchmarks<QApplication>(argc, argv); }
