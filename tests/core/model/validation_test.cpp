#include "core/model/organization.h"
#include "error_of.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
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
        {"employee number blank after trimming, before the school split", {{position("A", std::nullopt, [](Position &p) {
             p.employee = Employee{"\u00A0\t\u2028", "Sam Lee"};
             p.schoolAssignments = {{"", 1}};
         })}},
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

TEST(Validation, RepeatsAndMissingManagersAreFoundAmongManyPositions)
{
    constexpr int size = 5000;
    Organization many;
    for (int i = 0; i < size; ++i)
        many.positions.push_back(occupied("P" + std::to_string(i), std::to_string(i),
                                          i == 0 ? std::nullopt : std::optional("P" + std::to_string(i / 2))));
    EXPECT_EQ(problem(many), "");

    Organization repeatedID = many;
    repeatedID.positions.back().id = "P17";
    EXPECT_EQ(problem(repeatedID), "Position IDs must be unique.");

    Organization repeatedNumber = many;
    repeatedNumber.positions.back().employee->id = " 2500\t";
    EXPECT_EQ(problem(repeatedNumber),
              "Employee number 2500 is already assigned to another position. Enter a unique employee number.");

    Organization missingManager = many;
    missingManager.positions[4000].managerID = "P" + std::to_string(size);
    EXPECT_EQ(problem(missingManager), "P4000 references an invalid manager: P5000.");
}
