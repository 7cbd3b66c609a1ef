#include "archive_test_support.h"

#include <gtest/gtest.h>

using namespace TestDocs;

namespace {

std::vector<std::string> managersOf(const Position &p)
{
    std::vector<std::string> ids;
    if (p.reportingCallout) {
        for (const PrimaryManagerReference &m : p.reportingCallout->managers)
            ids.push_back(m.positionID);
    }
    return ids;
}

} // namespace

// A callout lists two or more distinct managers, the primary first (a vacant one by its
// title); the report itself and unknown ids don't count, and a callout already set is kept.
TEST(ReportingCallouts, TwoOrMoreDistinctManagersPrimaryFirst)
{
    Position kept = person("K", "Z");
    kept.reportingCallout = ReportingCallout{{}, std::nullopt};
    const Organization shown =
        organization({person("Z", std::nullopt, "Ann Lee", "Principal"), vacancy("B", std::nullopt, "Dean"),
                      person("C"), withDotted(person("P", "Z"), {"C", "B", "Z"}), withDotted(person("Q", "Z"), {"Z"}),
                      withDotted(person("R"), {"R", "gone", "C"}), withDotted(person("S"), {"B", "C"}), kept})
            .withReportingCallouts();
    const ReportingCallout &p = *shown.positions[3].reportingCallout;
    EXPECT_EQ(managersOf(shown.positions[3]), (std::vector<std::string>{"Z", "B", "C"}));
    EXPECT_EQ(p.primaryManagerID, "Z");
    EXPECT_FALSE(p.managers[1].employeeName.has_value());
    EXPECT_EQ(p.managers[1].jobTitle, "Dean");
    EXPECT_EQ(p.summary(), "Also reports to 2 other managers");
    EXPECT_EQ(p.details(false),
              "Primary: Ann Lee \u2014 Principal\nAdditional: Dean\nAdditional: Person C \u2014 Teacher");
    EXPECT_EQ(p.details(true), "Primary: Principal\nAdditional: Dean\nAdditional: Teacher");
    EXPECT_FALSE(shown.positions[4].reportingCallout.has_value()) << "the same manager twice counts once";
    EXPECT_FALSE(shown.positions[5].reportingCallout.has_value()) << "itself and unknown ids are skipped";
    EXPECT_EQ(managersOf(shown.positions[6]), (std::vector<std::string>{"B", "C"}));
    EXPECT_FALSE(shown.positions[6].reportingCallout->primaryManagerID.has_value());
    EXPECT_EQ(shown.positions[7].reportingCallout, kept.reportingCallout);

    const ReportingCallout noPrimary =
        ReportingCallout::make({{"K", "Kim Ray", "Dean", {}}, {"B", std::nullopt, "Nurse", {}}}, std::nullopt);
    EXPECT_EQ(noPrimary.summary(), "Also reports to 1 other manager");
    EXPECT_EQ(noPrimary.details(false), "Additional: Nurse\nAdditional: Kim Ray \u2014 Dean");
}

TEST(ReportingCallouts, MergedKeepsEachManagerOnce)
{
    const Organization shown = organization({person("A"), person("B"), person("C"), withDotted(person("X", "A"), {"B"}),
                                             withDotted(person("Y", "A"), {"C"}), person("Z", "A")})
                                   .withReportingCallouts();
    const auto &p = shown.positions;
    const auto merged = ReportingCallout::merged({p[3], p[4]});
    ASSERT_TRUE(merged.has_value());
    EXPECT_EQ(merged->managers.size(), 3u);
    EXPECT_EQ(merged->primaryManagerID, "A");
    EXPECT_FALSE(ReportingCallout::merged({p[5], p[0]}).has_value());
    const auto noPrimary = ReportingCallout::merged({p[5], p[3]});
    ASSERT_TRUE(noPrimary.has_value());
    EXPECT_FALSE(noPrimary->primaryManagerID.has_value()) << "the first position has no callout";
}
