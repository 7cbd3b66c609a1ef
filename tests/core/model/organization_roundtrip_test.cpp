#include "core/model/organization_json.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace {

// One organization with the text and numbers most likely to be mangled on the way through JSON.
Organization awkwardOrganization()
{
    Position root{.id = "\"}\\\n\t\u0001/null", .title = "Z\u00E9\u6F22\U0001F600\u2028e\u0301"};
    root.setJobTitle(root.title); // a custom title equal to the pay level stays custom
    root.employee = Employee{"0", ""};
    root.fte = 0.1 + 0.2;
    root.schoolAssignments = {{"North\u00A0School", 0.1}, {"Smith, \"A\"", 0.2}};
    root.isAssistant = false;
    root.siblingOrder = INT64_MIN;
    root.groupMemberCount = INT64_MAX;
    Position report{.id = " #1", .title = "a", .department = "\\u0000 ", .managerID = root.id,
                    .dottedManagerIDs = {root.id, root.id}, .fte = 5e-324, .isAssistant = true,
                    .siblingOrder = 9007199254740993, .groupMemberCount = 0};
    Position third{.id = "#2", .title = "1/3", .employee = Employee{"2-\U0001F600", "Smith,\u00A0Jo"},
                   .managerID = report.id, .location = "}", .fte = 1e300};
    return Organization{{third, root, report}};
}

} // namespace

TEST(OrganizationRoundTrip, AwkwardOrganizationSurvivesEncodeAndDecode)
{
    const Organization original = awkwardOrganization();
    ASSERT_NO_THROW(original.validate());
    const std::string text = OrganizationJson::encode(original).dump(2);
    const Organization decoded = OrganizationJson::decodeOrganization(JsonRead::parse(text));
    ASSERT_EQ(decoded, original) << text;
    EXPECT_EQ(OrganizationJson::encode(decoded).dump(2), text);
}

Position decodePosition(const std::string &keys)
{
    return OrganizationJson::decodePosition(nlohmann::json::parse(
        R"({"id":"A","department":"","dottedManagerIDs":[],"location":"","fte":1,"schoolAssignments":[],)" + keys + "}"));
}

// The pay level comes from "payLevel" or else "title"; the follow flag decides whether a job title stays.
TEST(PositionJson, PayLevelAndJobTitleKeys)
{
    const struct { const char *keys; std::string payLevel; std::optional<std::string> custom; } cases[] = {
        {R"("title":"Teacher","jobTitle":"Teacher")", "Teacher", std::nullopt},
        {R"("title":"T2","jobTitle":"Teacher")", "T2", "Teacher"},
        {R"("title":"Old","payLevel":"New","jobTitle":"Other","jobTitleFollowsPayLevel":true)", "New", std::nullopt},
        {R"("payLevel":"Teacher","jobTitleFollowsPayLevel":false,"jobTitle":"Teacher")", "Teacher", "Teacher"},
    };
    for (const auto &c : cases) {
        const Position p = decodePosition(c.keys);
        EXPECT_EQ(p.payLevel(), c.payLevel) << c.keys;
        EXPECT_EQ(p.customJobTitle, c.custom) << c.keys;
    }
    for (const char *bad : {R"("title":"T","siblingOrder":1.5)", R"("title":"T","siblingOrder":1e30)",
                            R"("title":"T","isAssistant":1)"})
        EXPECT_THROW(decodePosition(bad), JsonRead::Error) << bad;
}
