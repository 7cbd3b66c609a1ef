#include "core/entry/quick_entry.h"

#include "core/support/delimited_text.h"

#include <algorithm>

namespace {

bool allEmpty(const std::vector<std::string> &cells)
{
    return std::ranges::all_of(cells, [](const std::string &cell) { return cell.empty(); });
}

QuickEntryRow pastedRow(std::vector<std::string> cells)
{
    const size_t count = cells.size();
    cells.resize(6);
    QuickEntryRow row("", "", "");
    row.name = std::move(cells[0]);
    row.title = std::move(cells[1]);
    if (count == 6) {
        // The job title column only counts when it says something the pay level does not.
        if (!cells[2].empty() && cells[2] != row.title)
            row.customJobTitle = std::move(cells[2]);
        row.department = std::move(cells[3]);
        row.manager = std::move(cells[4]);
        row.location = std::move(cells[5]);
        return row;
    }
    row.department = std::move(cells[2]);
    row.manager = std::move(cells[3]);
    row.location = std::move(cells[4]);
    return row;
}

} // namespace

std::vector<QuickEntryRow> QuickEntryRow::pasted(std::string_view text)
{
    ImportSheet sheet = TabularImport::csv(text, U'\t');
    // Checked before empty lines are dropped: a wide line means the columns are not ours.
    const bool tooWide = std::ranges::any_of(sheet.rows, [](const auto &cells) { return cells.size() >= 7; });
    if (tooWide)
        throw OrganizationError::invalid("Paste six columns: Name, Pay Level, Job Title, Department, Manager, "
                                         "Location. Legacy five-column rows are also accepted.");
    std::vector<QuickEntryRow> rows;
    for (std::vector<std::string> &cells : sheet.rows) {
        if (!allEmpty(cells))
            rows.push_back(pastedRow(std::move(cells)));
    }
    return rows;
}
