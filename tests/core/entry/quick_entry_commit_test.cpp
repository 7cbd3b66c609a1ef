#include "core/document/organization_archive.h"
#include "core/entry/quick_entry.h"

#include "error_of.h"
#include "position_ids.h"

#include <gtest/gtest.h>

#include <regex>

namespace {

Position person(std::string id, std::string name, std::string number, std::string department,
                std::optional<std::string> manager = {})
{
    Position p{.id = std::move(id), .title = "Pay", .department = std::move(department)};
    p.employee = Employee{.id = std::move(number), .name = std::move(name)};
    p.managerID = std::move(manager);
    return p;
}

// Bea leads; the vacant coordinator V leads Eve; Eli reports to Bea. All on chart S.
OrganizationArchive district()
{
    OrganizationArchive archive;
    archive.organization.positions = {person("B", "Bea Stone", "0008", "Admin"),
                                      Position{.id = "V", .title = "Coordinator", .department = "Art", .managerID = "B"},
                                      person("E1", "Eve Hart", "0009", "Art", "V"),
                                      person("E2", "Eli Park", "0003", "Music", "B")};
    archive.sheets = std::vector{OrganizationSheet{.id = "S", .name = "Main", .positionIDs = {"B", "V", "E1", "E2"}}};
    return archive;
}

std::string commitFailure(OrganizationArchive archive, const std::vector<QuickEntryRow> &rows,
                          const std::string &sheetID = "S")
{
    const OrganizationArchive before = archive;
    const std::string message = errorOf([&] { archive.quickAdd(rows, sheetID); });
    EXPECT_EQ(archive, before) << "a refused commit must change nothing";
    return message;
}

QuickEntryRow newPerson(std::string name, std::string title, std::string manager = "", std::string department = "Art")
{
    QuickEntryRow row(std::move(department), std::move(manager), "");
    row.name = std::move(name);
    row.title = std::move(title);
    return row;
}

QuickEntryRow newVacancy(std::string title, int quantity, std::string manager = "B")
{
    QuickEntryRow row = newPerson("", std::move(title), std::move(manager));
    row.vacant = true;
    row.quantity = quantity;
    return row;
}

QuickEntryRow row(const OrganizationArchive &a, const char *id) { return QuickEntryRow(positionIn(a.organization, id)); }

} // namespace

TEST(QuickEntryCommit, RefusesWhileCurrentIsLocked)
{
    OrganizationArchive archive = district();
    archive.planning = OrganizationPlanning{.isLocked = true};
    EXPECT_EQ(commitFailure(archive, {newPerson("Ann", "T1")}),
              "Current organization is locked. Open Planning & Proposals to edit a named proposal instead.");
}

TEST(QuickEntryCommit, BlankNewRowsCommitNothing)
{
    OrganizationArchive archive = district();
    const OrganizationArchive before = archive;
    QuickEntryRow blank("Art", "nobody at all", "HQ");
    blank.setJobTitle(" ");
    EXPECT_TRUE(archive.quickAdd({blank, QuickEntryRow("", "", "")}, "S").empty());
    EXPECT_EQ(archive, before);
}

