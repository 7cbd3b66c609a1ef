#include "app/import/correction_grid.h"

#include "app/import/correction_grid_model.h"
#include "app/sidebar/sidebar_style.h"

#include "import_flow_fixture.h"
#include "palette_contrast.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QLineEdit>
#include <QListView>
#include <QScrollBar>
#include <QTableView>
#include <QTest>

using namespace ImportTest;

namespace {

// Pixels of `image` inside `rect` drawn in `color` (text edges blend, stems keep it).
int pixelsOf(const QImage &image, const QRect &rect, const QColor &color)
{
    int count = 0;
    const QRect inside = rect.intersected(image.rect());
    for (int y = inside.top(); y <= inside.bottom(); ++y) {
        for (int x = inside.left(); x <= inside.right(); ++x) {
            const QColor pixel = image.pixelColor(x, y);
            if (std::abs(pixel.red() - color.red()) + std::abs(pixel.green() - color.green())
                    + std::abs(pixel.blue() - color.blue())
                < 24)
                ++count;
        }
    }
    return count;
}

// Shows the grid of `f`'s corrections step in a light and then a dark palette, each as the
// window would show it, and hands it to `check`.
template <typename Check>
void inBothPalettes(FlowFixture &f, Check check)
{
    f.flow->showStep(ImportFlow::Step::corrections);
    for (const QPalette &palette : {AppTest::lightPalette(), AppTest::darkPalette()}) {
        CorrectionGrid grid(*f.flow);
        grid.setPalette(palette);
        grid.resize(1000, 700);
        grid.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&grid));
        settle(*f.flow);
        check(grid, palette);
    }
}

} // namespace

// Each message of a row stands whole on a line of its own under the row's cells: the row's
// error in red, then its warning in orange, not in red because the row has an error.
TEST(CorrectionGrid, ARowsMessagesStandUnderItsCellsErrorsRedThenWarningsOrange)
{
    FlowFixture f;
    f.load();
    f.flow->showStep(ImportFlow::Step::corrections);
    CorrectionGrid grid(*f.flow);
    grid.resize(1000, 700);
    grid.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&grid));
    settle(*f.flow);

    QTableView *table = grid.table();
    const CorrectionGridModel &model = grid.model();
    const int both = model.modelRow(3); // Row 4: an unknown manager and a blank location
    const int warned = model.modelRow(1); // Row 2: the blank location only
    ASSERT_EQ(model.messageCount(both), 2);
    ASSERT_EQ(model.messageCount(warned), 1);
    EXPECT_EQ(table->rowHeight(both) - table->rowHeight(warned),
              grid.messageRect(both, 1).top() - grid.messageRect(both, 0).top());

    table->setCurrentIndex(model.index(both, 1)); // the editor stands on the cell line
    auto *editor = qobject_cast<QLineEdit *>(QApplication::focusWidget());
    ASSERT_NE(editor, nullptr);
    const QRect first = grid.messageRect(both, 0);
    const QRect second = grid.messageRect(both, 1);
    EXPECT_GT(first.top(), editor->geometry().bottom());
    EXPECT_GT(second.top(), first.bottom());
    EXPECT_LE(second.bottom(), table->rowViewportPosition(both) + table->rowHeight(both));
    const QFontMetrics caption(captionFont(table->font()));
    const std::vector<CorrectionMessage> messages = model.messages(both);
    EXPECT_GE(first.width(), caption.horizontalAdvance(messages[0].text)) << "cut off";
    EXPECT_GE(second.width(), caption.horizontalAdvance(messages[1].text)) << "cut off";

    table->clearFocus();
    const QImage image = table->viewport()->grab().toImage();
    EXPECT_GT(pixelsOf(image, first, importErrorColor()), 0);
    EXPECT_EQ(pixelsOf(image, first, importWarningColor()), 0);
    EXPECT_GT(pixelsOf(image, second, importWarningColor()), 0);
    EXPECT_EQ(pixelsOf(image, second, importErrorColor()), 0);
    const QRect warning = grid.messageRect(warned, 0);
    EXPECT_GT(pixelsOf(image, warning, importWarningColor()), 0);
}

