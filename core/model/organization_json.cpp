#include "core/model/organization_json.h"

namespace OrganizationJson {

Json encode(const Employee &employee)
{
    return Json{{"id", employee.id}, {"name", employee.name}};
}

Json encode(const SchoolAssignment &assignment)
{
    return Json{{"school", assignment.school}, {"fte", assignment.fte}};
}

Json encode(const Position &position)
{
    Json json = Json::object();
    json["id"] = position.id;
    json["title"] = position.title;
    json["payLevel"] = position.title;
    json["jobTitle"] = position.jobTitle();
    json["jobTitleFollowsPayLevel"] = position.jobTitleFollowsPayLevel();
    json["department"] = position.department;
    if (position.employee)
        json["employee"] = encode(*position.employee);
    if (position.managerID)
        json["managerID"] = *position.managerID;
    json["dottedManagerIDs"] = position.dottedManagerIDs;
    json["location"] = position.location;
    json["fte"] = position.fte;
    Json schools = Json::array();
    for (const SchoolAssignment &assignment : position.schoolAssignments)
        schools.push_back(encode(assignment));
    json["schoolAssignments"] = std::move(schools);
    if (position.isAssistant)
        json["isAssistant"] = *position.isAssistant;
    if (position.siblingOrder)
        json["siblingOrder"] = *position.siblingOrder;
    if (position.groupMemberCount)
        json["groupMemberCount"] = *position.groupMemberCount;
    return json;
}

Json encode(const Organization &organization)
{
    Json positions = Json::array();
    for (const Position &position : organization.positions)
        positions.push_back(encode(position));
    return Json{{"positions", std::move(positions)}};
}

Employee decodeEmployee(const Json &json)
{
    JsonRead::requireObject(json, "employee");
    return Employee{JsonRead::string(json, "id"), JsonRead::string(json, "name")};
}

SchoolAssignment decodeSchoolAssignment(const Json &json)
{
    JsonRead::requireObject(json, "schoolAssignments");
    return SchoolAssignment{JsonRead::string(json, "school"), JsonRead::number(json, "fte")};
}

Position decodePosition(const Json &json)
{
    JsonRead::requireObject(json, "positions");
    Position p;
    p.id = JsonRead::string(json, "id");
    // "payLevel" wins; "title" is read only when it is absent.
    if (auto payLevel = JsonRead::optionalString(json, "payLevel"))
        p.title = std::move(*payLevel);
    else
        p.title = JsonRead::string(json, "title");

    std::optional<std::string> candidate = JsonRead::optionalString(json, "jobTitle");
    const std::optional<bool> follows = JsonRead::optionalBoolean(json, "jobTitleFollowsPayLevel");
    if (follows == true)
        p.customJobTitle.reset();
    else if (follows == false)
        p.customJobTitle = std::move(candidate);
    else if (candidate && *candidate != p.title)
        p.customJobTitle = std::move(candidate);

    p.department = JsonRead::string(json, "department");
    p.dottedManagerIDs = JsonRead::strings(json, "dottedManagerIDs");
    p.location = JsonRead::string(json, "location");
    p.fte = JsonRead::number(json, "fte");
    for (const Json &row : JsonRead::array(json, "schoolAssignments"))
        p.schoolAssignments.push_back(decodeSchoolAssignment(row));

    if (const Json *employee = JsonRead::find(json, "employee"))
        p.employee = decodeEmployee(*employee);
    p.managerID = JsonRead::optionalString(json, "managerID");
    p.isAssistant = JsonRead::optionalBoolean(json, "isAssistant");
    p.siblingOrder = JsonRead::optionalInteger(json, "siblingOrder");
    p.groupMemberCount = JsonRead::optionalInteger(json, "groupMemberCount");
    canonicalizeIdentifiers(p);
    return p;
}

Organization decodeOrganization(const Json &json)
{
    JsonRead::requireObject(json, "organization");
    Organization organization;
    const Json &positions = JsonRead::array(json, "positions");
    organization.positions.reserve(positions.size());
    for (const Json &position : positions)
        organization.positions.push_back(decodePosition(position));
    return organization;
}

} // namespace OrganizationJson
