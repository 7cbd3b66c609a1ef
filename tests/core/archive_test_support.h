#pragma once

#include "error_of.h"
#include "core/document/organization_archive.h"

#include <gtest/gtest.h>

#include <functional>
#include <initializer_list>
#include <optional>
#include <string>

// Small builders for documents in tests.
namespace TestDocs {

using IDs = std::vector<std::string>;
using Operation = std::function<void(OrganizationArchive &)>;

// An occupied position with employee "E-<id>".
inline Position person(std::string id, std::optional<std::string> manager = std::nullopt, std::string name = "",
                       std::string title = "Teacher")
{
    Employee employee{"E-" + id, name.empty() ? "Person " + id : std::move(name)};
    return Position{.id = std::move(id), .title = std::move(title), .department = "Dept", .employee = std::move(employee),
                    .managerID = std::move(manager), .location = "Site"};
}

inline Position vacancy(std::string id, std::optional<std::string> manager = std::nullopt, std::string title = "Teacher")
{
    Position p = person(std::move(id), std::move(manager), "", std::move(title));
    p.employee.reset();
    return p;
}

inline Position withDotted(Position p, std::initializer_list<std::string> dotted)
{
    p.dottedManagerIDs = dotted;
    return p;
}

inline Organization organization(std::initializer_list<Position> positions) { return Organization{positions}; }

inline OrganizationArchive archive(std::initializer_list<Position> positions)
{
    return OrganizationArchive::make("District", organization(positions));
}

inline OrganizationSheet sheet(std::string id, std::string name, std::vector<std::string> ids)
{
    OrganizationSheet s = OrganizationSheet::make(std::move(name), std::move(ids));
    s.id = std::move(id);
    return s;
}

inline const char *lockedMessage()
{
    return "Current organization is locked. Open Planning & Proposals to edit a named proposal instead.";
}

} // namespace TestDocs
