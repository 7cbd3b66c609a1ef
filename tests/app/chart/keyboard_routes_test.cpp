#include "app/chart/chart_window.h"
#include "app/chart/chart_window_body.h"
#include "app/chart/selection_inspector_strip.h"
#include "app/shell/organization_document.h"

#include "app_test_support.h"
#include "chart_fixtures.h"

#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <QDialog>
#include <QPushButton>
#include <QTest>

using namespace AppTest;

namespace {

class KeyboardRoutes : public ChartWindowFixture {
protected:
    void SetUp() override
    {
        window = controller.newDocument();
        window->document()->setArchive(OrganizationArchive::make("Sample", Organization::example()));
        window->resize(1200, 800);
        window->show();
        window->activateWindow();
        settle();
    }
};

} // namespace

// Ctrl+E edits the selected person however wide the window is: a narrow window shows the
// inspector's actions as icons, and the icon-only Edit used to drop its shortcut.
TEST_F(KeyboardRoutes, CtrlEEditsTheSelectionAtEveryWidth)
{
    ChartView &view = window->view();
    const Position person = window->document()->archive().organization.positions.back();
    view.selectPerson(person.id);
    std::vector<std::string> edited;
    QObject::connect(&view, &ChartView::positionEditRequested, window,
                     [&](const Position &position) { edited.push_back(position.id); });
    SelectionInspectorStrip *inspector = window->body().inspector();
    bool sawNarrow = false;
    for (const int width : {1200, 716, 200, 1200}) {
        window->resize(width, 800);
        QApplication::setActiveWindow(window); // again after the editor of the last round
        settle();
        sawNarrow = sawNarrow || inspector->isNarrow();
        edited.clear();
        QTest::keyClick(window, Qt::Key_E, Qt::ControlModifier);
        // A shortcut clicks its button a moment later.
        EXPECT_TRUE(QTest::qWaitFor([&] { return !edited.empty(); }, 1000)) << "at " << width << " pixels";
        EXPECT_EQ(edited, std::vector<std::string>{person.id}) << "at " << width << " pixels";
        for (QDialog *editor : window->findChildren<QDialog *>()) {
            if (editor->isVisible())
                editor->reject();
        }
        settle();
    }
    EXPECT_TRUE(sawNarrow) << "the icon-only arrangement was tried";
}

// The inspector's "✕" is heard by what it does.
TEST_F(KeyboardRoutes, TheInspectorsDismissButtonIsNamed)
{
    window->view().selectPerson(window->document()->archive().organization.positions.back().id);
    settle();
    QPushButton *dismiss = window->body().inspector()->button(QStringLiteral("\u2715"));
    ASSERT_TRUE(dismiss);
    EXPECT_EQ(QAccessible::queryAccessibleInterface(dismiss)->text(QAccessible::Name), "Dismiss selection");
}
