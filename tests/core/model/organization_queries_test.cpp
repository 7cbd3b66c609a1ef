#include "core/model/organization.h"
#include "position_ids.h"

#include <gtest/gtest.h>

namespace {

Position position(std::string id, std::optional<std::string> manager = std::nullopt,
                  std::vector<std::string> dotted = {})
{
    return Position{.id = std::move(id), .title = "Teacher", .managerID = std::move(manager),
                    .dottedManagerIDs = std::move(dotted)};
}

Organization withNumbers(std::vector<std::optional<std::string>> numbers)
{
    Organization organization;
    for (size_t i = 0; i < numbers.size(); ++i) {
        Position p = position("P" + std::to_string(i));
        if (numbers[i])
            p.employee = Employee{*numbers[i], "Someone"};
        organization.positions.push_back(p);
    }
    return organization;
}

} // namespace

TEST(Focused, KeepsSubtreeAndDropsManagersOutsideIt)
{
    const Organization organization{{position("A"), position("B", "A"), position("C", "B", {"A", "B"}),
                                     position("D", "A")}};
    const Organization result = organization.focused({"B"});
    ASSERT_EQ(idsOf(result), (std::vector<std::string>{"B", "C"}));
    EXPECT_FALSE(result.positions[0].managerID.has_value());
    EXPECT_EQ(result.positions[1].managerID, std::optional<std::string>("B"));
    EXPECT_EQ(result.positions[1].dottedManagerIDs, (std::vector<std::string>{"B"}));
}

TEST(Focused, KeepsDocumentOrderAndHandlesUnknownAndEmptyIds)
{
    // D is listed before its manager A; the result follows the document, not the walk.
    const Organization organization{{position("D", "A"), position("X"), position("A"), position("Y", "X")}};
    EXPECT_EQ(idsOf(organization.focused({"A"})), (std::vector<std::string>{"D", "A"}));
    EXPECT_TRUE(organization.focused({"nobody"}).positions.empty());
    EXPECT_EQ(idsOf(organization.focused({""})), idsOf(organization));
    EXPECT_EQ(idsOf(organization.focused({"Y", "A"})), (std::vector<std::string>{"D", "A", "Y"}));
}

TEST(Focused, KeepsSubtreesInDocumentOrderAndDropsManagersOutsideThemWithoutRecursion)
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

    Organization chain; // deep enough to overflow a recursive walk
    for (int i = 0; i < 100'000; ++i)
        chain.positions.push_back(position("P" + std::to_string(i), i == 0 ? std::nullopt
                                                                            : std::optional("P" + std::to_string(i - 1))));
    const Organization deep = chain.focused({"P1"});
    EXPECT_EQ(deep.positions.size(), chain.positions.size() - 1);
    EXPECT_FALSE(deep.positions.front().managerID.has_value());
}

TEST(NextEmployeeNumber, ContinuesLargestNumericNumberKeepingItsWidthPastAnyIntegerType)
{
    Organization organization{{position("vacant")}};
    for (const char *number : {"A-1", "\u0663", "09999999999999999999999999", " 12 "}) // U+0663 is not a digit here
        organization.positions.push_back(Position{.id = number, .title = "T", .employee = Employee{number, "Someone"}});
    EXPECT_EQ(organization.nextEmployeeNumber(), "10000000000000000000000000");
}

TEST(NextEmployeeNumber, ContinuesLargestNumericNumber)
{
    const struct {
        std::vector<std::optional<std::string>> numbers;
        std::string next;
    } cases[] = {
        {{}, "1"},
        {{std::nullopt}, "1"},
        {{"A-1", "12a", " "}, "1"},
        {{"0042", "7"}, "0043"},
        {{"999"}, "1000"},
        {{"007", "12"}, "013"},
        {{"00"}, "01"},
        {{" 41 ", "12a"}, "42"},
        {{"99999999999999999999999999"}, "100000000000000000000000000"},
        {{"\u0663"}, "1"}, // a non-ASCII digit is not a number here
    };
    for (const auto &c : cases)
        EXPECT_EQ(withNumbers(c.numbers).nextEmployeeNumber(), c.next) << ::testing::PrintToString(c.numbers);
}
