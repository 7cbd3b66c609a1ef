#include "app/chart/chart_canvas.h"
#include "app/chart/chart_window.h"
#include "app/chart/chart_window_body.h"
#include "app/planning/planning_workspace.h"
#include "app/planning/planning_workspace_controller.h"
#include "app/planning/proposal_canvas.h"
#include "app/shell/focus_keeper.h"
#include "app/shell/organization_document.h"

#include "app_test_support.h"
#include "chart_fixtures.h"
#include "scripted_dialogs.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QPushButton>
#include <QTest>
#include <QVBoxLayout>

using namespace AppTest;

namespace {

// Every control that took the focus, in order, while it lives.
struct FocusLog {
    std::vector<QWidget *> focused;
    QMetaObject::Connection connection = QObject::connect(qApp, &QApplication::focusChanged, [this](QWidget *, QWidget *now) {
        if (now)
            focused.push_back(now);
    });
    ~FocusLog() { QObject::disconnect(connection); }
};

// A new window over an empty document, as the application opens one.
class EmptyChartWindow : public ChartWindowFixture {};

} // namespace

// A control disabled while it has the focus hands it to nobody, and takes it back when it is
// enabled again; not when the user has moved on meanwhile. The window handed back by the
// desktop meanwhile (a question closed over it) keeps the focus itself rather than giving it
// to its first control.
TEST(FocusKeeper, ADisabledControlKeepsItsPlace)
{
    QWidget window;
    auto *layout = new QVBoxLayout(&window);
    auto *first = new QPushButton("First");
    auto *busy = new QPushButton("Busy");
    auto *next = new QPushButton("Next");
    for (QWidget *button : {first, busy, next})
        layout->addWidget(button);
    window.show();
    QApplication::setActiveWindow(&window);
    busy->setFocus();
    FocusLog log;
    FocusKeeper::setEnabled(busy, false);
    EXPECT_EQ(QApplication::focusWidget(), nullptr);
    FocusKeeper::setEnabled(busy, true);
    EXPECT_EQ(QApplication::focusWidget(), busy);
    EXPECT_EQ(log.focused, std::vector<QWidget *>{busy});

    FocusKeeper::setEnabled(busy, false);
    QApplication::setActiveWindow(nullptr);
    QApplication::setActiveWindow(&window);
    EXPECT_EQ(QApplication::focusWidget(), &window);
    FocusKeeper::setEnabled(busy, true);
    EXPECT_EQ(QApplication::focusWidget(), busy);
    EXPECT_EQ(log.focused, (std::vector<QWidget *>{busy, &window, busy}));

    FocusKeeper::setEnabled(busy, false);
    next->setFocus();
    FocusKeeper::setEnabled(busy, true);
    EXPECT_EQ(QApplication::focusWidget(), next) << "the user's own move stands";
}

// "Load Sample District" goes with the empty state: the focus goes on to the chart that
// takes its place, not to whatever control follows.
TEST_F(EmptyChartWindow, LoadSampleDistrictHandsTheFocusToTheChart)
{
    window = controller.newDocument();
    window->show();
    QApplication::setActiveWindow(window);
    settle();
    QPushButton *load = window->body().loadSampleButton();
    load->setFocus(Qt::TabFocusReason);
    FocusLog log;
    QTest::keyClick(load, Qt::Key_Space);
    settle();
    ASSERT_FALSE(window->document()->archive().organization.positions.empty());
    EXPECT_EQ(QApplication::focusWidget(), window->canvas());
    EXPECT_EQ(log.focused, std::vector<QWidget *>{window->canvas()});
}

// The planning window of a two-position district, shown and active.
class PlanningFocus : public ::testing::Test {
protected:
    void SetUp() override
    {
        document.setArchive(AppTest::district(2));
        workspace.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&workspace));
        QApplication::setActiveWindow(&workspace);
    }

    OrganizationDocument document;
    ScriptedDialogs dialogs;
    PlanningWorkspace workspace{document, {}, dialogs};
};

// Lock Current… gives way to Unlock Current…, which takes the focus; Unlock gives way to
// Relock the same way.
TEST_F(PlanningFocus, TheLockButtonsHandTheFocusToEachOther)
{
    QPushButton *lock = workspace.button("Lock Current\u2026");
    lock->setFocus(Qt::TabFocusReason);
    FocusLog log;
    dialogs.choices = {"Lock Current"};
    QTest::keyClick(lock, Qt::Key_Space);
    QPushButton *unlock = workspace.button("Unlock Current\u2026");
    ASSERT_TRUE(unlock->isVisible());
    EXPECT_EQ(QApplication::focusWidget(), unlock);
    EXPECT_EQ(log.focused, std::vector<QWidget *>{unlock});

    dialogs.choices = {"Unlock Current"};
    QTest::keyClick(unlock, Qt::Key_Space);
    EXPECT_EQ(QApplication::focusWidget(), workspace.button("Relock Current"));
    EXPECT_TRUE(dialogs.exhausted());
}

// Make Vacant… done, the vacancy's card has the keyboard again: the button, disabled now, does
// not hand it on to Delete beside it, which Space would press next.
TEST_F(PlanningFocus, MakeVacantHandsTheFocusBackToTheCard)
{
    PlanningWorkspaceController &c = workspace.controller();
    c.lockCurrent();
    c.setProposalName("Option A");
    c.createProposal();
    c.select("P3");
    QPushButton *vacant = workspace.button("Make Vacant\u2026");
    ASSERT_TRUE(vacant && vacant->isEnabled());
    vacant->setFocus(Qt::TabFocusReason);
    FocusLog log;
    dialogs.choices = {"Make Vacant in Proposal"};
    QTest::keyClick(vacant, Qt::Key_Space);
    ASSERT_FALSE(vacant->isEnabled());
    QWidget *card = &workspace.canvas().surface();
    EXPECT_EQ(QApplication::focusWidget(), card);
    EXPECT_EQ(log.focused, std::vector<QWidget *>{card});
    EXPECT_TRUE(dialogs.exhausted());
}
