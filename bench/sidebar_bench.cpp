#include "app/sidebar/dropdown_option.h"
#include "app/sidebar/sidebar_tree.h"

#include "district_generator.h"

#include <benchmark/benchmark.h>

namespace {

// The position editor's manager picker over a whole district.
std::vector<DropdownOption> managerOptions(int size)
{
    std::vector<DropdownOption> options;
    for (const Position &position : BenchDistrict::district(size).positions) {
        const QString name = position.employee ? QString::fromStdString(position.employee->name) : QStringLiteral("Vacant position");
        options.push_back({QString::fromStdString(position.id), name, QString::fromStdString(position.jobTitle())});
    }
    return options;
}

// Folding every option's search text: once per option list.
void BM_DropdownIndex(benchmark::State &state)
{
    const std::vector<DropdownOption> options = managerOptions(int(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(DropdownOptionIndex(options));
}
BENCHMARK(BM_DropdownIndex)->Arg(20000)->Unit(benchmark::kMillisecond);

// One keystroke: narrowing the folded list.
void BM_DropdownFilterPass(benchmark::State &state)
{
    const DropdownOptionIndex index(managerOptions(int(state.range(0))));
    for (auto _ : state)
        benchmark::DoNotOptimize(index.matches(QStringLiteral("person p-19")));
}
BENCHMARK(BM_DropdownFilterPass)->Arg(20000)->Unit(benchmark::kMillisecond);

// The generated district with about 125 sites (some blank) and departments split by site
// blocks, so every mode has hundreds of groups.
const std::vector<Position> &sitedDistrict()
{
    static const std::vector<Position> positions = [] {
        std::vector<Position> result = BenchDistrict::district(20000).positions;
        for (size_t i = 0; i < result.size(); ++i) {
            result[i].location = i % 20 == 0 ? std::string(" ") : "Site " + std::to_string(i / 160);
            result[i].department += " " + std::to_string(i / 400);
        }
        return result;
    }();
    return positions;
}

// Listing the district in one mode, as after an organization or mode change.
void BM_SidebarTree(benchmark::State &state)
{
    const std::string mode = SidebarMode::all()[size_t(state.range(0))];
    state.SetLabel(mode);
    for (auto _ : state)
        benchmark::DoNotOptimize(buildSidebarTree(sitedDistrict(), mode));
}
BENCHMARK(BM_SidebarTree)->DenseRange(0, 4)->Unit(benchmark::kMillisecond);

} // namespace
