// The all-or-nothing commit of the quick-entry grid.
//
// New rows are added here directly, by the same rules as the archive's single quick add and
// addPositions, and the organization is validated once at the end: those operations
// validate the whole organization on every call, which made a pasted batch cost rows times
// positions.

#include "core/support/identifiers.h"
#include "core/document/organization_archive.h"
#include "core/entry/quick_entry.h"
#include "core/entry/quick_entry_live_rows.h"
#include "core/support/text.h"

#include <algorithm>
#include <set>
#include <unordered_map>
#include <unordered_set>

namespace {

[[noreturn]] void fail(std::string message)
{
    throw OrganizationError::invalid(std::move(message));
}

// Organization::nextEmployeeNumber kept current while a batch adds and removes employees,
// without a scan per person.
class EmployeeNumbers {
public:
    explicit EmployeeNumbers(const std::vector<Position> &positions)
    {
        for (const Position &p : positions) {
            if (p.employee)
                add(p.employee->id);
        }
    }

    void add(std::string_view employeeID) { update(employeeID, +1); }
    void remove(std::string_view employeeID) { update(employeeID, -1); }

    std::string next() const
    {
        if (m_values.empty())
            return "1";
        std::string number = m_values.rbegin()->second;
        size_t i = number.size();
        while (i > 0 && number[i - 1] == '9')
            number[--i] = '0';
        if (i == 0)
            number.insert(number.begin(), '1');
        else
            ++number[i - 1];
        const size_t width = *m_widths.rbegin();
        if (number.size() < width)
            number.insert(0, width - number.size(), '0');
        return number;
    }

private:
    void update(std::string_view employeeID, int change)
    {
        const std::string number = Text::trimmed(employeeID);
        if (number.empty() || number.find_first_not_of("0123456789") != std::string::npos)
            return;
        const size_t firstDigit = std::min(number.find_first_not_of('0'), number.size() - 1);
        std::pair<size_t, std::string> value{number.size() - firstDigit, number.substr(firstDigit)};
        if (change > 0) {
            m_values.insert(std::move(value));
            m_widths.insert(number.size());
            return;
        }
        if (auto found = m_values.find(value); found != m_values.end())
            m_values.erase(found);
        if (auto found = m_widths.find(number.size()); found != m_widths.end())
            m_widths.erase(found);
    }

    std::multiset<std::pair<size_t, std::string>> m_values; // digits without leading zeros, by value
    std::multiset<size_t> m_widths;
};

class QuickEntryCommit {
public:
    QuickEntryCommit(const OrganizationArchive &archive, const std::vector<QuickEntryRow> &rows,
                     const std::string &sheetID)
        : m_working(archive)
        , m_rows(rows)
        , m_sheetID(sheetID)
        , m_numbers(m_working.organization.positions)
    {
        for (size_t i = 0; i < positions().size(); ++i)
            m_indexByID.emplace(positions()[i].id, i);
        if (const OrganizationSheet *chart = sheet())
            m_onSheet.insert(chart->positionIDs.begin(), chart->positionIDs.end());
    }

    // Throws the problems of every row at once; the archive is left as it was.
    std::vector<Position> run(OrganizationArchive &archive)
    {
        for (size_t i = 0; i < m_rows.size(); ++i)
            commitRow(i);
        const People people = indexPeople();
        for (const Done &entry : m_done)
            resolveManager(entry, people);
        if (m_problems.empty()) {
            try {
                m_working.organization.validate();
            } catch (const OrganizationError &error) {
                m_problems.push_back(error.message());
            }
        }
        if (!m_problems.empty())
            fail(joinedProblems());

        m_working.reconcileSheetTransfers(archive.organization);
        std::unordered_set<std::string> doneIDs;
        for (const Done &entry : m_done)
            doneIDs.insert(positions()[entry.positionIndex].id);
        std::vector<Position> result;
        for (const Position &p : positions()) {
            if (doneIDs.contains(p.id))
                result.push_back(p);
        }
        archive = std::move(m_working);
        return result;
    }

private:
    struct Done {
        size_t rowIndex;
        QuickEntryRow row; // as used, with the department it may have taken from its manager
        size_t positionIndex;
    };

    std::vector<Position> &positions() { return m_working.organization.positions; }

    std::string rowPrefix(size_t rowIndex) const { return "Row " + std::to_string(rowIndex + 1) + ": "; }

    std::string joinedProblems() const
    {
        std::string message;
        for (size_t i = 0; i < m_problems.size(); ++i) {
            if (i > 0)
                message += '\n';
            message += m_problems[i];
        }
        return message;
    }

    OrganizationSheet *sheet() { return m_working.sheet(m_sheetID); }

