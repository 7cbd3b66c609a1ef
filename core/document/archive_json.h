#pragma once

#include "core/support/json_read.h"
#include "core/document/organization_archive.h"

#include <functional>
#include <string>

// The JSON form of the document's records. Optional fields are written only when present;
// reading performs no validation and throws JsonRead::Error for a missing key, a value of
// the wrong type or a malformed UUID. The whole document is read and written by
// OrganizationArchive::decode and encodeDocument.
namespace ArchiveJson {

using Json = nlohmann::json;

Json encodeDate(Date date);
Date decodeDate(const Json &object, const std::string &key);
// A UUID value, returned in canonical upper case.
std::string decodeUUID(const Json &object, const std::string &key);

Json encode(const OrganizationSheet &sheet);
Json encode(const PositionGroup &group);
Json encode(const FrozenOrganization &organization);
Json encode(const OrganizationRevision &revision);
// Every key of a version but "organization", for writers that write the positions themselves.
Json encodeWithoutOrganization(const OrganizationRevision &revision);
Json encode(const PlanningSnapshot &snapshot);
Json encode(const OrganizationProposal &proposal);
Json encode(const OrganizationPlanning &planning);

OrganizationSheet decodeSheet(const Json &json);
PositionGroup decodeGroup(const Json &json);
// `shareWith`: the organization of the version before, whose equal positions are shared.
// `inspect` sees the version's organization before it is frozen.
OrganizationRevision decodeRevision(const Json &json, const FrozenOrganization *shareWith = nullptr,
                                    const std::function<void(const Organization &)> &inspect = {});
// The same with the organization left in `organization`, not frozen.
OrganizationRevision decodeRevision(const Json &json, Organization &organization);
PlanningSnapshot decodeSnapshot(const Json &json);
OrganizationProposal decodeProposal(const Json &json);
OrganizationPlanning decodePlanning(const Json &json);

} // namespace ArchiveJson
