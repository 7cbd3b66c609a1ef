#include "app/sidebar/sidebar_tree.h"

#include "core/model/department_directory.h"
#include "core/model/employee_directory.h"
#include "core/support/text.h"
#include "core/support/text_characters.h"

#include <QString>

#include <algorithm>
#include <map>
#include <optional>
#include <set>
#include <tuple>
#include <unordered_map>

namespace {

using People = std::vector<const Position *>;

struct NamedPeople {
    std::string name;
    People people;
};

std::string normalized(const std::string &name)
{
    return QString::fromStdString(name).normalized(QString::NormalizationForm_C).toStdString();
}

// People split by their trimmed location or department, in code-point order of the NFC
// names; names that differ in any way (letter case included) stay apart. Each group keeps
// the order of `people`.
std::vector<NamedPeople> splitByName(const People &people, bool byLocation)
{
    std::map<std::string, People> groups;
    for (const Position *position : people)
        groups[sidebarGroupName(byLocation ? position->location : position->department)].push_back(position);
    std::vector<std::pair<std::string, NamedPeople>> ordered;
    for (auto &[name, members] : groups) {
        ordered.push_back({normalized(name), {name, std::move(members)}});
    }
    // Tie-break on the raw name: canonically equal spellings are still two groups.
    std::sort(ordered.begin(), ordered.end(), [](const auto &a, const auto &b) {
        return std::tie(a.first, a.second.name) < std::tie(b.first, b.second.name);
    });
    std::vector<NamedPeople> result;
    result.reserve(ordered.size());
    for (auto &entry : ordered)
        result.push_back(std::move(entry.second));
    return result;
}

bool contains(std::string_view text, std::string_view part)
{
    return text.find(part) != std::string_view::npos;
}

class TreeBuilder {
public:
    explicit TreeBuilder(const std::vector<Position> &positions)
        : m_positions(positions)
    {
        m_indexOfID.reserve(positions.size());
        for (size_t i = 0; i < positions.size(); ++i)
            m_indexOfID.emplace(positions[i].id, int(i));
    }

    People all() const
    {
        People people;
        people.reserve(m_positions.size());
        for (const Position &position : m_positions)
            people.push_back(&position);
        return people;
    }

    int addGroup(SidebarNode::Kind kind, std::string name, size_t count, std::string key, int parent, bool isDepartment = false)
    {
        SidebarNode node;
        node.kind = kind;
        node.name = std::move(name);
        node.count = count;
        node.key = std::move(key);
        node.department = isDepartment;
        return add(std::move(node), parent);
    }

    void addPeople(const People &people, int parent)
    {
        for (const Position *position : people)
            add(sidebarPersonNode(*position, int(position - m_positions.data())), parent);
    }

    // The department tree under `parent`, walked with a stack: departments nest as deep as
    // the reporting chain.
    void addDepartments(const std::vector<DepartmentGroup> &roots, int parent, const std::string &keyPrefix, bool groupLocations)
    {
        struct Pending {
            const DepartmentGroup *group;
            int parent;
            const std::string *keyPrefix;
        };
        std::vector<std::unique_ptr<std::string>> keys; // prefixes outlive the frames that use them
        std::vector<Pending> work;
        for (auto it = roots.rbegin(); it != roots.rend(); ++it)
            work.push_back({&*it, parent, &keyPrefix});
        while (!work.empty()) {
            const Pending next = work.back();
            work.pop_back();
            const DepartmentGroup &group = *next.group;
            std::string key = expansionKey(*next.keyPrefix, group.id);
            const People people = listed(group.positions);
            const int node = addGroup(SidebarNode::Kind::group, group.id, people.size(), key, next.parent, true);
            if (groupLocations) {
                const std::string locationPrefix = expansionKey(key, "location");
                for (const NamedPeople &site : splitByName(people, true)) {
                    const int siteNode = addGroup(SidebarNode::Kind::locationGroup, site.name, site.people.size(),
                                                  expansionKey(locationPrefix, site.name), node);
                    addPeople(site.people, siteNode);
                }
            } else {
                addPeople(people, node);
            }
            keys.push_back(std::make_unique<std::string>(std::move(key)));
            for (auto it = group.children.rbegin(); it != group.children.rend(); ++it)
                work.push_back({&*it, node, keys.back().get()});
        }
    }

