#include "core/model/organization.h"
#include "error_of.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <random>
#include <string>
#include <utility>
#include <vector>

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

namespace {

// What validate() says of `organization` with `replacement` at `index`, and what
// validateReplacement says of it, for a valid `organization`.
std::pair<std::string, std::string> bothChecks(const Organization &organization, size_t index, const Position &replacement)
{
    Organization edited = organization;
    edited.positions[index] = replacement;
    const std::string whole = problem(edited);
    const std::string partial = errorOf([&] { edited.validateReplacement(index, organization.positions[index]); });
    return {whole, partial};
}

} // namespace

TEST(Validation, AReplacedPositionIsRefusedExactlyAsTheWholeCheckRefusesIt)
{
    // E0 above B1 above C2 above D3; X4 reports to C2 and comes after it; F5 is a second top.
    const Organization valid{{occupied("E0", "100"), occupied("B1", "101", "E0"), occupied("C2", "102", "B1"),
                              occupied("D3", "103", "C2"), occupied("X4", " 104 ", "C2"), occupied("F5", "105")}};
    ASSERT_EQ(problem(valid), "");
    struct Edit {
        const char *name;
        size_t index;
        Position replacement;
        std::string message;
    };
    const std::vector<Edit> edits = {
        {"rename", 3, with(valid.positions[3], [](Position &p) { p.employee->name = "Ana"; }), ""},
        {"moved under another top", 2, with(valid.positions[2], [](Position &p) { p.managerID = "F5"; }), ""},
        {"made a top", 1, with(valid.positions[1], [](Position &p) { p.managerID.reset(); }), ""},
        {"made vacant", 4, with(valid.positions[4], [](Position &p) { p.employee.reset(); }), ""},
        {"number kept but spaced", 4, with(valid.positions[4], [](Position &p) { p.employee->id = "104"; }), ""},
        {"number taken by a later position", 1,
         with(valid.positions[1], [](Position &p) { p.employee->id = "\t104"; }),
         "Employee number 104 is already assigned to another position. Enter a unique employee number."},
        {"number taken by an earlier one", 5, with(valid.positions[5], [](Position &p) { p.employee->id = "100 "; }),
         "Employee number 100 is already assigned to another position. Enter a unique employee number."},
        {"number holding another", 5, with(valid.positions[5], [](Position &p) { p.employee->id = "1000"; }), ""},
        {"blank number", 5, with(valid.positions[5], [](Position &p) { p.employee->id = " "; }),
         "Employee numbers cannot be blank."},
        {"cycle under the top", 1, with(valid.positions[1], [](Position &p) { p.managerID = "D3"; }),
         "Primary reporting relationships contain a cycle at B1."},
        {"cycle through a later report", 2, with(valid.positions[2], [](Position &p) { p.managerID = "X4"; }),
         "Primary reporting relationships contain a cycle at C2."},
        {"managing itself", 3, with(valid.positions[3], [](Position &p) { p.managerID = "D3"; }),
         "D3 references an invalid manager: D3."},
        {"missing manager", 3, with(valid.positions[3], [](Position &p) { p.managerID = "Z9"; }),
         "D3 references an invalid manager: Z9."},
        {"missing dotted manager", 3, with(valid.positions[3], [](Position &p) { p.dottedManagerIDs = {"F5", "Z9"}; }),
         "D3 references an invalid manager: Z9."},
        {"dotted line to itself", 3, with(valid.positions[3], [](Position &p) { p.dottedManagerIDs = {"D3"}; }),
         "D3 references an invalid manager: D3."},
        {"dotted lines may loop", 0, with(valid.positions[0], [](Position &p) { p.dottedManagerIDs = {"D3"}; }), ""},
        {"blank job title", 3, with(valid.positions[3], [](Position &p) { p.setJobTitle(" "); }),
         "D3 needs a Pay Level and Job Title."},
        {"zero FTE", 3, with(valid.positions[3], [](Position &p) { p.fte = 0; }), "D3 needs a positive FTE."},
        {"split FTE", 3,
         with(valid.positions[3], [](Position &p) { p.schoolAssignments = {{"North", 0.5}, {"South", 0.5}}; }), ""},
        {"split FTE short", 3,
         with(valid.positions[3], [](Position &p) { p.schoolAssignments = {{"North", 0.5}, {"South", 0.25}}; }),
         "School assignment FTE must total D3's position FTE."},
        {"school without a name", 3, with(valid.positions[3], [](Position &p) { p.schoolAssignments = {{"", 1}}; }),
         "D3 has an invalid school assignment."},
        // Two faults: the position's own checks run before its walk.
        {"cycle and blank title", 1,
         with(valid.positions[1], [](Position &p) {
             p.managerID = "X4";
             p.title = "";
         }),
         "B1 needs a Pay Level and Job Title."},
    };
    for (const Edit &edit : edits) {
        const auto [whole, partial] = bothChecks(valid, edit.index, edit.replacement);
        EXPECT_EQ(whole, edit.message) << edit.name;
        EXPECT_EQ(partial, whole) << edit.name;
    }

    // Listed first, Y is walked first: the cycle is named where Y's chain meets it, and
    // before the moved position's own fault.
    Organization reportFirst = valid;
    reportFirst.positions.insert(reportFirst.positions.begin(), occupied("Y6", "106", "D3"));
    for (const bool blankTitle : {false, true}) {
        const Position moved = with(reportFirst.positions[2], [&](Position &p) {
            p.managerID = "D3";
            if (blankTitle)
                p.title = "";
        });
        const auto [whole, partial] = bothChecks(reportFirst, 2, moved);
        EXPECT_EQ(whole, "Primary reporting relationships contain a cycle at D3.");
        EXPECT_EQ(partial, whole);
    }
}

