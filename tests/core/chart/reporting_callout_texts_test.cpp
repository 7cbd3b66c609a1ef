#include "core/model/organization.h"

#include "chart_test_support.h"

#include <gtest/gtest.h>

using namespace ChartTest;

namespace {

Organization managersAndReport(std::optional<std::string> primary, std::vector<std::string> dotted)
{
    Organization org;
    org.positions.push_back(filled(position("M1"), "1", "Ann Lee"));
    org.positions.back().setJobTitle("Principal");
    org.positions.push_back(position("M2")); // vacant
    org.positions.back().setJobTitle("Director");
    org.positions.push_back(filled(position("M3"), "3", "Bo Chan"));
    Position report = position("R", std::move(primary));
    report.dottedManagerIDs = std::move(dotted);
    org.positions.push_back(std::move(report));
    return org;
}

} // namespace

// The one-line summary and the detail lines of a callout.
TEST(ReportingCalloutTexts, NameEveryManager)
{
    const Organization org = managersAndReport("M1", {"M2"}).withReportingCallouts();
    const ReportingCallout &callout = *org.positions.back().reportingCallout;
    EXPECT_EQ(callout.managers[1].employeeName, std::nullopt); // M2 is vacant
    EXPECT_EQ(callout.summary(), "Also reports to 1 other manager");
    EXPECT_EQ(callout.details(false), "Primary: Ann Lee \u2014 Principal\nAdditional: Director");
    EXPECT_EQ(callout.details(true), "Primary: Principal\nAdditional: Director");

    const Organization three = managersAndReport("M1", {"M2", "M3"}).withReportingCallouts();
    EXPECT_EQ(three.positions.back().reportingCallout->summary(), "Also reports to 2 other managers");

    // Without a primary every line reads "Additional".
    const ReportingCallout noPrimary =
        ReportingCallout::make({{"K", "Kim Ray", "Dean", {}}, {"B", std::nullopt, "Nurse", {}}}, std::nullopt);
    EXPECT_EQ(noPrimary.details(false), "Additional: Nurse\nAdditional: Kim Ray \u2014 Dean");
}
