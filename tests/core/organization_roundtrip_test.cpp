#include "core/organization_json.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>

namespace {

// Random organizations that pass validate(), with awkward text and numbers.
class OrganizationGenerator {
public:
    explicit OrganizationGenerator(uint32_t seed) : m_random(seed) {}

    Organization make()
    {
        Organization organization;
        for (size_t i = 0, count = below(25); i < count; ++i)
            organization.positions.push_back(makePosition(i, organization));
        std::shuffle(organization.positions.begin(), organization.positions.end(), m_random);
        return organization;
    }

private:
    size_t below(size_t n) { return std::uniform_int_distribution<size_t>(0, n - 1)(m_random); }
    bool chance(double p) { return std::bernoulli_distribution(p)(m_random); }
    template <typename T, size_t N> T any(const T (&items)[N]) { return items[below(N)]; }

    std::string text(bool allowBlank)
    {
        static const char *pieces[] = {"a", "Z", " ", "\u00E9", "\u6F22", "\U0001F600", "\"", "\\", "\n", "\t",
                                       "\u0001", "/", "\u00A0", "0", "Smith,", "\u2028", "}", "null", "\u0301"};
        std::string result = allowBlank ? "" : pieces[below(2)];
        for (size_t i = below(8); i > 0; --i)
            result += any(pieces);
        return result;
    }

    std::optional<int64_t> integer()
    {
        static const int64_t special[] = {0, -1, INT64_MIN, INT64_MAX, 9007199254740993};
        if (chance(0.5))
            return std::nullopt;
        return chance(0.3) ? any(special) : std::uniform_int_distribution<int64_t>(-1000, 1000)(m_random);
    }

    Position makePosition(size_t index, const Organization &earlier)
    {
        static const double fte[] = {1, 0.1, 1.0 / 3, 1e-300, 5e-324, 1e300, 0.1 + 0.2};
        Position p;
        p.id = text(true) + "#" + std::to_string(index);
        p.title = text(false);
        if (chance(0.3))
            p.setJobTitle(chance(0.3) ? p.title : text(false));
        p.department = text(true);
        p.location = text(true);
        if (chance(0.7))
            p.employee = Employee{std::to_string(index) + "-" + text(true), text(true)};
        // Managers come from earlier positions, so chains never loop.
        if (!earlier.positions.empty() && chance(0.8))
            p.managerID = earlier.positions[below(earlier.positions.size())].id;
        for (size_t i = below(3); i > 0 && !earlier.positions.empty(); --i)
            p.dottedManagerIDs.push_back(earlier.positions[below(earlier.positions.size())].id);
        p.fte = chance(0.5) ? any(fte) : std::uniform_real_distribution<double>(1e-6, 3)(m_random);
        if (chance(0.3)) {
            p.fte = 0.0;
            for (size_t i = below(3) + 1; i > 0; --i) {
                p.schoolAssignments.push_back({text(false), std::uniform_real_distribution<double>(0.01, 1)(m_random)});
                p.fte += p.schoolAssignments.back().fte;
            }
        }
        if (chance(0.5))
            p.isAssistant = chance(0.5);
        p.siblingOrder = integer();
        p.groupMemberCount = integer();
        return p;
    }

    std::mt19937 m_random;
};

} // namespace

TEST(OrganizationRoundTrip, RandomValidOrganizationsSurviveEncodeAndDecode)
{
    for (uint32_t seed = 1; seed <= 400; ++seed) {
        const Organization original = OrganizationGenerator(seed).make();
        ASSERT_NO_THROW(original.validate()) << "seed " << seed;
        const std::string text = OrganizationJson::encode(original).dump(2);
        const Organization decoded = OrganizationJson::decodeOrganization(JsonRead::parse(text));
        ASSERT_EQ(decoded, original) << "seed " << seed << "\n" << text;
        EXPECT_EQ(OrganizationJson::encode(decoded).dump(2), text) << "seed " << seed;
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
    const struct {
        const char *keys;
        std::string payLevel;
        std::optional<std::string> custom;
    } cases[] = {
        {R"("title":"Teacher","jobTitle":"Teacher")", "Teacher", std::nullopt},
        {R"("title":"T2","jobTitle":"Teacher")", "T2", "Teacher"},
        {R"("title":"Old","payLevel":"New","jobTitle":"Other","jobTitleFollowsPayLevel":true)", "New", std::nullopt},
        {R"("payLevel":"Teacher","jobTitleFollowsPayLevel":false,"jobTitle":"Teacher")", "Teacher", "Teacher"},
        {R"("payLevel":"Teacher","jobTitleFollowsPayLevel":null,"jobTitle":"Teacher")", "Teacher", std::nullopt},
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
