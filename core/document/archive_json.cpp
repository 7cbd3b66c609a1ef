#include "core/document/archive_json.h"

#include "core/model/organization_json.h"
#include "core/support/text.h"

namespace ArchiveJson {

namespace {

std::vector<std::string> canonicalIDs(std::vector<std::string> ids)
{
    for (std::string &id : ids)
        id = Text::canonicalForm(id);
    return ids;
}

template <typename T>
void putOptional(Json &json, const char *key, const std::optional<T> &value)
{
    if (value)
        json[key] = *value;
}

template <typename T>
void putOptionalList(Json &json, const char *key, const std::optional<std::vector<T>> &list)
{
    if (!list)
        return;
    Json items = Json::array();
    for (const T &item : *list)
        items.push_back(encode(item));
    json[key] = std::move(items);
}

template <typename Decode>
auto optionalList(const Json &object, const std::string &key, Decode decode)
    -> std::optional<std::vector<decltype(decode(object))>>
{
    if (!JsonRead::find(object, key))
        return std::nullopt;
    std::vector<decltype(decode(object))> items;
    for (const Json &item : JsonRead::array(object, key))
        items.push_back(decode(item));
    return items;
}

std::optional<ChartPrintSettings> optionalPrintSettings(const Json &object)
{
    const Json *settings = JsonRead::find(object, "printSettings");
    return settings ? std::optional(PrintSettingsJson::decode(*settings)) : std::nullopt;
}

} // namespace

Json encodeDate(Date date)
{
    return date.secondsSinceReferenceDate;
}

Date decodeDate(const Json &object, const std::string &key)
{
    return Date{JsonRead::number(object, key)};
}

std::string decodeUUID(const Json &object, const std::string &key)
{
    std::optional<std::string> uuid = canonicalUUID(JsonRead::string(object, key));
    if (!uuid)
        throw JsonRead::Error("The value of \"" + key + "\" is not a valid UUID.");
    return *uuid;
}

Json encode(const OrganizationSheet &sheet)
{
    Json json{{"id", sheet.id}, {"name", sheet.name}, {"positionIDs", sheet.positionIDs}};
    putOptional(json, "pageTitle", sheet.pageTitle);
    putOptional(json, "pageSubtitle", sheet.pageSubtitle);
    if (sheet.printSettings)
        json["printSettings"] = PrintSettingsJson::encode(*sheet.printSettings);
    putOptional(json, "focusedDepartmentView", sheet.focusedDepartmentView);
    return json;
}

Json encode(const PositionGroup &group)
{
    return Json{{"id", group.id}, {"name", group.name}, {"memberIDs", group.memberIDs}};
}

Json encode(const FrozenOrganization &organization)
{
    Json positions = Json::array();
    for (size_t i = 0; i < organization.size(); ++i)
        positions.push_back(OrganizationJson::encode(organization[i]));
    return Json{{"positions", std::move(positions)}};
}

Json encodeWithoutOrganization(const OrganizationRevision &revision)
{
    Json json{{"id", revision.id},
              {"number", revision.number},
              {"date", encodeDate(revision.date)},
              {"note", revision.note},
              {"name", revision.name}};
    putOptional(json, "pageTitle", revision.pageTitle);
    putOptional(json, "pageSubtitle", revision.pageSubtitle);
    putOptionalList(json, "sheets", revision.sheets);
    if (revision.printSettings)
        json["printSettings"] = PrintSettingsJson::encode(*revision.printSettings);
    putOptionalList(json, "groups", revision.groups);
    return json;
}

Json encode(const OrganizationRevision &revision)
{
    Json json = encodeWithoutOrganization(revision);
    json["organization"] = encode(revision.organization);
    return json;
}

Json encode(const PlanningSnapshot &snapshot)
{
    Json json{{"name", snapshot.name}, {"organization", OrganizationJson::encode(snapshot.organization)}};
    putOptionalList(json, "sheets", snapshot.sheets);
    putOptionalList(json, "groups", snapshot.groups);
    if (snapshot.printSettings)
        json["printSettings"] = PrintSettingsJson::encode(*snapshot.printSettings);
    putOptional(json, "pageTitle", snapshot.pageTitle);
    putOptional(json, "pageSubtitle", snapshot.pageSubtitle);
    return json;
}

Json encode(const OrganizationProposal &proposal)
{
    return Json{{"id", proposal.id},
                {"name", proposal.name},
                {"createdAt", encodeDate(proposal.createdAt)},
                {"state", encode(proposal.state)}};
}

Json encode(const OrganizationPlanning &planning)
{
    Json proposals = Json::array();
    for (const OrganizationProposal &proposal : planning.proposals)
        proposals.push_back(encode(proposal));
    return Json{{"lockedAt", encodeDate(planning.lockedAt)},
                {"baseline", encode(planning.baseline)},
                {"isLocked", planning.isLocked},
                {"proposals", std::move(proposals)}};
}

OrganizationSheet decodeSheet(const Json &json)
{
    JsonRead::requireObject(json, "sheets");
    OrganizationSheet sheet;
    sheet.id = JsonRead::string(json, "id");
    sheet.name = JsonRead::string(json, "name");
    sheet.positionIDs = canonicalIDs(JsonRead::strings(json, "positionIDs"));
    sheet.pageTitle = JsonRead::optionalString(json, "pageTitle");
    sheet.pageSubtitle = JsonRead::optionalString(json, "pageSubtitle");
    sheet.printSettings = optionalPrintSettings(json);
    sheet.focusedDepartmentView = JsonRead::optionalBoolean(json, "focusedDepartmentView");
    return sheet;
}

PositionGroup decodeGroup(const Json &json)
{
    JsonRead::requireObject(json, "groups");
    return PositionGroup{JsonRead::string(json, "id"), JsonRead::string(json, "name"),
                         canonicalIDs(JsonRead::strings(json, "memberIDs"))};
}

OrganizationRevision decodeRevision(const Json &json, const FrozenOrganization *shareWith,
                                    const std::function<void(const Organization &)> &inspect)
{
    Organization organization;
    OrganizationRevision revision = decodeRevision(json, organization);
    if (inspect)
        inspect(organization);
    revision.organization = FrozenOrganization(organization, shareWith);
    return revision;
}

OrganizationRevision decodeRevision(const Json &json, Organization &organization)
{
    JsonRead::requireObject(json, "revisions");
    OrganizationRevision revision;
    revision.id = decodeUUID(json, "id");
    revision.number = JsonRead::integer(json, "number");
    revision.date = decodeDate(json, "date");
    revision.note = JsonRead::string(json, "note");
    revision.name = JsonRead::string(json, "name");
    organization = OrganizationJson::decodeOrganization(JsonRead::object(json, "organization"));
    revision.pageTitle = JsonRead::optionalString(json, "pageTitle");
    revision.pageSubtitle = JsonRead::optionalString(json, "pageSubtitle");
    revision.sheets = optionalList(json, "sheets", decodeSheet);
    revision.printSettings = optionalPrintSettings(json);
    revision.groups = optionalList(json, "groups", decodeGroup);
    return revision;
}

PlanningSnapshot decodeSnapshot(const Json &json)
{
    JsonRead::requireObject(json, "state");
    PlanningSnapshot snapshot;
    snapshot.name = JsonRead::string(json, "name");
    snapshot.organization = OrganizationJson::decodeOrganization(JsonRead::object(json, "organization"));
    snapshot.sheets = optionalList(json, "sheets", decodeSheet);
    snapshot.groups = optionalList(json, "groups", decodeGroup);
    snapshot.printSettings = optionalPrintSettings(json);
    snapshot.pageTitle = JsonRead::optionalString(json, "pageTitle");
    snapshot.pageSubtitle = JsonRead::optionalString(json, "pageSubtitle");
    return snapshot;
}

OrganizationProposal decodeProposal(const Json &json)
{
    JsonRead::requireObject(json, "proposals");
    OrganizationProposal proposal;
    proposal.id = decodeUUID(json, "id");
    proposal.name = JsonRead::string(json, "name");
    proposal.createdAt = decodeDate(json, "createdAt");
    proposal.state = decodeSnapshot(JsonRead::object(json, "state"));
    return proposal;
}

OrganizationPlanning decodePlanning(const Json &json)
{
    JsonRead::requireObject(json, "planning");
    OrganizationPlanning planning;
    planning.lockedAt = decodeDate(json, "lockedAt");
    planning.baseline = decodeSnapshot(JsonRead::object(json, "baseline"));
    planning.isLocked = JsonRead::boolean(json, "isLocked");
    for (const Json &proposal : JsonRead::array(json, "proposals"))
        planning.proposals.push_back(decodeProposal(proposal));
    return planning;
}

} // namespace ArchiveJson
