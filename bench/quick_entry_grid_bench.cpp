// The quick-entry grid's model on a district of 20,000 positions with a chart of 1,000.

#include "app/entry/quick_entry_grid_model.h"

#include <benchmark/benchmark.h>

namespace {

constexpr int districtSize = 20'000;
constexpr int chartSize = 1'000;

struct District {
    std::vector<Position> positions;
    std::vector<Position> chart;
};

// Ten reports per manager; the first 1,000 positions are on the chart.
const District &district()
{
    static const District d = [] {
        District result;
        for (int i = 0; i < districtSize; ++i) {
            Position p{.id = "P-" + std::to_string(i), .title = "Level " + std::to_string(i % 40),
                       .department = "Department " + std::to_string(i % 200),
                       .location = "School " + std::to_string(i % 90)};
            p.employee = Employee{.id = std::to_string(100000 + i), .name = "Person Number" + std::to_string(i)};
            if (i > 0)
                p.managerID = "P-" + std::to_string((i - 1) / 10);
            result.positions.push_back(p);
            if (i < chartSize)
                result.chart.push_back(std::move(p));
        }
        return result;
    }();
    return d;
}

QuickEntryGridModel openGrid()
{
    return QuickEntryGridModel("Student Services", district().positions, district().chart, "P-0");
}

void seedThousandRows(benchmark::State &state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(openGrid());
}
BENCHMARK(seedThousandRows)->Unit(benchmark::kMillisecond);

// One keystroke in a name cell and the Save button's refresh.
void nameKeystroke(benchmark::State &state)
{
    QuickEntryGridModel grid = openGrid();
    int n = 0;
    for (auto _ : state) {
        grid.setName(500, "Typed " + std::to_string(++n));
        benchmark::DoNotOptimize(grid.hasChanges());
    }
}
BENCHMARK(nameKeystroke)->Unit(benchmark::kMicrosecond);

// One keystroke in a manager cell: the manager is looked up among 20,000 people.
void managerKeystroke(benchmark::State &state)
{
    QuickEntryGridModel grid = openGrid();
    int n = 0;
    for (auto _ : state) {
        grid.setManager(500, "Person Number" + std::to_string(++n % 100));
        benchmark::DoNotOptimize(grid.hasChanges());
    }
}
BENCHMARK(managerKeystroke)->Unit(benchmark::kMillisecond);

void pasteThousandRows(benchmark::State &state)
{
    std::string text;
    for (int i = 0; i < 1'000; ++i)
        text += "New Person " + std::to_string(i) + "\tLevel 3\tCoach\tDepartment 7\tP-" + std::to_string(i) + "\tNorth\n";
    for (auto _ : state) {
        state.PauseTiming();
        QuickEntryGridModel grid = openGrid();
        state.ResumeTiming();
        grid.paste(text);
        benchmark::DoNotOptimize(grid.rows().size());
    }
}
BENCHMARK(pasteThousandRows)->Unit(benchmark::kMillisecond);

// The option lists an editor asks for after an edit: a text column and a manager cell.
void optionListsAfterEdit(benchmark::State &state)
{
    QuickEntryGridModel grid = openGrid();
    int n = 0;
    for (auto _ : state) {
        grid.setLocation(10, "Annex " + std::to_string(++n));
        benchmark::DoNotOptimize(grid.fieldOptions(QuickEntryGridModel::Field::department).size());
        benchmark::DoNotOptimize(grid.managerOptions(10).size());
    }
}
BENCHMARK(optionListsAfterEdit)->Unit(benchmark::kMillisecond);

} // namespace
