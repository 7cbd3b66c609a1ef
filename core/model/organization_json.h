#pragma once

#include "core/support/json_read.h"
#include "core/model/organization.h"

// The JSON form of the organization. Writing drops the display-only fields; reading
// performs no validation and throws JsonRead::Error for a missing key or a wrong type.
namespace OrganizationJson {

using Json = nlohmann::json;

Json encode(const Employee &employee);
Json encode(const SchoolAssignment &assignment);
Json encode(const Position &position);
Json encode(const Organization &organization);

Employee decodeEmployee(const Json &json);
SchoolAssignment decodeSchoolAssignment(const Json &json);
Position decodePosition(const Json &json);
Organization decodeOrganization(const Json &json);

} // namespace OrganizationJson
