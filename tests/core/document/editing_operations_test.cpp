#include "archive_test_support.h"
#include "position_ids.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace TestDocs;

namespace {

const std::string refusalHead =
    " position(s) still report here. Move all primary and additional/dotted reports first, including reports on "
    "other charts.\n\n";

// A boss with `count` reports named R1..R<count>, half by dotted line only.
OrganizationArchive bossWithReports(int count)
{
    OrganizationArchive a = archive({person("BOSS", std::nullopt, "Boss", "Director"), person("OTHER")});
    for (int i = 1; i <= count; ++i) {
        const std::string id = "R" + std::to_string(i);
        a.organization.positions.push_back(i % 2 ? person(id, "BOSS", "Name " + id)
                                                  : withDotted(person(id, "OTHER", "Name " + id), {"BOSS"}));
    }
    return a;
}

std::string notes(const OrganizationArchive &a)
{
    std::string result;
    for (const auto &revision : a.revisions)
        result += revision->note + ";";
    return result;
}

} // namespace

TEST(DeletionRefusal, ListsSixReportsInNaturalIdOrder)
{
    const OrganizationArchive eight = bossWithReports(8);
    const std::string expected = "Cannot delete: 8" + refusalHead +
                                 "Name R1 \u2014 Teacher [R1]\nName R2 \u2014 Teacher [R2]\nName R3 \u2014 Teacher [R3]\n"
                                 "Name R4 \u2014 Teacher [R4]\nName R5 \u2014 Teacher [R5]\nName R6 \u2014 Teacher [R6]\n"
                                 "\u2026and 2 more.";
    EXPECT_EQ(errorOf([&] { eight.organization.requirePositionDeletion("BOSS"); }), expected);

    const OrganizationArchive twelve = bossWithReports(12);
    const std::string message = errorOf([&] { twelve.organization.requirePositionDeletion("BOSS"); });
    EXPECT_NE(message.find("[R2]\nName R3"), std::string::npos) << "R2 before R10";
    EXPECT_EQ(message.find("[R10]"), std::string::npos);

    const OrganizationArchive six = bossWithReports(6);
    const std::string exact = errorOf([&] { six.organization.requirePositionDeletion("BOSS"); });
    EXPECT_EQ(exact.find("more."), std::string::npos);
    EXPECT_EQ(exact.rfind("Cannot delete: 6", 0), 0u);
}

TEST(DeletionRefusal, CountsEachReportOnceAndNamesVacancies)
{
    OrganizationArchive a = archive({person("M"), withDotted(vacancy("V", "M", "Aide"), {"M"})});
    EXPECT_EQ(errorOf([&] { a.organization.requirePositionDeletion("M"); }),
              "Cannot delete: 1" + refusalHead + "Vacant \u2014 Aide [V]");
    EXPECT_EQ(errorOf([&] { a.organization.requirePositionDeletion("nobody"); }), "This position no longer exists.");
    EXPECT_EQ(errorOf([&] { a.organization.requirePositionDeletion("V"); }), "");
}

TEST(DeletionRefusal, ListsSixReportsInNaturalIdOrderAndCountsEachOnce)
{
    OrganizationArchive a = archive({person("BOSS"), person("OTHER")});
    for (int i = 1; i <= 12; ++i) {
        const std::string id = "R" + std::to_string(i);
        a.organization.positions.push_back(i % 2 ? person(id, "BOSS", "Name " + id)
                                                  : withDotted(person(id, "OTHER", "Name " + id), {"BOSS"}));
    }
    EXPECT_EQ(errorOf([&] { a.organization.requirePositionDeletion("BOSS"); }),
              "Cannot delete: 12 position(s) still report here. Move all primary and additional/dotted reports "
              "first, including reports on other charts.\n\n"
              "Name R1 \u2014 Teacher [R1]\nName R2 \u2014 Teacher [R2]\nName R3 \u2014 Teacher [R3]\n"
              "Name R4 \u2014 Teacher [R4]\nName R5 \u2014 Teacher [R5]\nName R6 \u2014 Teacher [R6]\n"
              "\u2026and 6 more.");
}

