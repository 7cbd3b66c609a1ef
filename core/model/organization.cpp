#include "core/model/organization.h"

#include "core/support/text.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <optional>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

const char *proposalChangeKindName(ProposalChangeKind kind)
{
    switch (kind) {
    case ProposalChangeKind::added: return "added";
    case ProposalChangeKind::deleted: return "deleted";
    case ProposalChangeKind::moved: return "moved";
    case ProposalChangeKind::modified: return "modified";
    }
    return "";
}

namespace {

[[noreturn]] void fail(std::string message)
{
    throw OrganizationError::invalid(std::move(message));
}

bool isValidSchoolRow(const SchoolAssignment &row)
{
    return !Text::isBlank(row.school) && std::isfinite(row.fte) && row.fte > 0;
}

// Texts found by their place in a list, in one open-addressed table: validation runs on
// every edit, and a node per text would cost an allocation each.
template <typename TextOf>
class TextTable {
public:
    // `textOf(i)` gives the i-th text, which must outlive the table.
    TextTable(size_t count, TextOf textOf)
        : m_slots(std::bit_ceil(std::max<size_t>(2 * count, 16)), 0)
        , m_textOf(std::move(textOf))
    {
    }

    // The first place added with `text`, if any.
    std::optional<size_t> find(std::string_view text) const
    {
        const size_t mask = m_slots.size() - 1;
        for (size_t slot = std::hash<std::string_view>{}(text) & mask; m_slots[slot]; slot = (slot + 1) & mask) {
            if (m_textOf(m_slots[slot] - 1) == text)
                return m_slots[slot] - 1;
        }
        return std::nullopt;
    }
    // Adds `index` under its text; false, adding nothing, when the text is already there.
    bool add(size_t index)
    {
        const std::string_view text = m_textOf(index);
        const size_t mask = m_slots.size() - 1;
        size_t slot = std::hash<std::string_view>{}(text) & mask;
        for (; m_slots[slot]; slot = (slot + 1) & mask) {
            if (m_textOf(m_slots[slot] - 1) == text)
                return false;
        }
        m_slots[slot] = index + 1;
        return true;
    }

private:
    std::vector<size_t> m_slots; // place + 1; 0 is empty
    TextOf m_textOf;
};

} // namespace

void canonicalizeIdentifiers(Position &position)
{
    position.id = Text::canonicalForm(position.id);
    if (position.managerID)
        position.managerID = Text::canonicalForm(*position.managerID);
    for (std::string &id : position.dottedManagerIDs)
        id = Text::canonicalForm(id);
    if (position.employee)
        position.employee->id = Text::canonicalForm(position.employee->id);
}

void Organization::validate() const
{
    TextTable indexByID(positions.size(), [this](size_t i) { return std::string_view(positions[i].id); });
    bool unique = true;
    for (size_t i = 0; i < positions.size(); ++i)
        unique = indexByID.add(i) && unique;
    if (!unique)
        fail("Position IDs must be unique.");

    std::vector<std::string> numbers(positions.size()); // trimmed employee numbers
    TextTable employeeNumbers(positions.size(), [&numbers](size_t i) { return std::string_view(numbers[i]); });
    // Walk state for the cycle check: a position whose whole primary chain is known to end
    // without a cycle is marked safe, so each chain link is walked once over the whole pass.
    enum class Walk : unsigned char { unvisited, onPath, safe };
    std::vector<Walk> walk(positions.size(), Walk::unvisited);
    std::vector<size_t> path;

    for (size_t index = 0; index < positions.size(); ++index) {
        const Position &p = positions[index];
        if (Text::isBlank(p.title) || Text::isBlank(p.jobTitle()))
            fail(p.id + " needs a Pay Level and Job Title.");
        if (Text::isBlank(p.id))
            fail("Position IDs cannot be blank.");
        if (!std::isfinite(p.fte) || p.fte <= 0)
            fail(p.id + " needs a positive FTE.");

        auto checkManager = [&](const std::string &m) {
            if (m == p.id || !indexByID.find(m))
                fail(p.id + " references an invalid manager: " + m + ".");
        };
        if (p.managerID)
            checkManager(*p.managerID);
        for (const std::string &m : p.dottedManagerIDs)
            checkManager(m);

        if (p.employee) {
            numbers[index] = Text::trimmed(p.employee->id);
            if (numbers[index].empty())
                fail("Employee numbers cannot be blank.");
            if (!employeeNumbers.add(index))
                fail("Employee number " + numbers[index] +
                     " is already assigned to another position. Enter a unique employee number.");
        }

        if (!p.schoolAssignments.empty()) {
            for (const SchoolAssignment &row : p.schoolAssignments) {
                if (!isValidSchoolRow(row))
                    fail(p.id + " has an invalid school assignment.");
            }
            double sum = 0.0;
            for (const SchoolAssignment &row : p.schoolAssignments)
                sum += row.fte;
            if (!(std::abs(sum - p.fte) < 1e-6))
                fail("School assignment FTE must total " + p.id + "'s position FTE.");
        }

        if (walk[index] == Walk::safe)
            continue;
        path.clear();
        path.push_back(index);
        walk[index] = Walk::onPath;
        size_t current = index;
        while (true) {
            const auto &managerID = positions[current].managerID;
            if (!managerID)
                break;
            const std::optional<size_t> found = indexByID.find(*managerID);
            if (!found)
                break;
            const size_t next = *found;
            if (walk[next] == Walk::safe)
                break;
            if (walk[next] == Walk::onPath)
                fail("Primary reporting relationships contain a cycle at " + *managerID + ".");
            walk[next] = Walk::onPath;
            path.push_back(next);
            current = next;
        }
        for (size_t i : path)
            walk[i] = Walk::safe;
    }
}

