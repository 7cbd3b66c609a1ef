#include "app/entry/position_editor.h"
#include "app/sidebar/searchable_dropdown.h"

#include "position_editor_fixture.h"

#include <gtest/gtest.h>

#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QToolButton>

using namespace EditorTest;

namespace {

// The editor's window over the model: the match panels and the Advanced section are built
// from the model's state, and each of their controls must reach the model.
class EditorSections : public EditorFixture {
protected:
    PositionEditor &show(const Position &position, bool isNew, std::vector<OrganizationSheet> sheets = {},
                         std::string sheetID = "")
    {
        std::vector<Position> positions = {pos("P-1", "Principal", "Ana Ruiz", {}, "Instruction", "North High"),
                                           pos("P-2", "Teacher", "Kim Lee", "P-1"),
                                           pos("P-3", "Counselor", "Bo Chen", "P-1"),
                                           pos("P-7", "Teacher", "", "P-1", "Instruction", "North High")};
        open(position, positions, isNew, std::move(sheets), std::move(sheetID));
        window = std::make_unique<PositionEditor>(editor.release());
        window->show();
        return *window;
    }
    PositionEditorModel &model() const { return window->model(); }

    // Only the controls the user can see: hidden ones wait for deletion.
    template <typename T>
    std::vector<T *> visible(const std::function<bool(T *)> &wanted) const
    {
        std::vector<T *> found;
        for (T *child : window->findChildren<T *>()) {
            if (child->isVisibleTo(window.get()) && wanted(child))
                found.push_back(child);
        }
        return found;
    }
    QPushButton *button(const QString &text) const
    {
        const auto found = visible<QPushButton>([&](QPushButton *b) { return b->text() == text; });
        return found.size() == 1 ? found.front() : nullptr;
    }
    std::vector<QToolButton *> removeButtons(const QString &help) const
    {
        return visible<QToolButton>(
            [&](QToolButton *b) { return b->accessibleName().startsWith("Remove ") && b->toolTip() == help; });
    }
    // The field beside `label` in the Advanced section.
    QLineEdit *field(const QString &label) const
    {
        for (QLabel *text : window->findChildren<QLabel *>()) {
            if (text->text() == label)
                return text->parentWidget()->findChild<QLineEdit *>();
        }
        return nullptr;
    }
    void openAdvanced() const
    {
        auto toggles = visible<QToolButton>([](QToolButton *b) { return b->text().startsWith("Advanced"); });
        ASSERT_EQ(toggles.size(), 1u);
        toggles.front()->click();
        ASSERT_TRUE(model().isAdvancedOpen());
    }

