#include "app/chart/chart_view.h"
#include "app/chart/chart_window.h"
#include "app/print/chart_print_sheet.h"
#include "app/print/preview_pane.h"
#include "app/shell/organization_document.h"
#include "core/document/position_entry.h"

#include "print_sheet_test_support.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>

// What the print sheet shows after each change: the page count and paper lines, the
// preview's caption and pages, the headings in the preview, and, opened again from its
// window, the chart and settings as edited and undone there.

using namespace PrintTest;

namespace {

const QString staleCaption = "Settings changed. Click Update Preview to refresh.";
const QString currentCaption = "Preview reflects the last update.";

// The visible label whose text holds `part`; empty when none does.
QString shownText(QWidget &sheet, const QString &part)
{
    for (QLabel *label : sheet.findChildren<QLabel *>()) {
        if (label->isVisibleTo(&sheet) && label->text().contains(part))
            return label->text();
    }
    return {};
}

void choose(QComboBox *box, const QString &item)
{
    box->setCurrentText(item);
    emit box->activated(box->currentIndex());
}

void type(QLineEdit *field, const QString &text)
{
    field->setText(text);
    emit field->editingFinished();
}

QString pagesOf(const ChartPagination &pagination)
{
    return QString("%1 rows × %2 columns = %3 pages").arg(pagination.rows).arg(pagination.columns).arg(pagination.tiles.size());
}

} // namespace

// A scale only marks the preview stale while the page count follows at once; Update Preview
// brings the pages and the caption along. The paper and the orientation show in the paper
// line; the orientation draws again at once.
TEST(PrintSheetRefresh, PageCountPaperAndPreviewFollowEachChange)
{
    ShownSheet shown(AppTest::district(40));
    ChartPrintSheet &sheet = *shown.sheet;
    const PreviewPaneState &pane = sheet.preview().state();
    const auto tiles = [&] { return int(sheet.model().pagination()->tiles.size()); };
    ASSERT_TRUE(sheet.model().pagination());
    EXPECT_EQ(shownText(sheet, " rows × "), pagesOf(*sheet.model().pagination()));
    EXPECT_EQ(shownText(sheet, " inches"), "8.5 × 11 inches");
    EXPECT_EQ(shownText(sheet, currentCaption), currentCaption);
    EXPECT_EQ(pane.pageCount(), tiles());

    const int before = tiles();
    type(formField<QLineEdit>(sheet, "Print scale (%)"), "50");
    ASSERT_TRUE(sheet.model().pagination());
    ASSERT_LT(tiles(), before);
    EXPECT_EQ(shownText(sheet, " rows × "), pagesOf(*sheet.model().pagination()));
    EXPECT_EQ(shownText(sheet, staleCaption), staleCaption);
    EXPECT_EQ(pane.pageCount(), before) << "the preview waits for Update Preview";

    child<QPushButton>(sheet, "Update Preview")->click();
    EXPECT_EQ(pane.pageCount(), tiles());
    EXPECT_EQ(shownText(sheet, currentCaption), currentCaption);
    EXPECT_EQ(shownText(sheet, staleCaption), "");

    choose(formField<QComboBox>(sheet, "Paper"), "Legal");
    EXPECT_EQ(shownText(sheet, " inches"), "8.5 × 14 inches");
    EXPECT_EQ(shownText(sheet, " rows × "), pagesOf(*sheet.model().pagination()));
    EXPECT_EQ(shownText(sheet, staleCaption), staleCaption);

    choose(formField<QComboBox>(sheet, "Orientation"), "Landscape");
    EXPECT_EQ(shownText(sheet, " inches"), "14 × 8.5 inches");
    EXPECT_EQ(shownText(sheet, " rows × "), pagesOf(*sheet.model().pagination()));
    EXPECT_EQ(shownText(sheet, currentCaption), currentCaption);
    EXPECT_EQ(pane.pageCount(), tiles());
    const ReadPDF read = readPDF(*sheet.model().preview());
    ASSERT_FALSE(read.sizes.empty());
    EXPECT_GT(read.sizes.front().width(), read.sizes.front().height()) << "landscape pages";
}