    // The listed positions behind a department's copies, in the department's order.
    People listed(const std::vector<Position> &copies) const
    {
        People people;
        people.reserve(copies.size());
        for (const Position &copy : copies) {
            const auto found = m_indexOfID.find(copy.id);
            if (found != m_indexOfID.end())
                people.push_back(&m_positions[size_t(found->second)]);
        }
        return people;
    }

    static std::vector<Position> copies(const People &people)
    {
        std::vector<Position> result;
        result.reserve(people.size());
        for (const Position *position : people)
            result.push_back(*position);
        return result;
    }

    SidebarTree take()
    {
        // A department's count includes its child departments; children come after parents.
        for (size_t i = m_tree.nodes.size(); i-- > 0;) {
            const int parent = m_tree.nodes[i].parent;
            if (m_tree.nodes[i].department && parent >= 0 && m_tree.nodes[size_t(parent)].department)
                m_tree.nodes[size_t(parent)].count += m_tree.nodes[i].count;
        }
        return std::move(m_tree);
    }

private:
    int add(SidebarNode node, int parent)
    {
        const int index = int(m_tree.nodes.size());
        std::vector<int> &siblings = parent < 0 ? m_tree.roots : m_tree.nodes[size_t(parent)].children;
        node.parent = parent;
        node.row = int(siblings.size());
        siblings.push_back(index);
        m_tree.nodes.push_back(std::move(node));
        return index;
    }

    const std::vector<Position> &m_positions;
    std::unordered_map<std::string_view, int> m_indexOfID;
    SidebarTree m_tree;
};

} // namespace

std::vector<std::string> SidebarMode::all()
{
    return {std::string(none), std::string(location), std::string(department), std::string(locationDepartment),
            std::string(departmentLocation)};
}

std::string sidebarGroupName(std::string_view name)
{
    std::string trimmed = Text::trimmed(name);
    return trimmed.empty() ? std::string("Unassigned") : trimmed;
}

SidebarNode sidebarPersonNode(const Position &position, int index)
{
    SidebarNode node;
    node.name = position.employee ? position.employee->name : std::string("Vacant position");
    node.detail = position.jobTitle();
    node.position = index;
    return node;
}

SidebarTree buildSidebarTree(const std::vector<Position> &positions, std::string_view mode, EmployeeDirectory::SortKeys *keys)
{
    TreeBuilder builder(positions);
    const std::string modeKey = expansionKey(std::string(), mode);
    const bool nested = contains(mode, "→");
    if (mode == SidebarMode::none) {
        builder.addPeople(EmployeeDirectory::sorted(builder.all(), keys), -1);
    } else if (mode.starts_with("Department")) {
        builder.addDepartments(DepartmentDirectory::groups(positions, positions, keys), -1, modeKey, nested);
    } else {
        const bool byLocation = mode.starts_with("Location");
        std::optional<DepartmentDirectory::Nesting> nesting;
        if (nested)
            nesting.emplace(positions, keys);
        for (const NamedPeople &group : splitByName(builder.all(), byLocation)) {
            const std::string key = expansionKey(modeKey, group.name);
            const int node = builder.addGroup(SidebarNode::Kind::group, group.name, group.people.size(), key, -1);
            if (nested)
                builder.addDepartments(nesting->groups(TreeBuilder::copies(group.people)),
                                       node, key, false);
            else
                builder.addPeople(EmployeeDirectory::sorted(group.people, keys), node);
        }
    }
    return builder.take();
}