// A position put back at the end of a valid organization that names it nowhere (a
// restore in a proposal): validateAddition refuses it exactly as validate() does.
TEST(Validation, AnAddedPositionIsRefusedExactlyAsTheWholeCheckRefusesIt)
{
    // Listed before its manager, C2 is where a walk meets a chain first.
    const Organization valid{{occupied("C2", "102", "B1"), occupied("E0", "100"), occupied("B1", " 101", "E0")}};
    ASSERT_EQ(problem(valid), "");
    struct Addition {
        const char *name;
        Position added;
        std::string message;
    };
    const std::vector<Addition> additions = {
        {"under a manager", occupied("D3", "103", "C2"), ""},
        {"a second top with a dotted line", with(occupied("F5", "105"), [](Position &p) { p.dottedManagerIDs = {"B1"}; }), ""},
        {"vacant", with(occupied("D3", "103", "C2"), [](Position &p) { p.employee.reset(); }), ""},
        {"id taken", occupied("B1", "103", "E0"), "Position IDs must be unique."},
        {"number taken, spaced", occupied("D3", "101\t", "C2"),
         "Employee number 101 is already assigned to another position. Enter a unique employee number."},
        {"number holding another", occupied("D3", "1010", "C2"), ""},
        {"missing manager", occupied("D3", "103", "Z9"), "D3 references an invalid manager: Z9."},
        {"managing itself", occupied("D3", "103", "D3"), "D3 references an invalid manager: D3."},
        {"missing dotted manager", with(occupied("D3", "103", "C2"), [](Position &p) { p.dottedManagerIDs = {"Z9"}; }), "D3 references an invalid manager: Z9."},
        {"blank title", with(occupied("D3", "103"), [](Position &p) { p.title = " "; }),
         "D3 needs a Pay Level and Job Title."},
        {"zero FTE", with(occupied("D3", "103"), [](Position &p) { p.fte = 0; }), "D3 needs a positive FTE."},
    };
    for (const Addition &addition : additions) {
        Organization added = valid;
        added.positions.push_back(addition.added);
        EXPECT_EQ(problem(added), addition.message) << addition.name;
        EXPECT_EQ(errorOf([&] { added.validateAddition(added.positions.size() - 1); }), addition.message)
            << addition.name;
    }
}

TEST(Validation, RandomReplacementsAreRefusedExactlyAsTheWholeCheckRefusesThem)
{
    std::mt19937 random(53);
    const auto pick = [&](auto options) { return options[random() % std::size(options)]; };
    for (int round = 0; round < 1000; ++round) {
        // A random tree of 30, each position under an earlier one, or listed before its
        // manager; some vacant, some with a dotted line anywhere, some split over two schools.
        Organization valid;
        for (int i = 0; i < 30; ++i) {
            Position p = occupied("P" + std::to_string(i), std::to_string(100 + i),
                                  i == 0 ? std::nullopt : std::optional("P" + std::to_string(random() % i)));
            if (random() % 5 == 0)
                p.employee.reset();
            if (const std::string other = "P" + std::to_string(random() % 30); random() % 4 == 0 && other != p.id)
                p.dottedManagerIDs.push_back(other);
            if (random() % 5 == 0)
                p.schoolAssignments = {{"North", 0.5}, {"South", 0.5}};
            valid.positions.push_back(std::move(p));
        }
        std::shuffle(valid.positions.begin(), valid.positions.end(), random);
        ASSERT_EQ(problem(valid), "");
        const size_t index = random() % valid.positions.size();
        Position replacement = valid.positions[index];
        // One to three changes in one edit, so that faults meet in the order the rules run.
        for (int changes = 1 + random() % 3; changes > 0; --changes) {
            const std::string other = "P" + std::to_string(random() % 30);
            const std::string number = std::to_string(100 + random() % 40);
            switch (random() % 10) {
            case 0: replacement.managerID = other; break; // may close a cycle, or name itself
            case 1: replacement.dottedManagerIDs.push_back(random() % 4 ? other : "missing"); break;
            case 2: replacement.employee = Employee{number, "Sam Lee"}; break;
            case 3: replacement.employee.reset(); break;
            case 4: replacement.managerID.reset(); break;
            case 5: replacement.dottedManagerIDs.clear(); break;
            case 6:
                replacement.employee = Employee{pick(std::array<std::string, 3>{" ", "\t" + number, number + " "}), "Sam Lee"};
                break;
            case 7:
                if (random() % 2)
                    replacement.title = pick(std::array{"", " ", "Principal"});
                else
                    replacement.setJobTitle(pick(std::array{"\u00A0", "Coach"}));
                break;
            case 8: replacement.fte = pick(std::array{0.0, -1.0, 0.5, 1.0, notANumber}); break;
            case 9:
                replacement.schoolAssignments = pick(std::array<std::vector<SchoolAssignment>, 4>{
                    {{}, {{"North", 1}}, {{"North", 0.5}, {"South", 0.25}}, {{" ", 1}}}});
                break;
            }
        }
        const auto [whole, partial] = bothChecks(valid, index, replacement);
        ASSERT_EQ(partial, whole) << "round " << round;
    }
}
