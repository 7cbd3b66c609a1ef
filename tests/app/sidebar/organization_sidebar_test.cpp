#include "app/sidebar/organization_sidebar.h"
#include "app/sidebar/searchable_dropdown.h"

#include "random_edits.h"
#include "sidebar_positions.h"

#include <gtest/gtest.h>

#include <QItemSelectionModel>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QTreeView>

#include <functional>

using namespace SidebarTest;

namespace {

class SidebarWidget : public ::testing::Test {
protected:
    void SetUp() override
    {
        sidebar.setActions([this](const std::string &id) { calls.push_back("select " + id); },
                           [this](const Position &position) { calls.push_back("edit " + position.id); });
        sidebar.setPositions(school());
        sidebar.resize(300, 900);
        sidebar.show();
    }
    // The top-level group of that name in the current mode.
    QModelIndex group(const std::string &name) const
    {
        SidebarModel *model = sidebar.model();
        for (int row = 0; row < model->rowCount(); ++row) {
            const QModelIndex index = model->index(row, 0);
            if (model->node(index)->name == name)
                return index;
        }
        ADD_FAILURE() << "no group " << name;
        return {};
    }
    bool isOpen(const std::string &name) const { return sidebar.treeView()->isExpanded(group(name)); }
    QPoint centreOf(const std::string &id) const
    {
        return sidebar.treeView()->visualRect(sidebar.indexOfPosition(id)).center();
    }

    OrganizationSidebar sidebar;
    std::vector<std::string> calls;
};

TEST_F(SidebarWidget, ClosedGroupsStayClosedAcrossModesAndCollapseAllReachesEveryMode)
{
    sidebar.setGrouping(std::string(SidebarMode::location));
    sidebar.treeView()->collapse(group("North")); // as the user's click on the arrow does
    sidebar.setGrouping(std::string(SidebarMode::department));
    EXPECT_TRUE(isOpen("Science"));
    sidebar.setGrouping(std::string(SidebarMode::location));
    EXPECT_FALSE(isOpen("North"));
    EXPECT_TRUE(isOpen("South"));

    sidebar.collapseAll();
    EXPECT_FALSE(isOpen("South"));
    sidebar.setGrouping(std::string(SidebarMode::departmentLocation));
    EXPECT_FALSE(isOpen("Math"));
    sidebar.treeView()->expand(group("Math"));
    sidebar.setPositions({staff("P9", "New Person", "Art", "West")}); // a group that comes later
    EXPECT_FALSE(isOpen("Art"));
    sidebar.expandAll();
    EXPECT_TRUE(isOpen("Art"));
}

TEST_F(SidebarWidget, ClicksAskTheWindowAndTheWindowsSelectionIsShown)
{
    QTreeView *tree = sidebar.treeView();
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, centreOf("P3"));
    EXPECT_EQ(calls, (std::vector<std::string>{"select P3"}));

    calls.clear();
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, centreOf("P2")); // the first half of a double click
    QTest::mouseDClick(tree->viewport(), Qt::LeftButton, {}, centreOf("P2"));
    ASSERT_GE(calls.size(), 2u);
    EXPECT_EQ(calls.back(), "edit P2");
    EXPECT_EQ(calls[calls.size() - 2], "select P2"); // selected before the editor opens

    sidebar.setEditingEnabled(false);
    calls.clear();
    QTest::mouseDClick(tree->viewport(), Qt::LeftButton, {}, centreOf("P2"));
    EXPECT_TRUE(std::find(calls.begin(), calls.end(), "edit P2") == calls.end());

    sidebar.setSelection("P5");
    EXPECT_EQ(tree->selectionModel()->selectedIndexes(), QModelIndexList{sidebar.indexOfPosition("P5")});
    sidebar.setSelection(std::nullopt);
    EXPECT_TRUE(tree->selectionModel()->selectedIndexes().isEmpty());
}

