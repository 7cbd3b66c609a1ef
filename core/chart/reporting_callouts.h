#pragma once

#include <vector>

struct Organization;

namespace ReportingCallouts {

// By position: whether it carries a callout once withReportingCallouts() has run, without
// making the callouts.
std::vector<bool> present(const Organization &organization);
// Whether withReportingCallouts() would leave the organization as it is.
bool complete(const Organization &organization);

} // namespace ReportingCallouts