TEST(DeletionWarning, NamesOtherChartsInDisplayOrder)
{
    OrganizationArchive a = archive({person("M", std::nullopt, "Ann Lee", "Principal"), vacancy("V", std::nullopt, "Aide")});
    a.sheets = std::vector{sheet("S10", "Chart 10", {"M"}), sheet("S2", "Chart 2", {"M"}), sheet("CUR", "Here", {"M"}),
                           sheet("X", "Elsewhere", {"V"})};
    EXPECT_EQ(a.positionDeletionWarning("M", "CUR"),
              "Ann Lee \u2014 Principal [M] will be deleted from the entire organization and every chart.\n\n"
              "Also shown on these charts: Chart 2, Chart 10. It will be deleted from those charts too.");
    EXPECT_EQ(a.positionDeletionWarning("V", "X"),
              "Vacant position \u2014 Aide [V] will be deleted from the entire organization and every chart.\n\n"
              "This position is not on any other chart.");
}

// The warning's "shown on" test agrees with what each chart draws.
TEST(DeletionWarning, AgreesWithTheChartProjection)
{
    OrganizationArchive a = archive({person("A"), person("B", "A"), person("C")});
    OrganizationSheet focused = sheet("F", "Focused", {"C", "gone"});
    focused.focusedDepartmentView = true;
    a.sheets = std::vector{sheet("E", "Explicit", {"B"}), focused, sheet("N", "None", {})};
    for (const std::string id : {"B", "C"}) {
        const std::string warning = a.positionDeletionWarning(id, "");
        for (const OrganizationSheet &s : *a.sheets) {
            const Organization shown = a.organizationIn(s.id);
            const bool onChart = std::any_of(shown.positions.begin(), shown.positions.end(),
                                             [&](const Position &p) { return p.id == id; });
            EXPECT_EQ(warning.find(s.name) != std::string::npos, onChart) << id << " on " << s.name;
        }
    }
}

TEST(DeletePosition, RemovesThePositionEverywhereAfterARecoveryVersion)
{
    OrganizationArchive a = archive({person("M"), person("A", "M"), person("B", "M"), person("C", "M"),
                                     person("D", "M", "", "Counselor")});
    a.groups = std::vector{PositionGroup{"g2", "Two", {"A", "D"}}, PositionGroup{"g3", "Three", {"B", "C", "D"}}};
    a.sheets = std::vector{sheet("S", "Chart", {"D", "M", "D"})};
    const Organization before = a.organization;
    a.deletePosition("D");
    ASSERT_EQ(a.revisions.size(), 1u);
    EXPECT_EQ(a.revisions[0]->note, "Before deleting Counselor");
    EXPECT_EQ(a.revisions[0]->organization.toOrganization(), before);
    EXPECT_EQ(a.organization.positions.size(), 4u);
    ASSERT_EQ(a.groups->size(), 1u) << "a group left with one member goes";
    EXPECT_EQ((*a.groups)[0].memberIDs, (IDs{"B", "C"}));
    EXPECT_EQ((*a.sheets)[0].positionIDs, (IDs{"M"}));

    a.deletePosition("A");
    a.deletePosition("B");
    ASSERT_TRUE(a.groups.has_value()) << "groups stay present when emptied";
    EXPECT_TRUE(a.groups->empty());
}

TEST(MakeVacant, ClearsOnlyTheEmployee)
{
    OrganizationArchive a = archive({person("M", std::nullopt, "Ann", "Principal"), vacancy("V", "M")});
    a.makePositionVacant("M");
    EXPECT_EQ(notes(a), "Before making Principal vacant;");
    EXPECT_FALSE(a.organization.positions[0].employee.has_value());
    EXPECT_EQ(a.organization.positions[1].managerID, "M");
}

