#include "core/entry/quick_entry.h"

#include <gtest/gtest.h>

namespace {

Position person(std::string id, std::string name, std::string department, std::optional<std::string> manager = {})
{
    Position p{.id = std::move(id), .title = "Pay", .department = std::move(department)};
    p.employee = Employee{.id = p.id, .name = std::move(name)};
    p.managerID = std::move(manager);
    return p;
}

Position vacancy(std::string id, std::string department, std::optional<std::string> manager = {})
{
    Position p{.id = std::move(id), .title = "Pay", .department = std::move(department)};
    p.managerID = std::move(manager);
    return p;
}

} // namespace

TEST(QuickEntryRow, ExistingRowCopiesThePosition)
{
    Position p = person("P-1", "Ann Lee", "Ops", "M");
    p.customJobTitle = "Lead";
    p.location = "HQ";
    const QuickEntryRow row(p);
    EXPECT_EQ(row.name, "Ann Lee");
    EXPECT_FALSE(row.vacant);
    EXPECT_EQ(row.quantity, 1);
    EXPECT_EQ(row.jobTitle(), "Lead");
    EXPECT_EQ(row.manager, "M"); // the bare id
    EXPECT_EQ(row.originalPosition, p);
    EXPECT_EQ(row.managerChoice(), "Ann Lee — Lead [P-1]");
    EXPECT_NE(QuickEntryRow(p).id, row.id);

    const QuickEntryRow open(vacancy("V-1", "Ops"));
    EXPECT_TRUE(open.vacant);
    EXPECT_EQ(open.name, "");
    EXPECT_EQ(open.manager, "");
}

TEST(QuickEntryRow, NewRowKeyAndJobTitleRule)
{
    QuickEntryRow row("Ops", "Boss", "HQ");
    row.name = "  Bo  ";
    row.title = "T1";
    EXPECT_EQ(row.managerChoice(), "Bo — T1 [draft:" + row.id + "]");
    EXPECT_FALSE(row.isExisting());

    row.setJobTitle("T1");
    EXPECT_FALSE(row.jobTitleFollowsPayLevel());
    row.title = "T2";
    EXPECT_EQ(row.jobTitle(), "T1");
    row.usePayLevelForJobTitle();
    EXPECT_TRUE(row.jobTitleFollowsPayLevel());
    EXPECT_EQ(row.jobTitle(), "T2");

    row.setDepartment("Ops");
    EXPECT_TRUE(row.departmentWasEdited);
}

TEST(QuickEntryRow, LiveRowsReplacePositionsShownInTheGrid)
{
    const std::vector<Position> positions = {person("A", "Ann", "X"), person("B", "Bo", "X"), person("C", "Cy", "X")};
    QuickEntryRow edited(positions[1]);
    edited.name = "Bob";
    QuickEntryRow draft("X", "", "");
    const auto live = QuickEntryRow::liveRows(positions, {edited, draft});
    std::vector<std::string> keys;
    for (const auto &row : live)
        keys.push_back(row.key());
    EXPECT_EQ(keys, (std::vector<std::string>{"A", "C", "B", "draft:" + draft.id}));
    EXPECT_EQ(live[2].name, "Bob");
}

TEST(QuickEntryRow, ManagerOptionsArePeopleWithReportsFirst)
{
    const std::vector<Position> positions = {
        person("P1", "zed", "X"),   person("P2", "Amy", "X", "P1"), person("P3", "Bea", "X"),
        vacancy("V1", "X", "P3"),   person("P4", "  ", "X"),        person("P5", "Cal", "X", "P3"),
    };
    QuickEntryRow self(positions[5]); // Cal
    QuickEntryRow twin(positions[5]);     // another row for Cal's position
    QuickEntryRow draft("X", "", "");
    draft.name = "Abe";
    draft.title = "Pay";
    QuickEntryRow vacantDraft("X", "", "");
    vacantDraft.vacant = true;

    const auto options = QuickEntryRow::managerOptions(positions, {self, twin, draft, vacantDraft}, self);
    EXPECT_EQ(options, (std::vector<std::string>{"Bea — Pay [P3]", "zed — Pay [P1]", "Abe — Pay [draft:" + draft.id + "]",
                                                 "Amy — Pay [P2]"}));
}

TEST(QuickEntrySelectManager, SameNamesResolveOnlyByKey)
{
    const std::vector<Position> positions = {person("P1", "Pat Kim", "Art"), person("P2", "pat kim", "Music")};
    QuickEntryRow row("", "", "");
    row.selectManager("PAT KIM", positions, {});
    EXPECT_EQ(row.manager, "PAT KIM");
    EXPECT_EQ(row.department, "");

    row.selectManager("pat kim — Pay [P2] ", positions, {});
    EXPECT_EQ(row.manager, "pat kim — Pay [P2] ");
    EXPECT_EQ(row.department, "Music");
    EXPECT_EQ(row.suggestedDepartment, "Music");

    row.selectManager("P1", positions, {});
    EXPECT_EQ(row.department, "Art");
}

