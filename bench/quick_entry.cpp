// Quick entry and entry matching on a district of 20,000 positions.

#include "core/entry/entry_matching.h"
#include "core/document/organization_archive.h"
#include "core/entry/quick_entry.h"

#include <benchmark/benchmark.h>

namespace {

constexpr int districtSize = 20'000;

// A district of `size` people, ten reports per manager, all on one chart.
OrganizationArchive district(int size = districtSize)
{
    OrganizationArchive archive;
    OrganizationSheet chart{.id = "S", .name = "All"};
    for (int i = 0; i < size; ++i) {
        Position p{.id = "P-" + std::to_string(i), .title = "Level " + std::to_string(i % 40),
                   .department = "Department " + std::to_string(i % 200)};
        p.employee = Employee{.id = std::to_string(100000 + i), .name = "Person Number" + std::to_string(i)};
        if (i > 0)
            p.managerID = "P-" + std::to_string((i - 1) / 10);
        chart.positionIDs.push_back(p.id);
        archive.organization.positions.push_back(std::move(p));
    }
    archive.sheets = std::vector{chart};
    return archive;
}

// A pasted batch of new people, each naming a manager by id with a blank department, so that
// every row resolves its manager twice.
std::vector<QuickEntryRow> pastedRows(int count)
{
    std::vector<QuickEntryRow> rows;
    for (int i = 0; i < count; ++i) {
        QuickEntryRow row("", "P-" + std::to_string(i * 7), "");
        row.name = "New Person " + std::to_string(i);
        row.title = "Level 1";
        rows.push_back(std::move(row));
    }
    return rows;
}

void commitPastedRows(benchmark::State &state)
{
    const OrganizationArchive archive = district();
    const std::vector<QuickEntryRow> rows = pastedRows(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        OrganizationArchive working = archive;
        benchmark::DoNotOptimize(working.quickAdd(rows, "S"));
    }
}
BENCHMARK(commitPastedRows)->Arg(10)->Arg(1000)->Unit(benchmark::kMillisecond);

// The grid opened on a whole chart and saved: every position comes back as an existing row.
// The time should grow about linearly: twice the rows, about twice the time.
void commitExistingRows(benchmark::State &state)
{
    const OrganizationArchive archive = district(static_cast<int>(state.range(0)));
    std::vector<QuickEntryRow> rows;
    for (const Position &p : archive.organization.positions)
        rows.emplace_back(p);
    for (auto _ : state) {
        OrganizationArchive working = archive;
        benchmark::DoNotOptimize(working.quickAdd(rows, "S"));
    }
}
BENCHMARK(commitExistingRows)->Arg(20'000)->Arg(40'000)->Unit(benchmark::kMillisecond);

void managerOptions(benchmark::State &state)
{
    const OrganizationArchive archive = district();
    const std::vector<QuickEntryRow> rows = pastedRows(8);
    for (auto _ : state)
        benchmark::DoNotOptimize(QuickEntryRow::managerOptions(archive.organization.positions, rows, rows.front()));
}
BENCHMARK(managerOptions)->Unit(benchmark::kMillisecond);

// A typed name that a few people share, and one that everybody's name contains.
void peopleMatches(benchmark::State &state)
{
    const OrganizationArchive archive = district();
    const char *name = state.range(0) ? "Person Numb" : "Person Number1234";
    for (auto _ : state)
        benchmark::DoNotOptimize(PositionEntryMatching::people(archive.organization.positions, name, "100"));
}
BENCHMARK(peopleMatches)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void vacancyMatches(benchmark::State &state)
{
    OrganizationArchive archive = district();
    for (int i = 0; i < districtSize; i += 3)
        archive.organization.positions[static_cast<size_t>(i)].employee.reset();
    const Position target{.id = "NEW", .title = "Level 1", .department = "Department 1", .managerID = "P-0"};
    for (auto _ : state)
        benchmark::DoNotOptimize(PositionEntryMatching::vacancies(archive.organization.positions, target));
}
BENCHMARK(vacancyMatches)->Unit(benchmark::kMillisecond);

} // namespace