TEST(RemoveFromChart, OnlyExplicitEntries)
{
    OrganizationArchive a = archive({person("M"), person("D"), withDotted(person("R", "M"), {"D"})});
    a.sheets = std::vector{sheet("S", "Chart", {"R", "M", "R"})};
    EXPECT_EQ(errorOf([&] { a.removePosition("D", "S"); }),
              "This position is not explicitly included on the selected chart.");
    EXPECT_EQ(errorOf([&] { a.removePosition("R", "missing"); }),
              "This position is not explicitly included on the selected chart.");
    a.removePosition("R", "S");
    EXPECT_EQ((*a.sheets)[0].positionIDs, (IDs{"M"}));
    EXPECT_EQ(notes(a), "Before removing position from chart;");
}

TEST(UpdatePosition, ReplacesTheFirstMatchAndValidates)
{
    OrganizationArchive a = archive({person("M"), person("A", "M")});
    Position changed = a.organization.positions[1];
    changed.department = "Science";
    a.updatePosition(changed);
    EXPECT_EQ(a.organization.positions[1].department, "Science");
    EXPECT_TRUE(a.revisions.empty()) << "the caller saves the recovery version";

    changed.managerID = "missing";
    EXPECT_EQ(errorOf([&] { a.updatePosition(changed); }), "A references an invalid manager: missing.");
    changed.id = "gone";
    EXPECT_EQ(errorOf([&] { a.updatePosition(changed); }), "This position no longer exists.");
}

// Each operation's refusals, in the order the checks run: the lock always first.
TEST(EditingRefusals, MessagesAndOrder)
{
    OrganizationArchive base = archive({person("M", std::nullopt, "Ann", "Principal"), vacancy("V", "M")});
    base.sheets = std::vector{sheet("S", "Chart", {"M"})};
    OrganizationArchive locked = base;
    locked.lockForPlanning();

    struct Case {
        const char *what;
        const OrganizationArchive &archive;
        Operation action;
        std::string message;
    };
    const std::vector<Case> cases = {
        {"delete locked, unknown id", locked, [](auto &x) { x.deletePosition("gone"); }, lockedMessage()},
        {"delete unknown", base, [](auto &x) { x.deletePosition("gone"); }, "This position no longer exists."},
        {"vacant locked", locked, [](auto &x) { x.makePositionVacant("V"); }, lockedMessage()},
        {"vacant unknown", base, [](auto &x) { x.makePositionVacant("gone"); }, "This position no longer exists."},
        {"vacant twice", base, [](auto &x) { x.makePositionVacant("V"); }, "This position is already vacant."},
        {"update locked", locked, [](auto &x) { x.updatePosition(person("gone")); }, lockedMessage()},
        {"replace locked", locked, [](auto &x) { x.replaceOrganization({}); }, lockedMessage()},
        {"replace invalid", base, [](auto &x) { x.replaceOrganization(organization({person("A", "A")})); },
         "A references an invalid manager: A."},
        {"remove locked", locked, [](auto &x) { x.removePosition("gone", "gone"); }, lockedMessage()},
    };
    for (const Case &c : cases) {
        OrganizationArchive x = c.archive;
        EXPECT_EQ(errorOf([&] { c.action(x); }), c.message) << c.what;
        EXPECT_EQ(x, c.archive) << c.what;
    }
}

