#include "app/entry/position_group_editor.h"

#include "app_test_support.h"

#include "core/support/organization_error.h"

#include "accessible_audit.h"
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QTest>

using AppTest::person;

namespace {

Position vacancy(const std::string &id, const std::string &department)
{
    Position position = person(id, "");
    position.employee.reset();
    position.title = "Principal";
    position.department = department;
    return position;
}

std::vector<Position> peers()
{
    Position ann = person("P3", "Ann Lee", "P1");
    ann.customJobTitle = "Reading Coach";
    return {ann, person("P2", "Lee Park", "P1"), person("P4", "Bo Chen", "P1"), vacancy("V1", "Special Education")};
}

struct Editor {
    std::vector<std::pair<std::string, std::vector<std::string>>> created;
    std::vector<std::string> removed;
    std::string failure;
    PositionGroupEditor editor;

    explicit Editor(std::vector<PositionGroup> groups = {})
        : editor(peers(), std::move(groups),
                 [this](const std::string &name, const std::vector<std::string> &ids) {
                     created.emplace_back(name, ids);
                     if (!failure.empty())
                         throw OrganizationError::invalid(failure);
                 },
                 [this](const std::string &id) { removed.push_back(id); })
    {
    }

    // Ticks the listed row showing this id.
    void tick(const std::string &id)
    {
        QAbstractItemModel *model = editor.list()->model();
        for (int row = 0; row < model->rowCount(); ++row) {
            const QModelIndex index = model->index(row, 0);
            if (index.data(Qt::ToolTipRole).toString().startsWith(QString::fromStdString(id + " ·"))) {
                model->setData(index, Qt::Checked, Qt::CheckStateRole);
                return;
            }
        }
        ADD_FAILURE() << "not listed: " << id;
    }
    int listed() const { return editor.list()->model()->rowCount(); }
};

} // namespace

TEST(PositionGroupEditor, FilterMatchesTheShownTextsIgnoringCase)
{
    const std::vector<Position> p = peers();
    const struct {
        const Position &position;
        std::string query;
        bool listed;
    } cases[] = {
        {p[0], "", true},
        {p[0], "reading coach", true},           // job title, other case
        {p[3], "special", true},                 // a vacancy's department
        {p[1], "park", true},                    // a person's name
        {p[1], "P2", false},                     // never the id
        {p[0], "P1", false},                     // nor the manager id
        {p[0], " lee", true},                    // blanks belong to the query...
        {p[1], " lee", false},                   // ...so a name that starts with it does not match
    };
    for (const auto &c : cases)
        EXPECT_EQ(groupEditorMatches(c.position, c.query), c.listed) << c.position.id << " '" << c.query << "'";
    EXPECT_EQ(groupEditorRowTitle(p[3]), "Vacant — Principal");
    EXPECT_EQ(groupEditorRowDetail(p[3]), "V1 · Special Education · Manager: None");
    EXPECT_EQ(groupEditorRowDetail(p[0]), "P3 · Instruction · Manager: P1");
    // A blank department keeps both separators.
    EXPECT_EQ(groupEditorRowDetail(vacancy("V2", "")), "V2 ·  · Manager: None");
}

TEST(PositionGroupEditor, TicksSurviveFilteringAndCreateEnablesAsRequired)
{
    Editor e;
    EXPECT_FALSE(e.editor.createButton()->isEnabled());
    e.tick("P4");
    e.editor.nameField()->setText("Coaches");
    EXPECT_FALSE(e.editor.createButton()->isEnabled()) << "one tick";
    e.tick("P3");
    e.tick("P2");
    e.editor.nameField()->setText(" \n ");
    EXPECT_FALSE(e.editor.createButton()->isEnabled()) << "a blank name";
    e.editor.nameField()->setText(" Coaches ");
    EXPECT_TRUE(e.editor.createButton()->isEnabled());

    e.editor.filterField()->setText("chen");
    EXPECT_EQ(e.listed(), 1);
    EXPECT_EQ(e.editor.selectedCount(), "3 selected");
    e.editor.createButton()->click();
    ASSERT_EQ(e.created.size(), 1u);
    EXPECT_EQ(e.created[0].first, " Coaches ") << "the name as typed";
    EXPECT_EQ(e.created[0].second, (std::vector<std::string>{"P2", "P3", "P4"}));
    EXPECT_EQ(e.editor.result(), QDialog::Accepted);
}

