#include "app/chart/chart_view.h"
#include "app/chart/chart_window.h"
#include "app/chart/chart_window_body.h"
#include "app/shell/organization_document.h"
#include "app/sidebar/organization_sidebar.h"

#include "chart_fixtures.h"
#include "sidebar_positions.h"

#include <gtest/gtest.h>

#include <QItemSelectionModel>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QTreeView>

// The sidebar at the edges of its list: nothing to list, one person, and a district-sized
// list at its first and last rows and across its group boundaries.

using namespace SidebarTest;

namespace {

class SidebarEdges : public ::testing::Test {
protected:
    void SetUp() override
    {
        sidebar.setActions([this](const std::string &id) { calls.push_back(id); }, [](const Position &) {});
        sidebar.resize(300, 600);
        sidebar.show();
    }
    QTreeView &tree() const { return *sidebar.treeView(); }
    void press(Qt::Key key) { QTest::keyClick(&tree(), key); }
    // The person the selection shows; empty for none.
    std::string selected() const
    {
        const QModelIndexList rows = tree().selectionModel()->selectedIndexes();
        if (rows.size() != 1)
            return rows.empty() ? "" : "(several)";
        const SidebarNode *node = sidebar.model()->node(rows.front());
        return node->isGroup() ? "(a group)" : sidebar.positions()[size_t(node->position)].id;
    }
    bool expandRowShown() const
    {
        for (QPushButton *button : sidebar.findChildren<QPushButton *>()) {
            if (button->text() == "Expand All")
                return button->isVisibleTo(&sidebar);
        }
        return false;
    }

    OrganizationSidebar sidebar;
    std::vector<std::string> calls;
};

// Every row of the list with its people in the given order: "Person 0001" … then vacancies.
std::vector<Position> large(int people, int vacancies)
{
    std::vector<Position> positions;
    char name[32];
    for (int i = people; i >= 1; --i) { // stored in reverse, so the order is the sidebar's own
        std::snprintf(name, sizeof name, "Person %04d", i);
        positions.push_back(staff("P" + std::to_string(i), name, "Dept " + std::to_string(i % 40),
                                  "Site " + std::to_string(i % 12), i == 1 ? std::nullopt : std::optional<std::string>("P1")));
    }
    for (int i = 1; i <= vacancies; ++i)
        positions.push_back(staff("V" + std::to_string(i), "", "Dept 0", "Site 0", "P1"));
    return positions;
}

} // namespace

TEST_F(SidebarEdges, AnEmptyListTakesKeysAndSelectionsWithoutRows)
{
    for (const std::string &mode : SidebarMode::all()) {
        SCOPED_TRACE(mode);
        sidebar.setGrouping(mode);
        EXPECT_EQ(sidebar.model()->rowCount(), 0);
        EXPECT_EQ(expandRowShown(), mode != SidebarMode::none);
        tree().setFocus();
        for (Qt::Key key : {Qt::Key_Down, Qt::Key_Up, Qt::Key_End, Qt::Key_Home, Qt::Key_Return, Qt::Key_Space})
            press(key);
        sidebar.setSelection("P1");
        EXPECT_EQ(selected(), "");
        sidebar.expandAll();
        sidebar.collapseAll();
    }
    EXPECT_TRUE(calls.empty());

    // People arriving in an empty list, and leaving it empty again.
    sidebar.setGrouping(std::string(SidebarMode::none));
    sidebar.setPositions({staff("P1", "Sue Head", "Science", "North")});
    sidebar.setSelection("P1");
    EXPECT_EQ(selected(), "P1");
    sidebar.setPositions({});
    EXPECT_EQ(sidebar.model()->rowCount(), 0);
    EXPECT_EQ(selected(), "");
    EXPECT_FALSE(sidebar.indexOfPosition("P1").isValid());
}

