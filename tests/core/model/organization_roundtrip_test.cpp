#include "core/model/organization_json.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <random>

namespace {

// Builds random organizations that pass validate(): unique non-blank ids, managers that
// exist and form no cycle, unique employee numbers, school rows that add up to the FTE.
class OrganizationGenerator {
public:
    explicit OrganizationGenerator(uint32_t seed) : m_random(seed) {}

    Organization make()
    {
        const size_t count = below(25);
        Organization organization;
        for (size_t i = 0; i < count; ++i)
            organization.positions.push_back(makePosition(i, organization));
        // Managers may come after their reports in document order.
        std::shuffle(organization.positions.begin(), organization.positions.end(), m_random);
        return organization;
    }

private:
    size_t below(size_t n) { return std::uniform_int_distribution<size_t>(0, n - 1)(m_random); }
    bool chance(double p) { return std::bernoulli_distribution(p)(m_random); }

    std::string text(bool allowBlank)
    {
        static const char *pieces[] = {"a",  "Z",      " ",         "\u00E9", "\u6F22", "\U0001F600", "\"",
                                       "\\", "\n",     "\t",        "\u0001", "/",      "\u00A0",     "0",
                                       "9",  "Smith,", "\u2028",    "}",      "null",   "\u0301"};
        std::string result;
        const size_t length = below(8);
        for (size_t i = 0; i < length; ++i)
            result += pieces[below(std::size(pieces))];
        if (!allowBlank)
            result += pieces[below(2)];
        return result;
    }

    double positive()
    {
        static const double special[] = {1, 0.5, 0.1, 1.0 / 3, 1e-300, 5e-324, 1e300, 0.1 + 0.2};
        if (chance(0.4))
            return special[below(std::size(special))];
        return std::uniform_real_distribution<double>(1e-6, 3)(m_random);
    }

    std::optional<int64_t> integer()
    {
        if (chance(0.5))
            return std::nullopt;
        static const int64_t special[] = {0, -1, std::numeric_limits<int64_t>::min(),
                                          std::numeric_limits<int64_t>::max(), 9007199254740993};
        if (chance(0.3))
            return special[below(std::size(special))];
        return std::uniform_int_distribution<int64_t>(-1000, 1000)(m_random);
    }

    Position makePosition(size_t index, const Organization &earlier)
    {
        Position p;
        p.id = text(true) + "#" + std::to_string(index);
        p.title = text(false);
        if (chance(0.3))
            p.setJobTitle(chance(0.3) ? p.title : text(false));
        p.department = text(true);
        p.location = text(true);
        if (chance(0.7))
            p.employee = Employee{std::to_string(index) + "-" + text(true), text(true)};
        // Managers are drawn from positions made earlier, so chains never loop.
        if (!earlier.positions.empty() && chance(0.8))
            p.managerID = earlier.positions[below(earlier.positions.size())].id;
        for (size_t i = below(3); i > 0 && !earlier.positions.empty(); --i)
            p.dottedManagerIDs.push_back(earlier.positions[below(earlier.positions.size())].id);
        if (chance(0.3)) {
            double sum = 0.0;
            for (size_t i = below(3) + 1; i > 0; --i) {
                const double share = std::uniform_real_distribution<double>(0.01, 1)(m_random);
                p.schoolAssignments.push_back({text(false), share});
                sum += share;
            }
            p.fte = sum;
        } else {
            p.fte = positive();
        }
        if (chance(0.5))
            p.isAssistant = chance(0.5);
        p.siblingOrder = integer();
        p.groupMemberCount = integer();
        // Display-only fields, which the document never holds.
        if (chance(0.2))
            p.sharedReportRootID = "root";
        if (chance(0.2))
            p.reportingCallout = ReportingCallout{{PrimaryManagerReference{"m", std::nullopt, "Boss", {}}}, "m"};
        if (chance(0.2))
            p.primaryManagerReference = PrimaryManagerReference{"m", "Ann", "Boss", {{"S", "Sheet"}}};
        if (chance(0.2))
            p.proposalChange = ProposalChangeKind::moved;
        return p;
    }

    std::mt19937 m_random;
};

// The organization as a file gives it back: without the display fields, ids in canonical form.
Organization asRead(Organization organization)
{
    for (Position &p : organization.positions) {
        p.sharedReportRootID.reset();
        p.primaryManagerReference.reset();
        p.reportingCallout.reset();
        p.proposalChange.reset();
        canonicalizeIdentifiers(p);
    }
    return organization;
}

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

TEST(OrganizationRoundTrip, RandomValidOrganizationsSurviveEncodeAndDecode)
{
    for (uint32_t seed = 1; seed <= 400; ++seed) {
        const Organization original = OrganizationGenerator(seed).make();
        ASSERT_NO_THROW(original.validate()) << "seed " << seed;

        const std::string text = OrganizationJson::encode(original).dump(2);
        const Organization decoded = OrganizationJson::decodeOrganization(JsonRead::parse(text));
        const Organization expected = asRead(original);
        ASSERT_EQ(decoded, expected) << "seed " << seed << "\n" << text;
        EXPECT_NO_THROW(decoded.validate()) << "seed " << seed;
        EXPECT_EQ(OrganizationJson::encode(decoded).dump(2), OrganizationJson::encode(expected).dump(2)) << "seed " << seed;
    }
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
