#include "core/entry/quick_entry.h"

#include "core/support/identifiers.h"
#include "core/entry/quick_entry_live_rows.h"
#include "core/support/text.h"

#include <algorithm>
#include <unordered_set>

QuickEntryRow::QuickEntryRow(const Position &position)
    : id(makeUUID())
    , name(position.employee ? position.employee->name : std::string())
    , vacant(!position.employee)
    , title(position.title)
    , customJobTitle(position.customJobTitle)
    , department(position.department)
    , manager(position.managerID.value_or(std::string()))
    , location(position.location)
    , originalPosition(position)
{
}

QuickEntryRow::QuickEntryRow(std::string department, std::string manager, std::string location)
    : id(makeUUID())
    , department(std::move(department))
    , manager(std::move(manager))
    , location(std::move(location))
{
}

void QuickEntryRow::setDepartment(std::string value)
{
    department = std::move(value);
    departmentWasEdited = true;
}

std::string QuickEntryRow::key() const
{
    return originalPosition ? originalPosition->id : "draft:" + id;
}

std::string QuickEntryRow::managerChoice() const
{
    return Text::trimmed(name) + " — " + jobTitle() + " [" + key() + "]";
}

void QuickEntryRow::selectManager(std::string text, const std::vector<Position> &positions,
                                  const std::vector<QuickEntryRow> &rows)
{
    const QuickEntryLiveRows pool(positions, rows);
    selectManager(std::move(text), pool);
}

void QuickEntryRow::selectManager(std::string text, const QuickEntryLiveRows &pool)
{
    manager = std::move(text);
    const std::string *found = pool.managerDepartment(Text::trimmed(manager));
    if (!found || found->empty())
        return;
    // Copied before writing: the pool may point into this very row.
    std::string managerDepartment = *found;
    if (!followsManagerDepartment(pool))
        return;
    department = managerDepartment;
    suggestedDepartment = std::move(managerDepartment);
    departmentWasEdited = false;
}

// A department travels from manager to report until the user types one of their own; an
// existing position keeps a department that differs from the one it last followed.
bool QuickEntryRow::followsManagerDepartment(const QuickEntryLiveRows &pool) const
{
    if (Text::isBlank(department))
        return true;
    if (departmentWasEdited)
        return false;
    if (!originalPosition)
        return true;
    if (suggestedDepartment)
        return department == *suggestedDepartment;
    if (!originalPosition->managerID)
        return false;
    const Position *currentManager = pool.position(*originalPosition->managerID);
    return currentManager && currentManager->department == department;
}

std::vector<QuickEntryRow> QuickEntryRow::liveRows(const std::vector<Position> &positions,
                                                   const std::vector<QuickEntryRow> &rows)
{
    std::unordered_set<std::string_view> shown;
    for (const QuickEntryRow &row : rows) {
        if (row.originalPosition)
            shown.insert(row.originalPosition->id);
    }
    std::vector<QuickEntryRow> live;
    live.reserve(positions.size() + rows.size());
    for (const Position &p : positions) {
        if (!shown.contains(p.id))
            live.emplace_back(p);
    }
    live.insert(live.end(), rows.begin(), rows.end());
    return live;
}

std::vector<std::string> QuickEntryRow::managerOptions(const std::vector<Position> &positions,
                                                       const std::vector<QuickEntryRow> &rows,
                                                       const QuickEntryRow &excluding)
{
    std::unordered_set<std::string_view> managers;
    for (const Position &p : positions) {
        if (p.managerID)
            managers.insert(*p.managerID);
    }
    const std::optional<std::string> excludedPosition =
        excluding.originalPosition ? std::optional(excluding.originalPosition->id) : std::nullopt;

    struct Option {
        bool hasReports;
        std::string sortKey;
        std::string text;
    };
    std::vector<Option> options;
    for (const QuickEntryRow &row : liveRows(positions, rows)) {
        if (row.vacant || Text::isBlank(row.name) || row.id == excluding.id)
            continue;
        if (excludedPosition && row.originalPosition && row.originalPosition->id == *excludedPosition)
            continue;
        std::string text = row.managerChoice();
        const bool hasReports = row.originalPosition && managers.contains(row.originalPosition->id);
        options.push_back({hasReports, Text::localizedStandardKey(text), std::move(text)});
    }
    // Stable: options that collate the same keep their live-row order.
    std::stable_sort(options.begin(), options.end(), [](const Option &a, const Option &b) {
        if (a.hasReports != b.hasReports)
            return a.hasReports;
        return a.sortKey < b.sortKey;
    });
    std::vector<std::string> result;
    result.reserve(options.size());
    for (Option &o : options)
        result.push_back(std::move(o.text));
    return result;
}
