#include "app/sidebar/searchable_dropdown.h"

#include "accessible_events.h"

#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QSignalSpy>
#include <QImage>
#include <QKeySequence>
#include <QTest>

#include <utility>

namespace {

const std::vector<DropdownOption> staff{
    {"P1", "Ada Lovelace", "Superintendent"},
    {"P2", "Grace Hopper", "Principal"},
    {"P3", "Hans Straße", ""},
    {"P4", "Élodie Martin", "Principal"},
};

std::vector<QString> ids(const std::vector<DropdownOption> &options)
{
    std::vector<QString> result;
    for (const DropdownOption &option : options)
        result.push_back(option.id);
    return result;
}

TEST(DropdownFilter, KeepsMatchesInListOrder)
{
    const struct {
        const char *query;
        std::vector<QString> expected;
    } cases[] = {
        {"", {"P1", "P2", "P3", "P4"}},
        {" \t\n ", {"P1", "P2", "P3", "P4"}},     // blanks list everything
        {"GRACE", {"P2"}},                         // case-insensitive
        {"  principal ", {"P2", "P4"}},            // trimmed, order kept, nothing ranked
        {"STRASSE", {"P3"}},                       // full case folding
        {"élodie", {"P4"}},                        // non-ASCII capitals fold too
        {"p3", {"P3"}},                            // only through the id
        {"Hopper Prin", {"P2"}},                   // across the title and the detail
        {"Straße  P3", {"P3"}},                    // an empty detail still has both spaces
        {"Turing", {}},
    };
    for (const auto &c : cases)
        EXPECT_EQ(ids(filterOptions(staff, QString::fromUtf8(c.query))), c.expected) << c.query;
}

TEST(DropdownFilter, FaceShowsTheChosenTitleOrChoose)
{
    EXPECT_EQ(faceTitle(staff, "P2"), "Grace Hopper");
    EXPECT_EQ(faceTitle(staff, "p2"), "Choose…"); // ids compare exactly
    EXPECT_EQ(faceTitle(staff, ""), "Choose…");
    EXPECT_EQ(faceTitle({}, "P2"), "Choose…");
}

class DropdownWidget : public ::testing::Test {
protected:
    void SetUp() override
    {
        dropdown.setOptions(staff);
        dropdown.setSelection("P1");
        dropdown.show();
    }
    void openAndType(const QString &text)
    {
        QTest::mouseClick(dropdown.button(), Qt::LeftButton);
        ASSERT_TRUE(dropdown.isOpen());
        QTest::keyClicks(query(), text);
    }
    QLineEdit *query() const { return dropdown.popup()->queryField(); }
    int listed() const { return dropdown.popup()->listView()->model()->rowCount(); }

