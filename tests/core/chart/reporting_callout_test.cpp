#include "archive_test_support.h"

#include <gtest/gtest.h>

using namespace TestDocs;

// A callout lists two or more distinct managers, the primary first; the report itself and
// unknown ids don't count, and a callout already set is kept.
TEST(ReportingCallouts, TwoOrMoreDistinctManagersPrimaryFirst)
{
    Position kept = person("K", "Z");
    kept.reportingCallout = ReportingCallout{{}, std::nullopt};
    const Organization shown =
        organization({person("Z", std::nullopt, "Ann Lee", "Principal"), vacancy("B", std::nullopt, "Dean"),
                      person("C"), withDotted(person("P", "Z"), {"C", "B", "Z"}), withDotted(person("Q", "Z"), {"Z"}),
                      withDotted(person("R"), {"R", "gone", "C"}), kept})
            .withReportingCallouts();
    const ReportingCallout &p = *shown.positions[3].reportingCallout;
    std::vector<std::string> managers;
    for (const PrimaryManagerReference &m : p.managers)
        managers.push_back(m.positionID);
    EXPECT_EQ(managers, (std::vector<std::string>{"Z", "B", "C"}));
    EXPECT_EQ(p.summary(), "Also reports to 2 other managers");
    EXPECT_EQ(p.details(false),
              "Primary: Ann Lee \u2014 Principal\nAdditional: Dean\nAdditional: Person C \u2014 Teacher");
    EXPECT_EQ(p.details(true), "Primary: Principal\nAdditional: Dean\nAdditional: Teacher");
    EXPECT_FALSE(shown.positions[4].reportingCallout.has_value()) << "the same manager twice counts once";
    EXPECT_FALSE(shown.positions[5].reportingCallout.has_value());
    EXPECT_EQ(shown.positions[6].reportingCallout, kept.reportingCallout);

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
    EXPECT_FALSE(ReportingCallout::merged({p[5], p[3]})->primaryManagerID.has_value()) << "the first has no callout";
}
