#include "app/entry/quick_entry_grid_model.h"

#include "core/model/employee_directory.h"
#include "core/support/identifiers.h"
#include "core/support/organization_error.h"
#include "core/support/text.h"

#include <algorithm>
#include <climits>

namespace {

constexpr size_t seededRowCount = 8;

const std::string &fieldValue(const QuickEntryRow &row, QuickEntryGridModel::Field field)
{
    switch (field) {
    case QuickEntryGridModel::Field::payLevel: return row.title;
    case QuickEntryGridModel::Field::jobTitle: return row.jobTitle();
    case QuickEntryGridModel::Field::department: return row.department;
    case QuickEntryGridModel::Field::location: return row.location;
    }
    return row.title;
}

// The same field of the fresh row QuickEntryRow(position) would make, without making it.
const std::string &fieldValue(const Position &position, QuickEntryGridModel::Field field)
{
    switch (field) {
    case QuickEntryGridModel::Field::payLevel: return position.title;
    case QuickEntryGridModel::Field::jobTitle: return position.jobTitle();
    case QuickEntryGridModel::Field::department: return position.department;
    case QuickEntryGridModel::Field::location: return position.location;
    }
    return position.title;
}

} // namespace

QuickEntryGridModel::QuickEntryGridModel(std::string sheetName, std::vector<Position> positions,
                                         const std::vector<Position> &sheetPositions, std::string initialManager)
    : m_sheetName(std::move(sheetName))
    , m_initialManager(std::move(initialManager))
{
    m_allPositions.reserve(positions.size());
    mergeSaved(positions);

    for (Position &position : EmployeeDirectory::sorted(sheetPositions))
        m_rows.emplace_back(position);
    const size_t newRows = m_rows.size() < seededRowCount ? seededRowCount - m_rows.size() : 1;
    const std::string manager = namesVacancy(m_initialManager) ? std::string() : m_initialManager;
    // Every seeded new row is made against the still empty grid, so all start alike.
    QuickEntryRow seed(m_sheetName, manager, "");
    seed.selectManager(manager, m_allPositions, {});
    for (size_t i = 0; i < newRows; ++i) {
        QuickEntryRow row = seed;
        row.id = makeUUID();
        m_rows.push_back(std::move(row));
    }
    resetBaseline();
    m_focusedName = m_rows.front().id;
}

bool QuickEntryGridModel::hasChanges() const
{
    return std::any_of(m_rows.begin(), m_rows.end(), [this](const QuickEntryRow &row) {
        // New rows receive department, manager and location as defaults, and the commit
        // skips a new row without name, pay level, job title, vacancy or quantity: only
        // those count, for seeded and added rows alike.
        if (!row.isExisting())
            return !row.name.empty() || !row.title.empty() || (row.customJobTitle && !row.customJobTitle->empty())
            || row.vacant || row.quantity != 1;
        const auto found = m_baselineIndex.find(row.id);
        return found == m_baselineIndex.end() || row != m_baseline[found->second];
    });
}

QuickEntryRow &QuickEntryGridModel::edit(size_t row)
{
    ++m_revision;
    return m_rows.at(row);
}

void QuickEntryGridModel::setVacant(size_t row, bool vacant)
{
    if (m_rows.at(row).vacant == vacant || !canEditVacant(row))
        return;
    peopleChanged();
    QuickEntryRow &r = edit(row);
    r.vacant = vacant;
    if (vacant) {
        r.name.clear();
    } else {
        r.quantity = 1;
        m_quantityTexts.erase(r.id);
    }
}

void QuickEntryGridModel::setQuantity(size_t row, int quantity)
{
    m_quantityTexts.erase(m_rows.at(row).id);
    if (m_rows.at(row).quantity != quantity)
        edit(row).quantity = quantity;
}

void QuickEntryGridModel::setQuantityText(size_t row, std::string text)
{
    const int quantity = quantityFromText(text).value_or(0);
    setQuantity(row, quantity);
    m_quantityTexts.insert_or_assign(m_rows[row].id, std::move(text));
}

std::string QuickEntryGridModel::quantityText(size_t row) const
{
    const QuickEntryRow &r = m_rows.at(row);
    const auto typed = m_quantityTexts.find(r.id);
    return typed != m_quantityTexts.end() ? typed->second : std::to_string(r.quantity);
}

void QuickEntryGridModel::beginCellEdit(size_t row)
{
    const QuickEntryRow &r = m_rows.at(row);
    const auto typed = m_quantityTexts.find(r.id);
    m_cellEdit = CellEdit{r, typed != m_quantityTexts.end() ? std::optional(typed->second) : std::nullopt};
}

std::optional<size_t> QuickEntryGridModel::cancelCellEdit()
{
    if (!m_cellEdit)
        return std::nullopt;
    CellEdit began = std::move(*m_cellEdit);
    m_cellEdit.reset();
    const auto found = std::find_if(m_rows.begin(), m_rows.end(),
                                    [&](const QuickEntryRow &r) { return r.id == began.row.id; });
    if (found == m_rows.end())
        return std::nullopt;
    const size_t row = size_t(found - m_rows.begin());
    peopleChanged();
    if (began.quantityText)
        m_quantityTexts.insert_or_assign(began.row.id, std::move(*began.quantityText));
    else
        m_quantityTexts.erase(began.row.id);
    edit(row) = std::move(began.row);
    return row;
}