// A pane too narrow for a message, as at a large scale, wraps it rather than running it past
// its edge to be read with the sideways scroll bar: under a row, across the pane however far
// the cells are scrolled, the row as tall as the lines; in the list of all messages too. The
// pane narrowed from a wide one wraps them anew, and widened again, they take one line each.
TEST(CorrectionGrid, MessagesWrapInsideTheirPane)
{
    FlowFixture f;
    f.sheets.front().rows[3][3] = "E99 of the district this file came from";
    f.load();
    f.flow->showStep(ImportFlow::Step::corrections);
    CorrectionGrid grid(*f.flow);
    grid.resize(1400, 700);
    grid.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&grid));
    settle(*f.flow);

    QTableView *table = grid.table();
    QListView *list = grid.messageList();
    const CorrectionGridModel &model = grid.model();
    const int both = model.modelRow(3); // an unknown manager, then a blank location
    const std::vector<CorrectionMessage> messages = model.messages(both);
    ASSERT_EQ(messages.size(), 2U);
    const QFontMetrics caption(captionFont(table->font()));
    // Each message on a line of its own, the row no taller than its lines.
    const auto oneLineEach = [&] {
        const int spare = table->rowViewportPosition(both) + table->rowHeight(both) - grid.messageRect(both, 1).bottom();
        return grid.messageRect(both, 0).height() < 2 * caption.height()
            && list->visualRect(list->model()->index(0, 0)).height() < 2 * caption.height() && spare >= 0
            && spare <= 8;
    };
    EXPECT_TRUE(oneLineEach()) << "wide enough for each message on a line";

    grid.resize(400, 700); // as narrow as its filter line lets it be
    settle(*f.flow);
    QApplication::processEvents();
    table->horizontalScrollBar()->setValue(table->horizontalScrollBar()->maximum());
    ASSERT_GT(table->horizontalScrollBar()->maximum(), 0) << "cells wider than the pane";
    const QRect pane = table->viewport()->rect();
    for (size_t i = 0; i < messages.size(); ++i) {
        const QRect line = grid.messageRect(both, int(i));
        EXPECT_GE(line.left(), pane.left()) << i;
        EXPECT_LE(line.right(), pane.right()) << i;
        const QRect whole = caption.boundingRect(QRect(0, 0, line.width(), 10'000), Qt::TextWordWrap, messages[i].text);
        EXPECT_GE(line.height(), whole.height()) << i;
    }
    EXPECT_GE(grid.messageRect(both, 0).height(), 2 * caption.height()) << "the manager's message takes lines";
    EXPECT_LE(grid.messageRect(both, 1).bottom(), table->rowViewportPosition(both) + table->rowHeight(both));

    ASSERT_TRUE(list->isVisible());
    EXPECT_EQ(list->horizontalScrollBar()->maximum(), 0);
    const QRect first = list->visualRect(list->model()->index(0, 0));
    EXPECT_LE(first.right(), list->viewport()->rect().right());
    EXPECT_GE(first.height(), 2 * caption.height()) << "the manager's message takes lines";

    grid.resize(1400, 700);
    settle(*f.flow);
    QApplication::processEvents();
    EXPECT_TRUE(oneLineEach()) << "widened again";
}

// A row's warning and error lines read at 4.5:1 on the grid in a light and a dark palette;
// the warning's orange read 4.08:1 on white.
TEST(CorrectionGrid, MessageLinesReadInBothPalettes)
{
    FlowFixture f;
    f.load();
    inBothPalettes(f, [](CorrectionGrid &grid, const QPalette &palette) {
        const int both = grid.model().modelRow(3); // an unknown manager, then a blank location
        ASSERT_EQ(grid.model().messageCount(both), 2);
        const QImage image = grid.table()->viewport()->grab().toImage();
        for (int line = 0; line < 2; ++line) {
            const QRect rect = grid.messageRect(both, line);
            EXPECT_GE(AppTest::strongestContrast(image, rect, AppTest::commonestColour(image, rect)), 4.5)
                << palette.color(QPalette::Base).name().toStdString() << " line " << line;
        }
    });
}

// An empty cell shows where it is by its border alone: in a dark palette as in a light one,
// the border reads at 3:1 against the grid around it.
TEST(CorrectionGrid, EmptyCellsShowTheirBorderInBothPalettes)
{
    FlowFixture f;
    f.load();
    inBothPalettes(f, [](CorrectionGrid &grid, const QPalette &palette) {
        const CorrectionGridModel &model = grid.model();
        QModelIndex empty;
        for (int row = 0; row < model.rowCount() && !empty.isValid(); ++row) {
            for (int column = CorrectionGridModel::rowNumberColumn + 1; column < model.columnCount(); ++column) {
                if (model.index(row, column).data().toString().isEmpty()) {
                    empty = model.index(row, column);
                    break;
                }
            }
        }
        ASSERT_TRUE(empty.isValid()) << "the staff sheet has an empty manager cell";
        const QImage image = grid.table()->viewport()->grab().toImage();
        const QRect cell = grid.table()->visualRect(empty);
        const QRect field = CorrectionRowGeometry(grid.font()).fieldRect(cell);
        const QColor around = AppTest::commonestColour(image, cell);
        EXPECT_GE(AppTest::strongestContrast(image, field, around), 3.0)
            << palette.color(QPalette::Base).name().toStdString();
    });
}