// From the keyboard the current row is the selection: each arrow asks the window to select
// the person it reaches, as a click does; Return and Space select the current row.
TEST_F(SidebarWidget, KeysThatMoveTheCurrentRowSelectThatPerson)
{
    QTreeView *tree = sidebar.treeView();
    sidebar.setSelection("P3"); // Bo Brandt, between Al Adams and Cy Cole
    tree->setFocus();
    QTest::keyClick(tree, Qt::Key_Down);
    EXPECT_EQ(calls, (std::vector<std::string>{"select P4"}));
    QTest::keyClick(tree, Qt::Key_Up);
    QTest::keyClick(tree, Qt::Key_Up);
    EXPECT_EQ(calls, (std::vector<std::string>{"select P4", "select P3", "select P2"}));

    sidebar.setSelection(std::nullopt); // the window chose no one, the row stays current
    calls.clear();
    QTest::keyClick(tree, Qt::Key_Space);
    QTest::keyClick(tree, Qt::Key_Return);
    EXPECT_EQ(calls, (std::vector<std::string>{"select P2", "select P2"}));

    // A group's row takes no selection: the arrows pass over it.
    sidebar.setGrouping(std::string(SidebarMode::location));
    tree->setCurrentIndex(group("North"));
    calls.clear();
    QTest::keyClick(tree, Qt::Key_Down); // the first person of North
    QTest::keyClick(tree, Qt::Key_Up);   // over North's heading, the last person of East
    EXPECT_EQ(calls, (std::vector<std::string>{"select P3", "select P5"}));
}

TEST_F(SidebarWidget, PickerChangesTheModeAndTheExpandRowShowsOutsideNone)
{
    QWidget *expandRow = nullptr;
    for (QPushButton *button : sidebar.findChildren<QPushButton *>()) {
        if (button->text() == "Expand All")
            expandRow = button->parentWidget();
    }
    ASSERT_NE(expandRow, nullptr);
    EXPECT_FALSE(expandRow->isVisible());
    EXPECT_EQ(sidebar.model()->rowCount(), 6); // people only

    sidebar.groupPicker()->open();
    emit sidebar.groupPicker()->popup()->chosen("Location");
    EXPECT_EQ(sidebar.grouping(), "Location");
    EXPECT_TRUE(expandRow->isVisible());

    sidebar.setPositions({});
    EXPECT_EQ(sidebar.model()->rowCount(), 0);
    EXPECT_TRUE(expandRow->isVisible());
}

TEST_F(SidebarWidget, SamePositionsDoNotRebuild)
{
    QSignalSpy resets(sidebar.model(), &QAbstractItemModel::modelReset);
    sidebar.setPositions(school());
    sidebar.setSelection("P1");
    sidebar.treeView()->collapseAll();
    EXPECT_EQ(resets.count(), 0);
}

// The flat list gives every row one height, as its rows are all people: each row is as high
// as its own content asks, vacancies included.
TEST_F(SidebarWidget, FlatRowsAreAsHighAsTheirContent)
{
    std::vector<Position> people = school();
    people.push_back(staff("P7", "", "Math", "North"));
    people.push_back(staff("P8", "Long Name With Several Parts Beyond The Width Of The List", "Math", "North"));
    sidebar.setPositions(people);
    QTreeView &view = *sidebar.treeView();
    ASSERT_EQ(sidebar.model()->rowCount(), 8);
    for (int row = 0; row < 8; ++row) {
        const QModelIndex index = sidebar.model()->index(row, 0);
        EXPECT_EQ(view.visualRect(index).height(), view.itemDelegate()->sizeHint(QStyleOptionViewItem(), index).height())
            << row;
    }
}