    SearchableDropdown dropdown{"Chart"};
    QSignalSpy chosen{&dropdown, &SearchableDropdown::chosen};
};

TEST_F(DropdownWidget, ReturnPicksTheFirstMatchAndTypingNeverChooses)
{
    EXPECT_EQ(dropdown.button()->text(), "Ada Lovelace");
    openAndType("principal");
    EXPECT_EQ(listed(), 2);
    EXPECT_EQ(dropdown.selection(), "P1");
    EXPECT_EQ(chosen.count(), 0);

    QTest::keyClick(query(), Qt::Key_Return);
    EXPECT_FALSE(dropdown.isOpen());
    EXPECT_EQ(dropdown.selection(), "P2");
    EXPECT_EQ(dropdown.button()->text(), "Grace Hopper");
    ASSERT_EQ(chosen.count(), 1);
    EXPECT_EQ(chosen.at(0).at(0).toString(), "P2");
}

// A screen reader hears the picker by its label and the choice after it, as any field.
TEST_F(DropdownWidget, IsHeardByItsLabelWithTheChoiceAsDescription)
{
    QAccessibleInterface *button = QAccessible::queryAccessibleInterface(dropdown.button());
    EXPECT_EQ(button->text(QAccessible::Name), "Chart");
    EXPECT_EQ(button->text(QAccessible::Description), "Ada Lovelace");
    dropdown.setSelection("P2");
    EXPECT_EQ(button->text(QAccessible::Name), "Chart");
    EXPECT_EQ(button->text(QAccessible::Description), "Grace Hopper");
}

// Chosen from the keyboard, the focus comes back to the button already telling the new
// choice: a screen reader reads the choice as it hears the focus arrive.
TEST_F(DropdownWidget, TheFocusComesBackWithTheNewChoice)
{
    QApplication::setActiveWindow(&dropdown);
    dropdown.button()->setFocus();
    QStringList heard;
    // Let go before the fixture's destruction, which moves the focus as the window goes.
    const QMetaObject::Connection watch =
        QObject::connect(qApp, &QApplication::focusChanged, &dropdown, [&](QWidget *, QWidget *now) {
            if (now == dropdown.button())
                heard.append(QAccessible::queryAccessibleInterface(now)->text(QAccessible::Description));
        });
    QTest::keyClick(dropdown.button(), Qt::Key_Space);
    ASSERT_TRUE(dropdown.isOpen());
    QTest::keyClick(query(), Qt::Key_Down);
    QTest::keyClick(query(), Qt::Key_Down);
    QTest::keyClick(query(), Qt::Key_Return);
    QObject::disconnect(watch);
    EXPECT_EQ(dropdown.selection(), "P3");
    EXPECT_EQ(heard, QStringList{"Hans Straße"});
}

// Typing moves the highlight, the row Return takes: a screen reader hears each new row it
// reaches, once, and no news of the choice, which typing never changes.
TEST_F(DropdownWidget, TypingIsHeardAsTheHighlightMovesAndTheChoiceStaysQuiet)
{
    QApplication::setActiveWindow(&dropdown);
    dropdown.button()->setFocus();
    QTest::keyClick(dropdown.button(), Qt::Key_Space);
    ASSERT_TRUE(dropdown.isOpen());
    QListView *list = dropdown.popup()->listView();
    AppTest::HeardEvents heard;
    QTest::keyClicks(query(), "gr"); // Grace Hopper, kept as the list narrows
    QTest::keyClick(query(), Qt::Key_Backspace);
    QTest::keyClick(query(), Qt::Key_Backspace); // back to the choice
    QTest::keyClicks(query(), "Principal"); // Ada Lovelace still at "P", then Grace Hopper
    std::vector<QString> rows;
    for (const AppTest::HeardEvent &event : heard.of(QAccessible::Focus, list))
        rows.push_back(event.name);
    EXPECT_EQ(rows, (std::vector<QString>{"Grace Hopper", "Ada Lovelace", "Grace Hopper"}));
    for (const QAccessible::Event type : {QAccessible::Selection, QAccessible::SelectionAdd, QAccessible::SelectionRemove})
        EXPECT_TRUE(heard.of(type, list).empty()) << "the choice told again at a keystroke";
    EXPECT_EQ(dropdown.selection(), "P1");
    QTest::keyClick(query(), Qt::Key_Escape);
}

TEST_F(DropdownWidget, EscapeKeepsTheSelectionAndReopeningClearsTheQuery)
{
    openAndType("Grace");
    QTest::keyClick(query(), Qt::Key_Escape);
    EXPECT_FALSE(dropdown.isOpen());
    EXPECT_EQ(dropdown.selection(), "P1");
    EXPECT_EQ(chosen.count(), 0);

    QTest::mouseClick(dropdown.button(), Qt::LeftButton);
    EXPECT_TRUE(query()->text().isEmpty());
    EXPECT_EQ(listed(), 4);
    EXPECT_TRUE(query()->hasFocus());
}

// A screen reader hears the popup and its list by the dropdown's name, and the chosen option
// as the list's one selected row while the filter shows it. Tab and Shift+Tab leave the
// popup as Escape does.
TEST_F(DropdownWidget, PopupIsNamedWithTheChoiceSelectedAndTabLeavesIt)
{
    QTest::mouseClick(dropdown.button(), Qt::LeftButton);
    ASSERT_TRUE(dropdown.isOpen());
    QListView *list = dropdown.popup()->listView();
    EXPECT_EQ(QAccessible::queryAccessibleInterface(dropdown.popup())->text(QAccessible::Name), "Chart");
    EXPECT_EQ(QAccessible::queryAccessibleInterface(list)->text(QAccessible::Name), "Chart");
    const auto selectedRows = [&] {
        std::vector<QString> titles;
        QAccessibleInterface *rows = QAccessible::queryAccessibleInterface(list);
        for (int i = 0; i < rows->childCount(); ++i) {
            if (rows->child(i)->state().selected)
                titles.push_back(rows->child(i)->text(QAccessible::Name));
        }
        return titles;
    };
    EXPECT_EQ(selectedRows(), std::vector<QString>{"Ada Lovelace"});
    // Filtered out and back: the list's selection follows (what a screen reader reads it from).
    QTest::keyClicks(query(), "principal");
    EXPECT_TRUE(list->selectionModel()->selectedIndexes().isEmpty());
    query()->clear();
    EXPECT_EQ(list->selectionModel()->selectedIndexes(), QModelIndexList{list->model()->index(0, 0)});

    QTest::keyClick(query(), Qt::Key_Tab);
    EXPECT_FALSE(dropdown.isOpen());
    QTest::mouseClick(dropdown.button(), Qt::LeftButton);
    ASSERT_TRUE(dropdown.isOpen());
    QTest::keyClick(query(), Qt::Key_Backtab);
    EXPECT_FALSE(dropdown.isOpen());
    EXPECT_EQ(dropdown.selection(), "P1");
    EXPECT_EQ(chosen.count(), 0);
}

// The arrows and the page keys move through the matches from the first, never past either
// end, without choosing; Return chooses the row they reached. Typing starts again from the
// first match.
TEST_F(DropdownWidget, ArrowsReachEveryMatchAndReturnChoosesTheirRow)
{
    openAndType("principal"); // Grace Hopper, Élodie Martin
    QListView *list = dropdown.popup()->listView();
    const auto current = [list] { return list->currentIndex().row(); };
    EXPECT_EQ(current(), 0);
    for (const auto &[key, row] : {std::pair{Qt::Key_Down, 1}, std::pair{Qt::Key_Down, 1}, std::pair{Qt::Key_Up, 0},
                                   std::pair{Qt::Key_Up, 0}, std::pair{Qt::Key_PageDown, 1}}) {
        QTest::keyClick(query(), key);
        EXPECT_EQ(current(), row) << QKeySequence(key).toString().toStdString();
    }
    EXPECT_EQ(dropdown.selection(), "P1");
    EXPECT_EQ(chosen.count(), 0);
    QTest::keyClicks(query(), " ");
    EXPECT_EQ(current(), 0) << "a new query starts from its first match";
    QTest::keyClick(query(), Qt::Key_Down);
    QTest::keyClick(query(), Qt::Key_Return);
    EXPECT_FALSE(dropdown.isOpen());
    EXPECT_EQ(dropdown.selection(), "P4");
    ASSERT_EQ(chosen.count(), 1);
}

// The list opens with the highlight on the choice, where Return takes it. Moved on, the
// chosen option's title reads as the others do (its check mark tells it apart), and the row
// the arrows reached stands out in the highlight.
TEST_F(DropdownWidget, TheChosenTitleShowsAndTheCurrentRowStandsOut)
{
    dropdown.setSelection("P3");
    QTest::mouseClick(dropdown.button(), Qt::LeftButton);
    ASSERT_TRUE(dropdown.isOpen());
    QListView *list = dropdown.popup()->listView();
    const auto count = [list](const QImage &shown, int row, const QColor &colour) {
        const QRect area = list->visualRect(list->model()->index(row, 0)).adjusted(30, 2, -2, -2);
        int found = 0;
        for (int y = area.top(); y <= area.bottom(); ++y) {
            for (int x = area.left(); x <= area.right(); ++x)
                found += shown.pixelColor(x, y) == colour;
        }
        return found;
    };
    const QPalette &palette = list->palette();
    const QImage opened = list->viewport()->grab().toImage();
    EXPECT_GT(count(opened, 2, palette.color(QPalette::Highlight)), 0) << "the choice, where Return chooses";
    EXPECT_EQ(count(opened, 0, palette.color(QPalette::Highlight)), 0);
    QTest::keyClick(query(), Qt::Key_Down);
    const QImage moved = list->viewport()->grab().toImage();
    EXPECT_GT(count(moved, 2, palette.color(QPalette::Text)), 0) << "the chosen title, Hans Straße";
    EXPECT_EQ(count(moved, 2, palette.color(QPalette::Highlight)), 0);
    EXPECT_GT(count(moved, 3, palette.color(QPalette::Highlight)), 0) << "the row Down reached";
    dropdown.popup()->close();
}

// Opened from the keyboard, the dropdown stands on its choice: Return keeps it, and an arrow
// moves one row from there. Only a choice no option has opens on the first row.
TEST_F(DropdownWidget, OpensOnTheChoiceThatReturnKeeps)
{
    const struct {
        const char *chosen;
        std::vector<Qt::Key> keys;
        const char *taken;
    } cases[] = {
        {"P3", {}, "P3"},
        {"P3", {Qt::Key_Up}, "P2"},
        {"P3", {Qt::Key_Down}, "P4"},
        {"P1", {Qt::Key_Up}, "P1"},
        {"P4", {Qt::Key_Down, Qt::Key_Up, Qt::Key_Up}, "P2"},
        {"GONE", {}, "P1"},
    };
    for (const auto &c : cases) {
        dropdown.setSelection(c.chosen);
        QTest::keyClick(dropdown.button(), Qt::Key_Space);
        ASSERT_TRUE(dropdown.isOpen()) << c.chosen;
        for (const Qt::Key key : c.keys)
            QTest::keyClick(query(), key);
        QTest::keyClick(query(), Qt::Key_Return);
        EXPECT_FALSE(dropdown.isOpen()) << c.chosen;
        EXPECT_EQ(dropdown.selection(), c.taken) << c.chosen << " after " << c.keys.size() << " arrows";
    }
}

// A choice far down a long list opens in sight.
TEST_F(DropdownWidget, OpensWithTheChoiceInSight)
{
    std::vector<DropdownOption> many;
    for (int i = 0; i < 300; ++i)
        many.push_back({QString("O%1").arg(i), QString("Option %1").arg(i), ""});
    dropdown.setOptions(many);
    dropdown.setSelection("O250");
    QTest::mouseClick(dropdown.button(), Qt::LeftButton);
    ASSERT_TRUE(dropdown.isOpen());
    QListView *list = dropdown.popup()->listView();
    ASSERT_EQ(list->currentIndex().row(), 250);
    EXPECT_TRUE(list->viewport()->rect().contains(list->visualRect(list->currentIndex())));
    QTest::keyClicks(query(), "Option 1");
    EXPECT_EQ(list->currentIndex().row(), 0) << "typing moves to the first match";
    EXPECT_TRUE(list->viewport()->rect().contains(list->visualRect(list->currentIndex())));
    query()->clear();
    EXPECT_EQ(list->currentIndex().row(), 250) << "typing taken back: on the choice again";
    EXPECT_TRUE(list->viewport()->rect().contains(list->visualRect(list->currentIndex())));
    dropdown.popup()->close();
}

TEST_F(DropdownWidget, NoMatchShowsTheMessageAndReturnDoesNothing)
{
    openAndType("Turing");
    EXPECT_TRUE(dropdown.popup()->emptyLabel()->isVisibleTo(dropdown.popup()));
    QTest::keyClick(query(), Qt::Key_Return);
    EXPECT_TRUE(dropdown.isOpen());
    EXPECT_EQ(chosen.count(), 0);
    dropdown.popup()->close();
}

TEST_F(DropdownWidget, ClickingARowChoosesIt)
{
    openAndType("e");
    QListView *list = dropdown.popup()->listView();
    const QModelIndex third = list->model()->index(2, 0);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualRect(third).center());
    EXPECT_FALSE(dropdown.isOpen());
    EXPECT_EQ(dropdown.selection(), "P3");
}