TEST(AddPositions, QuantityRulesAndNumbering)
{
    OrganizationArchive a = archive({person("M"), vacancy("V-2")});
    a.sheets = std::vector{sheet("S", "Chart", {"M"})};
    const OrganizationArchive before = a;
    EXPECT_EQ(errorOf([&] { a.addPositions(vacancy("V"), 0, std::nullopt); }), "Quantity must be a whole number from 1 to 1,000.");
    EXPECT_EQ(errorOf([&] { a.addPositions(person("P"), 2, std::nullopt); }),
              "Quantity greater than 1 is only allowed for vacant positions.");
    EXPECT_EQ(errorOf([&] { a.addPositions(vacancy("M"), 1, std::nullopt); }),
              "Position ID M already exists. Enter a unique Position ID.");
    EXPECT_EQ(a, before);
    a.addPositions(vacancy("V", "M"), 3, std::string("S"));
    EXPECT_EQ(idsOf(a.organization), (IDs{"M", "V-2", "V", "V-3", "V-4"}));
    EXPECT_EQ(a.sheet("S")->positionIDs, (IDs{"M", "V", "V-3", "V-4"}));
    a.addPositions(vacancy("X"), 1000, std::nullopt);
    EXPECT_EQ(a.organization.positions.size(), 1005u);
}

TEST(AddPositions, QuantityRules)
{
    const Organization base = organization({person("M")});
    const std::string quantity = "Quantity must be a whole number from 1 to 1,000.";
    Position noFte = vacancy("V");
    noFte.fte = 0;
    const struct {
        Position position;
        int quantity;
        std::string message;
    } cases[] = {
        {vacancy("V"), 0, quantity},
        {vacancy("V"), -1, quantity},
        {vacancy("V"), 1001, quantity},
        {person("P"), 2, "Quantity greater than 1 is only allowed for vacant positions."},
        {vacancy("M"), 1, "Position ID M already exists. Enter a unique Position ID."},
        {vacancy("V", "missing"), 3, "V references an invalid manager: missing."},
        {noFte, 1, "V needs a positive FTE."},
        {vacancy("V"), 1000, ""},
        {person("P"), 1, ""},
        {vacancy("m"), 1, ""}, // ids compare exactly
    };
    for (const auto &c : cases) {
        Organization o = base;
        EXPECT_EQ(errorOf([&] { o.addPositions(c.position, c.quantity); }), c.message) << c.quantity;
        if (!c.message.empty())
            EXPECT_EQ(o, base);
        else
            EXPECT_EQ(o.positions.size(), 1u + static_cast<size_t>(c.quantity));
    }
}

TEST(AddPositions, NumbersCopiesPastTakenIds)
{
    Organization o = organization({person("M"), vacancy("V-2")});
    const std::vector<Position> added = o.addPositions(vacancy("V", "M"), 3);
    EXPECT_EQ(idsOf(added), (IDs{"V", "V-3", "V-4"}));
    EXPECT_EQ(idsOf(o.positions), (IDs{"M", "V-2", "V", "V-3", "V-4"}));
    EXPECT_EQ(added[2].managerID, "M");
}

TEST(AddPositions, ArchiveListsNewIdsOnTheChart)
{
    OrganizationArchive a = archive({person("M")});
    a.sheets = std::vector{sheet("S", "Chart", {"M"})};
    const std::vector<Position> added = a.addPositions(vacancy("V", "M"), 2, std::string("S"));
    EXPECT_EQ(idsOf(added), (IDs{"V", "V-2"}));
    EXPECT_EQ(a.sheet("S")->positionIDs, (IDs{"M", "V", "V-2"}));
    EXPECT_TRUE(a.revisions.empty()) << "callers save the recovery version";

    a.addPositions(vacancy("W"), 1, std::nullopt);
    EXPECT_EQ(a.sheet("S")->positionIDs.size(), 3u);

    const OrganizationArchive before = a;
    EXPECT_EQ(errorOf([&] { a.addPositions(vacancy("X"), 1, std::string("gone")); }),
              "The selected chart no longer exists.");
    EXPECT_EQ(errorOf([&] { a.addPositions(vacancy("V"), 1, std::string("S")); }),
              "Position ID V already exists. Enter a unique Position ID.");
    a.lockForPlanning();
    EXPECT_EQ(errorOf([&] { a.addPositions(vacancy("X"), 0, std::string("gone")); }), lockedMessage());
    a.planning.reset();
    EXPECT_EQ(a, before);
}
