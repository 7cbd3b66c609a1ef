#include "core/model/department_directory.h"
#include "core/model/employee_directory.h"
#include "core/model/organization.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <random>

namespace {

// A district of `count` positions: a bushy tree with departments nested along it.
Organization district(int count)
{
    std::mt19937 random(42);
    const char *first[] = {"Ann", "Bo", "Cy", "Dee", "Eli", "Fay", "Gus", "Hal"};
    const char *last[] = {"Smith", "Lee", "Okoro", "Brandt", "Nakamura", "Adams", "Young", "Park"};
    Organization organization;
    organization.positions.reserve(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
        Position p{.id = "P" + std::to_string(i), .title = "Teacher " + std::to_string(i % 40),
                   .department = "Department " + std::to_string(i / 200), .location = "School"};
        if (i > 0)
            p.managerID = "P" + std::to_string(std::uniform_int_distribution<int>(std::max(0, i - 300), i - 1)(random));
        if (i % 10)
            p.employee = Employee{std::to_string(i), std::string(first[random() % 8]) + " " + last[random() % 8]};
        organization.positions.push_back(std::move(p));
    }
    return organization;
}

Organization chain(int depth)
{
    Organization organization;
    for (int i = depth - 1; i >= 0; --i) {
        Position p{.id = "P" + std::to_string(i), .title = "Teacher", .department = "Ops"};
        if (i > 0)
            p.managerID = "P" + std::to_string(i - 1);
        organization.positions.push_back(std::move(p));
    }
    return organization;
}

void validateDistrict(benchmark::State &state)
{
    const Organization organization = district(20'000);
    for (auto _ : state)
        organization.validate();
}
BENCHMARK(validateDistrict)->Unit(benchmark::kMillisecond);

void validateDeepChain(benchmark::State &state)
{
    const Organization organization = chain(100'000);
    for (auto _ : state)
        organization.validate();
}
BENCHMARK(validateDeepChain)->Unit(benchmark::kMillisecond);

void personOrder(benchmark::State &state)
{
    const Organization organization = district(20'000);
    for (auto _ : state)
        benchmark::DoNotOptimize(EmployeeDirectory::sorted(organization.positions));
}
BENCHMARK(personOrder)->Unit(benchmark::kMillisecond);

void departmentTree(benchmark::State &state)
{
    const Organization organization = district(20'000);
    for (auto _ : state)
        benchmark::DoNotOptimize(DepartmentDirectory::groups(organization.positions, organization.positions));
}
BENCHMARK(departmentTree)->Unit(benchmark::kMillisecond);

void departmentTreeDeepChain(benchmark::State &state)
{
    const Organization organization = chain(100'000);
    for (auto _ : state)
        benchmark::DoNotOptimize(DepartmentDirectory::groups(organization.positions, organization.positions));
}
BENCHMARK(departmentTreeDeepChain)->Unit(benchmark::kMillisecond);

} // namespace
