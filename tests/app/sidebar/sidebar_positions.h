#pragma once

#include "core/model/organization.h"

#include <optional>
#include <string>
#include <vector>

namespace SidebarTest {

// A teacher; vacant when `name` is empty.
inline Position staff(const std::string &id, const std::string &name, const std::string &department,
                      const std::string &location, std::optional<std::string> manager = {})
{
    Position position;
    position.id = id;
    position.title = "Teacher";
    position.department = department;
    position.location = location;
    position.managerID = std::move(manager);
    if (!name.empty())
        position.employee = Employee{.id = "E" + id, .name = name};
    return position;
}

// Science (head P1) has a child department Coordination; Math is a root, as one of its
// people reports through Coordination.
inline std::vector<Position> school()
{
    return {
        staff("P1", "Sue Head", "Science", "North"),
        staff("P2", "Al Adams", "Science", "South", "P1"),
        staff("P3", "Bo Brandt", "Science", "North", "P1"),
        staff("P4", "Cy Cole", "Math", "South", "P1"),
        staff("P5", "Di Dorn", "Coordination", "East", "P1"),
        staff("P6", "Ed Ek", "Math", "North", "P5"),
    };
}

} // namespace SidebarTest