// A chart that cannot be drawn lists its positions as stored, ids repeated or not: a
// repeated id stands for its first row, before and after an edit moves the rows.
TEST_F(SidebarWidget, RepeatedIDsFindTheirFirstRow)
{
    const auto nameAt = [&](const std::string &id) { return sidebar.indexOfPosition(id).data().toString(); };
    std::vector<Position> repeated{staff("X", "Zed Zorn", "Math", "North"), staff("X", "Abe Ames", "Math", "North"),
                                   staff("P7", "Kim Kay", "Math", "North")};
    sidebar.setPositions(repeated);
    EXPECT_EQ(nameAt("X"), "Abe Ames");
    EXPECT_EQ(nameAt("P7"), "Kim Kay");
    repeated[1].employee->name = "Zoe Zupan";
    sidebar.setPositions(repeated);
    EXPECT_EQ(nameAt("X"), "Zed Zorn");
    repeated[1].id = "P8";
    sidebar.setPositions(repeated);
    EXPECT_EQ(nameAt("X"), "Zed Zorn");
    EXPECT_EQ(nameAt("P8"), "Zoe Zupan");
    sidebar.setGrouping(std::string(SidebarMode::location));
    EXPECT_EQ(nameAt("P8"), "Zoe Zupan");
    EXPECT_EQ(nameAt("P7"), "Kim Kay");
}

} // namespace

namespace {

// Every row as the view shows it, depth first, with whether its group is open and which
// position a click on it would pick.
std::vector<std::string> shownRows(const OrganizationSidebar &sidebar)
{
    std::vector<std::string> rows;
    const SidebarModel &model = *sidebar.model();
    std::vector<QModelIndex> work;
    for (int row = model.rowCount() - 1; row >= 0; --row)
        work.push_back(model.index(row, 0));
    while (!work.empty()) {
        const QModelIndex index = work.back();
        work.pop_back();
        const SidebarNode &node = *model.node(index);
        std::string row = index.data(Qt::DisplayRole).toString().toStdString() + " | " +
                          index.data(SidebarModel::detailRole).toString().toStdString() + " | " + node.key;
        if (node.isGroup())
            row += sidebar.treeView()->isExpanded(index) ? " open" : " closed";
        else
            row += " -> " + sidebar.positions()[size_t(node.position)].id;
        rows.push_back(row);
        for (int child = model.rowCount(index) - 1; child >= 0; --child)
            work.push_back(model.index(child, 0, index));
    }
    return rows;
}

// Closes the top-level group with that expansion key, as the user's click on its arrow does.
void closeTopGroup(OrganizationSidebar &sidebar, const std::string &key)
{
    for (int row = 0; row < sidebar.model()->rowCount(); ++row) {
        const QModelIndex index = sidebar.model()->index(row, 0);
        if (!key.empty() && sidebar.model()->node(index)->key == key)
            sidebar.treeView()->collapse(index);
    }
}

// What the view shows down its first screen: the row at each height, as a click would find it.
std::vector<std::string> rowsOnScreen(const OrganizationSidebar &sidebar)
{
    std::vector<std::string> rows;
    QTreeView &view = *sidebar.treeView();
    for (int y = 2; y < view.viewport()->height(); y += 7) {
        const QModelIndex index = view.indexAt(QPoint(40, y));
        rows.push_back(index.data().toString().toStdString() + " @" + std::to_string(view.visualRect(index).top()));
    }
    return rows;
}

} // namespace

