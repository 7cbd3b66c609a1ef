#include "core/model/department_directory.h"

#include "core/model/employee_directory.h"
#include "core/support/text.h"

#include <map>
#include <unordered_map>
#include <utility>

DepartmentGroup::DepartmentGroup(std::string name, std::vector<Position> members)
    : id(std::move(name)), positions(std::move(members))
{
}

DepartmentGroup::DepartmentGroup(const DepartmentGroup &other)
    : id(other.id), positions(other.positions)
{
    // Level by level: each pair is a source node whose children still have to be copied.
    std::vector<std::pair<const DepartmentGroup *, DepartmentGroup *>> work{{&other, this}};
    while (!work.empty()) {
        const auto [from, to] = work.back();
        work.pop_back();
        // Reserved up front: the pointers handed to `work` must stay valid.
        to->children.reserve(from->children.size());
        for (const DepartmentGroup &child : from->children)
            to->children.emplace_back(child.id, child.positions);
        for (size_t i = 0; i < from->children.size(); ++i)
            work.emplace_back(&from->children[i], &to->children[i]);
    }
}

DepartmentGroup &DepartmentGroup::operator=(const DepartmentGroup &other)
{
    if (this != &other) {
        DepartmentGroup copy(other);
        *this = std::move(copy);
    }
    return *this;
}

DepartmentGroup::~DepartmentGroup()
{
    // Detach every node's children before the node dies, so no destructor below this one
    // has children left to destroy.
    std::vector<DepartmentGroup> pending = std::move(children);
    while (!pending.empty()) {
        DepartmentGroup node = std::move(pending.back());
        pending.pop_back();
        for (DepartmentGroup &child : node.children)
            pending.push_back(std::move(child));
        node.children.clear();
    }
}

size_t DepartmentGroup::count() const
{
    size_t total = 0;
    std::vector<const DepartmentGroup *> work{this};
    while (!work.empty()) {
        const DepartmentGroup *node = work.back();
        work.pop_back();
        total += node->positions.size();
        for (const DepartmentGroup &child : node->children)
            work.push_back(&child);
    }
    return total;
}

bool DepartmentGroup::operator==(const DepartmentGroup &other) const
{
    std::vector<std::pair<const DepartmentGroup *, const DepartmentGroup *>> work{{this, &other}};
    while (!work.empty()) {
        const auto [a, b] = work.back();
        work.pop_back();
        if (a->id != b->id || a->positions != b->positions || a->children.size() != b->children.size())
            return false;
        for (size_t i = 0; i < a->children.size(); ++i)
            work.emplace_back(&a->children[i], &b->children[i]);
    }
    return true;
}

namespace DepartmentDirectory {

namespace {

constexpr int none = -1;
constexpr int unresolved = -2;
constexpr int walking = -3;

// What one step of a walk up a chain learns about a node: its value, or that its value is
// the value of `next`.
struct Step {
    bool decided = false;
    int value = none;
    size_t next = 0;

