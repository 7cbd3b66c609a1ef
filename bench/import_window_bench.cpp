// The correction grid reviews the whole sheet after each keystroke (coalesced per event-loop
// turn): one edit of a 20,000-row sheet must show its counts and messages within about
// 200 ms, and step 3 must open at once.
#include "app/import/correction_grid.h"
#include "app/import/correction_grid_model.h"
#include "app/import/import_flow.h"

#include "bench/app_bench_support.h"

#include <QApplication>
#include <QCoreApplication>

namespace {

constexpr int rowCount = 20'000;

// The fourteen import columns; managers form a binary tree, one row in 50 has a bad FTE.
ImportSheet districtSheet()
{
    ImportSheet sheet{.name = "Staff"};
    std::vector<std::string> header;
    for (ImportField field : allImportFields)
        header.emplace_back(importFieldHeader(field));
    sheet.rows.push_back(header);
    for (int i = 0; i < rowCount; ++i) {
        sheet.rows.push_back({
            "P-" + std::to_string(i), std::to_string(100000 + i), "Person " + std::to_string(i), "T" + std::to_string(i % 7),
            "Teacher", "Dept " + std::to_string(i % 40), i == 0 ? "" : "P-" + std::to_string((i - 1) / 2), "",
            i % 3 ? "North" : "", i % 50 == 49 ? "lots" : "1", "no", "no", std::to_string(i % 5), "",
        });
    }
    return sheet;
}

struct Setup {
    BenchApp::SilentDialogs dialogs;
    ImportFlow flow{Organization(), [](const Organization &, ImportMode) {}, dialogs};

    Setup()
    {
        flow.loadSheets({districtSheet()});
        flow.setMode(ImportMode::replace);
        flow.setReferences(ManagerReferences::positionIDs);
        flow.showStep(ImportFlow::Step::corrections);
    }
};

void BM_EditOneCellThenCountsAndMessages(benchmark::State &state)
{
    Setup setup;
    setup.flow.setRowFilter(static_cast<ImportRowFilter>(state.range(0)));
    int keystroke = 0;
    for (auto _ : state) {
        setup.flow.setCell(rowCount / 2, 2, QString("Person %1").arg(++keystroke));
        benchmark::DoNotOptimize(setup.flow.countsText());
        benchmark::DoNotOptimize(setup.flow.rowMessages(rowCount / 2, ImportMessageKind::error));
    }
}
BENCHMARK(BM_EditOneCellThenCountsAndMessages)->Arg(int(ImportRowFilter::all))->Arg(int(ImportRowFilter::errors))->Unit(benchmark::kMillisecond);

// Opening step 3: the model over every shown row and one screenful of cells.
void BM_BuildStepThreeModel(benchmark::State &state)
{
    Setup setup;
    int opening = 0;
    for (auto _ : state) {
        setup.flow.setCell(1, 2, QString::number(++opening)); // a fresh review each time
        CorrectionGridModel model(setup.flow);
        for (int row = 0; row < 40; ++row) {
            for (int column = 0; column < model.columnCount(); ++column)
                benchmark::DoNotOptimize(model.data(model.index(row, column)));
        }
    }
}
BENCHMARK(BM_BuildStepThreeModel)->Unit(benchmark::kMillisecond);

// The grid on screen wraps every row's messages to its pane: a keystroke measures only the
// messages it changed, a new width every message of the sheet (one in three rows warns).
void BM_GridRowsFollowMessages(benchmark::State &state)
{
    Setup setup;
    CorrectionGrid grid(setup.flow);
    grid.resize(900, 700);
    grid.show();
    QCoreApplication::processEvents();
    const bool resize = state.range(0) != 0;
    int turn = 0;
    for (auto _ : state) {
        ++turn;
        if (resize)
            grid.resize(turn % 2 ? 700 : 900, 700);
        else
            setup.flow.setCell(rowCount / 2, 2, QString("Person %1").arg(turn));
        QCoreApplication::processEvents();
        QCoreApplication::processEvents();
    }
}
BENCHMARK(BM_GridRowsFollowMessages)->ArgName("resize")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv) { return BenchApp::runBenchmarks<QApplication>(argc, argv); }