namespace {

// Whether replacing `before` by organization.positions[index] keeps a valid organization
// valid. False may also mean only "not sure": the caller then validates the whole.
bool replacementKeepsValid(const Organization &organization, size_t index, const Position &before)
{
    const std::vector<Position> &positions = organization.positions;
    const Position &p = positions[index];
    if (p.id != before.id || Text::isBlank(p.id) || Text::isBlank(p.title) || Text::isBlank(p.jobTitle()) ||
        !std::isfinite(p.fte) || p.fte <= 0)
        return false;

    const auto exists = [&](const std::string &id) {
        return std::any_of(positions.begin(), positions.end(), [&](const Position &q) { return q.id == id; });
    };
    if (p.managerID != before.managerID || p.dottedManagerIDs != before.dottedManagerIDs) {
        if (p.managerID && (*p.managerID == p.id || !exists(*p.managerID)))
            return false;
        for (const std::string &m : p.dottedManagerIDs) {
            if (m == p.id || !exists(m))
                return false;
        }
    }

    if (p.employee) {
        const std::string number = Text::trimmed(p.employee->id);
        if (number.empty())
            return false;
        if (!before.employee || Text::trimmed(before.employee->id) != number) {
            for (size_t i = 0; i < positions.size(); ++i) {
                const std::optional<Employee> &other = positions[i].employee;
                // Only a text that holds the number can trim to it.
                if (i != index && other && other->id.find(number) != std::string::npos &&
                    Text::trimmed(other->id) == number)
                    return false;
            }
        }
    }

    if (!p.schoolAssignments.empty()) {
        double sum = 0.0;
        for (const SchoolAssignment &row : p.schoolAssignments) {
            if (!isValidSchoolRow(row))
                return false;
            sum += row.fte;
        }
        if (!(std::abs(sum - p.fte) < 1e-6))
            return false;
    }

    // A new primary manager makes a cycle exactly when its chain comes back to the
    // position: every other chain was already free of cycles.
    if (p.managerID && p.managerID != before.managerID) {
        TextTable indexByID(positions.size(), [&positions](size_t i) { return std::string_view(positions[i].id); });
        for (size_t i = 0; i < positions.size(); ++i)
            indexByID.add(i);
        std::optional<size_t> current = indexByID.find(*p.managerID);
        for (size_t steps = 0; current; ++steps) {
            if (*current == index || steps > positions.size())
                return false;
            const std::optional<std::string> &next = positions[*current].managerID;
            current = next ? indexByID.find(*next) : std::nullopt;
        }
    }
    return true;
}

} // namespace

void Organization::validateReplacement(size_t index, const Position &before) const
{
    if (!replacementKeepsValid(*this, index, before))
        validate();
}

Organization Organization::focused(const std::set<std::string> &ids) const
{
    std::unordered_map<std::string_view, std::vector<size_t>> reportsByManager;
    reportsByManager.reserve(positions.size());
    for (size_t i = 0; i < positions.size(); ++i) {
        const std::string_view manager = positions[i].managerID ? std::string_view(*positions[i].managerID) : "";
        reportsByManager[manager].push_back(i);
    }

    std::unordered_set<std::string_view> kept;
    std::vector<std::string_view> work(ids.begin(), ids.end());
    while (!work.empty()) {
        const std::string_view id = work.back();
        work.pop_back();
        if (!kept.insert(id).second)
            continue;
        auto reports = reportsByManager.find(id);
        if (reports == reportsByManager.end())
            continue;
        for (size_t i : reports->second)
            work.push_back(positions[i].id);
    }

    Organization result;
    for (const Position &p : positions) {
        if (!kept.contains(p.id))
            continue;
        Position copy = p;
        if (copy.managerID && !kept.contains(*copy.managerID))
            copy.managerID.reset();
        std::erase_if(copy.dottedManagerIDs, [&](const std::string &m) { return !kept.contains(m); });
        result.positions.push_back(std::move(copy));
    }
    return result;
}

namespace {

bool isAllASCIIDigits(std::string_view text)
{
    if (text.empty())
        return false;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
    }
    return true;
}

} // namespace

std::string Organization::nextEmployeeNumber() const
{
    size_t width = 0;
    std::string greatest;
    bool any = false;
    for (const Position &p : positions) {
        if (!p.employee)
            continue;
        const std::string number = Text::trimmed(p.employee->id);
        if (!isAllASCIIDigits(number))
            continue;
        width = std::max(width, number.size());
        std::string stripped = number.substr(std::min(number.find_first_not_of('0'), number.size() - 1));
        const bool greater = !any || stripped.size() > greatest.size() ||
                             (stripped.size() == greatest.size() && stripped > greatest);
        if (greater)
            greatest = std::move(stripped);
        any = true;
    }
    if (!any)
        return "1";

    std::string next = greatest;
    size_t i = next.size();
    while (true) {
        if (i == 0) {
            next.insert(next.begin(), '1');
            break;
        }
        --i;
        if (next[i] == '9') {
            next[i] = '0';
            continue;
        }
        ++next[i];
        break;
    }
    if (next.size() < width)
        next.insert(0, width - next.size(), '0');
    return next;
}
