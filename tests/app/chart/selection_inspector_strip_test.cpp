#include "app/chart/chart_view.h"
#include "app/chart/selection_inspector_strip.h"
#include "app/shell/organization_document.h"

#include "app_test_support.h"
#include "scripted_dialogs.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QLabel>
#include <QMenu>
#include <QPushButton>

using namespace AppTest;

namespace {

// A selected position group: the strip names it, lists its people, expands it and dismisses it.
class GroupInspector : public ::testing::Test {
protected:
    void SetUp() override
    {
        OrganizationArchive archive = district(3);
        archive.groups = std::vector<PositionGroup>{{"group-A", "Team", {"P2", "P3"}}};
        document.setArchive(archive);
        view.setPositionEditorAvailable(true);
        QCoreApplication::processEvents();
        view.setSelectedGroupID("group-A");
        QObject::connect(&view, &ChartView::positionEditRequested,
                         [this](const Position &position) { edited.push_back(position.id); });
    }
    void TearDown() override { EXPECT_TRUE(dialogs.exhausted()); }

    QStringList labels(const SelectionInspectorStrip &strip) const
    {
        QStringList texts;
        for (const QLabel *label : strip.findChildren<QLabel *>())
            texts.append(label->text());
        return texts;
    }

    ScriptedDialogs dialogs;
    OrganizationDocument document;
    ChartView view{document, dialogs};
    std::vector<std::string> edited;
};

TEST_F(GroupInspector, PeopleInGroupSelectAndEditThePerson)
{
    SelectionInspectorStrip strip(view);
    EXPECT_EQ(labels(strip), (QStringList{"Team (x2)", "2 FTE · Instruction"}));
    QPushButton *people = strip.button("People in Group");
    ASSERT_NE(people, nullptr);
    EXPECT_TRUE(people->isEnabled());
    ASSERT_NE(people->menu(), nullptr);
    QStringList names;
    for (QAction *action : people->menu()->actions())
        names.append(action->text());
    EXPECT_EQ(names, (QStringList{"Person 2", "Person 3"}));
    people->menu()->actions().at(1)->trigger();
    EXPECT_EQ(view.selectedID(), "P3");
    EXPECT_EQ(edited, std::vector<std::string>{"P3"});
}

TEST_F(GroupInspector, ExpandAndDismiss)
{
    {
        SelectionInspectorStrip strip(view);
        QPushButton *expand = strip.button("Expand Group");
        ASSERT_NE(expand, nullptr);
        expand->click();
        EXPECT_TRUE(view.expandedGroups().empty()) << "after the click has finished";
        QCoreApplication::processEvents();
        EXPECT_EQ(view.expandedGroups(), std::set<std::string>{"group-A"});
    }
    view.toggleGroup("group-A");
    view.setSelectedGroupID("group-A");
    SelectionInspectorStrip strip(view);
    QPushButton *dismiss = strip.button("\u2715");
    EXPECT_EQ(dismiss ? dismiss->toolTip() : QString(), "Dismiss selection");
    ASSERT_NE(dismiss, nullptr);
    dismiss->click();
    EXPECT_EQ(view.selectedGroupID(), std::nullopt);
    EXPECT_EQ(view.selectedID(), std::nullopt);
}

// Without an editor, or with the organization locked, the people cannot be opened.
TEST_F(GroupInspector, PeopleNeedAnEditorAndAnEditableOrganization)
{
    view.setPositionEditorAvailable(false);
    EXPECT_FALSE(SelectionInspectorStrip(view).button("People in Group")->isEnabled());
    view.setPositionEditorAvailable(true);
    OrganizationArchive locked = document.archive();
    locked.lockForPlanning();
    document.setArchive(locked);
    QCoreApplication::processEvents();
    view.setSelectedGroupID("group-A");
    SelectionInspectorStrip strip(view);
    ASSERT_NE(strip.button("People in Group"), nullptr);
    EXPECT_FALSE(strip.button("People in Group")->isEnabled());
}

} // namespace
