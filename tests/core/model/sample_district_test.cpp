#include "core/model/organization.h"

#include <gtest/gtest.h>

#include <set>

TEST(SampleDistrict, IsValidAndShowsWhatTheModelHolds)
{
    const Organization &sample = Organization::example();
    EXPECT_EQ(&sample, &Organization::example());
    EXPECT_NO_THROW(sample.validate());
    ASSERT_EQ(sample.positions.size(), 6u);

    std::vector<std::string> vacant;
    std::vector<std::string> topLevel;
    std::set<std::string> departments;
    std::set<std::string> locations;
    for (const Position &p : sample.positions) {
        if (p.isVacant())
            vacant.push_back(p.id);
        if (!p.managerID)
            topLevel.push_back(p.id);
        departments.insert(p.department);
        locations.insert(p.location);
        EXPECT_TRUE(p.jobTitleFollowsPayLevel()) << p.id;
        EXPECT_EQ(p.isAssistant, std::optional<bool>(false)) << p.id;
        EXPECT_EQ(p.fte, 1.0) << p.id;
    }
    EXPECT_EQ(vacant, std::vector<std::string>{"P004"});
    EXPECT_EQ(topLevel, std::vector<std::string>{"P001"});
    EXPECT_EQ(departments, (std::set<std::string>{"Leadership", "Student Services", "School Leadership", "Instruction"}));
    EXPECT_EQ(locations, (std::set<std::string>{"District Office", "Oak Elementary", "Maple Elementary", "Itinerant"}));

    const Position &psychologist = sample.positions[4];
    EXPECT_EQ(psychologist.dottedManagerIDs, (std::vector<std::string>{"P003", "P004"}));
    ASSERT_EQ(psychologist.schoolAssignments.size(), 2u);
    EXPECT_DOUBLE_EQ(psychologist.schoolAssignments[0].fte + psychologist.schoolAssignments[1].fte, 1.0);
}
