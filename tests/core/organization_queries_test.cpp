#include "core/organization.h"
#include "position_ids.h"

#include <gtest/gtest.h>

namespace {

Position position(std::string id, std::optional<std::string> manager = std::nullopt,
                  std::vector<std::string> dotted = {})
{
    return Position{.id = std::move(id), .title = "Teacher", .managerID = std::move(manager),
                    .dottedManagerIDs = std::move(dotted)};
}

} // namespace

TEST(Focused, KeepsSubtreesInDocumentOrderAndDropsManagersOutsideThem)
{
    // D is listed before its manager A; the result follows the document, not the walk.
    const Organization organization{{position("D", "A"), position("X"), position("A"), position("C", "A", {"X", "A"}),
                                     position("Y", "X")}};
    const Organization result = organization.focused({"A"});
    ASSERT_EQ(idsOf(result), (std::vector<std::string>{"D", "A", "C"}));
    EXPECT_FALSE(result.positions[1].managerID.has_value());
    EXPECT_EQ(result.positions[2].dottedManagerIDs, (std::vector<std::string>{"A"}));
    EXPECT_TRUE(organization.focused({"nobody"}).positions.empty());
    EXPECT_EQ(idsOf(organization.focused({""})), idsOf(organization));
}

TEST(Focused, DeepChainDoesNotRecurse)
{
    Organization chain;
    for (int i = 0; i < 100'000; ++i)
        chain.positions.push_back(position("P" + std::to_string(i), i == 0 ? std::nullopt
                                                                            : std::optional("P" + std::to_string(i - 1))));
    const Organization result = chain.focused({"P1"});
    EXPECT_EQ(result.positions.size(), chain.positions.size() - 1);
    EXPECT_FALSE(result.positions.front().managerID.has_value());
}

TEST(NextEmployeeNumber, ContinuesLargestNumericNumberKeepingItsWidth)
{
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{}, "1"},
        {{"A-1", "12a", " ", "\u0663"}, "1"}, // a non-ASCII digit is not a number here
        {{"007", "12"}, "013"},
        {{" 41 ", "12a"}, "42"},
        {{"99999999999999999999999999"}, "100000000000000000000000000"},
    };
    for (const auto &[numbers, next] : cases) {
        Organization organization{{position("vacant")}};
        for (const std::string &number : numbers)
            organization.positions.push_back(Position{.id = number, .title = "T", .employee = Employee{number, "Someone"}});
        EXPECT_EQ(organization.nextEmployeeNumber(), next) << ::testing::PrintToString(numbers);
    }
}
