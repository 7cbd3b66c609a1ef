#include "core/model/organization.h"
#include "error_of.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace {

Position position(std::string id, std::optional<std::string> manager = std::nullopt, void (*change)(Position &) = nullptr)
{
    Position p{.id = std::move(id), .title = "Teacher", .managerID = std::move(manager)};
    if (change)
        change(p);
    return p;
}

Position occupied(std::string id, std::string number, std::optional<std::string> manager = std::nullopt)
{
    Position p = position(std::move(id), std::move(manager));
    p.employee = Employee{std::move(number), "Sam Lee"};
    return p;
}

std::string problem(const Organization &organization)
{
    return errorOf([&] { organization.validate(); });
}

} // namespace

// Each row breaks several rules; the message names the first broken one, so the rows pin the order.
TEST(Validation, ReportsTheFirstBrokenRuleInOrder)
{
    const struct {
        const char *name;
        Organization organization;
        std::string message;
    } cases[] = {
        {"duplicate id before all else", {{position("A", "X", [](Position &p) { p.title = ""; }), position("A")}},
         "Position IDs must be unique."},
        {"blank pay level before FTE, id as stored", {{position("  ", std::nullopt, [](Position &p) { p.title = " \n"; p.fte = 0; })}},
         "   needs a Pay Level and Job Title."},
        {"managers before employee number", {{occupied("A", "1"), occupied("B", "1", "X")}},
         "B references an invalid manager: X."},
        {"employee numbers compared trimmed", {{occupied("A", " 12"), occupied("B", "12")}},
         "Employee number 12 is already assigned to another position. Enter a unique employee number."},
        {"employee number blank after trimming",
         {{position("A", std::nullopt, [](Position &p) { p.employee = Employee{"\u00A0\t\u2028", "Sam Lee"}; })}},
         "Employee numbers cannot be blank."},
        {"school rows short of the FTE",
         {{position("A", std::nullopt, [](Position &p) { p.schoolAssignments = {{"N", 0.5}, {"S", 0.499}}; })}},
         "School assignment FTE must total A's position FTE."},
        {"earlier position wins over a later rule",
         {{position("A", "C"), position("B", std::nullopt, [](Position &p) { p.title = ""; }), position("C", "D"),
           position("D", "C")}},
         "Primary reporting relationships contain a cycle at C."},
        {"chain walked from an earlier position still checked",
         {{position("A", "B"), position("B", std::nullopt, [](Position &p) { p.fte = 0; })}}, "B needs a positive FTE."},
    };
    for (const auto &c : cases)
        EXPECT_EQ(problem(c.organization), c.message) << c.name;
}

TEST(Validation, DeepChainIsValidAndLongCycleIsFound)
{
    constexpr int depth = 100'000;
    Organization chain;
    chain.positions.reserve(depth);
    // Listed bottom first, so every position's walk runs the rest of the chain.
    for (int i = depth - 1; i >= 0; --i)
        chain.positions.push_back(position("P" + std::to_string(i), i == 0 ? std::nullopt
                                                                            : std::optional("P" + std::to_string(i - 1))));
    EXPECT_EQ(problem(chain), "");

    chain.positions.back().managerID = "P" + std::to_string(depth - 1);
    EXPECT_EQ(problem(chain), "Primary reporting relationships contain a cycle at P" + std::to_string(depth - 1) + ".");
}