TEST(QuickEntryCommit, RowRefusals)
{
    QuickEntryRow existingTriple(positionIn(district().organization, "E2"));
    existingTriple.quantity = 3;
    QuickEntryRow noPay(positionIn(district().organization, "E2"));
    noPay.title = " ";
    QuickEntryRow blankJob(positionIn(district().organization, "E2"));
    blankJob.setJobTitle("\t");
    QuickEntryRow noName(positionIn(district().organization, "E2"));
    noName.name = " ";
    QuickEntryRow namedVacancy = newVacancy("Aide", 1);
    namedVacancy.name = "Ann";
    QuickEntryRow doubleVacancy = newVacancy("Aide", 2, "Nobody");

    struct Case {
        const char *what;
        QuickEntryRow row;
        std::string message;
    };
    const Case cases[] = {
        {"quantity 0", newVacancy("Aide", 0), "Row 2: Quantity must be a whole number from 1 to 1,000."},
        {"quantity 1001", newVacancy("Aide", 1001), "Row 2: Quantity must be a whole number from 1 to 1,000."},
        {"existing quantity 3", existingTriple,
         "Row 2: Quantity greater than 1 is only allowed when adding new vacant positions."},
        {"occupied quantity 2", [] { auto r = newPerson("Ann", "T1"); r.quantity = 2; return r; }(),
         "Row 2: Quantity greater than 1 is only allowed when adding new vacant positions."},
        {"named vacancy", namedVacancy, "Row 2: Vacant positions cannot have an employee name."},
        {"blank pay level", noPay, "Row 2: Enter a Pay Level and Job Title."},
        {"blank custom job title", blankJob, "Row 2: Enter a Pay Level and Job Title."},
        {"blank name", noName, "Row 2: Enter the employee name. Use Edit Person to mark a position vacant."},
        {"new person without pay level", newPerson("Ann", " "), "Row 2: Enter an employee name and title."},
        {"unknown manager", newPerson("Ann", "T1", " Zed "),
         "Row 2: manager 'Zed' is unknown. Choose a manager or enter a Position ID."},
        {"vacancy as manager", newPerson("Ann", "T1", "V"),
         "Row 2: manager 'V' is unknown. Choose a manager or enter a Position ID."},
        {"one line per copy", doubleVacancy,
         "Row 2: manager 'Nobody' is unknown. Choose a manager or enter a Position ID.\n"
         "Row 2: manager 'Nobody' is unknown. Choose a manager or enter a Position ID."},
    };
    for (const Case &c : cases) {
        OrganizationArchive archive = district();
        EXPECT_EQ(commitFailure(archive, {newPerson("Ok", "T1", "B"), c.row}), c.message) << c.what;
    }
}

TEST(QuickEntryCommit, StaleRowsAndMissingCharts)
{
    const std::string changed =
        "Row 1: This position changed or left the sheet. Close and reopen the grid before editing it.";
    const QuickEntryRow eli(positionIn(district().organization, "E2"));

    OrganizationArchive edited = district();
    edited.organization.positions[3].fte = 0.5;
    EXPECT_EQ(commitFailure(edited, {eli}), changed);

    OrganizationArchive offChart = district();
    offChart.sheets->front().positionIDs = {"B", "V", "E1"};
    EXPECT_EQ(commitFailure(offChart, {eli}), changed);

    OrganizationArchive archive = district();
    EXPECT_EQ(commitFailure(archive, {eli}, "gone"), changed);
    EXPECT_EQ(commitFailure(archive, {newPerson("Ann", "T1")}, "gone"),
              "Row 1: Choose a sheet before adding people.");
    EXPECT_EQ(commitFailure(archive, {newVacancy("Aide", 2)}, "gone"), "Row 1: The selected chart no longer exists.");
}

TEST(QuickEntryCommit, EveryProblemIsReportedAndNothingIsSaved)
{
    OrganizationArchive archive = district();
    const std::vector<QuickEntryRow> rows = {
        newPerson("Ann", "T1", "B"), newVacancy("Aide", 0), newPerson("Bo", "T1", "B"),
        QuickEntryRow("", "", ""),   newPerson("Cy", "", "B"),
    };
    EXPECT_EQ(commitFailure(archive, rows), "Row 2: Quantity must be a whole number from 1 to 1,000.\n"
                                            "Row 5: Enter an employee name and title.");
}

