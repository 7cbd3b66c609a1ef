#include "core/organization_json.h"

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

Organization withoutDisplayFields(Organization organization)
{
    for (Position &p : organization.positions) {
        p.sharedReportRootID.reset();
        p.primaryManagerReference.reset();
        p.reportingCallout.reset();
        p.proposalChange.reset();
    }
    return organization;
}

} // namespace

TEST(OrganizationRoundTrip, RandomValidOrganizationsSurviveEncodeAndDecode)
{
    for (uint32_t seed = 1; seed <= 400; ++seed) {
        const Organization original = OrganizationGenerator(seed).make();
        ASSERT_NO_THROW(original.validate()) << "seed " << seed;

        const std::string text = OrganizationJson::encode(original).dump(2);
        const Organization decoded = OrganizationJson::decodeOrganization(JsonRead::parse(text));
        ASSERT_EQ(decoded, withoutDisplayFields(original)) << "seed " << seed << "\n" << text;
        EXPECT_NO_THROW(decoded.validate()) << "seed " << seed;
        EXPECT_EQ(OrganizationJson::encode(decoded).dump(2), text) << "seed " << seed;
    }
}
