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

namespace {

// The first reference of `p` to a manager that is itself or names no position, if any:
// the primary manager first, then the dotted ones in stored order.
template <typename IsPositionID>
const std::string *invalidManager(const Position &p, const IsPositionID &isPositionID)
{
    const auto invalid = [&](const std::string &m) { return m == p.id || !isPositionID(m); };
    if (p.managerID && invalid(*p.managerID))
        return &*p.managerID;
    for (const std::string &m : p.dottedManagerIDs) {
        if (invalid(m))
            return &m;
    }
    return nullptr;
}

// The message of the first rule that `p` breaks on its own (fields, managers, employee
// number, schools), in the order validate() checks them. Both validations go through here,
// so a rule written here holds for both. `isPositionID(id)` says whether a position has the
// id; `claimNumber(number)` takes the trimmed employee number for `p`, false when another
// position holds it. Cost: the rows of `p` and one call of each per reference and number.
template <typename IsPositionID, typename ClaimNumber>
std::optional<std::string> positionProblem(const Position &p, const IsPositionID &isPositionID,
                                           ClaimNumber &&claimNumber)
{
    if (Text::isBlank(p.title) || Text::isBlank(p.jobTitle()))
        return p.id + " needs a Pay Level and Job Title.";
    if (Text::isBlank(p.id))
        return "Position IDs cannot be blank.";
    if (!std::isfinite(p.fte) || p.fte <= 0)
        return p.id + " needs a positive FTE.";
    if (const std::string *m = invalidManager(p, isPositionID))
        return p.id + " references an invalid manager: " + *m + ".";

    if (p.employee) {
        const std::string number = Text::trimmed(p.employee->id);
        if (number.empty())
            return "Employee numbers cannot be blank.";
        if (!claimNumber(number))
            return "Employee number " + number +
                   " is already assigned to another position. Enter a unique employee number.";
    }

    if (!p.schoolAssignments.empty()) {
        if (!std::all_of(p.schoolAssignments.begin(), p.schoolAssignments.end(), isValidSchoolRow))
            return p.id + " has an invalid school assignment.";
        double sum = 0.0;
        for (const SchoolAssignment &row : p.schoolAssignments)
            sum += row.fte;
        if (!(std::abs(sum - p.fte) < 1e-6))
            return "School assignment FTE must total " + p.id + "'s position FTE.";
    }
    return std::nullopt;
}

// What a walk up the primary chain does at a position it reaches.
enum class Reached { goOn, stop, cycle };

// Follows primary managers up from positions[start], handing each position reached to
// `reach`, until a manager is absent or names no position, or `reach` stops the walk.
// Returns the manager id at which `reach` saw a cycle, or null. A loop, not recursion: a
// chain can run the length of the district.
template <typename IndexByID, typename Reach>
const std::string *primaryCycle(const std::vector<Position> &positions, size_t start, const IndexByID &indexByID,
                                Reach &&reach)
{
    for (size_t current = start;;) {
        const std::optional<std::string> &managerID = positions[current].managerID;
        if (!managerID)
            return nullptr;
        const std::optional<size_t> next = indexByID.find(*managerID);
        if (!next)
            return nullptr;
        switch (reach(*next)) {
        case Reached::goOn: current = *next; break;
        case Reached::stop: return nullptr;
        case Reached::cycle: return &*managerID;
        }
    }
}

auto tableOfIDs(const std::vector<Position> &positions)
{
    return TextTable(positions.size(), [&positions](size_t i) { return std::string_view(positions[i].id); });
}

} // namespace

