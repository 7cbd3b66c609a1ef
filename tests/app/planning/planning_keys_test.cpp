#include "app/planning/planning_workspace.h"

#include "app/planning/planning_workspace_controller.h"
#include "app/planning/proposal_canvas.h"
#include "app/shell/organization_document.h"

#include "app_test_support.h"
#include "scripted_dialogs.h"

#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <QContextMenuEvent>
#include <QFrame>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTest>

#include <algorithm>
#include <functional>

namespace {

// A locked district with the proposal "Option A" shown.
struct ProposalShown {
    explicit ProposalShown(const OrganizationArchive &archive = AppTest::district(2))
    {
        document.setArchive(archive);
        workspace.show();
        dialogs.choices = {"Lock Current"};
        QTest::mouseClick(workspace.button("Lock Current\u2026"), Qt::LeftButton);
        QTest::keyClicks(workspace.proposalNameField(), "Option A");
        QTest::keyClick(workspace.proposalNameField(), Qt::Key_Return);
    }

    OrganizationDocument document;
    ScriptedDialogs dialogs;
    PlanningWorkspace workspace{document, {}, dialogs};
};

} // namespace

// The proposal chart is reached by Tab and its arrows select, as the chart window's do: the
// line under the chart, the buttons and the ring follow the card reached, and the chart draws
// the new selection as a chart drawn anew would.
TEST(PlanningKeys, ArrowsSelectTheCardTheButtonsActOn)
{
    ProposalShown shown;
    PlanningWorkspace &workspace = shown.workspace;
    PlanningWorkspaceController &c = workspace.controller();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&workspace));
    ProposalChartSurface &surface = workspace.canvas().surface();
    ASSERT_TRUE(surface.scene());
    QPushButton *edit = workspace.button("Edit / Change Manager");
    QPushButton *remove = workspace.button("Delete Person & Position\u2026");
    ASSERT_TRUE(edit && remove);
    EXPECT_FALSE(edit->isEnabled());

    workspace.canvas().zoomInButton()->setFocus(Qt::TabFocusReason);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    ASSERT_EQ(QApplication::focusWidget(), &surface);
    EXPECT_FALSE(edit->isEnabled()) << "taking the focus selects nothing";
    EXPECT_TRUE(surface.accessibleDescription().contains("Arrow keys: select the next card that way."));

    const QImage unselected = surface.grab().toImage();
    QTest::keyClick(&surface, Qt::Key_Down);
    EXPECT_EQ(c.selectedID(), "P1") << "the top card first";
    QCoreApplication::processEvents();
    EXPECT_NE(surface.grab().toImage(), unselected) << "the selected card is ringed";
    QTest::keyClick(&surface, Qt::Key_Down);
    EXPECT_EQ(c.selectedID(), "P2");
    QTest::keyClick(&surface, Qt::Key_Right);
    QTest::keyClick(&surface, Qt::Key_Right);
    EXPECT_EQ(c.selectedID(), "P3") << "nothing further right";
    EXPECT_TRUE(edit->isEnabled());
    EXPECT_EQ(workspace.selectionLabel()->text(), "Teacher \u00b7 Person 3 \u00b7 P3");
    EXPECT_EQ(c.selected()->id, "P3") << "what Edit / Change Manager opens";
    shown.dialogs.choices = {"Cancel"};
    QTest::mouseClick(remove, Qt::LeftButton);
    EXPECT_EQ(c.actionPositionID(), "P3") << "the card Delete asked about";

    // Up to P1, which still has reports: Delete refuses for P1, not for the card left.
    QTest::keyClick(&surface, Qt::Key_Up);
    EXPECT_TRUE(workspace.selectionLabel()->text().endsWith("P1"));
    QTest::mouseClick(remove, Qt::LeftButton);
    ASSERT_EQ(shown.dialogs.alerts.size(), 1u);
    EXPECT_TRUE(shown.dialogs.alerts[0].message.contains("still report")) << shown.dialogs.alerts[0].message.toStdString();

    // A click selects too, and the keys go on from there.
    const auto &nodes = surface.scene()->layout().nodes;
    const int p2 = int(std::find_if(nodes.begin(), nodes.end(), [](const ChartNode &n) { return n.id == "P2"; })
                       - nodes.begin());
    QTest::mouseClick(&surface, Qt::LeftButton, {}, surface.cardViewRect(p2).center());
    EXPECT_EQ(c.selectedID(), "P2");
    QTest::keyClick(&surface, Qt::Key_Right);
    EXPECT_EQ(c.selectedID(), "P3");

    // Without the focus (and its ring) the window shows what a chart drawn anew shows (a grab
    // of the chart itself would draw it anew).
    workspace.canvas().fitButton()->setFocus();
    QCoreApplication::processEvents();
    QTest::keyClick(&surface, Qt::Key_Left);
    ASSERT_EQ(c.selectedID(), "P2");
    EXPECT_TRUE(QTest::qWaitFor([&] { return !surface.hasPendingRepaint(); }));
    QCoreApplication::processEvents();
    ProposalChartSurface fresh(c.routeStore());
    fresh.setSettings(c.settings());
    fresh.setChart(c.shownChart());
    fresh.setSelection(c.selectedID());
    fresh.resize(surface.size());
    const QImage anew = fresh.grab().toImage().convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(fresh.camera(), surface.camera());
    const QPoint at = surface.mapTo(&workspace, QPoint());
    const QImage onScreen = workspace.screen()
                                ->grabWindow(workspace.winId(), at.x(), at.y(), surface.width(), surface.height())
                                .toImage()
                                .convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(onScreen, anew);
}

