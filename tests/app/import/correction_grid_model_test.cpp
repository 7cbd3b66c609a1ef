#include "app/import/correction_grid_model.h"

#include "import_flow_fixture.h"

#include <gtest/gtest.h>

#include <QColor>
#include <QSignalSpy>

using namespace ImportTest;

namespace {

QString text(const QAbstractItemModel &model, int row, int column, int role = Qt::DisplayRole)
{
    return model.data(model.index(row, column), role).toString();
}

} // namespace

TEST(CorrectionGridModel, ShowsSpreadsheetRowNumbersBelowAPinnedHeaderRow)
{
    FlowFixture f;
    // A title row, blank rows 2 and 4 around the header in row 3, and a ragged first data row.
    f.sheets = {sheet("Staff", {{"Staff list"}, {}, {"Employee Number", "Employee Name", "Pay Level", ""}, {" ", ""},
                                 {"", ""}, {"E1", "Ada", "Teacher", "", "extra"}})};
    f.load();
    f.flow->setHeaderRow(3);
    f.flow->showStep(ImportFlow::Step::corrections);
    CorrectionGridModel model(*f.flow);
    settle(*f.flow);

    ASSERT_EQ(model.rowCount(), 2);
    ASSERT_EQ(model.columnCount(), 6); // the row number, then the five columns of the longest row
    EXPECT_EQ(model.headerData(0, Qt::Vertical).toString(), "Source Row");
    EXPECT_EQ(model.headerData(1, Qt::Vertical).toString(), "6");
    EXPECT_EQ(text(model, 0, 1), "Employee Number");
    EXPECT_EQ(text(model, 0, 4), "Column 4"); // a blank header shows its placeholder, edits as blank
    EXPECT_EQ(text(model, 0, 4, Qt::EditRole), "");
    EXPECT_EQ(text(model, 1, 5), "extra");
    EXPECT_EQ(text(model, 0, 2, Qt::AccessibleTextRole), "Header column 2");
    EXPECT_EQ(text(model, 1, 2, Qt::AccessibleTextRole), "Row 6, Employee Name");
    EXPECT_EQ(text(model, 1, 4, Qt::AccessibleTextRole), "Row 6, "); // a blank header cell is still the name
    EXPECT_EQ(text(model, 1, 5, Qt::AccessibleTextRole), "Row 6, Column 5");
    // The columns a screen reader names the cells by: the headers the user reads.
    EXPECT_EQ(model.headerData(2, Qt::Horizontal).toString(), "Employee Name");
    EXPECT_EQ(model.headerData(4, Qt::Horizontal).toString(), "Column 4");
    EXPECT_TRUE(text(model, 1, 2, Qt::AccessibleDescriptionRole).startsWith("Ada\n")) << "the cell's text, then the messages";

    // Editing a header cell renames the column's data cells at once and keeps the mapping.
    const ImportMapping mapping = f.flow->mapping();
    ASSERT_TRUE(model.setData(model.index(0, 2), "Full Name"));
    EXPECT_EQ(text(model, 1, 2, Qt::AccessibleTextRole), "Row 6, Full Name");
    EXPECT_EQ(f.flow->mapping(), mapping);
}

TEST(CorrectionGridModel, TypingKeepsItsRowUntilTheFilterDropsIt)
{
    FlowFixture f;
    f.load();
    f.flow->showStep(ImportFlow::Step::corrections);
    CorrectionGridModel model(*f.flow);
    QSignalSpy resets(&model, &QAbstractItemModel::modelReset);

    ASSERT_EQ(model.rowCount(), 4);
    EXPECT_EQ(text(model, 3, 0), "4");
    ASSERT_EQ(model.messageCount(3), 2);
    EXPECT_EQ(model.messages(3)[0].kind, ImportMessageKind::error);
    EXPECT_TRUE(model.messages(3)[0].text.startsWith("Row 4: "));
    model.setData(model.index(3, 4), "E1");
    settle(*f.flow);
    EXPECT_EQ(resets.count(), 0); // an open editor survives a keystroke under "All Rows"

    f.flow->setRowFilter(ImportRowFilter::errors);
    settle(*f.flow);
    ASSERT_EQ(model.rowCount(), 2);
    EXPECT_EQ(model.sheetRow(1), 3);
    model.setData(model.index(1, 4), "E11");
    settle(*f.flow);
    EXPECT_EQ(model.rowCount(), 1); // only the header row is left
    EXPECT_TRUE(text(model, 1, 0).isEmpty());
}