void Organization::validate() const
{
    auto indexByID = tableOfIDs(positions);
    bool unique = true;
    for (size_t i = 0; i < positions.size(); ++i)
        unique = indexByID.add(i) && unique;
    if (!unique)
        fail("Position IDs must be unique.");
    const auto isPositionID = [&indexByID](const std::string &id) { return indexByID.find(id).has_value(); };

    std::vector<std::string> numbers(positions.size()); // trimmed employee numbers
    TextTable employeeNumbers(positions.size(), [&numbers](size_t i) { return std::string_view(numbers[i]); });
    // Walk state for the cycle check: a position whose whole primary chain is known to end
    // without a cycle is marked safe, so each chain link is walked once over the whole pass.
    enum class Walk : unsigned char { unvisited, onPath, safe };
    std::vector<Walk> walk(positions.size(), Walk::unvisited);
    std::vector<size_t> path;

    for (size_t index = 0; index < positions.size(); ++index) {
        const auto claimNumber = [&](const std::string &number) {
            numbers[index] = number;
            return employeeNumbers.add(index);
        };
        // The hint keeps building a message off the path every position takes.
        if (std::optional<std::string> problem = positionProblem(positions[index], isPositionID, claimNumber))
            [[unlikely]] fail(std::move(*problem));

        if (walk[index] == Walk::safe)
            continue;
        path.assign(1, index);
        walk[index] = Walk::onPath;
        const std::string *cycle = primaryCycle(positions, index, indexByID, [&](size_t reached) {
            if (walk[reached] == Walk::safe)
                return Reached::stop;
            if (walk[reached] == Walk::onPath)
                return Reached::cycle;
            walk[reached] = Walk::onPath;
            path.push_back(reached);
            return Reached::goOn;
        });
        if (cycle)
            fail("Primary reporting relationships contain a cycle at " + *cycle + ".");
        for (size_t i : path)
            walk[i] = Walk::safe;
    }
}

namespace {

// Whether organization.positions[index], which replaced `before` or, without it, was
// appended, keeps a valid organization valid. False may also mean only "not sure": the
// caller then validates the whole.
bool changeKeepsValid(const Organization &organization, size_t index, const Position *before)
{
    const std::vector<Position> &positions = organization.positions;
    const Position &p = positions[index];
    if (before && p.id != before->id)
        return false;
    // An appended id must be new.
    if (!before) {
        for (size_t i = 0; i < positions.size(); ++i) {
            if (i != index && positions[i].id == p.id)
                return false;
        }
    }

    // Every other position is as it was in a valid organization: a manager that `before`
    // named still exists, and the number `before` held is held by no other position.
    const auto isPositionID = [&](const std::string &id) {
        if (before && (before->managerID == id || std::find(before->dottedManagerIDs.begin(),
                                                            before->dottedManagerIDs.end(),
                                                            id) != before->dottedManagerIDs.end()))
            return true;
        return std::any_of(positions.begin(), positions.end(), [&](const Position &q) { return q.id == id; });
    };
    const auto claimNumber = [&](const std::string &number) {
        if (before && before->employee && Text::trimmed(before->employee->id) == number)
            return true;
        for (size_t i = 0; i < positions.size(); ++i) {
            const std::optional<Employee> &other = positions[i].employee;
            // Only a text that holds the number can trim to it.
            if (i != index && other && other->id.find(number) != std::string::npos &&
                Text::trimmed(other->id) == number)
                return false;
        }
        return true;
    };
    if (positionProblem(p, isPositionID, claimNumber))
        return false;
    // Nobody reports to an appended position, so no chain can come back to it.
    if (!before || !p.managerID || p.managerID == before->managerID)
        return true;

    // A new primary manager makes a cycle exactly when its chain comes back to the
    // position: every other chain was already free of cycles.
    auto indexByID = tableOfIDs(positions);
    for (size_t i = 0; i < positions.size(); ++i)
        indexByID.add(i);
    size_t steps = 0; // bounds the walk only should the organization not have been valid
    return !primaryCycle(positions, index, indexByID, [&](size_t reached) {
        return reached == index || ++steps > positions.size() ? Reached::cycle : Reached::goOn;
    });
}

} // namespace

void Organization::validateReplacement(size_t index, const Position &before) const
{
    if (!changeKeepsValid(*this, index, &before))
        validate();
}

void Organization::validateAddition(size_t index) const
{
    if (!changeKeepsValid(*this, index, nullptr))
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