    std::unique_ptr<PositionEditor> window;
};

TEST_F(EditorSections, PeoplePanelButtonsReachTheModel)
{
    PositionEditor &dialog = show(pos("P-9", "Teacher", "", "P-1"), true, {{"S-1", "Science", {"P-3"}}}, "S-1");
    EXPECT_EQ(button("Edit Existing"), nullptr) << "no panel before a name is typed";
    QTest::keyClicks(dialog.findChild<QLineEdit *>("employeeName"), "Kim Lee");
    QApplication::processEvents();
    ASSERT_NE(button("Edit Existing"), nullptr);
    QPushButton *include = button("Add to This Chart");
    ASSERT_NE(include, nullptr);
    EXPECT_TRUE(include->isEnabled());
    include->click();
    EXPECT_EQ(included, std::vector<std::string>{"P-2"});
    EXPECT_EQ(closes, 1);
}

// The window closes on a closing save without handing the rebuilt lists to its fields.
TEST_F(EditorSections, AClosingSaveClosesWithoutRebuildingTheLists)
{
    PositionEditor &dialog = show(pos("P-2", "Teacher", "Kim Lee", "P-1"), false);
    const int built = model().listBuildCount();
    EXPECT_GE(built, 1) << "the open window shows the lists";
    QLineEdit *name = dialog.findChild<QLineEdit *>("employeeName");
    name->selectAll();
    QTest::keyClicks(name, "Kim Lee-Park");
    EXPECT_EQ(model().listBuildCount(), built);
    EXPECT_EQ(model().save(PositionEditorModel::SaveMode::close), PositionEditorModel::SaveOutcome::closed);
    EXPECT_EQ(closes, 1);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(model().listBuildCount(), built);
    EXPECT_EQ(requests.back().position.employee->name, "Kim Lee-Park");
}

TEST_F(EditorSections, EditExistingLoadsThatPerson)
{
    PositionEditor &dialog = show(pos("P-9", "Teacher", "", "P-1"), true, {{"S-1", "Science", {"P-2"}}}, "S-1");
    QTest::keyClicks(dialog.findChild<QLineEdit *>("employeeName"), "Kim Lee");
    QApplication::processEvents();
    // Already on the chart: the button says so and does nothing.
    QPushButton *onChart = button("Already on This Chart");
    ASSERT_NE(onChart, nullptr);
    EXPECT_FALSE(onChart->isEnabled());
    button("Edit Existing")->click();
    QApplication::processEvents();
    EXPECT_EQ(model().position().id, "P-2");
    EXPECT_FALSE(model().isCreating());
    EXPECT_EQ(button("Edit Existing"), nullptr) << "the panel goes once the person is loaded";
    EXPECT_TRUE(included.empty());
}

TEST_F(EditorSections, VacancyButtonFillsTheVacancyWithTheTypedPerson)
{
    PositionEditor &dialog = show(pos("P-9", "Teacher", "", "P-1", "Instruction", "North High"), true);
    QTest::keyClicks(dialog.findChild<QLineEdit *>("employeeName"), "Zoe Park");
    QApplication::processEvents();
    QPushButton *use = button(model().vacancyButtonTitle());
    ASSERT_NE(use, nullptr);
    use->click();
    QApplication::processEvents();
    EXPECT_EQ(model().position().id, "P-7");
    EXPECT_EQ(model().employeeName(), "Zoe Park");
    EXPECT_EQ(dialog.findChild<QLineEdit *>("employeeName")->text(), "Zoe Park");
}

// A screen reader's action toggles a box without clicking it: the editor follows all the same.
TEST_F(EditorSections, BoxesFollowAScreenReadersToggle)
{
    show(pos("P-9", "Teacher", "", "P-1"), true);
    const auto toggle = [](QAbstractButton *box) {
        QAccessible::queryAccessibleInterface(box)->actionInterface()->doAction(
            QAccessibleActionInterface::toggleAction());
        QApplication::processEvents();
    };
    auto advanced = visible<QToolButton>([](QToolButton *b) { return b->text().startsWith("Advanced"); });
    ASSERT_EQ(advanced.size(), 1u);
    toggle(advanced.front());
    EXPECT_TRUE(model().isAdvancedOpen());
    auto assistant = visible<QCheckBox>([](QCheckBox *b) { return b->text().startsWith("Assistant"); });
    ASSERT_EQ(assistant.size(), 1u);
    toggle(assistant.front());
    EXPECT_TRUE(model().position().isAssistantPosition());
    auto vacant = visible<QCheckBox>([](QCheckBox *b) { return b->text() == "Vacant position"; });
    ASSERT_EQ(vacant.size(), 1u);
    toggle(vacant.front());
    EXPECT_EQ(model().isVacant(), vacant.front()->isChecked());
    toggle(vacant.front());
    EXPECT_EQ(model().isVacant(), vacant.front()->isChecked());
}

TEST_F(EditorSections, AdvancedFieldsWriteThePosition)
{
    show(pos("P-9", "Teacher", "", "P-1"), true);
    openAdvanced();
    ASSERT_TRUE(field("Position ID") && field("Position FTE") && field("Sibling order (lower first)"));
    field("Position ID")->clear();
    QTest::keyClicks(field("Position ID"), "T-100");
    EXPECT_EQ(model().position().id, "T-100");
    field("Position FTE")->selectAll();
    QTest::keyClicks(field("Position FTE"), "0.75");
    EXPECT_DOUBLE_EQ(model().position().fte, 0.75);
    // A negative order is an order too; text that is no number changes nothing.
    field("Sibling order (lower first)")->selectAll();
    QTest::keyClicks(field("Sibling order (lower first)"), "-3");
    EXPECT_EQ(model().position().siblingOrder, -3);
    QTest::keyClicks(field("Sibling order (lower first)"), "x");
    EXPECT_EQ(model().position().siblingOrder, -3);
    auto assistants = visible<QCheckBox>([](QCheckBox *box) { return box->text().startsWith("Assistant"); });
    ASSERT_EQ(assistants.size(), 1u);
    assistants.front()->click();
    EXPECT_TRUE(model().position().isAssistantPosition());
}

TEST_F(EditorSections, AdditionalManagersAreAddedAndRemovedByRow)
{
    show(pos("P-9", "Teacher", "", "P-1"), true);
    openAdvanced();
    const QString help = "Remove this additional report to";
    QPushButton *add = button("+ Add Report To");
    ASSERT_NE(add, nullptr);
    EXPECT_FALSE(add->isEnabled()) << "nothing chosen yet";
    SearchableDropdown *additional = nullptr;
    for (SearchableDropdown *dropdown : window->findChildren<SearchableDropdown *>()) {
        if (dropdown->isVisibleTo(window.get()) && dropdown->selection().isEmpty())
            additional = dropdown;
    }
    ASSERT_NE(additional, nullptr);
    for (const char *id : {"P-3", "P-2"}) {
        emit additional->chosen(id);
        QApplication::processEvents();
        ASSERT_TRUE(add->isEnabled()) << id;
        add->click();
        QApplication::processEvents();
    }
    EXPECT_EQ(model().position().dottedManagerIDs, (std::vector<std::string>{"P-3", "P-2"}));
    std::vector<QToolButton *> removes = removeButtons(help);
    ASSERT_EQ(removes.size(), 2u);
    // Heard apart: each button says whose line it removes.
    EXPECT_EQ(removes.front()->accessibleName(), "Remove additional report to " + model().additionalManagerLabel("P-3"));
    EXPECT_EQ(removes.back()->accessibleName(), "Remove additional report to " + model().additionalManagerLabel("P-2"));
    // Each row names its manager and removes only its own.
    EXPECT_EQ(visible<QLabel>([&](QLabel *label) { return label->text() == model().additionalManagerLabel("P-3"); }).size(),
              1u);
    removes.front()->click();
    QApplication::processEvents();
    EXPECT_EQ(model().position().dottedManagerIDs, std::vector<std::string>{"P-2"});
    EXPECT_EQ(removeButtons(help).size(), 1u);
}

TEST_F(EditorSections, SchoolAllocationRowsEditTheirOwnAssignment)
{
    show(pos("P-9", "Teacher", "", "P-1"), true);
    openAdvanced();
    QPushButton *add = button("Add School Allocation");
    ASSERT_NE(add, nullptr);
    add->click();
    add->click();
    QApplication::processEvents();
    ASSERT_EQ(model().schoolAllocations().size(), 2u);
    EXPECT_EQ(model().position().location, "Itinerant");
    // Each field says which allocation it belongs to.
    auto schools = visible<QLineEdit>([](QLineEdit *edit) { return edit->accessibleName().endsWith(", School"); });
    auto ftes = visible<QLineEdit>([](QLineEdit *edit) { return edit->accessibleName().endsWith(", FTE"); });
    ASSERT_EQ(schools.size(), 2u);
    ASSERT_EQ(ftes.size(), 2u);
    EXPECT_EQ(schools[0]->accessibleName(), "Allocation 1, School");
    EXPECT_EQ(ftes[1]->accessibleName(), "Allocation 2, FTE");
    EXPECT_EQ(ftes[0]->text(), "0.5");
    QTest::keyClicks(schools[1], "Elm");
    ftes[1]->selectAll();
    QTest::keyClicks(ftes[1], "0.25");
    EXPECT_EQ(model().schoolAllocations()[1].assignment, (SchoolAssignment{.school = "Elm", .fte = 0.25}));
    EXPECT_EQ(model().schoolAllocations()[0].assignment, (SchoolAssignment{.school = "", .fte = 0.5}));
    // Text that is no number leaves the FTE as it was.
    QTest::keyClicks(ftes[1], "x");
    EXPECT_DOUBLE_EQ(model().schoolAllocations()[1].assignment.fte, 0.25);

    auto removes = removeButtons(QString());
    ASSERT_EQ(removes.size(), 2u);
    EXPECT_EQ(removes[0]->accessibleName(), "Remove school allocation 1");
    EXPECT_EQ(removes[1]->accessibleName(), "Remove school allocation 2");
    removes[0]->click();
    QApplication::processEvents();
    ASSERT_EQ(model().schoolAllocations().size(), 1u);
    EXPECT_EQ(model().schoolAllocations()[0].assignment.school, "Elm");
    auto left = visible<QLineEdit>([](QLineEdit *edit) { return edit->accessibleName().endsWith(", School"); });
    ASSERT_EQ(left.size(), 1u);
    EXPECT_EQ(left[0]->text(), "Elm");
    EXPECT_EQ(left[0]->accessibleName(), "Allocation 1, School");
}

} // namespace

// The save button says how many vacancies a new entry creates, from two on, and "Save"
// for one, for a person, and for an edit.
TEST_F(EditorSections, TheSaveButtonNamesTheVacanciesFromTwoOn)
{
    show(pos("P-9", "Teacher", "", "P-1"), true);
    model().setVacant(true);
    EXPECT_TRUE(button("Save"));
    model().setQuantity(2);
    EXPECT_TRUE(button("Create 2 Vacant Positions"));
    model().setVacant(false);
    EXPECT_TRUE(button("Save"));
    model().setVacant(true);
    EXPECT_TRUE(button("Create 2 Vacant Positions"));
    model().setQuantity(1);
    EXPECT_TRUE(button("Save"));

    show(pos("P-7", "Teacher", "", "P-1", "Instruction", "North High"), false);
    model().setQuantity(2);
    EXPECT_TRUE(button("Save"));
}
