// The document with a long history on a large district: copying it for an edit, saving a
// version, restoring, writing and reading the file, and moving many reports between charts.
#include "core/document/organization_archive.h"

#include <benchmark/benchmark.h>

#include <random>

namespace {

// A district: a superintendent, departments of about 200 under directors, each director
// with managers and their teams; some dotted lines; one chart per department.
OrganizationArchive district(int positions, int versions)
{
    std::mt19937 random(42);
    OrganizationArchive archive;
    archive.name = "District";
    archive.sheets.emplace();
    auto add = [&](std::string id, std::optional<std::string> manager, const std::string &department) {
        Position p;
        p.id = std::move(id);
        p.title = "Teacher";
        p.department = department;
        p.location = "School " + std::to_string(random() % 40);
        p.managerID = std::move(manager);
        if (random() % 10)
            p.employee = Employee{std::to_string(archive.organization.positions.size() + 1000), "Person Name"};
        archive.organization.positions.push_back(std::move(p));
        return archive.organization.positions.back().id;
    };
    const std::string top = add("P-TOP", std::nullopt, "Office");
    int department = 0;
    while (static_cast<int>(archive.organization.positions.size()) < positions) {
        const std::string name = "Department " + std::to_string(department++);
        OrganizationSheet sheet = OrganizationSheet::make(name, {});
        const std::string director = add("P-" + makeUUID(), top, name);
        sheet.positionIDs.push_back(director);
        for (int m = 0; m < 10 && static_cast<int>(archive.organization.positions.size()) < positions; ++m) {
            const std::string manager = add("P-" + makeUUID(), director, name);
            sheet.positionIDs.push_back(manager);
            for (int r = 0; r < 19 && static_cast<int>(archive.organization.positions.size()) < positions; ++r)
                sheet.positionIDs.push_back(add("P-" + makeUUID(), manager, name));
        }
        archive.sheets->push_back(std::move(sheet));
    }
    auto &all = archive.organization.positions;
    for (size_t i = 1; i < all.size(); i += 50)
        all[i].dottedManagerIDs.push_back(top);
    for (int v = 0; v < versions; ++v) {
        all[static_cast<size_t>(1 + random() % (all.size() - 1))].department = "Edited " + std::to_string(v);
        archive.checkpoint("Before editing Teacher");
    }
    return archive;
}

const OrganizationArchive &large()
{
    static const OrganizationArchive archive = district(20000, 50);
    return archive;
}

void BM_CopyForEdit(benchmark::State &state)
{
    const OrganizationArchive &archive = large();
    for (auto _ : state) {
        OrganizationArchive copy = archive;
        benchmark::DoNotOptimize(copy);
    }
}
BENCHMARK(BM_CopyForEdit)->Unit(benchmark::kMillisecond);

void BM_Checkpoint(benchmark::State &state)
{
    OrganizationArchive archive = large();
    for (auto _ : state)
        archive.checkpoint("Saved version");
}
BENCHMARK(BM_Checkpoint)->Unit(benchmark::kMillisecond)->Iterations(50);

void BM_Restore(benchmark::State &state)
{
    OrganizationArchive archive = large();
    const std::string id = archive.revisions[10]->id;
    for (auto _ : state)
        archive.restore(id);
}
BENCHMARK(BM_Restore)->Unit(benchmark::kMillisecond)->Iterations(20);

void BM_DeletePosition(benchmark::State &state)
{
    const OrganizationArchive &archive = large();
    const std::string id = archive.organization.positions.back().id;
    for (auto _ : state) {
        OrganizationArchive copy = archive;
        copy.deletePosition(id);
        benchmark::DoNotOptimize(copy);
    }
}
BENCHMARK(BM_DeletePosition)->Unit(benchmark::kMillisecond);

void BM_EncodeDocument(benchmark::State &state)
{
    const OrganizationArchive &archive = large();
    size_t bytes = 0;
    for (auto _ : state)
        bytes = archive.encodeDocument().size();
    state.counters["MB"] = static_cast<double>(bytes) / 1e6;
}
BENCHMARK(BM_EncodeDocument)->Unit(benchmark::kMillisecond)->Iterations(2);

void BM_DecodeDocument(benchmark::State &state)
{
    const std::string bytes = large().encodeDocument();
    for (auto _ : state) {
        OrganizationArchive archive = OrganizationArchive::decode(bytes);
        benchmark::DoNotOptimize(archive);
    }
}
BENCHMARK(BM_DecodeDocument)->Unit(benchmark::kMillisecond)->Iterations(2);

// Documents of growing size read in one pass and apart: where helper threads start to pay
// for themselves, which decides OrganizationArchive::apartFromBytes. Arguments: positions,
// versions, 0 for one pass or 1 for apart; the counter KB is the document's size. Rerun on
// a machine with few cores too (--benchmark_filter=BM_DecodeBySize): helpers are fewer there.
void BM_DecodeBySize(benchmark::State &state)
{
    const std::string bytes = district(int(state.range(0)), int(state.range(1))).encodeDocument();
    const auto reading = state.range(2) ? OrganizationArchive::Reading::apart : OrganizationArchive::Reading::onePass;
    for (auto _ : state) {
        OrganizationArchive archive = OrganizationArchive::decode(bytes, reading);
        benchmark::DoNotOptimize(archive);
    }
    state.counters["KB"] = double(bytes.size()) / 1e3;
}
BENCHMARK(BM_DecodeBySize)
    ->ArgsProduct({{5, 10, 20, 40, 80, 160, 320, 640}, {2, 8}, {0, 1}})
    ->Unit(benchmark::kMicrosecond);

// Opening a file: reading and decoding (above) run on a worker thread; the main thread only
// takes the decoded archive into the untitled document of the busy window, which compares
// the two and moves the new one in. This is how long every window waits.
void BM_OpenOnTheMainThread(benchmark::State &state)
{
    const std::string bytes = large().encodeDocument();
    for (auto _ : state) {
        state.PauseTiming();
        OrganizationArchive decoded = OrganizationArchive::decode(bytes);
        OrganizationArchive current = OrganizationArchive::make("Untitled Organization", Organization{});
        state.ResumeTiming();
        const bool changed = decoded != current;
        const bool organizationDiffers = decoded.organization != current.organization;
        current = std::move(decoded);
        benchmark::DoNotOptimize(changed && organizationDiffers);
        benchmark::DoNotOptimize(current);
    }
}
BENCHMARK(BM_OpenOnTheMainThread)->Unit(benchmark::kMicrosecond)->Iterations(2);

// Every manager of the district moves to another director: thousands of transfers at once.
void BM_ManyMovesBetweenCharts(benchmark::State &state)
{
    OrganizationArchive archive = large();
    archive.revisions.clear();
    Organization moved = archive.organization;
    std::vector<std::string> directors;
    for (const Position &p : moved.positions) {
        if (p.managerID == "P-TOP")
            directors.push_back(p.id);
    }
    size_t next = 0;
    for (Position &p : moved.positions) {
        if (p.managerID && std::find(directors.begin(), directors.end(), *p.managerID) != directors.end())
            p.managerID = directors[next++ % directors.size()];
    }
    for (auto _ : state) {
        OrganizationArchive copy = archive;
        copy.replaceOrganization(moved);
        benchmark::DoNotOptimize(copy);
    }
}
BENCHMARK(BM_ManyMovesBetweenCharts)->Unit(benchmark::kMillisecond);

void BM_GroupProjection(benchmark::State &state)
{
    const OrganizationArchive &archive = large();
    // Pairs of peers under every manager: hundreds of groups.
    std::vector<PositionGroup> groups;
    const auto &all = archive.organization.positions;
    for (size_t i = 3; i + 1 < all.size(); i += 20) {
        if (all[i].managerID == all[i + 1].managerID)
            groups.push_back(PositionGroup::make("Pair", {all[i].id, all[i + 1].id}));
    }
    for (auto _ : state) {
        Organization shown = PositionGroup::project(archive.organization, groups, {});
        benchmark::DoNotOptimize(shown);
    }
    state.counters["groups"] = static_cast<double>(groups.size());
}
BENCHMARK(BM_GroupProjection)->Unit(benchmark::kMillisecond);

void BM_ChartOrganization(benchmark::State &state)
{
    const OrganizationArchive &archive = large();
    const std::string sheetID = (*archive.sheets)[3].id;
    for (auto _ : state) {
        Organization shown = archive.organizationIn(sheetID);
        benchmark::DoNotOptimize(shown);
    }
}
BENCHMARK(BM_ChartOrganization)->Unit(benchmark::kMillisecond);

} // namespace