// One person is the first and the last row at once: the keys stay on it, the window's
// selection shows on it, and in a grouping its group holds it alone.
TEST_F(SidebarEdges, OnePersonIsTheFirstAndTheLastRow)
{
    sidebar.setPositions({staff("P1", "Sue Head", "Science", "North")});
    ASSERT_EQ(sidebar.model()->rowCount(), 1);
    sidebar.setSelection("P1");
    EXPECT_EQ(selected(), "P1");
    tree().setFocus();
    for (Qt::Key key : {Qt::Key_Down, Qt::Key_End, Qt::Key_Up, Qt::Key_Home})
        press(key);
    EXPECT_TRUE(calls.empty()) << "the current row never moved";
    press(Qt::Key_Return);
    EXPECT_EQ(calls, std::vector<std::string>{"P1"});

    sidebar.setGrouping(std::string(SidebarMode::departmentLocation));
    ASSERT_EQ(sidebar.model()->rowCount(), 1);
    const QModelIndex science = sidebar.model()->index(0, 0);
    EXPECT_EQ(science.data().toString(), "Science (1)");
    const QModelIndex north = sidebar.model()->index(0, 0, science);
    EXPECT_EQ(north.data().toString(), "North (1)");
    EXPECT_EQ(sidebar.indexOfPosition("P1").parent(), north);
    EXPECT_EQ(selected(), "P1");
}

// A district of 2,400 people and 3 vacancies: the first and the last rows are the first and
// the last in person order, End and Home reach them and bring them into sight, and the
// window's selection of either shows on it. In a grouping, moving down across the end of a
// group passes its neighbour's heading and selects that group's first person.
TEST_F(SidebarEdges, ALargeListReachesItsFirstAndLastRowsAndCrossesGroups)
{
    sidebar.setPositions(large(2400, 3));
    SidebarModel &model = *sidebar.model();
    ASSERT_EQ(model.rowCount(), 2403);
    EXPECT_EQ(model.index(0, 0).data().toString(), "Person 0001");
    EXPECT_EQ(model.index(2399, 0).data().toString(), "Person 2400");
    EXPECT_EQ(model.index(2400, 0).data().toString(), "Vacant position");
    EXPECT_EQ(model.index(2402, 0).data(SidebarModel::detailRole).toString(), "Teacher");

    sidebar.setSelection("P1");
    tree().setFocus();
    press(Qt::Key_End);
    EXPECT_EQ(calls, std::vector<std::string>{"V3"});
    QCoreApplication::processEvents();
    const QRect last = tree().visualRect(sidebar.indexOfPosition("V3"));
    EXPECT_TRUE(tree().viewport()->rect().contains(last)) << "the last row in sight";
    EXPECT_EQ(tree().indexAt(last.center()), sidebar.indexOfPosition("V3"));
    EXPECT_EQ(tree().verticalScrollBar()->value(), tree().verticalScrollBar()->maximum());
    press(Qt::Key_Down);
    EXPECT_EQ(calls.size(), 1u) << "nothing below the last row";
    press(Qt::Key_Home);
    EXPECT_EQ(calls.back(), "P1");
    EXPECT_EQ(tree().verticalScrollBar()->value(), 0);

    // The window's selection, at either end; the last person stored is listed first.
    for (const char *id : {"V3", "P2400", "P1"}) {
        sidebar.setSelection(id);
        EXPECT_EQ(selected(), id);
    }

    // An edit that takes the last row to the top and a vacancy to the bottom moves only those
    // two rows, and the list reads as one made afresh.
    std::vector<Position> edited = sidebar.positions();
    edited[2402].employee = Employee{.id = "E-V3", .name = "Aaron 0000"};
    edited[2400].title = "Zookeeper";
    sidebar.setPositions(edited);
    EXPECT_EQ(model.index(0, 0).data().toString(), "Aaron 0000");
    EXPECT_EQ(model.index(1, 0).data().toString(), "Person 0001");
    EXPECT_EQ(model.index(2401, 0).data(SidebarModel::detailRole).toString(), "Teacher");
    EXPECT_EQ(model.index(2402, 0).data(SidebarModel::detailRole).toString(), "Zookeeper");
    EXPECT_EQ(sidebar.indexOfPosition("V1"), model.index(2402, 0));
    EXPECT_EQ(selected(), "P1");
    sidebar.setPositions(large(2400, 3));

    // By location: twelve groups "Site 0" … "Site 9" in code-point order, their counts adding
    // up to everyone.
    sidebar.setGrouping(std::string(SidebarMode::location));
    ASSERT_EQ(model.rowCount(), 12);
    EXPECT_EQ(model.index(0, 0).data().toString(), "Site 0 (203)");
    EXPECT_EQ(model.index(1, 0).data().toString(), "Site 1 (200)");
    EXPECT_EQ(model.index(2, 0).data().toString(), "Site 10 (200)");
    EXPECT_EQ(model.index(11, 0).data().toString(), "Site 9 (200)");
    size_t listed = 0;
    for (int row = 0; row < model.rowCount(); ++row)
        listed += size_t(model.rowCount(model.index(row, 0)));
    EXPECT_EQ(listed, 2403u);

    // From the last person of "Site 0" (a vacancy) down, over the heading of "Site 1": its first person.
    const QModelIndex site0 = model.index(0, 0);
    const QModelIndex lastOfSite0 = model.index(model.rowCount(site0) - 1, 0, site0);
    EXPECT_EQ(lastOfSite0, sidebar.indexOfPosition("V3"));
    sidebar.setSelection("V3");
    calls.clear();
    press(Qt::Key_Down);
    EXPECT_EQ(calls, std::vector<std::string>{"P1"});

    // The last group's last person, at the very end of the list; closed, that group's heading
    // ends the list, and Up goes on from it to the last person of the group above.
    sidebar.setSelection("P2400");
    EXPECT_EQ(selected(), "P2400");
    EXPECT_EQ(sidebar.indexOfPosition("P2400").parent(), model.index(0, 0));
    const QModelIndex site9 = model.index(11, 0);
    const QModelIndex lastOfAll = model.index(model.rowCount(site9) - 1, 0, site9);
    EXPECT_EQ(lastOfAll.data().toString(), "Person 2397");
    calls.clear();
    press(Qt::Key_End);
    EXPECT_EQ(calls, std::vector<std::string>{"P2397"});
    tree().collapse(site9);
    press(Qt::Key_End);
    EXPECT_EQ(tree().currentIndex(), site9);
    EXPECT_EQ(calls.size(), 1u) << "a heading is never chosen";
    press(Qt::Key_Up);
    const QModelIndex site8 = model.index(10, 0);
    EXPECT_EQ(tree().currentIndex(), model.index(model.rowCount(site8) - 1, 0, site8));
    EXPECT_EQ(calls.size(), 2u);
}

