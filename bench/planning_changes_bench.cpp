#include "core/document/organization_archive.h"
#include "core/planning/proposal_changes.h"

#include <benchmark/benchmark.h>

#include <random>
#include <unordered_set>

namespace {

// A district of `count` positions on two charts, locked, with one proposal that edits, moves,
// deletes and adds a few thousand of them.
struct PlannedDistrict {
    OrganizationArchive archive;
    std::string proposalID;
};

PlannedDistrict plannedDistrict(int count)
{
    std::mt19937 random(7);
    Organization organization;
    for (int i = 0; i < count; ++i) {
        Position p{.id = "P" + std::to_string(i), .title = "Teacher", .department = "Department " + std::to_string(i / 200),
                   .location = "School"};
        if (i > 0)
            p.managerID = "P" + std::to_string(std::uniform_int_distribution<int>(std::max(0, i - 300), i - 1)(random));
        if (i % 10)
            p.employee = Employee{std::to_string(i), "Person " + std::to_string(i)};
        organization.positions.push_back(std::move(p));
    }
    PlannedDistrict district{OrganizationArchive::make("District", std::move(organization)), ""};
    std::vector<std::string> half;
    for (int i = 0; i < count; i += 2)
        half.push_back("P" + std::to_string(i));
    district.archive.sheets = std::vector{OrganizationSheet::make("Half", half)};
    district.archive.lockForPlanning();
    district.proposalID = district.archive.createProposal("Plan");

    std::vector<Position> &positions = district.archive.planning->proposals[0].state.organization.positions;
    std::unordered_set<std::string> managers;
    for (const Position &p : positions) {
        if (p.managerID)
            managers.insert(*p.managerID);
    }
    for (size_t i = 1; i < positions.size(); ++i) {
        if (i % 7 == 0)
            positions[i].fte = 0.5;
        if (i % 11 == 0)
            positions[i].managerID = "P0";
    }
    // Leaves can go without breaking a reporting line.
    std::erase_if(positions, [&](const Position &p) { return p.id.back() == '3' && !managers.contains(p.id); });
    for (int i = 0; i < count / 10; ++i)
        positions.push_back(Position{.id = "N" + std::to_string(i), .title = "Aide", .department = "New",
                                     .managerID = "P" + std::to_string(2 * i), .location = "School"});
    district.archive.planning->proposals[0].state.organization.validate();
    return district;
}

void changesOfWholeDistrict(benchmark::State &state)
{
    const PlannedDistrict district = plannedDistrict(20'000);
    for (auto _ : state)
        benchmark::DoNotOptimize(district.archive.planning->changes(district.proposalID));
}
BENCHMARK(changesOfWholeDistrict)->Unit(benchmark::kMillisecond);

void changesOfOneChart(benchmark::State &state)
{
    const PlannedDistrict district = plannedDistrict(20'000);
    const std::string sheetID = district.archive.sheets->front().id;
    for (auto _ : state)
        benchmark::DoNotOptimize(district.archive.planning->changes(district.proposalID, sheetID));
}
BENCHMARK(changesOfOneChart)->Unit(benchmark::kMillisecond);

void changeReport(benchmark::State &state)
{
    const PlannedDistrict district = plannedDistrict(20'000);
    for (auto _ : state)
        benchmark::DoNotOptimize(district.archive.planning->report(district.proposalID));
}
BENCHMARK(changeReport)->Unit(benchmark::kMillisecond);

void comparisonArchive(benchmark::State &state)
{
    const PlannedDistrict district = plannedDistrict(20'000);
    for (auto _ : state)
        benchmark::DoNotOptimize(district.archive.planning->comparisonArchive(district.proposalID));
}
BENCHMARK(comparisonArchive)->Unit(benchmark::kMillisecond);

} // namespace
