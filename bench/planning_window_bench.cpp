#include "app/planning/planning_workspace_controller.h"
#include "app/planning/proposal_canvas.h"
#include "app/shell/organization_document.h"
#include "core/chart/dotted_route_store.h"

#include "bench/district_generator.h"
#include "bench/app_bench_support.h"
#include "bench/qt_bench_main.h"

#include <benchmark/benchmark.h>

#include <QApplication>

#include <unordered_set>

namespace {

// The 20,000-position district locked, on two charts, with a proposal "Plan" that edits,
// moves, deletes and adds a few thousand positions.
OrganizationArchive plannedDistrict()
{
    OrganizationArchive archive = OrganizationArchive::make("District", BenchDistrict::plainDistrict(20'000));
    std::vector<std::string> half;
    for (size_t i = 0; i < archive.organization.positions.size(); i += 2)
        half.push_back(archive.organization.positions[i].id);
    archive.sheets = std::vector{OrganizationSheet::make("Half", half)};
    archive.lockForPlanning();
    archive.createProposal("Plan");

    std::vector<Position> &positions = archive.planning->proposals[0].state.organization.positions;
    std::unordered_set<std::string> managers;
    for (const Position &p : positions) {
        if (p.managerID)
            managers.insert(*p.managerID);
        for (const std::string &dotted : p.dottedManagerIDs)
            managers.insert(dotted);
    }
    const std::string top = positions.front().id;
    for (size_t i = 1; i < positions.size(); ++i) {
        if (i % 9 == 0)
            positions[i].fte = 0.5;
        if (i % 23 == 0 && !positions[i].managerID)
            continue;
        if (i % 23 == 0)
            positions[i].managerID = top;
    }
    size_t index = 0;
    std::erase_if(positions, [&](const Position &p) { return ++index % 13 == 0 && !managers.contains(p.id); });
    for (int i = 0; i < 1'000; ++i)
        positions.push_back(Position{.id = "N" + std::to_string(i), .title = "Aide", .department = "New",
                                     .managerID = top, .location = "School"});
    archive.planning->validate();
    return archive;
}

struct Window {
    Window()
    {
        document.setArchive(plannedDistrict());
        controller = std::make_unique<PlanningWorkspaceController>(document, std::string(), dialogs);
        proposalID = document.archive().planning->proposals.front().id;
        sheetID = document.archive().sheets->front().id;
    }
    OrganizationDocument document;
    BenchApp::SilentDialogs dialogs;
    std::unique_ptr<PlanningWorkspaceController> controller;
    std::string proposalID;
    std::string sheetID;
};

Window &window()
{
    static Window made;
    return made;
}

void openWindow(benchmark::State &state)
{
    Window &w = window();
    for (auto _ : state)
        PlanningWorkspaceController(w.document, w.sheetID, w.dialogs);
}
BENCHMARK(openWindow)->Unit(benchmark::kMillisecond)->Iterations(5);

// From the baseline to the proposal: its archive, the comparison and the chart drawn.
void switchToProposal(benchmark::State &state)
{
    Window &w = window();
    w.controller->setSheetID({});
    for (auto _ : state) {
        state.PauseTiming();
        w.controller->setProposalID(std::nullopt);
        state.ResumeTiming();
        w.controller->setProposalID(w.proposalID);
    }
}
BENCHMARK(switchToProposal)->Unit(benchmark::kMillisecond)->Iterations(5);

void switchChart(benchmark::State &state)
{
    Window &w = window();
    w.controller->setProposalID(w.proposalID);
    bool half = false;
    for (auto _ : state) {
        half = !half;
        w.controller->setSheetID(half ? w.sheetID : std::string());
    }
}
BENCHMARK(switchChart)->Unit(benchmark::kMillisecond)->Iterations(6);

// The report of the whole proposal, computed once after a change and then read for free.
void reportAfterChange(benchmark::State &state)
{
    Window &w = window();
    w.controller->setProposalID(w.proposalID);
    w.controller->setSheetID({});
    for (auto _ : state) {
        state.PauseTiming();
        w.controller->select("N1");
        w.controller->setProposalID(std::nullopt);
        w.controller->setProposalID(w.proposalID);
        state.ResumeTiming();
        benchmark::DoNotOptimize(w.controller->report());
        benchmark::DoNotOptimize(w.controller->report());
    }
}
BENCHMARK(reportAfterChange)->Unit(benchmark::kMillisecond)->Iterations(5);

// The proposal chart's cards: the layout of the comparison; dotted lines follow in the background.
void proposalCards(benchmark::State &state)
{
    Window &w = window();
    w.controller->setProposalID(w.proposalID);
    w.controller->setSheetID({});
    for (auto _ : state) {
        ProposalChartSurface surface(std::make_shared<DottedRouteStore>());
        surface.setSettings(w.controller->settings());
        surface.setOrganization(w.controller->shownOrganization());
        benchmark::DoNotOptimize(surface.scene());
    }
}
BENCHMARK(proposalCards)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace

int main(int argc, char **argv)
{
    return BenchApp::runBenchmarks<QApplication>(argc, argv);
}
