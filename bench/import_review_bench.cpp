// The review runs on every keystroke of the correction grid: a district-sized sheet must
// review well under a second.
#include "core/import/column_mapping.h"
#include "core/support/delimited_text.h"
#include "core/import/import_review.h"
#include "core/support/import_sheet.h"

#include <benchmark/benchmark.h>

namespace {

constexpr int rowCount = 20'000;
constexpr int columnCount = 50;

// Managers form a binary tree, or one chain as deep as the district when `chain` is set.
ImportSheet districtSheet(const std::string &idPrefix, bool chain)
{
    ImportSheet sheet{.name = "Staff"};
    std::vector<std::string> header;
    for (ImportField field : allImportFields)
        header.emplace_back(importFieldHeader(field));
    while (header.size() < columnCount)
        header.push_back("Note " + std::to_string(header.size()));
    sheet.rows.push_back(header);
    for (int i = 0; i < rowCount; ++i) {
        const std::string manager = i == 0 ? "" : idPrefix + std::to_string(chain ? i - 1 : (i - 1) / 2);
        std::vector<std::string> row = {
            idPrefix + std::to_string(i), std::to_string(100000 + i), "Person " + std::to_string(i), "T" + std::to_string(i % 7),
            "Teacher", "Dept " + std::to_string(i % 40), manager, i % 9 == 0 && i > 0 ? idPrefix + "0" : "",
            i % 3 ? "North" : "", "1", "no", i % 11 ? "no" : "yes", std::to_string(i % 5),
            i % 3 ? "" : "North=0.5; South=0.5",
        };
        while (row.size() < columnCount)
            row.push_back("note " + std::to_string(i));
        sheet.rows.push_back(std::move(row));
    }
    return sheet;
}

Organization districtOrganization(const std::string &idPrefix)
{
    Organization organization;
    for (int i = 0; i < rowCount; ++i) {
        organization.positions.push_back(Position{
            .id = idPrefix + std::to_string(i), .title = "T", .employee = Employee{std::to_string(500000 + i), "Existing"},
            .managerID = i == 0 ? std::nullopt : std::optional(idPrefix + std::to_string((i - 1) / 2)), .location = "North"});
    }
    return organization;
}

void reviewSheet(benchmark::State &state, ImportMode mode, const std::string &existingPrefix, bool chain)
{
    const ImportSheet sheet = districtSheet("P-", chain);
    const ImportMapping mapping = TabularImport::suggestedMapping(sheet.rows[0]);
    const Organization existing = districtOrganization(existingPrefix);
    for (auto _ : state) {
        ImportReview review = TabularImport::review(sheet, 0, mapping, ManagerReferences::positionIDs, mode, existing);
        if (!review.organization)
            state.SkipWithError(review.errors.front().c_str());
        benchmark::DoNotOptimize(review);
    }
}

void BM_ReviewAddToDistrict(benchmark::State &state) { reviewSheet(state, ImportMode::add, "E-", false); }
void BM_ReviewUpdateEveryPosition(benchmark::State &state) { reviewSheet(state, ImportMode::update, "P-", false); }
void BM_ReviewReplaceWithOneLongChain(benchmark::State &state) { reviewSheet(state, ImportMode::replace, "E-", true); }

// The district's own sheet after a spreadsheet program dropped the zeros of its ids and
// employee numbers: every row differs from a stored position and person only by them.
void BM_ReviewReplaceWithoutLeadingZeros(benchmark::State &state)
{
    const ImportSheet sheet = districtSheet("", false);
    const ImportMapping mapping = TabularImport::suggestedMapping(sheet.rows[0]);
    Organization existing = districtOrganization("0000");
    for (size_t i = 0; i < existing.positions.size(); ++i)
        existing.positions[i].employee->id = "00" + std::to_string(100000 + i);
    for (auto _ : state) {
        ImportReview review = TabularImport::review(sheet, 0, mapping, ManagerReferences::positionIDs,
                                                    ImportMode::replace, existing);
        if (!review.organization || review.leadingZeroRows != rowCount)
            state.SkipWithError("every row should be named");
        benchmark::DoNotOptimize(review);
    }
}

void BM_ParseDistrictCSV(benchmark::State &state)
{
    std::string text;
    for (const auto &row : districtSheet("P-", false).rows) {
        for (size_t c = 0; c < row.size(); ++c)
            text += (c ? "," : "") + ("\"" + row[c] + "\"");
        text += "\r\n";
    }
    for (auto _ : state)
        benchmark::DoNotOptimize(TabularImport::csv(text));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(text.size()));
}

} // namespace

BENCHMARK(BM_ReviewAddToDistrict)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReviewUpdateEveryPosition)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReviewReplaceWithOneLongChain)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReviewReplaceWithoutLeadingZeros)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ParseDistrictCSV)->Unit(benchmark::kMillisecond);