std::optional<SidebarChanges> sidebarChanges(const std::vector<Position> &before, const std::vector<Position> &after,
                                             std::string_view mode, size_t limit)
{
    // What a row shows, and in groupings where it sits: managers place departments.
    const bool grouped = mode != SidebarMode::none;
    const auto alike = [grouped](const Position &a, const Position &b) {
        if (a.employee.has_value() != b.employee.has_value() || (a.employee && a.employee->name != b.employee->name) ||
            a.jobTitle() != b.jobTitle())
            return false;
        return !grouped || (a.location == b.location && a.department == b.department && a.managerID == b.managerID);
    };
    const size_t nBefore = before.size();
    const size_t nAfter = after.size();
    SidebarChanges changes;
    changes.indexAfter.assign(nBefore, -1);
    const auto match = [&](size_t i, size_t j) {
        if (alike(before[i], after[j])) {
            changes.indexAfter[i] = int(j);
            return true;
        }
        changes.gone.push_back(int(i));
        changes.come.push_back(int(j));
        return changes.gone.size() <= limit;
    };
    size_t head = 0;
    for (; head < std::min(nBefore, nAfter) && before[head].id == after[head].id; ++head) {
        if (!match(head, head))
            return std::nullopt;
    }
    std::vector<int> goneAtEnd;
    std::vector<int> comeAtEnd;
    size_t tail = 0;
    for (; head + tail < std::min(nBefore, nAfter) && before[nBefore - 1 - tail].id == after[nAfter - 1 - tail].id; ++tail) {
        const size_t i = nBefore - 1 - tail;
        const size_t j = nAfter - 1 - tail;
        if (alike(before[i], after[j])) {
            changes.indexAfter[i] = int(j);
            continue;
        }
        goneAtEnd.push_back(int(i));
        comeAtEnd.push_back(int(j));
        if (changes.gone.size() + goneAtEnd.size() > limit)
            return std::nullopt;
    }
    if (changes.gone.size() + goneAtEnd.size() + (nBefore - tail - head) > limit ||
        changes.come.size() + comeAtEnd.size() + (nAfter - tail - head) > limit)
        return std::nullopt;
    for (size_t i = head; i < nBefore - tail; ++i)
        changes.gone.push_back(int(i));
    for (size_t j = head; j < nAfter - tail; ++j)
        changes.come.push_back(int(j));
    changes.gone.insert(changes.gone.end(), goneAtEnd.rbegin(), goneAtEnd.rend());
    changes.come.insert(changes.come.end(), comeAtEnd.rbegin(), comeAtEnd.rend());
    return changes;
}

std::optional<std::vector<int>> flatOrderAfter(const SidebarTree &previous, const SidebarChanges &changes,
                                               const std::vector<Position> &after, EmployeeDirectory::SortKeys *keys)
{
    const size_t nBefore = changes.indexAfter.size();
    if (previous.nodes.size() != nBefore || previous.roots.size() != nBefore)
        return std::nullopt;
    const auto isBefore = [&](int a, int b) {
        return EmployeeDirectory::before(after[size_t(a)], after[size_t(b)], keys);
    };
    // The others keep their order; the ones that come are placed among them.
    std::vector<int> kept;
    kept.reserve(nBefore);
    for (int root : previous.roots) {
        const int index = previous.nodes[size_t(root)].position;
        if (index < 0 || size_t(index) >= nBefore)
            return std::nullopt;
        if (changes.indexAfter[size_t(index)] >= 0)
            kept.push_back(changes.indexAfter[size_t(index)]);
    }
    if (kept.size() + changes.come.size() != after.size())
        return std::nullopt;
    std::vector<int> placed = changes.come;
    std::sort(placed.begin(), placed.end(), isBefore);
    std::vector<int> order;
    order.reserve(after.size());
    auto next = kept.begin();
    for (size_t i = 0; i < placed.size(); ++i) {
        const std::optional<std::vector<int>::iterator> at = placeAmong(kept.begin(), kept.end(), placed[i], isBefore);
        if (!at || (i > 0 && !isBefore(placed[i - 1], placed[i])))
            return std::nullopt;
        order.insert(order.end(), next, *at);
        next = *at;
        order.push_back(placed[i]);
    }
    order.insert(order.end(), next, kept.end());
    return order;
}

bool sidebarGroupBefore(const SidebarNode &a, const SidebarNode &b)
{
    if (a.department != b.department)
        return !a.department;
    if (a.department)
        return a.name < b.name;
    return std::make_tuple(normalized(a.name), std::cref(a.name)) < std::make_tuple(normalized(b.name), std::cref(b.name));
}

std::string sidebarGroupKey(std::string_view mode, const SidebarNode *parent, const SidebarNode &group)
{
    if (!parent)
        return expansionKey(expansionKey(std::string(), mode), group.name);
    if (group.kind == SidebarNode::Kind::locationGroup)
        return expansionKey(expansionKey(parent->key, "location"), group.name);
    return expansionKey(parent->key, group.name);
}