TEST_F(DropdownWidget, FaceFollowsTheCallersSelectionAndOptions)
{
    dropdown.setSelection("GONE");
    EXPECT_EQ(dropdown.button()->text(), "Choose…");
    dropdown.setSelection("P4");
    EXPECT_EQ(dropdown.button()->text(), "Élodie Martin");
    dropdown.setOptions({});
    EXPECT_EQ(dropdown.button()->text(), "Choose…");
    EXPECT_EQ(chosen.count(), 0);
}

// The list marks the chosen option, and only it, with a check in the accent colour; rows
// without a detail are shorter; the model answers screen readers with the texts shown.
TEST_F(DropdownWidget, TheChosenRowIsMarkedAndRowsSizeToTheirLines)
{
    QTest::mouseClick(dropdown.button(), Qt::LeftButton);
    ASSERT_TRUE(dropdown.isOpen());
    QListView *list = dropdown.popup()->listView();
    QAbstractItemModel *model = list->model();
    EXPECT_EQ(model->index(1, 0).data(Qt::AccessibleTextRole).toString(), "Grace Hopper");
    EXPECT_EQ(model->index(1, 0).data(Qt::AccessibleDescriptionRole).toString(), "Principal");
    EXPECT_FALSE(model->index(4, 0).data().isValid()) << "past the last row";
    EXPECT_LT(list->visualRect(model->index(2, 0)).height(), list->visualRect(model->index(1, 0)).height())
        << "no detail, one line";

    const QColor accent = list->palette().color(QPalette::Highlight);
    const auto accentPixels = [&](int row) {
        const QRect rect = list->visualRect(model->index(row, 0));
        const QImage image = list->viewport()->grab(QRect(rect.left(), rect.top(), 40, rect.height())).toImage();
        int count = 0;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                const QColor seen = image.pixelColor(x, y);
                count += std::abs(seen.hue() - accent.hue()) < 10 && seen.saturation() > 100;
            }
        }
        return count;
    };
    EXPECT_GT(accentPixels(0), 5) << "P1 is chosen";
    EXPECT_EQ(accentPixels(1), 0);

    dropdown.popup()->close();
}

} // namespace
