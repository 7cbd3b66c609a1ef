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

std::string commitFailure(OrganizationArchive archive, const std::vector<QuickEntryRow> &rows)
{
    const OrganizationArchive before = archive;
    const std::string message = errorOf([&] { archive.quickAdd(rows, "S"); });
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