TEST(QuickEntryCommit, EveryProblemIsReportedByRowAndNothingIsSaved)
{
    OrganizationArchive twins = district();
    twins.organization.positions.push_back(person("K1", "Pat Kim", "20", "Art"));
    twins.organization.positions.push_back(person("K2", "pat kim", "21", "Music"));
    QuickEntryRow existingTriple = row(district(), "E2");
    existingTriple.quantity = 3;
    // A blank new row is skipped; a vacant position is no manager by name; a vacancy in
    // quantity reports its manager once per copy.
    EXPECT_EQ(commitFailure(twins, {newPerson("Ann", "T1", "B"), newVacancy("Aide", 0), existingTriple,
                                    QuickEntryRow("", "", ""), newPerson("Cy", "", "B"), newPerson("Ed", "T1", " V "),
                                    newPerson("Di", "T1", "PAT KIM"), newVacancy("Aide", 2, "Nobody")}),
              "Row 2: Quantity must be a whole number from 1 to 1,000.\n"
              "Row 3: Quantity greater than 1 is only allowed when adding new vacant positions.\n"
              "Row 5: Enter an employee name and title.\n"
              "Row 6: manager 'V' is unknown. Choose a manager or enter a Position ID.\n"
              "Row 7: manager 'PAT KIM' is ambiguous. Choose a manager or enter a Position ID.\n"
              "Row 8: manager 'Nobody' is unknown. Choose a manager or enter a Position ID.\n"
              "Row 8: manager 'Nobody' is unknown. Choose a manager or enter a Position ID.");

    OrganizationArchive locked = district();
    locked.planning = OrganizationPlanning{.isLocked = true};
    EXPECT_EQ(commitFailure(locked, {newPerson("Ann", "T1")}),
              "Current organization is locked. Open Planning & Proposals to edit a named proposal instead.");
    OrganizationArchive edited = district();
    edited.organization.positions[3].fte = 0.5;
    EXPECT_EQ(commitFailure(edited, {row(district(), "E2")}),
              "Row 1: This position changed or left the sheet. Close and reopen the grid before editing it.");
}

// A vacancy without a pay level used to surface only in the final validation: without its
// row number, hidden by other rows' problems, and with a manager line of its own.
TEST(QuickEntryCommit, VacancyWithoutPayLevelIsReportedWithTheOtherRows)
{
    QuickEntryRow untitled = newVacancy("  ", 1, "Nobody");
    const std::string message = commitFailure(district(), {untitled, newPerson("Ann", "T1", "Nobody"), newPerson("", "T1")});
    EXPECT_TRUE(std::regex_match(message, std::regex("Row 1: P-V-[0-9A-F-]{36} needs a Pay Level and Job Title\\.\n"
                                                     "Row 3: Enter an employee name and title\\.\n"
                                                     "Row 2: manager 'Nobody' is unknown\\. Choose a manager or enter a Position ID\\.")))
        << message;
    untitled = newVacancy("Aide", 2);
    untitled.setJobTitle(" ");
    EXPECT_TRUE(commitFailure(district(), {untitled}).ends_with(" needs a Pay Level and Job Title."));
}

