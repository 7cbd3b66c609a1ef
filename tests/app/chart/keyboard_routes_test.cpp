#include "app/chart/chart_canvas.h"
#include "app/chart/chart_toolbar.h"
#include "app/chart/chart_window.h"
#include "app/chart/chart_window_body.h"
#include "app/chart/selection_inspector_strip.h"
#include "app/chart/version_history.h"
#include "app/shell/organization_document.h"

#include "app_test_support.h"
#include "chart_fixtures.h"

#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <QAccessibleActionInterface>
#include <QDialog>
#include <QFrame>
#include <QLabel>
#include <QMenu>
#include <QTimer>
#include <QToolButton>
#include <QPushButton>
#include <QTest>

#include <set>

using namespace AppTest;

namespace {

class KeyboardRoutes : public SampleChartWindow {};

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

// While planning locks Current, Ctrl+E on a card answers with the reason, as Return does, and
// the chart's description no longer offers the edit.
TEST_F(KeyboardRoutes, CtrlEWhileCurrentIsLockedSaysWhy)
{
    ChartView &view = window->view();
    OrganizationArchive locked = window->document()->archive();
    locked.lockForPlanning();
    window->document()->setArchive(locked);
    view.selectPerson(locked.organization.positions.back().id);
    settle();
    ChartCanvas *canvas = window->canvas();
    canvas->setFocus(Qt::TabFocusReason);
    QTest::keyClick(canvas, Qt::Key_E, Qt::ControlModifier);
    QTest::keyClick(canvas, Qt::Key_Return);
    settle();
    ASSERT_EQ(dialogs.alerts.size(), 2u) << "Ctrl+E and Return each say why";
    EXPECT_EQ(dialogs.alerts[0].message, dialogs.alerts[1].message);
    EXPECT_TRUE(dialogs.alerts[0].message.startsWith("Current organization is locked."))
        << dialogs.alerts[0].message.toStdString();
    const auto told = [canvas] {
        return QAccessible::queryAccessibleInterface(canvas)->text(QAccessible::Description);
    };
    EXPECT_FALSE(told().contains("Ctrl+E")) << told().toStdString();
    EXPECT_TRUE(told().contains("Shift+F10"));

    locked.planning.reset();
    window->document()->setArchive(locked);
    settle();
    EXPECT_TRUE(told().contains("Ctrl+E")) << "unlocked, the edit is offered again";
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

// The Save button's menu, the only way to the version history, opens from the keys that
// open menus; its first command is current, so Down and Return reach the history.
TEST_F(KeyboardRoutes, TheSaveMenuOpensFromTheKeyboard)
{
    QToolButton *save = window->toolbar().saveButton();
    ASSERT_TRUE(save);
    save->setFocus(Qt::TabFocusReason);
    const std::pair<Qt::Key, Qt::KeyboardModifiers> keys[] = {
        {Qt::Key_Down, Qt::AltModifier}, {Qt::Key_F4, Qt::NoModifier}, {Qt::Key_Menu, Qt::NoModifier},
        {Qt::Key_F10, Qt::ShiftModifier}};
    for (const auto &[key, modifiers] : keys) {
        QString current;
        bool shown = false;
        // The menu runs a loop of its own: it is read and closed from inside that loop.
        QTimer reader;
        QObject::connect(&reader, &QTimer::timeout, [&] {
            auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
            if (!menu || !menu->activeAction())
                return;
            shown = true;
            current = menu->activeAction()->text();
            menu->close();
        });
        reader.start(10);
        QTest::keyClick(save, key, modifiers);
        EXPECT_TRUE(QTest::qWaitFor([&] { return shown; }, 2000)) << QKeySequence(key | modifiers).toString().toStdString();
        EXPECT_EQ(current, "Save Organization");
    }

    QTimer chooser;
    QObject::connect(&chooser, &QTimer::timeout, [&] {
        if (QWidget *menu = QApplication::activePopupWidget()) {
            QTest::keyClick(menu, Qt::Key_Down);
            QTest::keyClick(menu, Qt::Key_Return);
        }
    });
    chooser.start(10);
    QTest::keyClick(save, Qt::Key_Down, Qt::AltModifier);
    EXPECT_TRUE(QTest::qWaitFor([&] { return window->findChild<VersionHistoryDialog *>() != nullptr; }, 2000))
        << "Down and Return open the version history";
    chooser.stop();
    if (auto *history = window->findChild<VersionHistoryDialog *>())
        history->close();
    settle();
}

// The chart's keys are in its description, as nothing on screen shows them: the selected
// person's menu, editor and reporting relationships.
TEST_F(KeyboardRoutes, TheChartCanvasTellsItsKeys)
{
    const QString told =
        QAccessible::queryAccessibleInterface(window->canvas())->text(QAccessible::Description);
    for (const char *key : {"Shift+F10", "Menu key", "Ctrl+E", "Arrow keys", "Return", "Alt+Down"})
        EXPECT_TRUE(told.contains(QLatin1String(key))) << key << " in " << told.toStdString();
}

// The arrows select card after card on the chart, from the top card when none is selected:
// Down to a report, Right and Left between colleagues, Up back to the manager; they never go
// past the last card that way, and a card they reach out of view is brought into it. Return
// edits the selected person, as a double click does.
TEST_F(KeyboardRoutes, TheArrowsSelectCardsOnTheChartAndReturnEditsOne)
{
    ChartView &view = window->view();
    ChartCanvas *canvas = window->canvas();
    QApplication::setActiveWindow(window);
    canvas->setFocus(Qt::TabFocusReason);
    settle();
    const auto selected = [&]() -> std::string {
        const std::optional<std::string> id = view.selectedID();
        if (!id)
            return "none";
        for (const Position &position : window->document()->archive().organization.positions) {
            if (position.id == *id)
                return position.employee ? position.employee->name : "Vacant " + position.title;
        }
        return *id;
    };
    // The sample: the superintendent over a director, a principal and a vacant principal.
    ASSERT_EQ(selected(), "none");
    std::vector<std::string> reached;
    for (const Qt::Key key : {Qt::Key_Right, Qt::Key_Down, Qt::Key_Right, Qt::Key_Right, Qt::Key_Left, Qt::Key_Up}) {
        QTest::keyClick(canvas, key);
        settle();
        reached.push_back(selected());
    }
    EXPECT_EQ(reached, (std::vector<std::string>{"Robin Ashcroft", "Quinn Okoro", "Vacant Principal", "Vacant Principal",
                                                 "Quinn Okoro", "Robin Ashcroft"}));

    // Zoomed in on the top card, the cards the arrows reach lie outside the view: each one
    // reached is brought into it.
    const auto cardShown = [&](const std::string &id) {
        for (int index = 0; index < canvas->cardCount(); ++index) {
            if (canvas->cardID(index) == id)
                return canvas->rect().contains(canvas->cardViewRect(index));
        }
        return false;
    };
    view.setZoom(2.5);
    view.centerPerson(*view.selectedID());
    settle();
    ASSERT_TRUE(cardShown(*view.selectedID()));
    int broughtIn = 0;
    for (const Qt::Key key : {Qt::Key_Down, Qt::Key_Right, Qt::Key_Up}) {
        std::set<std::string> outside;
        for (int index = 0; index < canvas->cardCount(); ++index) {
            if (!cardShown(canvas->cardID(index)))
                outside.insert(canvas->cardID(index));
        }
        QTest::keyClick(canvas, key);
        settle();
        broughtIn += outside.contains(*view.selectedID());
        EXPECT_TRUE(cardShown(*view.selectedID())) << selected();
    }
    EXPECT_GT(broughtIn, 0) << "no card reached was out of view: the test needs a closer zoom";

    std::vector<std::string> edited;
    QObject::connect(&view, &ChartView::positionEditRequested, window,
                     [&](const Position &position) { edited.push_back(position.id); });
    QTest::keyClick(canvas, Qt::Key_Return);
    EXPECT_EQ(edited, std::vector<std::string>{*view.selectedID()});
    for (QDialog *editor : window->findChildren<QDialog *>())
        editor->reject();
    settle();
}

// A card that reports to several managers opens its reporting relationships from the
// keyboard as its badge does to a click: Alt+Down on the selected card, or pressing the
// badge's button with a screen reader. The keyboard lands in the list, which Escape closes,
// back to the chart. The card's description names the managers; a card with one opens nothing.
TEST_F(KeyboardRoutes, AltDownOpensTheSelectedCardsReportingRelationships)
{
    ChartView &view = window->view();
    ChartCanvas *canvas = window->canvas();
    QApplication::setActiveWindow(window);
    canvas->setFocus(Qt::TabFocusReason);
    settle();
    const auto cardOf = [&](const std::string &id) {
        for (int index = 0; index < canvas->cardCount(); ++index) {
            if (canvas->cardID(index) == id)
                return index;
        }
        ADD_FAILURE() << "no card " << id;
        return 0;
    };
    const auto opened = [] { return qobject_cast<QFrame *>(QApplication::activePopupWidget()); };

    view.selectChartPerson("P001"); // the superintendent, who reports to nobody
    settle();
    QTest::keyClick(canvas, Qt::Key_Down, Qt::AltModifier);
    EXPECT_EQ(opened(), nullptr);
    EXPECT_TRUE(QAccessible::queryAccessibleInterface(canvas)->child(cardOf("P001"))->text(QAccessible::Description).isEmpty());

    view.selectChartPerson("P005"); // Lee Fairbanks: Noel Brandt, and two principals by dotted lines
    settle();
    QAccessibleInterface *card = QAccessible::queryAccessibleInterface(canvas)->child(cardOf("P005"));
    const QString managers = card->text(QAccessible::Description);
    EXPECT_TRUE(managers.startsWith("Primary: Noel Brandt \u2014 Director of Student Services\nAdditional: "))
        << managers.toStdString();
    QTest::keyClick(canvas, Qt::Key_Down, Qt::AltModifier);
    ASSERT_NE(opened(), nullptr);
    auto *list = qobject_cast<QLabel *>(QApplication::focusWidget());
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->text(), managers);
    QTest::keyClick(list, Qt::Key_Escape);
    EXPECT_EQ(opened(), nullptr);
    EXPECT_TRUE(canvas->hasFocus());
    EXPECT_EQ(view.selectedID(), "P005");

    QAccessibleInterface *badge = card->child(card->childCount() - 1);
    ASSERT_NE(badge, nullptr);
    EXPECT_EQ(badge->text(QAccessible::Name), "Also reports to 2 other managers");
    badge->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    ASSERT_NE(opened(), nullptr);
    opened()->close();
    settle();
}