// A sidebar following a run of edits shows what one made for the last positions shows, in
// every grouping, whether it rebuilt its rows, moved a few people's rows or only took new
// texts. The larger districts move more rows than the view updates one by one.
TEST(SidebarUpdates, RowsAfterEachEditEqualAFreshSidebar)
{
    const std::vector<std::string> modes = SidebarMode::all();
    for (unsigned seed = 1; seed <= 9; ++seed) {
        std::mt19937 random(seed);
        const bool large = seed > 5;
        OrganizationArchive archive = RandomEdits::district(random, large ? 200 : 30);
        const std::string mode = large ? modes[seed % 2 ? 0 : 1] : modes[seed % modes.size()];
        OrganizationSidebar kept;
        kept.setGrouping(mode);
        kept.setPositions(archive.organization.positions);
        kept.resize(300, 700);
        kept.show();
        const std::string selectedID = archive.organization.positions[3].id;
        kept.setSelection(selectedID);
        // One group closed, as the user's click on its arrow closes it.
        const std::string closed = large && mode != SidebarMode::none ? kept.model()->node(kept.model()->index(1, 0))->key : "";
        const auto closeGroup = [&](OrganizationSidebar &sidebar) { closeTopGroup(sidebar, closed); };
        closeGroup(kept);
        for (int edit = 0; edit < 120; ++edit) {
            RandomEdits::apply(archive, random);
            kept.setPositions(archive.organization.positions);
            OrganizationSidebar fresh;
            fresh.setGrouping(mode);
            fresh.setPositions(archive.organization.positions);
            closeGroup(fresh);
            ASSERT_EQ(shownRows(kept), shownRows(fresh)) << "seed " << seed << ", edit " << edit << ", " << mode;
            fresh.resize(300, 700);
            fresh.show();
            QCoreApplication::processEvents();
            ASSERT_EQ(rowsOnScreen(kept), rowsOnScreen(fresh)) << "seed " << seed << ", edit " << edit << ", " << mode;
            const QModelIndex selected = kept.treeView()->selectionModel()->currentIndex();
            EXPECT_EQ(selected, kept.indexOfPosition(selectedID));
        }
    }
}

// Each kind of edit the window makes, and its undo, in every grouping: the sidebar that
// follows shows the rows, open groups and selection of one made anew, laid out alike. In the
// flat list the rows of the people that changed go and come, and in groups a renamed or
// emptied position's row moves within its group: nothing is laid out anew, and the flat list
// stays on the rows it showed.
TEST(SidebarUpdates, EachKindOfEditAndItsUndoEqualAFreshSidebar)
{
    std::mt19937 random(7);
    const std::vector<Position> district = RandomEdits::district(random, 150).organization.positions;
    const auto edited = [&](const std::function<void(std::vector<Position> &)> &edit) {
        std::vector<Position> positions = district;
        edit(positions);
        return positions;
    };
    const std::string selectedID = district[40].id;
    // The first five move a row within its group in every grouping.
    const std::vector<std::pair<std::string, std::vector<Position>>> edits{
        {"rename to the end", edited([](auto &p) { p[40].employee->name = "Zora Zylstra"; })},
        {"rename to the start", edited([](auto &p) { p[40].employee->name = "Aaron Aab"; })},
        {"rename in place", edited([](auto &p) { p[40].employee->name += "x"; })},
        {"make vacant", edited([](auto &p) { p[40].employee.reset(); })},
        {"new job title", edited([](auto &p) { p[40].setJobTitle("Aardvark Keeper"); })},
        {"delete", edited([](auto &p) { p.erase(p.begin() + 41); })},
        {"delete the first", edited([](auto &p) { p.erase(p.begin()); })},
        {"delete several", edited([](auto &p) { p.erase(p.begin() + 60, p.begin() + 66); })},
        {"add", edited([](auto &p) { p.insert(p.begin() + 70, SidebarTest::staff("N1", "Mo Mid", "Data", "Site 1", "P3")); })},
        {"add at the end", edited([](auto &p) { p.push_back(SidebarTest::staff("N2", "", "Data", "Site 9", "P3")); })},
        {"new site and department", edited([](auto &p) { p[40].location = "Site 7", p[41].department = "Art"; })},
        {"new manager", edited([](auto &p) { p[90].managerID = p[2].id; })},
    };
    for (const std::string &mode : SidebarMode::all()) {
        OrganizationSidebar kept;
        kept.setGrouping(mode);
        kept.setPositions(district);
        kept.resize(300, 500);
        kept.show();
        kept.setSelection(selectedID);
        // One group closed, as the user's click on its arrow closes it.
        const std::string closed = mode != SidebarMode::none ? kept.model()->node(kept.model()->index(1, 0))->key : "";
        const auto closeGroup = [&](OrganizationSidebar &sidebar) { closeTopGroup(sidebar, closed); };
        closeGroup(kept);
        QScrollBar &scroll = *kept.treeView()->verticalScrollBar();
        kept.treeView()->scrollTo(kept.indexOfPosition(selectedID), QAbstractItemView::PositionAtTop);
        const SidebarExpansion expansion = kept.expansion();
        // Each edit, then its undo.
        for (size_t e = 0; e < edits.size(); ++e) {
            const auto &[name, positions] = edits[e];
            for (const std::vector<Position> *shown : {&positions, &district}) {
                QSignalSpy resets(kept.model(), &QAbstractItemModel::modelReset);
                QSignalSpy relaidOut(kept.model(), &QAbstractItemModel::layoutChanged);
                const int scrolled = scroll.value();
                kept.setPositions(*shown);
                QCoreApplication::processEvents();
                OrganizationSidebar fresh;
                fresh.setGrouping(mode);
                fresh.setPositions(*shown);
                closeGroup(fresh);
                fresh.setSelection(selectedID);
                fresh.resize(300, 500);
                fresh.show();
                QCoreApplication::processEvents();
                fresh.treeView()->verticalScrollBar()->setValue(scroll.value());
                const std::string step = mode + ", " + name + (shown == &district ? " undone" : "");
                ASSERT_EQ(shownRows(kept), shownRows(fresh)) << step;
                if (mode == SidebarMode::none) {
                    EXPECT_LE(std::abs(scroll.value() - scrolled), 6) << step;
                }
                EXPECT_EQ(rowsOnScreen(kept), rowsOnScreen(fresh)) << step;
                EXPECT_EQ(kept.treeView()->selectionModel()->currentIndex(), kept.indexOfPosition(selectedID)) << step;
                EXPECT_EQ(kept.expansion().exceptions(), expansion.exceptions()) << step;
                if (mode == SidebarMode::none || e < 5) {
                    EXPECT_EQ(resets.count() + relaidOut.count(), 0) << step;
                }
            }
        }
    }
}

