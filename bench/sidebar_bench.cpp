#include "app/sidebar/dropdown_option.h"

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

} // namespace
