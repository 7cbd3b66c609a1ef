#pragma once

#include "core/support/identifiers.h"

#include <string>

// Report texts that do not depend on a proposal.
namespace ChangeReport {

// The lock time as the report's header writes it: numeric date and short time in the user's
// locale and time zone ("3/14/2025, 9:05 AM" in US English). `localeID` and `timeZoneID`
// (ICU and IANA names) override the user's when not empty.
std::string lockTimeText(Date date, const std::string &localeID = {}, const std::string &timeZoneID = {});

// A total FTE for the header: rounded to six decimal places first, so that sums of tenths
// print as people count them (ten times 0.1 gives "1.0").
std::string totalFTEText(double total);

} // namespace ChangeReport