namespace {

// One edit as the window makes them, on positions nobody reports through when it takes one
// away: a Delete, an added position, a new site, department or manager, a rename, or a few
// of these at once.
void editAtRandom(std::vector<Position> &positions, std::mt19937 &random, int &added)
{
    static const std::vector<std::string> departments{"Office", "Teaching", "Support", "Data", "Art", " Data ", ""};
    const auto pick = [&](size_t n) { return size_t(RandomEdits::below(random, n)); };
    const int changes = random() % 5 ? 1 : 3;
    for (int change = 0; change < changes && !positions.empty(); ++change) {
        const size_t at = pick(positions.size());
        Position &p = positions[at];
        switch (random() % 6) {
        case 0: {
            const bool manages = std::any_of(positions.begin(), positions.end(),
                                             [&](const Position &q) { return q.managerID == p.id; });
            if (!manages)
                positions.erase(positions.begin() + ptrdiff_t(at));
            break;
        }
        case 1: {
            Position n = SidebarTest::staff("N" + std::to_string(++added), random() % 4 ? "Name" + std::to_string(pick(50)) : "",
                                            departments[pick(departments.size())], "Site " + std::to_string(pick(7)),
                                            positions[pick(positions.size())].id);
            positions.insert(positions.begin() + ptrdiff_t(pick(positions.size() + 1)), std::move(n));
            break;
        }
        case 2: p.location = "Site " + std::to_string(pick(7)); break;
        case 3: p.department = departments[pick(departments.size())]; break;
        case 4:
            // Only to someone listed before it, so chains stay chains.
            if (at > 0)
                p.managerID = positions[pick(at)].id;
            break;
        case 5:
            if (p.employee)
                p.employee->name = "Name" + std::to_string(pick(50)) + " " + p.id;
            break;
        }
    }
}

} // namespace

