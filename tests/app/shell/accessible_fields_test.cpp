#include "app/shell/accessible_fields.h"

#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QAccessible>
#include <QComboBox>
#include <QLabel>
#include <QSignalBlocker>
#include <QVBoxLayout>
#include <QWidget>

namespace {

// The choice a screen reader reads from a combo box: the selected item of its list, the
// only value of a combo box that reaches the accessibility bus.
QString selectedChoice(QAccessibleInterface *combo)
{
    QAccessibleInterface *list = combo->childCount() > 0 ? combo->child(0) : nullptr;
    if (!list || !list->tableInterface())
        return QStringLiteral("<no list>");
    const QList<QAccessibleInterface *> selected = list->tableInterface()->selectedCells();
    return selected.size() == 1 ? selected.front()->text(QAccessible::Name) : QStringLiteral("<%1 selected>").arg(selected.size());
}

TEST(AccessibleFields, AComboBoxIsHeardByItsLabelAndItsListCarriesTheChoice)
{
    AccessibleFields::install(); // as the application does first
    QWidget window;
    auto *layout = new QVBoxLayout(&window);
    auto *label = new QLabel(QStringLiteral("Paper"));
    auto *combo = new QComboBox;
    combo->addItems({QStringLiteral("Letter"), QStringLiteral("Legal"), QStringLiteral("A4")});
    layout->addWidget(label);
    layout->addWidget(combo);
    AccessibleFields::tie(label, combo);
    window.show();

    QAccessibleInterface *heard = QAccessible::queryAccessibleInterface(combo);
    ASSERT_NE(heard, nullptr);
    EXPECT_EQ(heard->role(), QAccessible::ComboBox);
    EXPECT_EQ(heard->text(QAccessible::Name), "Paper");
    EXPECT_EQ(heard->text(QAccessible::Value), "Letter");
    EXPECT_EQ(heard->child(0)->object(), combo->view());
    EXPECT_EQ(selectedChoice(heard), "Letter");
    combo->setCurrentIndex(1);
    EXPECT_EQ(selectedChoice(heard), "Legal");
    // A window showing its model's value sets the choice with signals blocked.
    {
        const QSignalBlocker blocker(combo);
        combo->setCurrentIndex(2);
    }
    EXPECT_EQ(selectedChoice(heard), "A4");
    EXPECT_EQ(heard->text(QAccessible::Name), "Paper");
}

// A window made of a plain widget reads as a window, not as a nameless filler; other widgets
// without a parent yet stay what they are.
TEST(AccessibleFields, APlainWidgetWindowIsAWindow)
{
    QWidget window(nullptr, Qt::Window);
    AccessibleFields::readAsWindow(&window);
    EXPECT_EQ(QAccessible::queryAccessibleInterface(&window)->role(), QAccessible::Window);
    QComboBox loose;
    EXPECT_EQ(QAccessible::queryAccessibleInterface(&loose)->role(), QAccessible::ComboBox);
}

// A line standing in for a dialog reads as a notification carrying its text, which a screen
// reader reads out as it comes into sight; other labels stay labels.
TEST(AccessibleFields, ALineStandingInForADialogIsANotification)
{
    QWidget window;
    auto *layout = new QVBoxLayout(&window);
    auto *line = new QLabel;
    auto *caption = new QLabel(QStringLiteral("Pages"));
    layout->addWidget(line);
    layout->addWidget(caption);
    AccessibleFields::announce(line);
    window.show();
    AccessibleFields::setMessage(line, QStringLiteral("The print scheduler (CUPS) is not running. Nothing was printed."));

    QAccessibleInterface *heard = QAccessible::queryAccessibleInterface(line);
    EXPECT_EQ(heard->role(), QAccessible::Notification);
    EXPECT_EQ(heard->text(QAccessible::Name), "The print scheduler (CUPS) is not running. Nothing was printed.");
    AccessibleFields::setMessage(line, QStringLiteral("Row 2: <b>Name</b> is required."));
    EXPECT_EQ(heard->text(QAccessible::Name), "Row 2: Name is required.") << "heard without its markup";
    EXPECT_EQ(QAccessible::queryAccessibleInterface(caption)->role(), QAccessible::StaticText);
}

} // namespace
