#include "app/entry/quick_entry_grid_model.h"

#include "app_test_support.h"

#include "core/support/organization_error.h"

#include <gtest/gtest.h>

using AppTest::person;
using Field = QuickEntryGridModel::Field;

namespace {

Position vacancy(const std::string &id, std::optional<std::string> managerID = {})
{
    Position position = person(id, "", std::move(managerID));
    position.employee.reset();
    return position;
}

// Ada heads Instruction; Bo (Transport) and a vacancy report to her.
std::vector<Position> organization()
{
    Position bo = person("P2", "Bo Chen", "P1");
    bo.department = "Transport";
    bo.location = "Depot";
    return {person("P1", "Ada Lovelace"), bo, vacancy("V1", "P1")};
}

QuickEntryGridModel grid(const std::vector<Position> &onChart, const std::string &initialManager = "")
{
    return QuickEntryGridModel("Student Services", organization(), onChart, initialManager);
}

size_t firstNewRow(const QuickEntryGridModel &model)
{
    const auto &rows = model.rows();
    return size_t(std::find_if(rows.begin(), rows.end(), [](const QuickEntryRow &r) { return !r.isExisting(); })
                  - rows.begin());
}

} // namespace

TEST(QuickEntryGridModel, SeedsChartRowsThenNewRowsUpToEight)
{
    std::vector<Position> nine;
    for (int i = 0; i < 9; ++i)
        nine.push_back(person("Q" + std::to_string(i), "Person " + std::to_string(i)));
    const struct {
        std::vector<Position> onChart;
        size_t existing, added;
    } cases[] = {{{}, 0, 8}, {organization(), 3, 5}, {nine, 9, 1}};
    for (const auto &c : cases) {
        QuickEntryGridModel model = grid(c.onChart);
        ASSERT_EQ(model.rows().size(), c.existing + c.added);
        EXPECT_EQ(firstNewRow(model), c.existing);
        EXPECT_EQ(model.focusedName(), model.rows().front().id);
        EXPECT_FALSE(model.hasChanges());
        EXPECT_EQ(model.rows().back().department, "Student Services");
    }
    // Person order: occupied by last name, vacancies after.
    QuickEntryGridModel model = grid(organization());
    EXPECT_EQ(model.row(0).name, "Bo Chen");
    EXPECT_EQ(model.row(2).originalPosition->id, "V1");
}

TEST(QuickEntryGridModel, NewRowsCopyTheRowAboveAndTakeTheManagersDepartment)
{
    QuickEntryGridModel model = grid({});
    const size_t last = model.rows().size() - 1;
    model.setDepartment(last, "Counseling");
    model.setLocation(last, "North");
    model.setManager(last, "Somebody Unknown");
    model.appendRow();
    const QuickEntryRow &copied = model.rows().back();
    EXPECT_EQ(copied.department, "Counseling");
    EXPECT_EQ(copied.manager, "Somebody Unknown");
    EXPECT_EQ(copied.location, "North");
    EXPECT_TRUE(copied.name.empty());
    EXPECT_EQ(model.focusedName(), copied.id);

    // A manager naming one person brings that person's department.
    model.setManager(model.rows().size() - 1, "bo chen");
    model.appendRow();
    EXPECT_EQ(model.rows().back().department, "Transport");
    EXPECT_FALSE(model.hasChanges()) << "defaults alone are no change";
}

TEST(QuickEntryGridModel, ManagerLookupSeesPeopleTypedMeanwhile)
{
    QuickEntryGridModel model = grid({});
    model.setManager(1, "Nobody Yet");
    model.setName(0, "Zoe Park");
    model.setDepartment(0, "Athletics");
    model.setManager(1, "zoe park");
    EXPECT_EQ(model.row(1).department, "Athletics");
    model.setVacant(0, true);
    model.setManager(2, "zoe park");
    EXPECT_EQ(model.row(2).department, "Student Services") << "a vacancy is nobody's manager";
}