std::optional<std::vector<std::vector<SidebarNode>>> sidebarGroupPaths(const SidebarTree &tree,
                                                                       const std::vector<Position> &after,
                                                                       std::string_view mode, const std::vector<int> &come)
{
    const auto group = [](SidebarNode::Kind kind, std::string name, bool department) {
        SidebarNode node;
        node.kind = kind;
        node.name = std::move(name);
        node.department = department;
        return node;
    };
    std::vector<std::vector<SidebarNode>> paths(come.size());
    const bool bySite = mode.starts_with("Location");
    if (mode == SidebarMode::location) {
        for (size_t i = 0; i < come.size(); ++i)
            paths[i].push_back(group(SidebarNode::Kind::group, sidebarGroupName(after[size_t(come[i])].location), false));
        return paths;
    }
    // The departments listed together, each listing nested on its own: one per site in
    // "Location → Department", else one for all.
    struct Listing {
        std::vector<std::string> names;
        const std::vector<int> *parents = nullptr;
        int indexOf(const std::string &name) const
        {
            const auto found = std::lower_bound(names.begin(), names.end(), name);
            return found != names.end() && *found == name ? int(found - names.begin()) : -1;
        }
    };
    std::map<std::string, std::set<std::string>> listedAt;
    for (const Position &position : after)
        listedAt[bySite ? sidebarGroupName(position.location) : std::string()].insert(
            DepartmentDirectory::departmentName(position.department));
    DepartmentDirectory::Nesting nesting(after);
    std::map<std::string, Listing> listings;
    for (auto &[site, names] : listedAt) {
        Listing &listing = listings[site];
        listing.names.assign(names.begin(), names.end());
        listing.parents = &nesting.parents(listing.names);
    }
    const auto listingOf = [&](const std::string &site) -> const Listing * {
        const auto found = listings.find(site);
        return found == listings.end() ? nullptr : &found->second;
    };

    // Every department that stays must keep its parent; one that goes has only people that go.
    std::vector<std::pair<int, const Listing *>> work;
    for (int root : tree.roots) {
        const SidebarNode &node = tree.nodes[size_t(root)];
        if (bySite) {
            for (int child : node.children)
                work.emplace_back(child, listingOf(node.name));
        } else {
            work.emplace_back(root, listingOf(std::string()));
        }
    }
    while (!work.empty()) {
        const auto [index, listing] = work.back();
        work.pop_back();
        const SidebarNode &node = tree.nodes[size_t(index)];
        if (!node.department)
            continue;
        const int listed = listing ? listing->indexOf(node.name) : -1;
        if (listed >= 0) {
            const int parent = (*listing->parents)[size_t(listed)];
            const SidebarNode *above = node.parent >= 0 && tree.nodes[size_t(node.parent)].department
                                           ? &tree.nodes[size_t(node.parent)]
                                           : nullptr;
            if ((parent < 0) != (above == nullptr) || (above && above->name != listing->names[size_t(parent)]))
                return std::nullopt;
        }
        for (int child : node.children)
            work.emplace_back(child, listing);
    }

    for (size_t i = 0; i < come.size(); ++i) {
        const Position &position = after[size_t(come[i])];
        const std::string site = sidebarGroupName(position.location);
        const Listing &listing = *listingOf(bySite ? site : std::string());
        std::vector<SidebarNode> &path = paths[i];
        // The department, then those above it, then turned around.
        for (int d = listing.indexOf(DepartmentDirectory::departmentName(position.department));
             d >= 0 && path.size() <= listing.names.size(); d = (*listing.parents)[size_t(d)])
            path.push_back(group(SidebarNode::Kind::group, listing.names[size_t(d)], true));
        if (bySite)
            path.push_back(group(SidebarNode::Kind::group, site, false));
        std::reverse(path.begin(), path.end());
        if (!bySite && contains(mode, "→"))
            path.push_back(group(SidebarNode::Kind::locationGroup, site, false));
    }
    return paths;
}

std::string expansionKey(const std::string &prefix, std::string_view component)
{
    size_t characters = 0;
    for (size_t offset = 0; offset < component.size(); offset = Text::characterAt(component, offset).end)
        ++characters;
    std::string key = prefix;
    key += std::to_string(characters);
    key += ':';
    key += component;
    return key;
}

std::string expansionKey(const std::vector<std::string> &path)
{
    std::string key;
    for (const std::string &component : path)
        key = expansionKey(key, component);
    return key;
}

bool SidebarExpansion::isExpanded(const std::string &key) const
{
    return m_expandByDefault != m_exceptions.contains(key);
}

void SidebarExpansion::setExpanded(const std::string &key, bool open)
{
    if (open == m_expandByDefault)
        m_exceptions.erase(key);
    else
        m_exceptions.insert(key);
}

void SidebarExpansion::expandAll()
{
    m_exceptions.clear();
    m_expandByDefault = true;
}

void SidebarExpansion::collapseAll()
{
    m_exceptions.clear();
    m_expandByDefault = false;
}