TEST(QuickEntryCommit, MixedBatchEditsInPlaceAndAppendsInRowOrder)
{
    OrganizationArchive archive = district();
    QuickEntryRow eli(positionIn(archive.organization, "E2"));
    eli.name = "  Eli Parker ";
    eli.location = " North ";
    QuickEntryRow filled(positionIn(archive.organization, "V"));
    filled.vacant = false;
    filled.name = "Val";
    QuickEntryRow moe = newPerson("Moe", "T2", "bea stone", "Science");
    QuickEntryRow ned = newPerson("Ned", "T1", moe.managerChoice(), "");
    ned.setJobTitle(" Lead ");
    const std::vector<QuickEntryRow> rows = {
        eli, filled, ned, moe, newVacancy(" Aide ", 3), QuickEntryRow("Art", "Zed", ""),
    };

    const std::vector<Position> saved = archive.quickAdd(rows, "S");

    ASSERT_EQ(saved.size(), 7u);
    const std::vector<Position> &positions = archive.organization.positions;
    EXPECT_EQ(std::vector(positions.begin() + 1, positions.begin() + 2), std::vector(saved.begin(), saved.begin() + 1));
    EXPECT_EQ(std::vector(positions.begin() + 3, positions.end()), std::vector(saved.begin() + 1, saved.end()));

    EXPECT_EQ(positionIn(archive.organization, "E2").employee, (Employee{"0003", "Eli Parker"}));
    EXPECT_EQ(positionIn(archive.organization, "E2").location, "North");
    EXPECT_EQ(positionIn(archive.organization, "E2").managerID, "B");
    EXPECT_EQ(positionIn(archive.organization, "V").employee, (Employee{"0010", "Val"}));
    EXPECT_EQ(positionIn(archive.organization, "E1").managerID, "V") << "untouched rows stay as they were";

    Position expectedNed{.id = "P-0011", .title = "T1", .customJobTitle = "Lead", .department = "Science",
                         .employee = Employee{"0011", "Ned"}, .managerID = "P-0012", .isAssistant = false};
    EXPECT_EQ(saved[2], expectedNed);
    EXPECT_EQ(saved[3].id, "P-0012");
    EXPECT_EQ(saved[3].managerID, "B");

    const std::string base = saved[4].id;
    EXPECT_TRUE(base.starts_with("P-V-"));
    EXPECT_EQ(saved[5].id, base + "-2");
    EXPECT_EQ(saved[6].id, base + "-3");
    Position expectedAide{.id = base, .title = "Aide", .department = "Art", .managerID = "B"};
    EXPECT_EQ(saved[4], expectedAide);

    EXPECT_EQ(archive.sheets->front().positionIDs,
              (std::vector<std::string>{"B", "V", "E1", "E2", "P-0011", "P-0012", base, base + "-2", base + "-3"}));
    EXPECT_TRUE(archive.revisions.empty()) << "the chart window saves the recovery version";
}

TEST(QuickEntryCommit, MixedBatch)
{
    OrganizationArchive archive = district();
    archive.organization.positions.push_back(Position{.id = "P-0010", .title = "Aide", .managerID = "B"});
    archive.organization.positions.push_back(person("X", "Xi", "0001", "Ops"));
    archive.sheets->push_back(OrganizationSheet{.id = "T", .name = "Ops", .positionIDs = {"X"}});
    // Eli is renamed and moves to X; Eve's manager cell still holds the id of the vacancy V.
    QuickEntryRow eli = row(archive, "E2");
    eli.name = "  Eli Parker ";
    eli.manager = "X";
    QuickEntryRow eve = row(archive, "E1");
    eve.vacant = true;
    eve.name = "";
    QuickEntryRow filled = row(archive, "V");
    filled.vacant = false;
    filled.name = "Val";
    QuickEntryRow moe = newPerson("Moe", "T2", "bea stone", "Science");
    QuickEntryRow ned = newPerson("Ned", "T1", moe.managerChoice(), "");
    ned.setJobTitle(" Lead ");
    const std::vector<Position> saved = archive.quickAdd(
        {eli, eve, filled, ned, moe, newVacancy(" Aide ", 3), QuickEntryRow("Art", "Zed", "")}, "S");

    ASSERT_EQ(saved.size(), 8u);
    EXPECT_EQ(positionIn(archive.organization, "E2").employee, (Employee{"0003", "Eli Parker"}));
    EXPECT_EQ(saved[1].managerID, "V");
    EXPECT_EQ(positionIn(archive.organization, "V").employee, (Employee{"0009", "Val"})) << "Eve's number is free again";
    // Ned reports to Moe, a row below him, by its draft key; P-0010 is taken.
    EXPECT_EQ(saved[3], (Position{.id = "P-0010-2", .title = "T1", .customJobTitle = "Lead", .department = "Science",
                                  .employee = Employee{"0010", "Ned"}, .managerID = "P-0011", .isAssistant = false}));
    EXPECT_EQ(saved[4].managerID, "B");
    const std::string base = saved[5].id;
    EXPECT_TRUE(base.starts_with("P-V-"));
    EXPECT_EQ(saved[5], (Position{.id = base, .title = "Aide", .department = "Art", .managerID = "B"}));
    EXPECT_EQ(archive.sheets->at(0).positionIDs,
              (std::vector<std::string>{"B", "V", "E1", "P-0010-2", "P-0011", base, base + "-2", base + "-3"}));
    EXPECT_EQ(archive.sheets->at(1).positionIDs, (std::vector<std::string>{"X", "E2"})) << "Eli follows his manager";
    EXPECT_TRUE(archive.revisions.empty()) << "the chart window saves the recovery version";
}