TEST(QuickEntryGridModel, NewRowsNeverStartWithAVacancyAsManager)
{
    EXPECT_EQ(grid({}, "V1").rows().back().manager, "");
    // The existing vacancy's own row reports to a person; a row reporting to the vacancy is last.
    QuickEntryGridModel model = grid({person("P9", "Cy Diaz", "V1")}, "P1");
    while (model.rows().size() > 1)
        model.removeRow(1);
    EXPECT_EQ(model.rows().back().manager, "V1");
    model.appendRow();
    EXPECT_EQ(model.rows().back().manager, "");
    EXPECT_EQ(model.rows().back().department, "Instruction");
    EXPECT_EQ(grid({}, "P1").rows().back().manager, "P1") << "a person stays";
}

TEST(QuickEntryGridModel, CellRules)
{
    QuickEntryGridModel model = grid(organization());
    const size_t fresh = firstNewRow(model);
    EXPECT_FALSE(model.canEditVacant(0)) << "an existing employee";
    EXPECT_TRUE(model.canEditVacant(2)) << "an existing vacancy";
    EXPECT_FALSE(model.canRemove(2));
    EXPECT_FALSE(model.canEditQuantity(2));

    model.setName(fresh, "Typed");
    model.setVacant(fresh, true);
    EXPECT_EQ(model.row(fresh).name, "");
    EXPECT_TRUE(model.canEditQuantity(fresh));
    EXPECT_FALSE(model.canEditName(fresh));
    model.setQuantity(fresh, 3);
    model.setVacant(fresh, false);
    EXPECT_EQ(model.row(fresh).quantity, 1);

    model.setPayLevel(fresh, "Teacher");
    model.setJobTitle(fresh, "Teacher");
    EXPECT_TRUE(model.row(fresh).jobTitleFollowsPayLevel()) << "typing what the cell shows changes nothing";
    model.setJobTitle(fresh, "Reading Coach");
    EXPECT_EQ(model.row(fresh).customJobTitle, "Reading Coach");
    model.matchPayLevel(fresh);
    EXPECT_EQ(model.row(fresh).jobTitle(), "Teacher");

    model.setDepartment(fresh, "Student Services");
    EXPECT_FALSE(model.row(fresh).departmentWasEdited) << "an equal value is no edit";
    model.setDepartment(fresh, "Nursing");
    EXPECT_TRUE(model.row(fresh).departmentWasEdited);
}

TEST(QuickEntryGridModel, UnsavedChanges)
{
    const struct {
        const char *what;
        std::function<void(QuickEntryGridModel &, size_t fresh)> edit;
        bool changed;
    } cases[] = {
        {"department", [](auto &m, size_t r) { m.setDepartment(r, "Nursing"); }, false},
        {"manager", [](auto &m, size_t r) { m.setManager(r, "Ada Lovelace"); }, false},
        {"location", [](auto &m, size_t r) { m.setLocation(r, "North"); }, false},
        {"removed new row", [](auto &m, size_t r) { m.removeRow(r); }, false},
        {"blank custom job title", [](auto &m, size_t r) { m.setJobTitle(r, ""); }, false},
        {"name", [](auto &m, size_t r) { m.setName(r, "x"); }, true},
        {"pay level", [](auto &m, size_t r) { m.setPayLevel(r, "x"); }, true},
        {"job title", [](auto &m, size_t r) { m.setJobTitle(r, "x"); }, true},
        {"vacant", [](auto &m, size_t r) { m.setVacant(r, true); }, true},
        {"quantity", [](auto &m, size_t r) { m.setQuantity(r, 0); }, true},
        {"existing row", [](auto &m, size_t) { m.setLocation(0, "Depot 2"); }, true},
        {"existing department", [](auto &m, size_t) { m.setDepartment(0, "Transport"); }, false},
        {"appended then named", [](auto &m, size_t) { m.appendRow(); m.setName(m.rows().size() - 1, "x"); }, true},
    };
    for (const auto &c : cases) {
        QuickEntryGridModel model = grid(organization());
        c.edit(model, firstNewRow(model));
        EXPECT_EQ(model.hasChanges(), c.changed) << c.what;
    }
}

