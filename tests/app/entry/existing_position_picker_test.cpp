#include "app/entry/existing_position_picker.h"

#include "position_editor_fixture.h"
#include "position_ids.h"

#include "accessible_audit.h"
#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QListView>
#include <QTest>

using namespace EditorTest;

namespace {

// Science lists P-1; Arts lists P-2 and P-3.
std::vector<Position> positions()
{
    return {pos("P-1", "Principal", "Ana Ruiz", {}, "Instruction", "North High"),
            pos("P-12", "Teacher", "Kim Lee", "P-1", "Science", "Oak Hill"),
            pos("P-2", "Teacher", "Bo Adams", "P-1", "Arts"),
            pos("P-3", "Counselor", "", "P-1", "Arts")};
}

std::vector<OrganizationSheet> sheets()
{
    return {{"S-SCI", "Science", {"P-1"}}, {"S-ART", "Arts", {"P-2", "P-3", "P-12"}}, {"S-X", "Extra", {"P-12"}}};
}

TEST(ExistingPositionPicker, ListsWhatTheChartLacksInPersonOrder)
{
    struct Case {
        const char *query;
        std::vector<std::string> ids;
    };
    const Case cases[] = {
        {"", {"P-2", "P-12", "P-3"}}, // people by last name, then the vacancy
        {"vac", {"P-3"}},
        {"p-12", {"P-12"}},
        {"Oak Hill", {}}, // location is not searched
        {"teacher science", {"P-12"}}, // one text in field order, not separate words
        {"Lee Science", {}},
        {" ", {"P-2", "P-12", "P-3"}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.query);
        EXPECT_EQ(idsOf(availableExistingPositions(positions(), sheets(), "S-SCI", c.query)), c.ids);
    }
    // No chart with that id: nothing is dropped.
    EXPECT_EQ(availableExistingPositions(positions(), sheets(), "S-GONE", "").size(), 4u);
}

TEST(ExistingPositionPicker, RowsNameThePersonAndEveryChartListingIt)
{
    EXPECT_EQ(existingPositionTitle(positions()[3]), "Vacant — Counselor");
    ExistingPositionListModel model(positions(), sheets(), "S-SCI", {});
    ASSERT_EQ(model.rowCount(), 3);
    EXPECT_EQ(model.index(1).data().toString(), "Kim Lee — Teacher");
    EXPECT_EQ(model.index(1).data(ExistingPositionListModel::detailRole).toString(), "P-12 · Science · Arts, Extra");
    EXPECT_EQ(model.description(), "Include people from any sheet in Science. These are shared positions, not copies. "
                                   "Changes to a person apply everywhere.");
    ExistingPositionListModel whole({pos("P-1", "Aide")}, {}, "", {});
    // No department and no chart: both separators stay, with nothing after the last.
    EXPECT_EQ(whole.index(0).data(ExistingPositionListModel::detailRole).toString(), "P-1 ·  · ");
    EXPECT_TRUE(whole.description().contains("in this sheet."));
}

TEST(ExistingPositionPicker, SelectionSurvivesFilteringAndFailuresKeepThePickerOpen)
{
    std::vector<std::set<std::string>> calls;
    std::string refusal = "A selected position no longer exists. Reopen the picker.";
    ExistingPositionListModel model(positions(), sheets(), "S-SCI", [&](const std::set<std::string> &ids) {
        calls.push_back(ids);
        if (!refusal.empty())
            throw OrganizationError::invalid(refusal);
    });
    EXPECT_EQ(model.selectionCount(), "0 selected");
    EXPECT_FALSE(model.include());
    EXPECT_TRUE(calls.empty());

    model.setData(model.index(0), Qt::Checked, Qt::CheckStateRole);
    model.setQuery("counsel");
    ASSERT_EQ(model.rowCount(), 1);
    model.setData(model.index(0), Qt::Checked, Qt::CheckStateRole);
    EXPECT_EQ(model.selectionCount(), "2 selected");
    EXPECT_FALSE(model.include());
    EXPECT_EQ(model.errorMessage(), "A selected position no longer exists. Reopen the picker.");
    EXPECT_EQ(model.query(), "counsel");

    refusal.clear();
    model.setQuery("");
    EXPECT_EQ(model.index(0).data(Qt::CheckStateRole).toInt(), Qt::Checked);
    EXPECT_TRUE(model.include());
    EXPECT_EQ(calls.back(), (std::set<std::string>{"P-2", "P-3"}));
    // The message stays until a later failure replaces it.
    EXPECT_FALSE(model.errorMessage().isEmpty());
}

} // namespace

namespace {

// The picker has no default button: Return in its search field adds nothing.
TEST(ExistingPositionPickerKeys, ReturnInTheSearchDoesNotAdd)
{
    int includes = 0;
    ExistingPositionPicker picker(positions(), sheets(), "S-SCI", [&](const std::set<std::string> &) { ++includes; });
    picker.show();
    QApplication::setActiveWindow(&picker);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&picker));
    EXPECT_EQ(AppTest::unnamedControls(&picker), QStringList());
    auto *list = picker.findChild<QListView *>();
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(QAccessible::queryAccessibleInterface(list)->text(QAccessible::Name), "Positions to add");
    picker.model().setData(picker.model().index(0), Qt::Checked, Qt::CheckStateRole);
    auto *search = picker.findChild<QLineEdit *>();
    QTest::keyClicks(search, "Lee");
    QTest::keyClick(search, Qt::Key_Return);
    EXPECT_EQ(includes, 0);
    EXPECT_TRUE(picker.isVisible());
    EXPECT_EQ(picker.model().rowCount(), 1);
}

} // namespace
