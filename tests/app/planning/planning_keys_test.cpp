#include "app/planning/planning_workspace.h"

#include "app/planning/proposal_canvas.h"
#include "app/shell/organization_document.h"

#include "app_test_support.h"
#include "scripted_dialogs.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <algorithm>

namespace {

// A locked district with the proposal "Option A" shown.
struct ProposalShown {
    ProposalShown()
    {
        document.setArchive(AppTest::district(2));
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

// The proposal chart is reached by Tab; arrows move its current card, ringed while it has the
// focus; Return or Space selects it, and the toolbar's actions on the selection follow.
TEST(PlanningKeys, ArrowsMoveTheCurrentCardAndReturnSelectsIt)
{
    ProposalShown shown;
    PlanningWorkspace &workspace = shown.workspace;
    ASSERT_TRUE(QTest::qWaitForWindowActive(&workspace));
    ProposalChartSurface &surface = workspace.canvas().surface();
    ASSERT_TRUE(surface.scene());
    QPushButton *edit = workspace.button("Edit / Change Manager");
    QPushButton *remove = workspace.button("Delete Person & Position\u2026");
    ASSERT_TRUE(edit && remove);
    EXPECT_FALSE(edit->isEnabled());

    const QImage unfocused = surface.grab().toImage();
    workspace.canvas().zoomInButton()->setFocus(Qt::TabFocusReason);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    ASSERT_EQ(QApplication::focusWidget(), &surface);
    EXPECT_EQ(surface.currentCard(), "P1") << "the top card";
    QCoreApplication::processEvents();
    EXPECT_NE(surface.grab().toImage(), unfocused) << "the current card is ringed";
    EXPECT_FALSE(edit->isEnabled()) << "taking the focus selects nothing";

    QTest::keyClick(&surface, Qt::Key_Down);
    EXPECT_EQ(surface.currentCard(), "P2");
    QTest::keyClick(&surface, Qt::Key_Right);
    EXPECT_EQ(surface.currentCard(), "P3");
    QTest::keyClick(&surface, Qt::Key_Right);
    EXPECT_EQ(surface.currentCard(), "P3") << "nothing further right";
    EXPECT_FALSE(edit->isEnabled());
    QTest::keyClick(&surface, Qt::Key_Return);
    EXPECT_TRUE(edit->isEnabled());
    EXPECT_TRUE(remove->isEnabled());
    EXPECT_EQ(workspace.selectionLabel()->text(), "Teacher \u00b7 Person 3 \u00b7 P3");

    QTest::keyClick(&surface, Qt::Key_Up);
    EXPECT_EQ(surface.currentCard(), "P1");
    QTest::keyClick(&surface, Qt::Key_Space);
    EXPECT_TRUE(workspace.selectionLabel()->text().endsWith("P1"));

    // A click makes its card current too, so the keys go on from there.
    const auto &nodes = surface.scene()->layout().nodes;
    const int p2 = int(std::find_if(nodes.begin(), nodes.end(), [](const ChartNode &n) { return n.id == "P2"; })
                       - nodes.begin());
    QTest::mouseClick(&surface, Qt::LeftButton, {}, surface.cardViewRect(p2).center());
    EXPECT_EQ(surface.currentCard(), "P2");
    QTest::keyClick(&surface, Qt::Key_Right);
    EXPECT_EQ(surface.currentCard(), "P3");
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
