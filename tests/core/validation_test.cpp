#include "core/organization.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

namespace {

Position position(std::string id, std::optional<std::string> manager = std::nullopt)
{
    return Position{.id = std::move(id), .title = "Teacher", .managerID = std::move(manager)};
}

Position occupied(std::string id, std::string number, std::optional<std::string> manager = std::nullopt)
{
    Position p = position(std::move(id), std::move(manager));
    p.employee = Employee{std::move(number), "Sam Lee"};
    return p;
}

// The message validate() throws, or "" when the organization is valid.
std::string problem(const Organization &organization)
{
    try {
        organization.validate();
        return "";
    } catch (const OrganizationError &error) {
        return error.message();
    }
}

struct Case {
    const char *name;
    Organization organization;
    std::string message;
};

Organization one(Position p)
{
    return Organization{{std::move(p)}};
}

Position with(Position p, auto change)
{
    change(p);
    return p;
}

const double notANumber = std::numeric_limits<double>::quiet_NaN();
const double inf = std::numeric_limits<double>::infinity();

} // namespace

TEST(Validation, ReportsFirstBrokenRule)
{
    const Case cases[] = {
        {"empty organization", Organization{}, ""},
        {"duplicate id before everything else",
         Organization{{with(position("A"), [](Position &p) { p.title = ""; }), position("A")}},
         "Position IDs must be unique."},
        {"blank id", one(position("  ")), "Position IDs cannot be blank."},
        {"blank id and pay level, id inserted as stored",
         one(with(position("  "), [](Position &p) { p.title = " \n"; })), "   needs a Pay Level and Job Title."},
        {"blank custom job title", one(with(position("A"), [](Position &p) { p.setJobTitle("\u00A0"); })),
         "A needs a Pay Level and Job Title."},
        {"zero FTE", one(with(position("A"), [](Position &p) { p.fte = 0; })), "A needs a positive FTE."},
        {"negative FTE", one(with(position("A"), [](Position &p) { p.fte = -1; })), "A needs a positive FTE."},
        {"infinite FTE", one(with(position("A"), [](Position &p) { p.fte = inf; })), "A needs a positive FTE."},
        {"NaN FTE", one(with(position("A"), [](Position &p) { p.fte = notANumber; })), "A needs a positive FTE."},
        {"own primary manager", one(position("A", "A")), "A references an invalid manager: A."},
        {"own dotted manager", one(with(position("A"), [](Position &p) { p.dottedManagerIDs = {"A"}; })),
         "A references an invalid manager: A."},
        {"unknown dotted manager after a good primary",
         Organization{{position("B"), with(position("A", "B"), [](Position &p) { p.dottedManagerIDs = {"B", "X"}; })}},
         "A references an invalid manager: X."},
        {"dotted manager repeating the primary is allowed",
         Organization{{position("B"), with(position("A", "B"), [](Position &p) { p.dottedManagerIDs = {"B", "B"}; })}},
         ""},
        {"blank employee number", one(occupied("A", " \t")), "Employee numbers cannot be blank."},
        {"employee numbers compared trimmed", Organization{{occupied("A", " 12"), occupied("B", "12")}},
         "Employee number 12 is already assigned to another position. Enter a unique employee number."},
        {"school rows within 1e-6 of the FTE",
         one(with(position("A"), [](Position &p) { p.schoolAssignments = {{"North", 0.5}, {"South", 0.4999995}}; })),
         ""},
        {"school rows short of the FTE",
         one(with(position("A"), [](Position &p) { p.schoolAssignments = {{"North", 0.5}, {"South", 0.499}}; })),
         "School assignment FTE must total A's position FTE."},
        {"empty school reported before the sum",
         one(with(position("A"), [](Position &p) { p.schoolAssignments = {{" ", 0.1}}; })),
         "A has an invalid school assignment."},
        {"zero school FTE", one(with(position("A"), [](Position &p) { p.schoolAssignments = {{"North", 0}, {"South", 1}}; })),
         "A has an invalid school assignment."},
        {"NaN school FTE", one(with(position("A"), [](Position &p) { p.schoolAssignments = {{"North", notANumber}}; })),
         "A has an invalid school assignment."},
        {"two-position cycle names the first position", Organization{{position("A", "B"), position("B", "A")}},
         "Primary reporting relationships contain a cycle at A."},
        {"chain running into a cycle names the first repeated id",
         Organization{{position("A", "B"), position("B", "C"), position("C", "B")}},
         "Primary reporting relationships contain a cycle at B."},
        {"cycle after a chain already known to be sound",
         Organization{{position("A"), position("B", "A"), position("C", "D"), position("D", "C")}},
         "Primary reporting relationships contain a cycle at C."},
    };
    for (const Case &c : cases)
        EXPECT_EQ(problem(c.organization), c.message) << c.name;
}

TEST(Validation, ChecksOfOnePositionRunInOrder)
{
    const Case cases[] = {
        {"pay level before FTE", one(with(position("A"), [](Position &p) { p.title = ""; p.fte = 0; })),
         "A needs a Pay Level and Job Title."},
        {"FTE before managers", one(with(position("A", "X"), [](Position &p) { p.fte = 0; })),
         "A needs a positive FTE."},
        {"managers before employee number", Organization{{occupied("A", "1"), occupied("B", "1", "X")}},
         "B references an invalid manager: X."},
        {"employee number before school split",
         one(with(occupied("A", ""), [](Position &p) { p.schoolAssignments = {{"", 1}}; })),
         "Employee numbers cannot be blank."},
        {"school split before cycle",
         Organization{{with(position("A", "B"), [](Position &p) { p.schoolAssignments = {{"", 1}}; }),
                       position("B", "A")}},
         "A has an invalid school assignment."},
    };
    for (const Case &c : cases)
        EXPECT_EQ(problem(c.organization), c.message) << c.name;
}

TEST(Validation, EarlierPositionWinsOverLaterRule)
{
    // A's walk meets the cycle before B's blank pay level is looked at.
    Organization cycleFirst{{position("A", "C"), with(position("B"), [](Position &p) { p.title = ""; }),
                             position("C", "D"), position("D", "C")}};
    EXPECT_EQ(problem(cycleFirst), "Primary reporting relationships contain a cycle at C.");

    // B's chain was already walked from A; its own checks still run.
    Organization laterChecked{{position("A", "B"), with(position("B"), [](Position &p) { p.fte = 0; })}};
    EXPECT_EQ(problem(laterChecked), "B needs a positive FTE.");
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

    Organization cycle = chain;
    cycle.positions.back().managerID = "P" + std::to_string(depth - 1);
    EXPECT_EQ(problem(cycle), "Primary reporting relationships contain a cycle at P" + std::to_string(depth - 1) + ".");
}
