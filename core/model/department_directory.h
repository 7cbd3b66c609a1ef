#pragma once

#include "core/model/employee_directory.h"
#include "core/model/organization.h"

#include <cstddef>
#include <map>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

// One department of the sidebar's tree, with the departments that report into it.
// Copying, comparing and destroying work without recursion, so a department nesting as deep
// as a reporting chain is safe.
struct DepartmentGroup {
    std::string id;                        // the department name as shown
    std::vector<Position> positions;       // person order
    std::vector<DepartmentGroup> children; // ascending plain name order

    DepartmentGroup() = default;
    DepartmentGroup(std::string id, std::vector<Position> positions);
    DepartmentGroup(const DepartmentGroup &other);
    DepartmentGroup(DepartmentGroup &&other) noexcept = default;
    DepartmentGroup &operator=(const DepartmentGroup &other);
    DepartmentGroup &operator=(DepartmentGroup &&other) noexcept = default;
    ~DepartmentGroup();

    // Positions in this department and in every department nested below it.
    size_t count() const;

    bool operator==(const DepartmentGroup &other) const;
};

namespace DepartmentDirectory {

// A position's department as listed: trimmed, "Unassigned" when blank.
std::string departmentName(std::string_view department);

// The department tree of `positions`: a department nests under another when every position
// of it in `allPositions` reaches that listed department first when walking up its primary
// managers (through unlisted departments and its own). Roots and children are in plain name
// order. `allPositions` is the whole organization with unique ids (the first of a repeated id
// is used). Never fails; linear in the positions plus the sorting of each department, which
// takes the sort keys from `keys` when given.
std::vector<DepartmentGroup> groups(const std::vector<Position> &positions, const std::vector<Position> &allPositions,
                                    EmployeeDirectory::SortKeys *keys = nullptr);

// `groups` for many lists of positions of one organization, such as one list per site: the
// managers are looked up once, and lists of the same departments share one nesting, so a
// department present at every site costs its positions once rather than once per site.
class Nesting {
public:
    explicit Nesting(const std::vector<Position> &allPositions, EmployeeDirectory::SortKeys *keys = nullptr);
    // The same as groups(positions, allPositions, keys).
    std::vector<DepartmentGroup> groups(const std::vector<Position> &positions);
    // How `groups` nests the listed departments `names` (distinct, ascending, as
    // departmentName gives them): each one's parent as an index in `names`, or -1.
    const std::vector<int> &parents(const std::vector<std::string> &names);

private:
    std::vector<int> m_manager;    // per position: the index of its primary manager, or -1
    std::vector<int> m_department; // per position: its department's index in m_departmentIndex
    std::unordered_map<std::string, int> m_departmentIndex;
    // Listed departments (indexes, or -1 for one nobody is in) -> each one's parent among them.
    std::map<std::vector<int>, std::vector<int>> m_parents;
    EmployeeDirectory::SortKeys *m_keys;
};

} // namespace DepartmentDirectory