// A card that reports to several managers opens its reporting relationships from the keys
// as in the chart window: Alt+Down, Shift+F10 and the Menu key on the selected card put the
// keyboard in the list, which Escape closes, back to the chart. A click on its badge opens
// the list and selects nothing; a card with one manager opens nothing.
TEST(PlanningKeys, AltDownOpensTheSelectedCardsReportingRelationships)
{
    OrganizationArchive archive = AppTest::district(2);
    archive.organization.positions[2].dottedManagerIDs = {"P2"}; // P3 reports to P1, and to P2
    ProposalShown shown(archive);
    PlanningWorkspace &workspace = shown.workspace;
    PlanningWorkspaceController &c = workspace.controller();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&workspace));
    ProposalChartSurface &surface = workspace.canvas().surface();
    ASSERT_TRUE(surface.scene());
    surface.setFocus(Qt::TabFocusReason);
    const auto opened = [] { return qobject_cast<QFrame *>(QApplication::activePopupWidget()); };

    c.select("P2");
    QTest::keyClick(&surface, Qt::Key_Down, Qt::AltModifier);
    EXPECT_EQ(opened(), nullptr);
    EXPECT_EQ(c.selectedID(), "P2") << "Alt+Down is not an arrow";

    c.select("P3");
    const std::function<void()> keys[] = {
        [&] { QTest::keyClick(&surface, Qt::Key_Down, Qt::AltModifier); },
        [&] { QTest::keyClick(&surface, Qt::Key_F10, Qt::ShiftModifier); },
        [&] {
            QContextMenuEvent menuKey(QContextMenuEvent::Keyboard, QPoint(1, 1), surface.mapToGlobal(QPoint(1, 1)));
            QApplication::sendEvent(&surface, &menuKey);
        },
    };
    for (const std::function<void()> &press : keys) {
        press();
        ASSERT_NE(opened(), nullptr);
        auto *list = qobject_cast<QLabel *>(QApplication::focusWidget());
        ASSERT_NE(list, nullptr);
        EXPECT_TRUE(list->text().startsWith("Primary: ")) << list->text().toStdString();
        EXPECT_TRUE(list->text().contains("\nAdditional: ")) << list->text().toStdString();
        QTest::keyClick(list, Qt::Key_Escape);
        EXPECT_EQ(opened(), nullptr);
        EXPECT_TRUE(surface.hasFocus());
    }
    EXPECT_EQ(c.selectedID(), "P3");

    c.select("P1");
    const auto &nodes = surface.scene()->layout().nodes;
    const int p3 = int(std::find_if(nodes.begin(), nodes.end(), [](const ChartNode &n) { return n.id == "P3"; })
                       - nodes.begin());
    QAccessibleInterface *card = QAccessible::queryAccessibleInterface(&surface)->child(p3);
    ASSERT_EQ(card->childCount(), 1);
    QAccessibleInterface *badge = card->child(0);
    EXPECT_EQ(badge->text(QAccessible::Name), "Also reports to 1 other manager");
    QTest::mouseClick(&surface, Qt::LeftButton, {}, surface.mapFromGlobal(badge->rect().center()));
    ASSERT_NE(opened(), nullptr);
    EXPECT_EQ(c.selectedID(), "P1");
    opened()->close();
}

// Ctrl+W closes the planning window as Escape does.
TEST(PlanningKeys, CtrlWCloses)
{
    ProposalShown shown;
    ASSERT_TRUE(QTest::qWaitForWindowActive(&shown.workspace));
    QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : &shown.workspace, Qt::Key_W,
                    Qt::ControlModifier);
    EXPECT_FALSE(shown.workspace.isVisible());
}
