#include "app/chart/chart_toolbar.h"
#include "app/chart/chart_view.h"
#include "app/chart/chart_window_body.h"
#include "app/shell/organization_document.h"
#include "app/sidebar/chart_appearance_controls.h"
#include "app/sidebar/chart_design_controls.h"
#include "app/sidebar/organization_sidebar.h"
#include "app/sidebar/searchable_dropdown.h"

#include "app_test_support.h"
#include "scripted_dialogs.h"

#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QAccessible>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QToolButton>
#include <QTreeView>

#include <algorithm>

using namespace AppTest;

namespace {

// A district with two charts: "Science" lists P2, "Arts" lists P3.
OrganizationArchive chartedDistrict()
{
    OrganizationArchive archive = district(3);
    archive.sheets = std::vector<OrganizationSheet>{{"S-SCI", "Science", {"P2"}}, {"S-ART", "Arts", {"P3"}}};
    return archive;
}

class ChartWindowControls : public ::testing::Test {
protected:
    void open(OrganizationArchive archive)
    {
        document.setArchive(std::move(archive));
        settle();
    }
    // The body reads the view once changes settle, on a later turn.
    static void settle() { QCoreApplication::sendPostedEvents(); }
    std::vector<std::string> listed() const
    {
        std::vector<std::string> ids;
        for (const Position &position : body.sidebar()->positions())
            ids.push_back(position.id);
        return ids;
    }
    void click(QCheckBox *box) { QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(6, box->height() / 2)); }

    ScriptedDialogs dialogs;
    OrganizationDocument document;
    ChartView view{document, dialogs};
    ChartWindowBody body{view};
};

TEST_F(ChartWindowControls, ChartPickerFindsAChartByPartOfItsName)
{
    open(chartedDistrict());
    body.show();
    EXPECT_EQ(body.chartPicker()->button()->text(), "Entire organization");
    body.chartPicker()->open();
    QTest::keyClicks(body.chartPicker()->popup()->queryField(), "art");
    QTest::keyClick(body.chartPicker()->popup()->queryField(), Qt::Key_Return);
    EXPECT_EQ(view.selectedSheetID(), "S-ART");
    settle();
    EXPECT_EQ(listed(), std::vector<std::string>{"P3"});
}

// Tab goes through the header as it reads, row by row: the chart picker, rename, Sheets, the
// add buttons, then the search, Find, Planning and the paper button last.
TEST_F(ChartWindowControls, TabReadsTheHeaderInOrder)
{
    open(chartedDistrict());
    ChartHeaderControls &header = *body.header();
    const std::vector<QWidget *> expected{body.chartPicker()->button(), header.renameButton(), header.sheetsButton(),
                                          header.addExistingButton(), header.spreadsheetButton(), header.addPersonButton(),
                                          header.searchField(), header.findButton(), header.planningButton(),
                                          body.paperButton()};
    std::vector<QWidget *> reached;
    QWidget *next = expected.front();
    for (int step = 0; step < 1000 && reached.size() < expected.size(); ++step, next = next->nextInFocusChain()) {
        if (std::find(expected.begin(), expected.end(), next) != expected.end())
            reached.push_back(next);
    }
    EXPECT_EQ(reached, expected);
}

// The chart picker keeps its whole title where its row has room for it, as in the chart's
// column at scales 1.75 and 2, rather than sharing the room with the space after Sheets.
TEST_F(ChartWindowControls, TheChartPickerShowsItsWholeTitleWhereThereIsRoom)
{
    open(chartedDistrict());
    body.show();
    for (const int width : {1200, 731, 640}) {
        body.resize(width, 440);
        QCoreApplication::processEvents();
        const DropdownButton *picker = body.chartPicker()->button();
        EXPECT_GE(picker->width(), picker->sizeHint().width()) << "at " << width;
    }
}

TEST_F(ChartWindowControls, SidebarColumnIsHeadedPeople)
{
    open(district(3));
    body.show();
    QWidget *column = body.sidebar()->parentWidget();
    const QList<QLabel *> labels = column->findChildren<QLabel *>();
    const auto heading = std::find_if(labels.begin(), labels.end(), [&](const QLabel *label) {
        return label->text() == "People" && label->isVisible();
    });
    ASSERT_NE(heading, labels.end());
    EXPECT_LT((*heading)->y(), body.sidebar()->y()) << "above the list it names";
}

TEST_F(ChartWindowControls, SidebarSelectsThroughTheViewAndMirrorsIt)
{
    open(district(3));
    body.show();
    view.selectPerson("P3");
    settle();
    EXPECT_EQ(body.sidebar()->treeView()->currentIndex(), body.sidebar()->indexOfPosition("P3"));

    QTreeView *tree = body.sidebar()->treeView();
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->visualRect(body.sidebar()->indexOfPosition("P2")).center());
    EXPECT_EQ(view.selectedID(), std::optional<std::string>("P2"));
}

TEST_F(ChartWindowControls, PaperPanelDrawsButStoresNothingWhileCurrentIsLocked)
{
    OrganizationArchive archive = chartedDistrict();
    archive.lockForPlanning();
    open(archive);
    body.togglePaperPanel();
    ChartDesignControls *panel = body.paperPanel();
    ASSERT_NE(panel, nullptr);
    EXPECT_FALSE(panel->appearance()->focusedViewBox()->isEnabled());

    click(panel->appearance()->checkBox(DisplayToggle::names));
    EXPECT_TRUE(view.printSettings().hideNames);
    EXPECT_EQ(document.archive(), archive);
    EXPECT_TRUE(body.paperButton()->toolTip().startsWith("Design paper: "));
}

TEST_F(ChartWindowControls, PaperPanelWritesThePresetOnceAndFocusedViewNeedsASheet)
{
    open(chartedDistrict());
    body.togglePaperPanel();
    ChartDesignControls *panel = body.paperPanel();
    ASSERT_NE(panel, nullptr);
    EXPECT_FALSE(panel->appearance()->focusedViewBox()->isEnabled()); // the entire organization

    // Heard by the button's name, with the keys at its first control; its pickers' lists
    // are heard by the pickers' names.
    EXPECT_EQ(QAccessible::queryAccessibleInterface(panel->window())->text(QAccessible::Name), "Paper & Appearance");
    EXPECT_EQ(panel->window()->focusWidget(), panel->paperPicker());
    EXPECT_EQ(panel->paperPicker()->view()->accessibleName(), "Paper size");
    EXPECT_EQ(panel->orientationPicker()->view()->accessibleName(), "Orientation");

    const size_t steps = document.history().undoCount();
    emit panel->paperPicker()->activated(panel->paperPicker()->findText("Tabloid"));
    EXPECT_EQ(document.archive().printSettings.value().heightInches, 17);
    EXPECT_EQ(document.history().undoCount(), steps + 1);
    settle();
    EXPECT_TRUE(body.paperButton()->toolTip().startsWith("Design paper: 17 × 11 inches."));

    view.setSelectedSheetID("S-SCI");
    settle();
    EXPECT_TRUE(panel->appearance()->focusedViewBox()->isEnabled());

    // Typing a heading is one step; typing again after leaving the field is another.
    QTest::keyClicks(panel->titleField(), "Fall");
    emit panel->titleField()->editingFinished();
    QTest::keyClicks(panel->titleField(), " 2026");
    EXPECT_EQ(view.pageTitle(), "Fall 2026");
    EXPECT_EQ(document.history().undoCount(), steps + 3);
}

} // namespace
