#include "bench/district_generator.h"
#include "core/chart/chart_layout.h"
#include "core/model/organization.h"

#include <benchmark/benchmark.h>

#include <string>

namespace {

using BenchDistrict::district;

void screenLayout(benchmark::State &state)
{
    const Organization &org = district(static_cast<int>(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(ChartLayout::build(org, std::nullopt, 112));
    state.counters["positions"] = static_cast<double>(org.positions.size());
}

void pageBalancedLayout(benchmark::State &state)
{
    const Organization &org = district(static_cast<int>(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(ChartLayout::build(org, 720.0 / 486.0, 112));
    state.counters["positions"] = static_cast<double>(org.positions.size());
}

// A leaf taken away and put back by turns, laid out by a memo that has seen the chart: what
// a window's Delete and its undo cost the layout. Argument 1 is page-balanced.
void layoutAfterDelete(benchmark::State &state)
{
    const Organization &org = district(20000);
    const std::string leaf = BenchDistrict::occupiedLeaf(org);
    Organization without = org;
    std::erase_if(without.positions, [&](const Position &p) { return p.id == leaf; });
    const std::optional<double> ratio = state.range(0) ? std::optional(720.0 / 486.0) : std::nullopt;
    ChartLayoutMemo memo;
    memo.build(org, ratio, 112);
    bool deleted = false;
    for (auto _ : state) {
        deleted = !deleted;
        benchmark::DoNotOptimize(memo.build(deleted ? without : org, ratio, 112));
    }
}

void deepChain(benchmark::State &state)
{
    Organization org;
    org.positions.push_back({.id = "P0", .title = "Level"});
    for (int i = 1; i < state.range(0); ++i)
        org.positions.push_back({.id = "P" + std::to_string(i), .title = "Level", .managerID = "P" + std::to_string(i - 1)});
    for (auto _ : state)
        benchmark::DoNotOptimize(ChartLayout::build(org, 1.4, 112));
}

} // namespace

BENCHMARK(screenLayout)->Arg(1000)->Arg(5000)->Arg(20000)->Unit(benchmark::kMillisecond);
BENCHMARK(pageBalancedLayout)->Arg(1000)->Arg(5000)->Arg(20000)->Unit(benchmark::kMillisecond);
BENCHMARK(layoutAfterDelete)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(deepChain)->Arg(100000)->Unit(benchmark::kMillisecond);
