#include "core/organization_json.h"

#include <gtest/gtest.h>

namespace {

Position decode(const char *text)
{
    return OrganizationJson::decodePosition(nlohmann::json::parse(text));
}

} // namespace

TEST(PositionJson, TitleWithoutPayLevelKeepsCustomTitleOnlyWhenDifferent)
{
    Position same = decode(R"({"id":"A","title":"Teacher","jobTitle":"Teacher","department":"","dottedManagerIDs":[],
        "location":"","fte":1,"schoolAssignments":[]})");
    EXPECT_TRUE(same.jobTitleFollowsPayLevel());
    Position other = decode(R"({"id":"A","title":"T2","jobTitle":"Teacher","department":"","dottedManagerIDs":[],
        "location":"","fte":1,"schoolAssignments":[]})");
    EXPECT_EQ(other.payLevel(), "T2");
    EXPECT_EQ(other.jobTitle(), "Teacher");
}

TEST(PositionJson, PayLevelWinsOverTitleAndFollowFlagDropsCandidate)
{
    Position p = decode(R"({"id":"A","title":"Old","payLevel":"New","jobTitle":"Other","jobTitleFollowsPayLevel":true,
        "department":"","dottedManagerIDs":[],"location":"","fte":1,"schoolAssignments":[]})");
    EXPECT_EQ(p.payLevel(), "New");
    EXPECT_EQ(p.jobTitle(), "New");
}

TEST(PositionJson, StrictTypesAndRequiredKeys)
{
    const char *base = R"({"id":"A","title":"T","department":"","dottedManagerIDs":[],"location":"","fte":1,
        "schoolAssignments":[]})";
    nlohmann::json ok = nlohmann::json::parse(base);
    EXPECT_NO_THROW(OrganizationJson::decodePosition(ok));
    for (const char *key : {"dottedManagerIDs", "location", "schoolAssignments", "fte", "department"}) {
        nlohmann::json j = ok;
        j.erase(key);
        EXPECT_THROW(OrganizationJson::decodePosition(j), JsonRead::Error) << key;
    }
    for (const nlohmann::json &bad : {nlohmann::json(1.5), nlohmann::json(1e30), nlohmann::json(true)}) {
        nlohmann::json j = ok;
        j["siblingOrder"] = bad;
        EXPECT_THROW(OrganizationJson::decodePosition(j), JsonRead::Error) << bad.dump();
    }
    nlohmann::json j = ok;
    j["isAssistant"] = 1;
    EXPECT_THROW(OrganizationJson::decodePosition(j), JsonRead::Error);
    j["isAssistant"] = nullptr;
    EXPECT_FALSE(OrganizationJson::decodePosition(j).isAssistant.has_value());
}

TEST(PositionJson, RoundTripKeepsCustomTitleEqualToPayLevelAndDropsDisplayFields)
{
    Position p{.id = "A", .title = "Teacher", .department = "Math", .location = "North"};
    p.setJobTitle("Teacher");
    p.isAssistant = false;
    p.reportingCallout = ReportingCallout{};
    const Position back = OrganizationJson::decodePosition(OrganizationJson::encode(p));
    EXPECT_FALSE(back.jobTitleFollowsPayLevel());
    EXPECT_EQ(back.isAssistant, std::optional<bool>(false));
    EXPECT_FALSE(back.reportingCallout.has_value());
    EXPECT_FALSE(OrganizationJson::encode(p).contains("employee"));
}