// Deletes, added positions, new sites, departments and managers, and their undos, in every
// grouping: a sidebar that moves only the rows that changed shows what one built anew
// shows, row for row, with the same groups open. Most edits move rows without a rebuild.
TEST(SidebarUpdates, GroupedEditsAndUndosEqualAFreshSidebar)
{
    for (const std::string &mode : SidebarMode::all()) {
        if (mode == SidebarMode::none)
            continue;
        std::mt19937 random(std::hash<std::string>()(mode) % 1000);
        std::vector<Position> positions = RandomEdits::district(random, 120).organization.positions;
        std::vector<std::vector<Position>> history;
        OrganizationSidebar kept;
        kept.setGrouping(mode);
        kept.setPositions(positions);
        kept.resize(300, 600);
        kept.show();
        const std::string selectedID = positions[7].id;
        kept.setSelection(selectedID);
        const std::string closed = kept.model()->node(kept.model()->index(1, 0))->key;
        closeTopGroup(kept, closed);
        int added = 0;
        int rebuilt = 0;
        int nestedSeen = 0;
        constexpr int edits = 300;
        for (int edit = 0; edit < edits; ++edit) {
            if (!history.empty() && random() % 4 == 0) {
                positions = history.back();
                history.pop_back();
            } else {
                history.push_back(positions);
                editAtRandom(positions, random, added);
            }
            QSignalSpy resets(kept.model(), &QAbstractItemModel::modelReset);
            kept.setPositions(positions);
            rebuilt += resets.count();
            for (const SidebarNode &node : kept.model()->tree().nodes)
                nestedSeen += node.department && node.parent >= 0 && kept.model()->tree().nodes[size_t(node.parent)].department;
            OrganizationSidebar fresh;
            fresh.setGrouping(mode);
            fresh.setPositions(positions);
            closeTopGroup(fresh, closed);
            ASSERT_EQ(shownRows(kept), shownRows(fresh)) << mode << ", edit " << edit;
            EXPECT_EQ(kept.treeView()->selectionModel()->currentIndex(), kept.indexOfPosition(selectedID))
                << mode << ", edit " << edit;
        }
        EXPECT_LT(rebuilt, edits / 4) << mode;
        if (mode != SidebarMode::location) {
            EXPECT_GT(nestedSeen, 0) << mode << ": no department nested in another";
        }
    }
}

// A group whose only person is deleted goes, and comes back where it was, still closed, with
// the undo; neither rebuilds the rows.
TEST(SidebarUpdates, AGroupThatEmptiesGoesAndComesBackClosed)
{
    const std::vector<Position> positions = school();
    const std::vector<Position> deleted = [&] {
        std::vector<Position> kept = positions;
        std::erase_if(kept, [](const Position &p) { return p.id == "P5"; });
        return kept;
    }();
    for (const std::string &mode : {std::string(SidebarMode::location), std::string(SidebarMode::department)}) {
        OrganizationSidebar kept;
        kept.setGrouping(mode);
        kept.setPositions(positions);
        const QModelIndex group = kept.indexOfPosition("P5").parent();
        const std::string key = kept.model()->node(group)->key;
        kept.treeView()->collapse(group);
        QSignalSpy resets(kept.model(), &QAbstractItemModel::modelReset);
        for (const std::vector<Position> *shown : {&deleted, &positions}) {
            kept.setPositions(*shown);
            OrganizationSidebar fresh;
            fresh.setGrouping(mode);
            fresh.setPositions(*shown);
            if (shown == &positions)
                fresh.treeView()->collapse(fresh.indexOfPosition("P5").parent());
            EXPECT_EQ(shownRows(kept), shownRows(fresh)) << mode;
        }
        EXPECT_FALSE(kept.treeView()->isExpanded(kept.indexOfPosition("P5").parent())) << mode;
        EXPECT_EQ(kept.model()->node(kept.indexOfPosition("P5").parent())->key, key) << mode;
        EXPECT_EQ(resets.count(), 0) << mode;
    }
}