void QuickEntryGridModel::setName(size_t row, std::string name)
{
    if (m_rows.at(row).name == name)
        return;
    peopleChanged();
    edit(row).name = std::move(name);
}

void QuickEntryGridModel::setPayLevel(size_t row, std::string title)
{
    if (m_rows.at(row).title != title)
        edit(row).title = std::move(title);
}

void QuickEntryGridModel::setJobTitle(size_t row, std::string jobTitle)
{
    if (m_rows.at(row).jobTitle() != jobTitle)
        edit(row).setJobTitle(std::move(jobTitle));
}

void QuickEntryGridModel::matchPayLevel(size_t row)
{
    if (m_rows.at(row).customJobTitle)
        edit(row).usePayLevelForJobTitle();
}

void QuickEntryGridModel::setDepartment(size_t row, std::string department)
{
    if (m_rows.at(row).department != department)
        edit(row).setDepartment(std::move(department));
}

void QuickEntryGridModel::setManager(size_t row, std::string manager)
{
    if (m_rows.at(row).manager != manager)
        edit(row).selectManager(std::move(manager), pool());
}

const QuickEntryLiveRows &QuickEntryGridModel::pool()
{
    if (!m_pool)
        m_pool = std::make_unique<QuickEntryLiveRows>(m_allPositions, m_rows);
    return *m_pool;
}

void QuickEntryGridModel::setLocation(size_t row, std::string location)
{
    if (m_rows.at(row).location != location)
        edit(row).location = std::move(location);
}

bool QuickEntryGridModel::canEditVacant(size_t row) const
{
    const QuickEntryRow &r = m_rows.at(row);
    return !(r.originalPosition && r.originalPosition->employee);
}

bool QuickEntryGridModel::canEditQuantity(size_t row) const
{
    const QuickEntryRow &r = m_rows.at(row);
    return !r.isExisting() && r.vacant;
}

void QuickEntryGridModel::appendRow()
{
    QuickEntryRow row = newRow();
    m_focusedName = row.id;
    ++m_revision;
    peopleChanged();
    m_rows.push_back(std::move(row));
}

void QuickEntryGridModel::removeRow(size_t row)
{
    if (!canRemove(row))
        return;
    const std::string id = m_rows[row].id;
    ++m_revision;
    peopleChanged();
    std::erase_if(m_rows, [&](const QuickEntryRow &r) { return r.id == id; });
}

// Department, manager and location come from the last row (the chart's name, the initial
// manager and nothing without one); the manager may then bring its department.
QuickEntryRow QuickEntryGridModel::newRow() const
{
    const QuickEntryRow *last = m_rows.empty() ? nullptr : &m_rows.back();
    std::string manager = last ? last->manager : m_initialManager;
    // The commit refuses a vacancy as the manager of a new row: start such a row empty.
    if (namesVacancy(manager))
        manager.clear();
    QuickEntryRow row(last ? last->department : m_sheetName, manager, last ? last->location : std::string());
    row.selectManager(std::move(manager), m_allPositions, m_rows);
    return row;
}

// Whether the text identifies (by position id or bracketed key) a vacancy of the grid or
// the organization.
bool QuickEntryGridModel::namesVacancy(std::string_view managerText) const
{
    const std::string text = Text::trimmed(managerText);
    if (text.empty())
        return false;
    std::vector<std::string_view> keys = QuickEntryLiveRows::bracketedKeys(text);
    keys.insert(keys.begin(), text);
    for (std::string_view key : keys) {
        const auto shown = std::find_if(m_rows.begin(), m_rows.end(),
                                        [&](const QuickEntryRow &row) { return row.key() == key; });
        if (shown != m_rows.end()) {
            if (shown->vacant)
                return true;
            continue;
        }
        const auto found = m_allPositionIndex.find(std::string(key));
        if (found != m_allPositionIndex.end() && !m_allPositions[found->second].employee)
            return true;
    }
    return false;
}

bool QuickEntryGridModel::paste(const std::optional<std::string> &clipboardText)
{
    if (!clipboardText)
        return false;
    std::vector<QuickEntryRow> pasted;
    try {
        pasted = QuickEntryRow::pasted(*clipboardText);
    } catch (const OrganizationError &error) {
        giveMessage(error.message());
        return false;
    }
    ++m_revision;
    peopleChanged();
    m_cellEdit.reset();
    std::erase_if(m_rows, [](const QuickEntryRow &row) {
        return !row.isExisting() && row.name.empty() && row.title.empty();
    });
    m_rows.insert(m_rows.end(), std::make_move_iterator(pasted.begin()), std::make_move_iterator(pasted.end()));
    return true;
}