TEST(QuickEntryGridModel, PasteReplacesUntouchedNewRows)
{
    QuickEntryGridModel model = grid(organization());
    const size_t fresh = firstNewRow(model);
    model.setName(fresh, "Kept");
    model.setVacant(fresh + 1, true); // a vacancy without a pay level still goes
    ASSERT_TRUE(model.paste("Ann\tTeacher\tReading Coach\tLiteracy\tP1\tNorth\nBen\tAide\tTransport\r\n"));
    ASSERT_EQ(model.rows().size(), 6u);
    EXPECT_EQ(model.row(3).name, "Kept");
    EXPECT_EQ(model.row(4).customJobTitle, "Reading Coach");
    EXPECT_EQ(model.row(5).department, "Transport") << "five-column form";
    EXPECT_TRUE(model.row(5).jobTitleFollowsPayLevel());

    EXPECT_FALSE(model.paste(std::nullopt));
    EXPECT_EQ(model.message(), "");
    EXPECT_FALSE(model.paste("a\tb\tc\td\te\tf\tg"));
    EXPECT_EQ(model.message(), "Paste six columns: Name, Pay Level, Job Title, Department, Manager, Location. "
                               "Legacy five-column rows are also accepted.");
    EXPECT_EQ(model.rows().size(), 6u);
    EXPECT_FALSE(model.paste("\"a\"b"));
    EXPECT_EQ(model.rows().size(), 6u);
}

TEST(QuickEntryGridModel, SaveRebuildsFromPositionsStillOnTheChart)
{
    QuickEntryGridModel model = grid(organization());
    model.setName(firstNewRow(model), "Cy Diaz");
    model.appendRow();
    model.setManager(model.rows().size() - 1, model.managerOptions(0).back());
    ASSERT_TRUE(model.rows().back().manager.ends_with("[draft:" + model.row(firstNewRow(model)).id + "]"));
    std::vector<QuickEntryRow> handed;
    Position moved = person("P2", "Bo Chen", "X1");
    moved.title = "Driver";
    const bool saved = model.save([&](const std::vector<QuickEntryRow> &rows) {
        handed = rows;
        return QuickEntrySaveResult{{organization()[0], moved, vacancy("V1", "P1"), person("P-7", "Cy Diaz")},
                                    {"P1", "V1", "P-7"}};
    });
    ASSERT_TRUE(saved);
    EXPECT_EQ(handed.size(), 9u) << "untouched rows are handed over too";
    EXPECT_EQ(model.message(), "Saved 4 positions. Existing IDs and other position details are preserved.");
    ASSERT_EQ(model.rows().size(), 4u);
    EXPECT_EQ(model.row(2).originalPosition->id, "P-7");
    EXPECT_FALSE(model.row(3).isExisting());
    EXPECT_FALSE(model.hasChanges());
    EXPECT_EQ(model.row(3).manager, "") << "the row above named a new row that is gone";
    // The saved copy replaced the opening one: Bo, off the grid now, is offered as saved.
    const std::vector<std::string> options = model.managerOptions(0);
    EXPECT_NE(std::find(options.begin(), options.end(), "Bo Chen — Driver [P2]"), options.end());
}

TEST(QuickEntryGridModel, FailedSaveKeepsRowsAndBaseline)
{
    QuickEntryGridModel model = grid(organization());
    model.setName(firstNewRow(model), "Cy Diaz");
    const std::vector<QuickEntryRow> before = model.rows();
    EXPECT_FALSE(model.save([](const std::vector<QuickEntryRow> &) -> QuickEntrySaveResult {
        throw OrganizationError::invalid("Row 4: manager 'Zed' is unknown. Choose a manager or enter a Position ID.");
    }));
    EXPECT_EQ(model.rows(), before);
    EXPECT_TRUE(model.hasChanges());
    EXPECT_EQ(model.message(), "Row 4: manager 'Zed' is unknown. Choose a manager or enter a Position ID.");
}

TEST(QuickEntryGridModel, OptionListsAreTrimmedDistinctAndInFileBrowserOrder)
{
    QuickEntryGridModel model = grid({});
    const char *levels[] = {"Level 10", " Level 9 ", "level 9", "Level 9", "  "};
    for (size_t i = 0; i < std::size(levels); ++i)
        model.setPayLevel(i, levels[i]);
    EXPECT_EQ(model.fieldOptions(Field::payLevel),
              (std::vector<std::string>{"Level 9", "level 9", "Level 10", "Teacher"}));
    EXPECT_EQ(model.fieldOptions(Field::location), std::vector<std::string>{"Depot"});
    model.setLocation(0, "Annex");
    EXPECT_EQ(model.fieldOptions(Field::location), (std::vector<std::string>{"Annex", "Depot"}));

    // Managers: people only, never the row's own person.
    QuickEntryGridModel chart = grid(organization());
    const std::vector<std::string> options = chart.managerOptions(0);
    ASSERT_EQ(options.size(), 1u);
    EXPECT_EQ(options[0], "Ada Lovelace — Teacher [P1]");
}

