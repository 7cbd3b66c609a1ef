// Applying a reviewed spreadsheet import of 20,000 rows to a district of 20,000 positions:
// the staleness test, the recovery version, the replacement and the chart fitting.

#include "app/chart/import_apply.h"

#include "district_generator.h"

#include <benchmark/benchmark.h>

namespace {

constexpr int districtSize = 20'000;

// The district with half of it on one chart and an empty chart selected for the import.
OrganizationArchive chartedDistrict()
{
    OrganizationArchive archive;
    archive.organization = BenchDistrict::plainDistrict(districtSize);
    OrganizationSheet half{.id = "S-HALF", .name = "Half"};
    for (size_t i = 0; i < archive.organization.positions.size(); i += 2)
        half.positionIDs.push_back(archive.organization.positions[i].id);
    archive.sheets = std::vector{half, OrganizationSheet{.id = "S-NEW", .name = "Imported"}};
    return archive;
}

// Every row of the import, with one position in ten changed (a new location), so that the
// chart fitting compares most positions with the snapshot and appends some.
Organization importedRows(const Organization &existing)
{
    Organization imported = existing;
    for (size_t i = 1; i < imported.positions.size(); i += 10)
        imported.positions[i].location = "Imported Campus";
    return imported;
}

void applyImportOfTwentyThousandRows(benchmark::State &state)
{
    const ImportMode mode = static_cast<ImportMode>(state.range(0));
    const OrganizationArchive archive = chartedDistrict();
    const Organization imported = importedRows(archive.organization);
    for (auto _ : state) {
        OrganizationArchive applied = applyImport(archive, archive.organization, imported, mode, "S-NEW");
        benchmark::DoNotOptimize(applied);
    }
    state.SetLabel(std::string(importModeLabel(mode)));
}
BENCHMARK(applyImportOfTwentyThousandRows)
    ->Arg(int(ImportMode::add))
    ->Arg(int(ImportMode::update))
    ->Arg(int(ImportMode::replace))
    ->Unit(benchmark::kMillisecond);

} // namespace