TEST(QuickEntrySelectManager, SameNamesResolveOnlyByKeyAndTheDepartmentFollowsUnlessOwn)
{
    const std::vector<Position> positions = {person("P1", "Pat Kim", "Art"), person("P2", "pat kim", "Music"),
                                             person("P3", "Old Name", "Law"), person("E", "Eli", "Dance", "P1")};
    QuickEntryRow renamed(positions[2]);
    renamed.name = "New Name";
    renamed.department = "Drama";
    const QuickEntryRow fresh("", "", "");
    QuickEntryRow ownDepartment = fresh;
    ownDepartment.setDepartment("Own");
    QuickEntryRow followedBefore(positions[3]);
    followedBefore.suggestedDepartment = "Dance";
    struct Case {
        QuickEntryRow row;
        const char *text;
        std::string department;
    };
    const Case cases[] = {
        {fresh, "PAT KIM", ""},
        {fresh, "pat kim \u2014 Pay [P2] ", "Music"},
        {fresh, "new name", "Drama"},
        {fresh, "Old Name", ""},
        {ownDepartment, "P2", "Own"},
        {QuickEntryRow(positions[3]), "P2", "Dance"}, // differs from its manager's
        {followedBefore, "P2", "Music"},
    };
    for (const Case &c : cases) {
        QuickEntryRow row = c.row;
        row.selectManager(c.text, positions, {renamed});
        EXPECT_EQ(row.manager, c.text);
        EXPECT_EQ(row.department, c.department) << c.text << " / " << c.row.department;
    }
}

TEST(QuickEntrySelectManager, DraftRowsAndGridEditsCount)
{
    const std::vector<Position> positions = {person("P1", "Old Name", "Art")};
    QuickEntryRow renamed(positions[0]);
    renamed.name = "New Name";
    renamed.department = "Drama";
    QuickEntryRow lead("Science", "", "");
    lead.name = "Lee";
    const std::vector<QuickEntryRow> rows = {renamed, lead};

    QuickEntryRow row("", "", "");
    row.selectManager("new name", positions, rows);
    EXPECT_EQ(row.department, "Drama");
    row.department.clear();
    row.selectManager("Old Name", positions, rows);
    EXPECT_EQ(row.department, "");
    row.selectManager(lead.managerChoice(), positions, rows);
    EXPECT_EQ(row.department, "Science");
}

TEST(QuickEntrySelectManager, WhenTheDepartmentFollows)
{
    const std::vector<Position> positions = {
        person("M1", "Mia", "Art"), person("M2", "Max", "Music"), person("E1", "Eve", "Art", "M1"),
        person("E2", "Eli", "Dance", "M1"),
    };
    struct Case {
        const char *what;
        QuickEntryRow row;
        std::string expectedDepartment;
    };
    QuickEntryRow editedThenEmptied("", "", "");
    editedThenEmptied.setDepartment("");
    QuickEntryRow editedNew("", "", "");
    editedNew.setDepartment("Own");
    QuickEntryRow untouchedNew("Own", "", "");
    QuickEntryRow blankExisting(positions[1]);
    blankExisting.department = " ";
    QuickEntryRow followedBefore(positions[3]);
    followedBefore.suggestedDepartment = "Dance";
    Case cases[] = {
        {"blank, edited before", editedThenEmptied, "Music"},
        {"new, edited", editedNew, "Own"},
        {"new, untouched", untouchedNew, "Music"},
        {"existing, same as its manager's", QuickEntryRow(positions[2]), "Music"},
        {"existing, differs from its manager's", QuickEntryRow(positions[3]), "Dance"},
        {"existing, follows its last suggestion", followedBefore, "Music"},
        {"existing, blank", blankExisting, "Music"},
    };
    for (Case &c : cases) {
        c.row.selectManager("M2", positions, {});
        EXPECT_EQ(c.row.department, c.expectedDepartment) << c.what;
    }
    QuickEntryRow row = cases[0].row;
    EXPECT_FALSE(row.departmentWasEdited);
    EXPECT_EQ(row.suggestedDepartment, "Music");
}

TEST(QuickEntrySelectManager, VacanciesAndBlankTextChangeNothing)
{
    const std::vector<Position> positions = {vacancy("V", "Art"), person("P", "Pat", "")};
    QuickEntryRow row("", "", "");
    for (const char *text : {"V", "  ", "nobody", "Pat"}) {
        row.selectManager(text, positions, {});
        EXPECT_EQ(row.manager, text);
        EXPECT_EQ(row.department, "") << text;
    }
}
