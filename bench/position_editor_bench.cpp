// The position editor on a 20,000-position district: opening it, one keystroke of a name,
// and one filter pass of the existing-position picker.
#include "app/entry/existing_position_picker.h"
#include "app/entry/position_editor_model.h"

#include "bench/app_bench_support.h"
#include "bench/district_generator.h"

#include <benchmark/benchmark.h>

namespace {

using BenchApp::SilentDialogs;

const Organization &district()
{
    static const Organization organization = BenchDistrict::DistrictGenerator(7).make(20000);
    return organization;
}

std::unique_ptr<PositionEditorModel> openEditor(SilentDialogs &dialogs)
{
    const std::vector<Position> &positions = district().positions;
    return std::make_unique<PositionEditorModel>(
        positions[500], positions, false, std::vector<OrganizationSheet>{}, std::string(),
        [](const PositionEntryRequest &request) { return std::vector<Position>{request.position}; }, nullptr,
        dialogs);
}

void openingTheEditor(benchmark::State &state)
{
    SilentDialogs dialogs;
    for (auto _ : state) {
        auto editor = openEditor(dialogs);
        benchmark::DoNotOptimize(editor->managerOptions().size());
    }
}
BENCHMARK(openingTheEditor)->Unit(benchmark::kMillisecond);

// What one keystroke recomputes: the people panel and the visibility of the form.
void typingANameKeystroke(benchmark::State &state)
{
    SilentDialogs dialogs;
    auto editor = openEditor(dialogs);
    editor->startNewEntry();
    const std::string names[] = {"Person P-12", "Person P-123"};
    int turn = 0;
    for (auto _ : state) {
        editor->setEmployeeName(names[turn++ % 2]);
        benchmark::DoNotOptimize(editor->peoplePanel().rows.size());
        benchmark::DoNotOptimize(editor->visibility());
    }
}
BENCHMARK(typingANameKeystroke)->Unit(benchmark::kMillisecond);

// Accented names take the slow road of Unicode folding; they are folded once per opening.
void typingAgainstAccentedNames(benchmark::State &state)
{
    SilentDialogs dialogs;
    std::vector<Position> positions = district().positions;
    for (Position &p : positions) {
        if (p.employee)
            p.employee->name = "José Núñez " + p.id;
    }
    PositionEditorModel editor(
        Position{.id = "P-NEW", .title = "Teacher"}, positions, true, {}, "",
        [](const PositionEntryRequest &request) { return std::vector<Position>{request.position}; }, nullptr, dialogs);
    const std::string names[] = {"Jose Nunez P-12", "Jose Nunez P-123"};
    int turn = 0;
    for (auto _ : state) {
        editor.setEmployeeName(names[turn++ % 2]);
        benchmark::DoNotOptimize(editor.peoplePanel().rows.size());
    }
}
BENCHMARK(typingAgainstAccentedNames)->Unit(benchmark::kMillisecond);

void filteringThePicker(benchmark::State &state)
{
    const ExistingPositionFilter filter(district().positions, {}, "");
    const std::string queries[] = {"teach", "teache"};
    int turn = 0;
    for (auto _ : state)
        benchmark::DoNotOptimize(filter.filtered(queries[turn++ % 2]).size());
}
BENCHMARK(filteringThePicker)->Unit(benchmark::kMillisecond);

void openingThePicker(benchmark::State &state)
{
    for (auto _ : state) {
        ExistingPositionListModel model(district().positions, {}, "", {});
        benchmark::DoNotOptimize(model.rowCount());
    }
}
BENCHMARK(openingThePicker)->Unit(benchmark::kMillisecond);

} // namespace
