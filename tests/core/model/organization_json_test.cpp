#include "core/model/organization_json.h"

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

TEST(PositionJson, FollowFlagDecidesTheCustomTitle)
{
    const struct {
        const char *extra;
        std::optional<std::string> custom;
    } cases[] = {
        {R"("jobTitleFollowsPayLevel":false)", std::nullopt},
        {R"("jobTitleFollowsPayLevel":false,"jobTitle":"Teacher")", "Teacher"},
        {R"("jobTitleFollowsPayLevel":null,"jobTitle":"Teacher")", std::nullopt},
        {R"("jobTitleFollowsPayLevel":true,"jobTitle":"Coach")", std::nullopt},
        {R"("jobTitle":"Coach")", "Coach"},
    };
    for (const auto &c : cases) {
        const std::string text = std::string(R"({"id":"A","payLevel":"Teacher","department":"","dottedManagerIDs":[],
            "location":"","fte":1,"schoolAssignments":[],)") + c.extra + "}";
        EXPECT_EQ(decode(text.c_str()).customJobTitle, c.custom) << c.extra;
    }
}

TEST(PositionJson, WrittenKeys)
{
    Position p{.id = "A", .title = "Teacher", .department = "Math", .location = "North", .fte = 0.5};
    p.setJobTitle("Coach");
    const nlohmann::json json = OrganizationJson::encode(p);
    EXPECT_EQ(json["title"], "Teacher");
    EXPECT_EQ(json["payLevel"], "Teacher");
    EXPECT_EQ(json["jobTitle"], "Coach");
    EXPECT_EQ(json["jobTitleFollowsPayLevel"], false);
    EXPECT_EQ(json["dottedManagerIDs"], nlohmann::json::array());
    EXPECT_EQ(json["schoolAssignments"], nlohmann::json::array());
    for (const char *absent : {"employee", "managerID", "isAssistant", "siblingOrder", "groupMemberCount"})
        EXPECT_FALSE(json.contains(absent)) << absent;
}

TEST(OrganizationJson, PositionsAndEmployeeFieldsAreRequired)
{
    EXPECT_THROW(OrganizationJson::decodeOrganization(nlohmann::json::object()), JsonRead::Error);
    EXPECT_THROW(OrganizationJson::decodeOrganization(nlohmann::json{{"positions", nullptr}}), JsonRead::Error);
    EXPECT_EQ(OrganizationJson::decodeOrganization(nlohmann::json{{"positions", nlohmann::json::array()}}),
              Organization{});
    EXPECT_THROW(OrganizationJson::decodeEmployee(nlohmann::json{{"id", "7"}}), JsonRead::Error);
}