    static Step result(int value) { return Step{true, value, 0}; }
    static Step follow(size_t next) { return Step{false, none, next}; }
};

// The value of every node 0..<count, following each chain link once over all nodes. A chain
// that comes back to itself before anything is decided gives `none`, as a walk that stops
// at an id it has already met does.
template <typename StepFunction>
std::vector<int> resolveChains(size_t count, StepFunction step)
{
    std::vector<int> value(count, unresolved);
    std::vector<size_t> path;
    for (size_t start = 0; start < count; ++start) {
        path.clear();
        size_t current = start;
        int found = none;
        while (true) {
            if (value[current] == walking)
                break;
            if (value[current] != unresolved) {
                found = value[current];
                break;
            }
            const Step s = step(current);
            if (s.decided) {
                found = s.value;
                break;
            }
            value[current] = walking;
            path.push_back(current);
            current = s.next;
        }
        if (value[current] == unresolved)
            value[current] = found;
        for (size_t node : path)
            value[node] = found;
    }
    return value;
}

// The listed departments in ascending plain order, with their listed positions.
struct Listed {
    std::vector<std::string> names;
    std::vector<std::vector<Position>> members;
};

Listed listDepartments(const std::vector<Position> &positions)
{
    std::map<std::string, std::vector<Position>> byName;
    for (const Position &p : positions)
        byName[departmentName(p.department)].push_back(p);
    Listed listed;
    for (auto &[name, members] : byName) {
        listed.names.push_back(name);
        listed.members.push_back(std::move(members));
    }
    return listed;
}

// The parent department of each of `k` listed departments, or none, from every position's
// primary manager and listed department (indexes into the organization, or none).
std::vector<int> parentDepartments(size_t k, const std::vector<int> &manager, const std::vector<int> &department)
{
    const size_t n = manager.size();
    // The first position at or above each position that belongs to a listed department.
    const std::vector<int> listedAbove = resolveChains(n, [&](size_t x) {
        if (department[x] != none)
            return Step::result(static_cast<int>(x));
        return manager[x] == none ? Step::result(none) : Step::follow(static_cast<size_t>(manager[x]));
    });
    // For a position of listed department D: the first other listed department up its chain.
    // Positions of D on the way pass the question on, so each chain is walked once.
    const std::vector<int> reached = resolveChains(n, [&](size_t x) {
        if (department[x] == none || manager[x] == none)
            return Step::result(none);
        const int above = listedAbove[static_cast<size_t>(manager[x])];
        if (above == none)
            return Step::result(none);
        if (department[static_cast<size_t>(above)] != department[x])
            return Step::result(department[static_cast<size_t>(above)]);
        return Step::follow(static_cast<size_t>(above));
    });

    // A department nests only when all of its positions agree on one listed department.
    std::vector<int> vote(k, unresolved);
    std::vector<bool> disagree(k, false);
    for (size_t x = 0; x < n; ++x) {
        if (department[x] == none)
            continue;
        int &v = vote[static_cast<size_t>(department[x])];
        if (v == unresolved)
            v = reached[x];
        else if (v != reached[x])
            disagree[static_cast<size_t>(department[x])] = true;
    }
    std::vector<int> parent(k, none);
    for (size_t d = 0; d < k; ++d) {
        if (!disagree[d] && vote[d] >= 0)
            parent[d] = vote[d];
    }
    return parent;
}

// Guard against loops of parents, which a validated organization cannot produce: a
// department whose chain of parents comes back on itself loses its parent. Departments are
// examined in name order so that the same input always gives the same tree.
void breakLoops(std::vector<int> &parent)
{
    const size_t k = parent.size();
    std::vector<bool> reachesRoot(k, false);
    std::vector<size_t> metBy(k, k);
    std::vector<size_t> path;
    for (size_t d = 0; d < k; ++d) {
        path.clear();
        size_t current = d;
        bool loop = false;
        while (!reachesRoot[current]) {
            if (metBy[current] == d) {
                loop = true;
                break;
            }
            metBy[current] = d;
            path.push_back(current);
            if (parent[current] == none)
                break;
            current = static_cast<size_t>(parent[current]);
        }
        if (loop) {
            parent[d] = none;
            // Only when d itself closed the loop does every department on the walk now end at d.
            if (current != d) {
                reachesRoot[d] = true;
                continue;
            }
        }
        for (size_t node : path)
            reachesRoot[node] = true;
    }
}

} // namespace

std::string departmentName(std::string_view department)
{
    std::string name = Text::trimmed(department);
    return name.empty() ? std::string("Unassigned") : name;
}

std::vector<DepartmentGroup> groups(const std::vector<Position> &positions, const std::vector<Position> &allPositions,
                                    EmployeeDirectory::SortKeys *keys)
{
    return Nesting(allPositions, keys).groups(positions);
}

Nesting::Nesting(const std::vector<Position> &allPositions, EmployeeDirectory::SortKeys *keys)
    : m_keys(keys)
{
    const size_t n = allPositions.size();
    std::unordered_map<std::string_view, size_t> indexByID;
    indexByID.reserve(n);
    for (size_t i = 0; i < n; ++i)
        indexByID.emplace(allPositions[i].id, i); // the first of equal ids wins
    m_manager.assign(n, none);
    m_department.resize(n);
    for (size_t i = 0; i < n; ++i) {
        if (allPositions[i].managerID) {
            if (auto found = indexByID.find(*allPositions[i].managerID); found != indexByID.end())
                m_manager[i] = static_cast<int>(found->second);
        }
        // try_emplace: a department seen before costs no new entry.
        const auto [name, isNew] =
            m_departmentIndex.try_emplace(departmentName(allPositions[i].department), int(m_departmentIndex.size()));
        m_department[i] = name->second;
    }
}

std::vector<DepartmentGroup> Nesting::groups(const std::vector<Position> &positions)
{
    Listed listed = listDepartments(positions);
    const size_t k = listed.names.size();
    const std::vector<int> &parent = parents(listed.names);

    std::vector<std::vector<size_t>> children(k);
    std::vector<size_t> order; // roots first, then breadth first: parents before children
    for (size_t d = 0; d < k; ++d) {
        if (parent[d] == none)
            order.push_back(d);
        else
            children[static_cast<size_t>(parent[d])].push_back(d);
    }
    const size_t rootCount = order.size();
    for (size_t i = 0; i < order.size(); ++i)
        order.insert(order.end(), children[order[i]].begin(), children[order[i]].end());

    std::vector<DepartmentGroup> nodes;
    nodes.reserve(k);
    for (size_t d = 0; d < k; ++d)
        nodes.emplace_back(listed.names[d], EmployeeDirectory::sorted(std::move(listed.members[d]), m_keys));
    // Children come after their parent in `order`, so walking it backwards finishes every
    // subtree before it moves into its parent.
    for (size_t i = order.size(); i-- > 0;) {
        DepartmentGroup &node = nodes[order[i]];
        for (size_t child : children[order[i]])
            node.children.push_back(std::move(nodes[child]));
    }

    std::vector<DepartmentGroup> roots;
    roots.reserve(rootCount);
    for (size_t i = 0; i < rootCount; ++i)
        roots.push_back(std::move(nodes[order[i]]));
    return roots;
}

const std::vector<int> &Nesting::parents(const std::vector<std::string> &names)
{
    const size_t k = names.size();
    // The nesting depends only on which departments are listed: sites with the same
    // departments share it.
    std::vector<int> key(k, none);
    for (size_t d = 0; d < k; ++d) {
        if (auto found = m_departmentIndex.find(names[d]); found != m_departmentIndex.end())
            key[d] = found->second;
    }
    auto known = m_parents.find(key);
    if (known == m_parents.end()) {
        std::vector<int> listedIndex(m_departmentIndex.size(), none);
        for (size_t d = 0; d < k; ++d) {
            if (key[d] != none)
                listedIndex[static_cast<size_t>(key[d])] = static_cast<int>(d);
        }
        std::vector<int> department(m_department.size());
        for (size_t x = 0; x < department.size(); ++x)
            department[x] = listedIndex[static_cast<size_t>(m_department[x])];
        std::vector<int> parent = parentDepartments(k, m_manager, department);
        breakLoops(parent);
        known = m_parents.emplace(std::move(key), std::move(parent)).first;
    }
    return known->second;
}

} // namespace DepartmentDirectory