// A heading typed in the sheet reaches the document at once, marks the preview stale and is
// on the first page after Update Preview.
TEST(PrintSheetRefresh, TypedHeadingsShowAfterUpdatePreview)
{
    ShownSheet shown(AppTest::district(3));
    ChartPrintSheet &sheet = *shown.sheet;
    QLineEdit *title = formField<QLineEdit>(sheet, "Page title");
    title->setText("Spring Staff");
    emit title->textEdited(title->text());
    EXPECT_EQ(shown.host.title, "Spring Staff");
    EXPECT_EQ(shownText(sheet, staleCaption), staleCaption);
    EXPECT_FALSE(readPDF(*sheet.model().preview()).texts[0].startsWith("Spring Staff"));

    child<QPushButton>(sheet, "Update Preview")->click();
    EXPECT_EQ(shownText(sheet, currentCaption), currentCaption);
    EXPECT_TRUE(readPDF(*sheet.model().preview()).texts[0].startsWith("Spring Staff"))
        << readPDF(*sheet.model().preview()).texts[0].toStdString();
}

namespace {

// A chart window whose print action opens the sheet on what the window shows.
class PrintFromWindow : public ::testing::Test {
protected:
    void SetUp() override
    {
        // Letter, portrait: the window's own default is landscape.
        OrganizationArchive archive = AppTest::district(3);
        archive.printSettings = ChartPrintSettings();
        document = new OrganizationDocument;
        document->setArchive(archive);
        document->setModified(false);
        window = new ChartWindow(document, dialogs);
    }
    void TearDown() override
    {
        window->document()->setModified(false);
        window->closeWithoutAsking();
        AppTest::deleteClosedWindows();
    }

    // Opens the sheet, hands it to `look`, closes it.
    void printSheet(const std::function<void(ChartPrintSheet &)> &look)
    {
        window->print();
        QPointer<ChartPrintSheet> sheet = window->findChild<ChartPrintSheet *>();
        ASSERT_TRUE(sheet);
        look(*sheet);
        sheet->reject();
        AppTest::deleteClosedWindows();
        ASSERT_FALSE(sheet);
    }

    ScriptedDialogs dialogs;
    OrganizationDocument *document = nullptr;
    ChartWindow *window = nullptr;
};

} // namespace

// Each opening shows the chart and the paper as they are now: after an added person and a
// landscape page, after undoing both, and after a change made in the sheet itself.
TEST_F(PrintFromWindow, OpensOnTheChartAndPaperAsEditedAndUndone)
{
    ChartView &view = window->view();
    const auto summary = [](ChartPrintSheet &sheet) { return shownText(sheet, " positions"); };
    printSheet([&](ChartPrintSheet &sheet) {
        EXPECT_EQ(summary(sheet), "Entire organization · 4 positions");
        EXPECT_EQ(shownText(sheet, " inches"), "8.5 × 11 inches");
        EXPECT_EQ(formField<QComboBox>(sheet, "Orientation")->currentText(), "Portrait");
    });

    view.savePositionEntry(PositionEntryRequest{.position = AppTest::person("P9", "Noor Haddad", "P1")});
    ChartPrintSettings landscape = view.printSettings();
    landscape.landscape = true;
    view.setPrintSettings(landscape);
    printSheet([&](ChartPrintSheet &sheet) {
        EXPECT_EQ(summary(sheet), "Entire organization · 5 positions");
        EXPECT_EQ(shownText(sheet, " inches"), "11 × 8.5 inches");
        EXPECT_EQ(formField<QComboBox>(sheet, "Orientation")->currentText(), "Landscape");
        EXPECT_EQ(sheet.model().organization().positions.size(), 5u);
    });

    ASSERT_EQ(document->undoName(), "Paper & Appearance");
    document->undo();
    ASSERT_EQ(document->undoName(), "Add Position");
    document->undo();
    printSheet([&](ChartPrintSheet &sheet) {
        EXPECT_EQ(summary(sheet), "Entire organization · 4 positions");
        EXPECT_EQ(shownText(sheet, " inches"), "8.5 × 11 inches");
        EXPECT_EQ(formField<QComboBox>(sheet, "Orientation")->currentText(), "Portrait");
        // Legal in the sheet, kept by its window on closing.
        choose(formField<QComboBox>(sheet, "Paper"), "Legal");
    });
    EXPECT_EQ(document->undoName(), "Paper & Appearance");
    printSheet([&](ChartPrintSheet &sheet) {
        EXPECT_EQ(formField<QComboBox>(sheet, "Paper")->currentText(), "Legal");
        EXPECT_EQ(shownText(sheet, " inches"), "8.5 × 14 inches");
    });
    document->undo();
    printSheet([&](ChartPrintSheet &sheet) {
        EXPECT_EQ(formField<QComboBox>(sheet, "Paper")->currentText(), "Letter");
        EXPECT_EQ(shownText(sheet, " inches"), "8.5 × 11 inches");
    });
}