// Errors first, then warnings, each of its own kind; a screen reader hears them with each
// cell of the row.
TEST(CorrectionGridModel, ARowsMessagesAreItsErrorsThenItsWarnings)
{
    FlowFixture f;
    f.load();
    f.flow->showStep(ImportFlow::Step::corrections);
    CorrectionGridModel model(*f.flow);
    const int row = model.modelRow(3);
    ASSERT_GT(row, 0);
    const std::vector<std::string> &errors = f.flow->rowMessages(3, ImportMessageKind::error);
    const std::vector<std::string> &warnings = f.flow->rowMessages(3, ImportMessageKind::warning);
    ASSERT_EQ(errors.size(), 1u);
    ASSERT_EQ(warnings.size(), 1u);
    const std::vector<CorrectionMessage> expected = {
        {QString::fromStdString(errors[0]), ImportMessageKind::error},
        {QString::fromStdString(warnings[0]), ImportMessageKind::warning},
    };
    EXPECT_EQ(model.messages(row), expected);
    EXPECT_EQ(model.messageCount(row), 2);
    // A screen reader hears the cell's place as its name, then its text and the row's messages.
    EXPECT_EQ(text(model, row, 2, Qt::AccessibleDescriptionRole),
              text(model, row, 2, Qt::EditRole) + "\n" + expected[0].text + "\n" + expected[1].text);
    EXPECT_FALSE(text(model, row, 2, Qt::EditRole).isEmpty());
    EXPECT_TRUE(model.messages(0).empty()) << "the header row";
    EXPECT_FALSE(model.data(model.index(row, 0), Qt::ToolTipRole).isValid());
}

// While a cell editor holds its row, a fix keeps that row and the others come and go as
// ranges, never through a reset that would close the editor.
TEST(CorrectionGridModel, AHeldRowStaysAndOtherRowsMoveWithoutAReset)
{
    FlowFixture f;
    f.sheets = {sheet("Staff", {{"Employee Number", "Employee Name", "Pay Level", "Supervisor ID"},
                                {"E10", "Ada", "Superintendent", ""},
                                {"E11", "", "Principal", "E10"},
                                {"E12", "Alan", "Teacher", "E99"}})};
    f.load();
    f.flow->showStep(ImportFlow::Step::corrections);
    f.flow->setRowFilter(ImportRowFilter::errors);
    CorrectionGridModel model(*f.flow);
    settle(*f.flow);
    ASSERT_EQ(model.rowCount(), 3);
    QSignalSpy resets(&model, &QAbstractItemModel::modelReset);
    QSignalSpy removals(&model, &QAbstractItemModel::rowsRemoved);

    f.flow->holdRow(3);
    f.flow->setCell(2, 1, "Grace"); // another row's fix
    f.flow->setCell(3, 3, "E10");   // the held row's
    settle(*f.flow);
    EXPECT_EQ(resets.count(), 0);
    ASSERT_EQ(removals.count(), 1);
    EXPECT_EQ(model.rowCount(), 2);
    EXPECT_EQ(model.sheetRow(1), 3);
    EXPECT_EQ(f.flow->countsText().toStdString(), "1 rows · 0 errors · 3 warnings");

    f.flow->releaseRow(2); // not the held one: nothing happens
    settle(*f.flow);
    EXPECT_EQ(model.rowCount(), 2);
    f.flow->releaseRow(3);
    settle(*f.flow);
    EXPECT_EQ(model.rowCount(), 1);
    EXPECT_EQ(f.flow->heldRow(), std::nullopt);
}

TEST(CorrectionMessagesModel, ListsErrorsThenWarningsAndFollowsTheReview)
{
    FlowFixture f;
    f.sheets = {sheet("Staff", {{"Employee Number", "Pay Level", "Supervisor ID", "Vacant"},
                                {"E1", "Teacher", "", "perhaps"},
                                {"E2", "Teacher", "E9", ""}})};
    f.load();
    f.flow->showStep(ImportFlow::Step::corrections);
    CorrectionMessagesModel messages(*f.flow);
    const ImportReview &review = *f.flow->review();
    ASSERT_FALSE(review.errors.empty());
    ASSERT_FALSE(review.warnings.empty());
    ASSERT_EQ(messages.rowCount(), int(review.errors.size() + review.warnings.size()));
    const int firstWarning = int(review.errors.size());
    EXPECT_EQ(text(messages, 0, 0).toStdString(), review.errors.front());
    EXPECT_EQ(text(messages, firstWarning, 0).toStdString(), review.warnings.front());
    EXPECT_EQ(messages.data(messages.index(firstWarning, 0), Qt::ForegroundRole).value<QColor>(), importWarningColor());

    f.flow->setCell(1, 3, "no"); // fixes the Vacant error
    settle(*f.flow);
    EXPECT_EQ(messages.rowCount(), int(f.flow->review()->errors.size() + f.flow->review()->warnings.size()));
    EXPECT_LT(f.flow->review()->errors.size(), size_t(firstWarning));
}