    // Built when a row first needs it: grids whose departments are filled in never pay for it.
    const QuickEntryLiveRows &pool()
    {
        if (!m_pool)
            m_pool.emplace(positions(), m_rows);
        return *m_pool;
    }

    void commitRow(size_t rowIndex)
    {
        QuickEntryRow row = m_rows[rowIndex];
        try {
            row.manager = Text::canonicalForm(row.manager);
            if (Text::isBlank(row.department))
                row.selectManager(row.manager, pool());
            const bool blankNewRow = !row.originalPosition && !row.vacant && row.quantity == 1 &&
                                     Text::isBlank(row.name) && Text::isBlank(row.title) && Text::isBlank(row.jobTitle());
            if (blankNewRow)
                return;
            if (row.quantity < 1 || row.quantity > 1000)
                fail("Quantity must be a whole number from 1 to 1,000.");
            if (row.quantity != 1 && (!row.vacant || row.originalPosition))
                fail("Quantity greater than 1 is only allowed when adding new vacant positions.");
            if (row.vacant && !Text::isBlank(row.name))
                fail("Vacant positions cannot have an employee name.");
            if (row.originalPosition)
                updateExisting(rowIndex, row);
            else if (!row.vacant)
                addPerson(rowIndex, row);
            else
                addVacancies(rowIndex, row);
        } catch (const OrganizationError &error) {
            m_problems.push_back(rowPrefix(rowIndex) + error.message());
        }
    }

    void updateExisting(size_t rowIndex, const QuickEntryRow &row)
    {
        const Position &original = *row.originalPosition;
        auto found = m_indexByID.find(original.id);
        const OrganizationSheet *chart = sheet();
        const bool unchanged = found != m_indexByID.end() && positions()[found->second] == original;
        if (!unchanged || !chart || !m_onSheet.contains(original.id))
            fail("This position changed or left the sheet. Close and reopen the grid before editing it.");

        Position position = positions()[found->second];
        const std::string title = Text::trimmed(row.title);
        const std::optional<std::string> jobTitle =
            row.customJobTitle ? std::optional(Text::trimmed(*row.customJobTitle)) : std::nullopt;
        if (title.empty() || (jobTitle && jobTitle->empty()))
            fail("Enter a Pay Level and Job Title.");
        const std::string name = Text::trimmed(row.name);
        if (row.vacant) {
            if (position.employee)
                m_numbers.remove(position.employee->id);
            position.employee.reset();
        } else if (name.empty()) {
            fail("Enter the employee name. Use Edit Person to mark a position vacant.");
        } else if (position.employee) {
            position.employee->name = name;
        } else {
            position.employee = Employee{.id = m_numbers.next(), .name = name};
            m_numbers.add(position.employee->id);
        }
        position.title = title;
        position.customJobTitle = jobTitle;
        position.department = Text::trimmed(row.department);
        position.location = Text::trimmed(row.location);
        positions()[found->second] = std::move(position);
        m_done.push_back({rowIndex, row, found->second});
    }

    // As the archive's single quick add: trimmed texts, the next employee number and a
    // "P-<number>" id, listed on the chart.
    void addPerson(size_t rowIndex, const QuickEntryRow &row)
    {
        const std::string name = Text::trimmed(row.name);
        const std::string title = Text::trimmed(row.title);
        if (name.empty() || title.empty())
            fail("Enter an employee name and title.");
        if (!sheet())
            fail("Choose a sheet before adding people.");
        const std::string number = m_numbers.next();
        std::string id = "P-" + number;
        for (int suffix = 2; m_indexByID.contains(id); ++suffix)
            id = "P-" + number + "-" + std::to_string(suffix);

        Position position{.id = id, .title = title, .department = Text::trimmed(row.department)};
        position.employee = Employee{.id = number, .name = name};
        position.location = Text::trimmed(row.location);
        position.isAssistant = false;
        if (row.customJobTitle)
            position.customJobTitle = Text::trimmed(*row.customJobTitle);
        m_numbers.add(number);
        append(std::move(position));
        m_done.push_back({rowIndex, row, positions().size() - 1});
    }