TEST(QuickEntryCommit, ManagerResolution)
{
    OrganizationArchive archive = district();
    archive.organization.positions.push_back(person("K1", "Pat Kim", "20", "Art"));
    archive.organization.positions.push_back(person("K2", "pat kim", "21", "Music"));
    archive.sheets->front().positionIDs.insert(archive.sheets->front().positionIDs.end(), {"K1", "K2"});

    EXPECT_EQ(commitFailure(archive, {newPerson("Ann", "T1", "PAT KIM")}),
              "Row 1: manager 'PAT KIM' is ambiguous. Choose a manager or enter a Position ID.");

    const QuickEntryRow eve(positionIn(archive.organization, "E1")); // reports to the vacancy V, cell untouched
    QuickEntryRow eli(positionIn(archive.organization, "E2"));
    eli.manager = " ";
    QuickEntryRow pick = newPerson("Ann", "T1", "pat kim — Pay [K2]", "");
    const auto saved = archive.quickAdd({eve, eli, pick}, "S");
    ASSERT_EQ(saved.size(), 3u);
    EXPECT_EQ(saved[0].managerID, "V");
    EXPECT_FALSE(saved[1].managerID.has_value());
    EXPECT_EQ(saved[2].managerID, "K2");
    EXPECT_EQ(saved[2].department, "Music");
}

TEST(QuickEntryCommit, EmployeeNumbersFollowTheWorkingOrganization)
{
    OrganizationArchive archive = district();
    QuickEntryRow eve(positionIn(archive.organization, "E1"));
    eve.vacant = true;
    eve.name = "";
    const auto saved = archive.quickAdd({eve, newPerson("Ann", "T1", "B"), newPerson("Bo", "T1", "B")}, "S");
    ASSERT_EQ(saved.size(), 3u);
    EXPECT_FALSE(saved[0].employee.has_value());
    EXPECT_EQ(saved[1].employee->id, "0009") << "Eve's number is free again";
    EXPECT_EQ(saved[2].employee->id, "0010");

    OrganizationArchive taken = district();
    taken.organization.positions.push_back(Position{.id = "P-0010", .title = "Aide", .managerID = "B"});
    EXPECT_EQ(taken.quickAdd({newPerson("Cy", "T1", "B")}, "S").front().id, "P-0010-2");
}

TEST(QuickEntryCommit, ValidationFailureHasNoRowPrefix)
{
    OrganizationArchive archive = district();
    QuickEntryRow eli(positionIn(archive.organization, "E2"));
    eli.manager = "E2";
    EXPECT_EQ(commitFailure(archive, {eli}), "E2 references an invalid manager: E2.");
}

TEST(QuickEntryCommit, ChangedManagersMoveBetweenCharts)
{
    OrganizationArchive archive = district();
    archive.organization.positions.push_back(person("X", "Xi", "30", "Ops"));
    archive.sheets->push_back(OrganizationSheet{.id = "T", .name = "Ops", .positionIDs = {"X"}});
    QuickEntryRow eli(positionIn(archive.organization, "E2"));
    eli.manager = "X";
    archive.quickAdd({eli}, "S");
    EXPECT_EQ(archive.sheets->at(0).positionIDs, (std::vector<std::string>{"B", "V", "E1"}));
    EXPECT_EQ(archive.sheets->at(1).positionIDs, (std::vector<std::string>{"X", "E2"}));
}
