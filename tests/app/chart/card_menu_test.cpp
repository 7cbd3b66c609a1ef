#include "app/chart/card_menu.h"
#include "app/chart/chart_view.h"
#include "app/shell/organization_document.h"

#include "app_test_support.h"
#include "scripted_dialogs.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QMenu>

using namespace AppTest;

namespace {

struct MenuCase {
    const char *name;
    std::function<void(OrganizationArchive &, ChartView &)> setUp;
    std::string cardID;
    // "title" for an enabled item, "-title" for a disabled one, "---" for a divider.
    std::vector<std::string> items;
};

std::string shown(const CardMenuItem &item)
{
    if (item.action == CardMenuItem::Action::separator)
        return "---";
    return (item.enabled ? "" : "-") + item.title.toStdString();
}

std::vector<std::string> standard(bool canEdit, bool hasEmployee, bool onChart)
{
    const std::string off = canEdit ? "" : "-";
    std::vector<std::string> items{"Edit Person & Position", "Add Sibling", "Add Subordinate", "Add Assistant", "---",
                                   (canEdit && hasEmployee ? "" : "-") + std::string("Make Vacant…")};
    if (onChart)
        items.push_back(off + "Remove from This Chart…");
    items.push_back(off + "Delete Person & Position…");
    return items;
}

TEST(CardMenu, ItemsFollowTheCardAndTheLock)
{
    std::vector<MenuCase> cases{
        {"occupied, entire organization", {}, "P2", standard(true, true, false)},
        {"vacant", [](OrganizationArchive &a, ChartView &) { a.organization.positions[2].employee.reset(); }, "P3",
         standard(true, false, false)},
        {"listed on the chart shown",
         [](OrganizationArchive &a, ChartView &v) {
             a.sheets = std::vector<OrganizationSheet>{{"S1", "Science", {"P1", "P2"}}};
             v.setSelectedSheetID("S1");
         },
         "P2", standard(true, true, true)},
        {"locked",
         [](OrganizationArchive &a, ChartView &v) {
             a.sheets = std::vector<OrganizationSheet>{{"S1", "Science", {"P1", "P2"}}};
             a.lockForPlanning();
             v.setSelectedSheetID("S1");
         },
         "P2", standard(false, true, true)},
    };
    // A group card stands for its members: it expands, and each member opens on its own.
    cases.push_back({"group card",
                     [](OrganizationArchive &a, ChartView &) {
                         a.groups = std::vector<PositionGroup>{{"group-1", "Teachers", {"P2", "P3"}}};
                     },
                     "group-1",
                     {"Expand Group", "Edit Employee EP2 \u00b7 P2", "Edit Employee EP3 \u00b7 P3"}});
    cases.push_back({"merged title card of three",
                     [](OrganizationArchive &a, ChartView &) {
                         for (int i = 1; i <= 3; ++i)
                             a.organization.positions[size_t(i)].employee.reset();
                         ChartPrintSettings settings = ChartPrintSettings::departmentDesign();
                         settings.hideNames = true;
                         settings.combineMatchingTitles = true;
                         a.printSettings = settings;
                     },
                     "P2",
                     {"Edit Employee Vacant \u00b7 P2", "Edit Employee Vacant \u00b7 P3", "Edit Employee Vacant \u00b7 P4"}});

    for (const MenuCase &c : cases) {
        ScriptedDialogs dialogs;
        OrganizationDocument document;
        ChartView view(document, dialogs);
        OrganizationArchive archive = district(3);
        if (c.setUp)
            c.setUp(archive, view);
        document.setArchive(archive);
        std::vector<std::string> items;
        for (const CardMenuItem &item : CardMenu::cardMenuItems(view, c.cardID))
            items.push_back(shown(item));
        EXPECT_EQ(items, c.items) << c.name;
    }
}

TEST(CardMenu, DeleteSelectsTheCardAndAsksAboutIt)
{
    ScriptedDialogs dialogs;
    OrganizationDocument document;
    ChartView view(document, dialogs);
    document.setArchive(district(2));
    view.setPositionEditorAvailable(true);
    const std::vector<CardMenuItem> items = CardMenu::cardMenuItems(view, "P3");
    // The menu shows the titles as written: "&" is no shortcut mark.
    QMenu *menu = CardMenu::build(view, "P3", nullptr);
    EXPECT_EQ(menu->actions().first()->iconText(), "Edit Person & Position");
    delete menu;
    dialogs.choices = {"Cancel"};
    CardMenu::run(view, "P3", items.back());
    EXPECT_EQ(view.selectedID(), "P3");
    ASSERT_EQ(dialogs.questions.size(), 1u);
    EXPECT_EQ(dialogs.questions[0].title, "Delete this person and position?");

    // "Add Sibling" of a report passes its manager.
    std::vector<Position> added;
    QObject::connect(&view, &ChartView::positionAddRequested, [&](const Position &p) { added.push_back(p); });
    CardMenu::run(view, "P3", items[1]);
    ASSERT_EQ(added.size(), 1u);
    EXPECT_EQ(added[0].managerID, "P1");
}

} // namespace