    // As the archive's addPositions: the entered id, then numbered copies "<id>-2", "-3"...
    // skipping ids in use, all listed on the chart.
    void addVacancies(size_t rowIndex, const QuickEntryRow &row)
    {
        if (!sheet())
            fail("The selected chart no longer exists.");
        Position position{.id = "P-V-" + makeUUID(), .title = Text::trimmed(row.title),
                          .department = Text::trimmed(row.department)};
        if (row.customJobTitle)
            position.customJobTitle = Text::trimmed(*row.customJobTitle);
        position.location = Text::trimmed(row.location);
        if (m_indexByID.contains(position.id))
            fail("Position ID " + position.id + " already exists. Enter a unique Position ID.");
        // The one rule of the final validation a new vacancy can break; checked here so that
        // the row gets its own line and no manager line.
        if (Text::isBlank(position.title) || Text::isBlank(position.jobTitle()))
            fail(position.id + " needs a Pay Level and Job Title.");

        const std::string base = position.id;
        int suffix = 2;
        for (int copy = 0; copy < row.quantity; ++copy) {
            if (copy > 0) {
                while (m_indexByID.contains(base + "-" + std::to_string(suffix)))
                    ++suffix;
                position.id = base + "-" + std::to_string(suffix++);
            }
            append(position);
            m_done.push_back({rowIndex, row, positions().size() - 1});
        }
    }

    void append(Position position)
    {
        sheet()->positionIDs.push_back(position.id);
        m_onSheet.insert(position.id);
        m_indexByID.emplace(position.id, positions().size());
        positions().push_back(std::move(position));
        if (m_pool)
            m_pool->positionAdded(positions().size() - 1);
    }

    // Who a manager text may name once every row has its position.
    struct People {
        std::unordered_map<std::string, std::vector<size_t>> byID;
        std::unordered_map<std::string, std::vector<size_t>> byDraftKey; // "draft:" + new row id
        std::unordered_map<std::string, std::vector<size_t>> byFoldedName;
    };

    People indexPeople()
    {
        People people;
        for (size_t i = 0; i < positions().size(); ++i) {
            const Position &p = positions()[i];
            if (!p.employee || Text::isBlank(p.employee->name))
                continue;
            people.byID[p.id].push_back(i);
            people.byFoldedName[Text::caseFolded(p.employee->name)].push_back(i);
        }
        for (const Done &entry : m_done) {
            if (!entry.row.originalPosition && !Text::isBlank(entry.row.name))
                people.byDraftKey[entry.row.key()].push_back(entry.positionIndex);
        }
        return people;
    }

    // A vacancy is never a manager. An id or an option's bracketed key is preferred to a new
    // row's key, which is preferred to a name.
    static std::vector<size_t> candidates(const People &people, const std::string &text)
    {
        const std::vector<std::string_view> keys = QuickEntryLiveRows::bracketedKeys(text);
        std::set<size_t> found;
        auto collect = [&](const std::unordered_map<std::string, std::vector<size_t>> &map, std::string_view key) {
            if (auto hit = map.find(std::string(key)); hit != map.end())
                found.insert(hit->second.begin(), hit->second.end());
        };
        collect(people.byID, text);
        for (std::string_view key : keys)
            collect(people.byID, key);
        if (found.empty()) {
            for (std::string_view key : keys)
                collect(people.byDraftKey, key);
        }
        if (found.empty())
            collect(people.byFoldedName, Text::caseFolded(text));
        return {found.begin(), found.end()};
    }

    void resolveManager(const Done &entry, const People &people)
    {
        Position &position = positions()[entry.positionIndex];
        const std::string text = Text::trimmed(entry.row.manager);
        if (text.empty()) {
            position.managerID.reset();
            return;
        }
        // An untouched manager cell holds the current manager's id: keep that manager even
        // when it is vacant, or a chart with a vacant manager could never be saved.
        const std::optional<Position> &original = entry.row.originalPosition;
        if (original && original->managerID && Text::trimmed(*original->managerID) == text)
            return;
        const std::vector<size_t> found = candidates(people, text);
        if (found.size() == 1) {
            position.managerID = positions()[found.front()].id;
            return;
        }
        m_problems.push_back(rowPrefix(entry.rowIndex) + "manager '" + text + "' is " +
                             (found.empty() ? "unknown" : "ambiguous") +
                             ". Choose a manager or enter a Position ID.");
    }

    OrganizationArchive m_working;
    const std::vector<QuickEntryRow> &m_rows;
    std::string m_sheetID;
    std::optional<QuickEntryLiveRows> m_pool; // refers to m_working's positions
    EmployeeNumbers m_numbers;
    std::unordered_map<std::string, size_t> m_indexByID;
    std::unordered_set<std::string> m_onSheet; // ids listed on the chart being edited
    std::vector<std::string> m_problems;
    std::vector<Done> m_done;
};

} // namespace

std::vector<Position> OrganizationArchive::quickAdd(const std::vector<QuickEntryRow> &rows, const std::string &sheetID)
{
    requireCurrentEditing();
    QuickEntryCommit commit(*this, rows, sheetID);
    return commit.run(*this);
}