namespace {

// A chart window of two charts: "Teaching" lists P1 and P2, "Empty" nobody.
class SidebarOfAWindow : public AppTest::ChartWindowFixture {
protected:
    void SetUp() override
    {
        window = controller.newDocument();
        OrganizationArchive archive = AppTest::district(2);
        archive.sheets = std::vector{OrganizationSheet::make("Teaching", {"P1", "P2"}), OrganizationSheet::make("Empty", {})};
        window->document()->setArchive(archive);
        AppTest::settle();
    }
    OrganizationSidebar &people() const { return *window->body().sidebar(); }
    const std::string &sheetID(size_t i) const { return window->document()->archive().sheets->at(i).id; }
};

} // namespace

// An empty chart lists nobody; removing a chart's last person empties its list, and undoing
// that brings the person back.
TEST_F(SidebarOfAWindow, AnEmptyChartListsNobody)
{
    ChartView &view = window->view();
    EXPECT_EQ(people().model()->rowCount(), 3);
    view.setSelectedSheetID(sheetID(1));
    AppTest::settle();
    EXPECT_EQ(people().model()->rowCount(), 0);
    view.setSelectedSheetID(sheetID(0));
    AppTest::settle();
    EXPECT_EQ(people().model()->rowCount(), 2);

    view.setSelectedID("P2");
    view.removeSelectedFromChart();
    view.setSelectedID("P1");
    view.removeSelectedFromChart();
    AppTest::settle();
    EXPECT_EQ(people().model()->rowCount(), 0);
    window->document()->undo();
    AppTest::settle();
    ASSERT_EQ(people().model()->rowCount(), 1);
    EXPECT_EQ(people().model()->index(0, 0).data().toString(), "Ada Lovelace");
}