bool QuickEntryGridModel::save(const QuickEntryCommit &commit)
{
    QuickEntrySaveResult saved;
    try {
        saved = commit(m_rows);
    } catch (const OrganizationError &error) {
        giveMessage(error.message());
        return false;
    }
    peopleChanged();
    mergeSaved(saved.positions);
    giveMessage("Saved " + std::to_string(saved.positions.size())
                + " positions. Existing IDs and other position details are preserved.");
    // Defaults from the rows as they were before the save, managers from the saved positions.
    QuickEntryRow next = newRow();
    // A manager picked from a new row names it by its draft key, which the rebuilt grid no
    // longer has: the text would make this row fail at the next save.
    const std::string managerText = Text::trimmed(next.manager);
    const std::vector<std::string_view> keys = QuickEntryLiveRows::bracketedKeys(managerText);
    if (std::any_of(keys.begin(), keys.end(), [](std::string_view key) { return key.starts_with("draft:"); }))
        next.manager.clear();
    std::vector<QuickEntryRow> rows;
    rows.reserve(saved.positions.size() + 1);
    // A position whose new manager sits on another chart left this one: a row for it would
    // make every later save fail.
    for (const Position &position : saved.positions) {
        if (saved.chartPositionIDs.contains(position.id))
            rows.emplace_back(position);
    }
    rows.push_back(std::move(next));
    m_rows = std::move(rows);
    m_quantityTexts.clear();
    m_cellEdit.reset();
    ++m_revision;
    resetBaseline();
    return true;
}

void QuickEntryGridModel::mergeSaved(const std::vector<Position> &saved)
{
    for (const Position &position : saved) {
        const auto [found, added] = m_allPositionIndex.try_emplace(position.id, m_allPositions.size());
        if (added)
            m_allPositions.push_back(position);
        else
            m_allPositions[found->second] = position;
    }
}

void QuickEntryGridModel::resetBaseline()
{
    m_baseline = m_rows;
    m_baselineIndex.clear();
    for (size_t i = 0; i < m_baseline.size(); ++i)
        m_baselineIndex.emplace(m_baseline[i].id, i);
}

void QuickEntryGridModel::giveMessage(std::string message)
{
    m_message = std::move(message);
    ++m_messageCount;
}

const std::vector<std::string> &QuickEntryGridModel::fieldOptions(Field field)
{
    FieldCache &cache = m_fieldCaches[static_cast<int>(field)];
    if (cache.revision == m_revision)
        return cache.options;

    std::unordered_set<std::string_view> shown;
    for (const QuickEntryRow &row : m_rows) {
        if (row.originalPosition)
            shown.insert(row.originalPosition->id);
    }
    std::unordered_set<std::string> seen;
    std::vector<std::pair<std::string, std::string>> keyed; // sort key, value
    auto take = [&](const std::string &value) {
        std::string trimmed = Text::trimmed(value);
        if (trimmed.empty() || seen.contains(trimmed))
            return;
        seen.insert(trimmed);
        keyed.emplace_back(Text::localizedStandardKey(trimmed), std::move(trimmed));
    };
    for (const Position &position : m_allPositions) {
        if (!shown.contains(position.id))
            take(fieldValue(position, field));
    }
    for (const QuickEntryRow &row : m_rows)
        take(fieldValue(row, field));
    std::stable_sort(keyed.begin(), keyed.end(), [](const auto &a, const auto &b) { return a.first < b.first; });

    cache.options.clear();
    cache.options.reserve(keyed.size());
    for (auto &entry : keyed)
        cache.options.push_back(std::move(entry.second));
    cache.revision = m_revision;
    return cache.options;
}

std::vector<std::string> QuickEntryGridModel::managerOptions(size_t row)
{
    if (m_managerCache.revision != m_revision) {
        // A row that is not in the grid excludes nobody: one list serves every row.
        m_managerCache.options = QuickEntryRow::managerOptions(m_allPositions, m_rows, QuickEntryRow("", "", ""));
        m_managerCache.revision = m_revision;
    }
    // The option of the row's own person (or another row for its position) ends in its key,
    // the same identity the commit resolves a manager by.
    const std::string ownKey = " [" + m_rows.at(row).key() + "]";
    std::vector<std::string> options;
    options.reserve(m_managerCache.options.size());
    for (const std::string &option : m_managerCache.options) {
        if (!option.ends_with(ownKey))
            options.push_back(option);
    }
    return options;
}

std::string QuickEntryGridModel::rowCaption(size_t row) const
{
    const QuickEntryRow &r = m_rows.at(row);
    if (!r.originalPosition)
        return "New person — IDs generated on save";
    const Position &position = *r.originalPosition;
    return "Position " + position.id + " · Employee " + (position.employee ? position.employee->id : "Vacant");
}

std::optional<int> QuickEntryGridModel::quantityFromText(std::string_view text)
{
    const std::string trimmed = Text::trimmed(text);
    std::string_view digits = trimmed;
    const bool negative = digits.starts_with('-');
    if (negative || digits.starts_with('+'))
        digits.remove_prefix(1);
    if (digits.empty() || !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return std::nullopt;
    long long value = 0;
    for (char c : digits) {
        value = std::min<long long>(value * 10 + (c - '0'), INT_MAX);
    }
    return negative ? -static_cast<int>(value) : static_cast<int>(value);
}