TEST(PositionGroupEditor, AFailedCreationShowsTheMessageAndKeepsTheState)
{
    Editor e;
    e.failure = "Group members must be non-assistant peers reporting to the same manager.";
    e.tick("P3");
    e.tick("V1");
    e.editor.nameField()->setText("Mixed");
    e.editor.filterField()->setText("e");
    e.editor.createButton()->click();
    EXPECT_EQ(e.editor.message(), QString::fromStdString(e.failure));
    EXPECT_NE(e.editor.result(), QDialog::Accepted);
    EXPECT_EQ(e.editor.nameField()->text(), "Mixed");
    EXPECT_EQ(e.editor.filterField()->text(), "e");
    EXPECT_EQ(e.editor.members().size(), 2u);
}

TEST(PositionGroupEditor, ExistingGroupsAreListedWithUngroup)
{
    EXPECT_EQ(Editor().editor.findChildren<QPushButton *>().size(), 2) << "no groups, no area";
    Editor e({PositionGroup{.id = "group-1", .name = "Elementary Principals", .memberIDs = {"a", "b", "c", "d"}}});
    QStringList labels;
    for (const QLabel *label : e.editor.findChildren<QLabel *>())
        labels.append(label->text());
    EXPECT_TRUE(labels.contains("Existing groups"));
    EXPECT_TRUE(labels.contains("Elementary Principals (×4)"));
    for (QPushButton *button : e.editor.findChildren<QPushButton *>()) {
        if (button->text() == "Ungroup")
            button->click();
    }
    EXPECT_EQ(e.removed, std::vector<std::string>{"group-1"});
    EXPECT_EQ(e.editor.result(), QDialog::Accepted);
}

// A click anywhere on a row, or Space on the current one, flips its tick, and the row's
// painted checkbox follows.
TEST(PositionGroupEditor, ClickingARowTicksIt)
{
    Editor e;
    e.editor.show();
    QListView *view = e.editor.list();
    QApplication::processEvents();
    EXPECT_EQ(AppTest::unnamedControls(&e.editor), QStringList());
    const QModelIndex first = view->model()->index(0, 0);
    const std::string id = first.data(Qt::ToolTipRole).toString().section(" ·", 0, 0).toStdString();
    ASSERT_FALSE(id.empty());
    EXPECT_EQ(first.data(Qt::CheckStateRole).toInt(), Qt::Unchecked);
    const QRect row = view->visualRect(first);
    const QImage unticked = view->viewport()->grab(row).toImage();
    e.tick(id);
    EXPECT_NE(view->viewport()->grab(row).toImage(), unticked);
    view->model()->setData(first, Qt::Unchecked, Qt::CheckStateRole);
    EXPECT_EQ(view->viewport()->grab(row).toImage(), unticked);

    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, row.center() + QPoint(row.width() / 4, 0));
    EXPECT_EQ(e.editor.members(), std::set<std::string>{id});
    EXPECT_EQ(first.data(Qt::CheckStateRole).toInt(), Qt::Checked);

    EXPECT_EQ(QAccessible::queryAccessibleInterface(view)->text(QAccessible::Name), "Positions to group");
    view->setCurrentIndex(first);
    QTest::keyClick(view, Qt::Key_Space);
    EXPECT_TRUE(e.editor.members().empty());
    // A right click is no tick.
    QTest::mouseClick(view->viewport(), Qt::RightButton, {}, row.center());
    EXPECT_TRUE(e.editor.members().empty());
}

TEST(PositionGroupEditor, AFailedUngroupShowsTheMessageAndStaysOpen)
{
    const std::string refusal = "Current organization is locked. Open Planning & Proposals to edit a named proposal instead.";
    PositionGroupEditor editor(
        peers(), {PositionGroup{.id = "group-1", .name = "Coaches", .memberIDs = {"P2", "P3"}}},
        [](const std::string &, const std::vector<std::string> &) {},
        [&](const std::string &) { throw OrganizationError::invalid(refusal); });
    for (QPushButton *button : editor.findChildren<QPushButton *>()) {
        if (button->text() == "Ungroup")
            button->click();
    }
    EXPECT_EQ(editor.message(), QString::fromStdString(refusal));
    EXPECT_NE(editor.result(), QDialog::Accepted);
}