// Text that is no whole number stays in QTY as typed, and the commit refuses the row with its
// quantity message; a number typed afterwards saves.
TEST(QuickEntryGridModel, UnreadableQuantityIsRefusedAtSave)
{
    OrganizationArchive archive;
    archive.organization.positions = organization();
    archive.sheets = std::vector<OrganizationSheet>{{"S1", "Student Services", {}}};
    const auto commit = [&](const std::vector<QuickEntryRow> &rows) {
        OrganizationArchive next = archive;
        return QuickEntrySaveResult{next.quickAdd(rows, "S1"), {}};
    };
    QuickEntryGridModel model = grid({});
    model.setVacant(0, true);
    model.setPayLevel(0, "Aide");
    for (const char *typed : {"abc-5", "", "1,000", "2.5", "1e3"}) {
        model.setQuantityText(0, typed);
        EXPECT_EQ(model.quantityText(0), typed);
        EXPECT_TRUE(model.hasChanges());
        EXPECT_FALSE(model.save(commit)) << typed;
        EXPECT_EQ(model.message(), "Row 1: Quantity must be a whole number from 1 to 1,000.") << typed;
        EXPECT_EQ(model.quantityText(0), typed) << "a refused save keeps the text";
    }
    model.setQuantityText(0, " 3 ");
    EXPECT_EQ(model.row(0).quantity, 3);
    EXPECT_TRUE(model.save(commit));
    // Unticking Vacant puts QTY back to 1, text and all.
    model.setVacant(0, true);
    model.setQuantityText(0, "x");
    model.setVacant(0, false);
    EXPECT_EQ(model.quantityText(0), "1");
}

// Escape in a cell puts its row back as the cell found it, with what the typing brought along.
TEST(QuickEntryGridModel, CancelledCellEditRestoresTheRow)
{
    QuickEntryGridModel model = grid({});
    model.setName(0, "Cy");
    const QuickEntryRow before = model.row(0);
    model.beginCellEdit(0);
    model.setManager(0, "Bo Chen");
    ASSERT_EQ(model.row(0).department, "Transport") << "the manager brought a department";
    EXPECT_EQ(model.cancelCellEdit(), 0u);
    EXPECT_EQ(model.row(0), before);
    EXPECT_EQ(model.cancelCellEdit(), std::nullopt) << "one cancel per edit";

    model.setVacant(0, true);
    model.setQuantityText(0, "4");
    model.beginCellEdit(0);
    model.setQuantityText(0, "4x");
    model.cancelCellEdit();
    EXPECT_EQ(model.quantityText(0), "4");
    EXPECT_EQ(model.row(0).quantity, 4);
}

TEST(QuickEntryGridModel, QuantityTextIsReadWithoutOverflow)
{
    EXPECT_EQ(QuickEntryGridModel::quantityFromText(" 12 "), 12);
    EXPECT_EQ(QuickEntryGridModel::quantityFromText("-3"), -3);
    EXPECT_EQ(QuickEntryGridModel::quantityFromText("99999999999999999999999"), INT_MAX);
    EXPECT_EQ(QuickEntryGridModel::quantityFromText("1,000"), std::nullopt);
    EXPECT_EQ(QuickEntryGridModel::quantityFromText(""), std::nullopt);
}

TEST(QuickEntryGridModel, NewRowsCopyTheRowAbove)
{
    QuickEntryGridModel model = grid({});
    const size_t last = model.rows().size() - 1;
    model.setDepartment(last, "Counseling");
    model.setManager(last, "Somebody Unknown");
    model.appendRow();
    const QuickEntryRow &copied = model.rows().back();
    EXPECT_EQ(copied.department, "Counseling");
    EXPECT_EQ(copied.manager, "Somebody Unknown");
    EXPECT_TRUE(copied.name.empty());
    EXPECT_EQ(model.focusedName(), copied.id);
    EXPECT_FALSE(model.hasChanges()) << "defaults alone are no change";
}
