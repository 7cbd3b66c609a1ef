#pragma once

#include "core/model/employee_directory.h"
#include "core/model/organization.h"

#include <algorithm>
#include <iterator>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

// The people sidebar's grouping modes, in the order the picker offers them.
namespace SidebarMode {
inline constexpr std::string_view none = "None";
inline constexpr std::string_view location = "Location";
inline constexpr std::string_view department = "Department";
inline constexpr std::string_view locationDepartment = "Location → Department";
inline constexpr std::string_view departmentLocation = "Department → Location";
std::vector<std::string> all();
} // namespace SidebarMode

// One row of the sidebar: a group ("<name> (<count>)") or a person.
struct SidebarNode {
    enum class Kind { group, locationGroup, person }; // location groups inside departments
    Kind kind = Kind::person;
    std::string name;    // group name, the person's name, or "Vacant position"
    std::string detail;  // a person's job title
    size_t count = 0;    // a group's positions, child departments included
    std::string key;     // a group's expansion key
    int position = -1;   // a person's index in the listed positions
    int parent = -1;     // index in SidebarTree::nodes; -1 at the top level, -2 in a free slot
    int row = 0;         // place among the parent's children
    bool department = false; // a department's group (location groups are not)
    std::vector<int> children;

    bool isGroup() const { return kind != Kind::person; }
};

// The rows of the sidebar in a flat array, parents before their children as built. Rows
// taken away in place leave free slots (no parent, no place) that rows added later take.
struct SidebarTree {
    std::vector<SidebarNode> nodes;
    std::vector<int> roots;
};

// The sidebar's rows for `positions` in `mode`: flat people for "None"; the department tree
// for modes beginning with "Department" (with location groups inside each department when the
// mode holds "→"); else one group per trimmed location ("Location…") or department, with the
// department tree of the group's people inside for "Location → Department". Blank names group
// as "Unassigned", names compare exactly, locations follow code-point order of their NFC text,
// people follow EmployeeDirectory order (sort keys taken from `keys` when given) and managers
// are looked up among all `positions`. Builds in n log n time without recursion; about a few
// tens of ms on 20,000 positions, mostly collation when no keys are kept.
SidebarTree buildSidebarTree(const std::vector<Position> &positions, std::string_view mode,
                             EmployeeDirectory::SortKeys *keys = nullptr);

// A person's row, `index` being the position's place among the listed positions.
SidebarNode sidebarPersonNode(const Position &position, int index);

// How the listed positions changed, as far as the rows of `mode` show: the positions of
// `before` whose rows go (taken away, or changed in what their rows show or where they sit)
// and the positions of `after` that get rows anew. The lists are matched where they keep
// their ids in place from the start and from the end; between those, every position goes or
// comes. Linear; stops early and gives nothing past `limit` positions gone or come.
struct SidebarChanges {
    std::vector<int> gone;       // indices in `before`, ascending
    std::vector<int> come;       // indices in `after`, ascending
    std::vector<int> indexAfter; // per position of `before`: its index in `after`, -1 when gone
    bool none() const { return gone.empty() && come.empty(); }
};
std::optional<SidebarChanges> sidebarChanges(const std::vector<Position> &before, const std::vector<Position> &after,
                                             std::string_view mode, size_t limit);

// The order buildSidebarTree(after, "None") gives, as indices in `after`, made from
// `previous`, the flat rows of `before`, by placing only the positions that come. Nothing
// when `previous` is not the flat list of `before`, or a placed position ties with a
// neighbour (a repeated id): the full sort decides those.
std::optional<std::vector<int>> flatOrderAfter(const SidebarTree &previous, const SidebarChanges &changes,
                                               const std::vector<Position> &after, EmployeeDirectory::SortKeys *keys);

// Where `item` goes among the sorted range [first, last): the place after everything
// `before` it. Nothing when it ties with a neighbour there (a repeated id): only the full sort
// settles those.
template <typename Iterator, typename Item, typename Before>
std::optional<Iterator> placeAmong(Iterator first, Iterator last, const Item &item, Before before)
{
    const Iterator at = std::lower_bound(first, last, item, before);
    if ((at != first && !before(*std::prev(at), item)) || (at != last && !before(item, *at)))
        return std::nullopt;
    return at;
}

// The groups, from the top, that hold the rows of `come` (indices in `after`) in a grouped
// `mode`: each as a group row without key, count or place. Nothing when `tree`, the rows
// before with the people that go still in, nests a department that stays otherwise than
// `after` does (managers moved it): then the rows are made anew. Linear in `after`.
std::optional<std::vector<std::vector<SidebarNode>>> sidebarGroupPaths(const SidebarTree &tree,
                                                                       const std::vector<Position> &after,
                                                                       std::string_view mode, const std::vector<int> &come);

// Whether `a` comes before `b` among the groups of one parent: sites before departments,
// sites in code-point order of their NFC names, departments in plain order.
bool sidebarGroupBefore(const SidebarNode &a, const SidebarNode &b);

// The expansion key of `group` in `mode`, under `parent` (nullptr at the top).
std::string sidebarGroupKey(std::string_view mode, const SidebarNode *parent, const SidebarNode &group);

// A group's name as listed: trimmed, "Unassigned" when blank.
std::string sidebarGroupName(std::string_view name);

// The key of an expansion path: each component as its length in user-perceived characters,
// a colon and the component itself ("8:Location4:Main"). Distinct paths never share a key.
std::string expansionKey(const std::vector<std::string> &path);
// The key of `prefix`'s path followed by one more component.
std::string expansionKey(const std::string &prefix, std::string_view component);

// Which groups are open: every group follows the default except those listed, in every
// mode at once. Lives with one window and is stored nowhere.
class SidebarExpansion {
public:
    bool isExpanded(const std::string &key) const;
    void setExpanded(const std::string &key, bool open);
    void expandAll();
    void collapseAll();
    bool expandByDefault() const { return m_expandByDefault; }
    // The keys whose state differs from the default.
    const std::set<std::string> &exceptions() const { return m_exceptions; }

private:
    std::set<std::string> m_exceptions;
    bool m_expandByDefault = true;
};
