#include "app/chart/chart_window.h"
#include "app/print/chart_print_sheet.h"
#include "app/shell/organization_document.h"
#include "app/print/preview_pane.h"
#include "printing/chart_pdf_renderer.h"

#include "print_sheet_test_support.h"
#include "scripted_dialogs.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QCoreApplication>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>

#include <atomic>
#include <QPushButton>

using namespace PrintTest;

namespace {

QByteArray pdfOf(int reports, double scalePercent)
{
    ChartPrintSettings settings;
    settings.scalePercent = scalePercent;
    return ChartPDFRenderer::render(chart(reports), "Title", "Scope", settings, std::nullopt);
}

TEST(PreviewPane, StepsThroughPagesAndStartsOverForANewDocument)
{
    PreviewPaneState pane;
    EXPECT_EQ(pane.pageLabel(), "No pages");
    EXPECT_EQ(pane.placeholderText(), "Choose settings, then Update Preview.");
    EXPECT_FALSE(pane.canGoBack() || pane.canGoForward());

    const QByteArray many = pdfOf(12, 150);
    const int pages = readPDF(many).sizes.size();
    ASSERT_GE(pages, 3);
    pane.setDocument(many);
    EXPECT_EQ(pane.pageLabel(), QString("Page 1 of %1").arg(pages));
    EXPECT_TRUE(pane.canGoForward());
    EXPECT_FALSE(pane.canGoBack());
    for (int i = 1; i < pages; ++i)
        pane.next();
    EXPECT_EQ(pane.page(), pages - 1);
    EXPECT_FALSE(pane.canGoForward());
    EXPECT_EQ(pane.image().size(), QSize(1082, 1400)); // Letter at 1400 pixels

    // Equal bytes keep the page; other bytes start over on their first page.
    pane.setDocument(many);
    EXPECT_EQ(pane.page(), pages - 1);
    pane.setDocument(pdfOf(1, 100));
    EXPECT_EQ(pane.pageLabel(), "Page 1 of 1");
    EXPECT_FALSE(pane.image().isNull());

    // Not a PDF: the message in the placeholder, the count as last read.
    pane.setDocument(QByteArray("not a pdf"));
    EXPECT_TRUE(pane.image().isNull());
    EXPECT_EQ(pane.placeholderText(), "Could not read the preview PDF.");
    EXPECT_EQ(pane.pageLabel(), "Page 1 of 1");
}

template <typename Widget>
Widget *child(QWidget &parent, const QString &text)
{
    for (Widget *widget : parent.findChildren<Widget *>()) {
        if (widget->text() == text)
            return widget;
    }
    ADD_FAILURE() << "no " << text.toStdString();
    return nullptr;
}

QLineEdit *field(QWidget &sheet, const QString &label)
{
    for (QFormLayout *form : sheet.findChildren<QFormLayout *>()) {
        for (int row = 0; row < form->rowCount(); ++row) {
            auto *name = qobject_cast<QLabel *>(form->itemAt(row, QFormLayout::LabelRole)
                                                    ? form->itemAt(row, QFormLayout::LabelRole)->widget()
                                                    : nullptr);
            if (name && name->text() == label)
                return qobject_cast<QLineEdit *>(form->itemAt(row, QFormLayout::FieldRole)->widget());
        }
    }
    ADD_FAILURE() << "no field " << label.toStdString();
    return nullptr;
}

// The sheet as a user meets it: the preview on opening, Next, a margin typed in the
// locale's format, Update Preview, Fit to Page, Close.
TEST(ChartPrintSheet, OpensPreviewsFitsAndCloses)
{
    FakeHost host;
    OrganizationArchive archive = AppTest::district(40);
    archive.sheets = std::vector<OrganizationSheet>{{"S1", "Alpha", {"P1"}}};
    host.document = archive;
    ScriptedDialogs dialogs;
    auto printer = std::make_unique<FakePrinter>();
    auto model = std::make_unique<PrintSheetModel>(input(archive.organization), host, dialogs, *printer);
    ChartPrintSheet sheet(std::move(model), std::move(printer));
    sheet.show();
    ASSERT_EQ(sheet.size(), QSize(960, 680));
    const PreviewPaneState &pane = sheet.preview().state();
    ASSERT_GT(pane.pageCount(), 1);
    EXPECT_TRUE(child<QPushButton>(sheet, "Export All Sheets…")->isVisible());

    child<QPushButton>(sheet, "Next")->click();
    EXPECT_EQ(pane.page(), 1);

    QLineEdit *margin = field(sheet, "Margin (inches)");
    margin->setText("0.75");
    emit margin->editingFinished();
    EXPECT_EQ(sheet.model().settings().marginInches, 0.75);
    EXPECT_TRUE(child<QLabel>(sheet, "Settings changed. Click Update Preview to refresh."));
    EXPECT_EQ(pane.page(), 1);
    child<QPushButton>(sheet, "Update Preview")->click();
    EXPECT_EQ(pane.page(), 0);
    EXPECT_FALSE(sheet.model().isPreviewStale());

    child<QCheckBox>(sheet, "Fit to Page")->click();
    EXPECT_EQ(pane.pageLabel(), "Page 1 of 1");
    EXPECT_FALSE(field(sheet, "Print scale (%)")->isEnabled());
    EXPECT_EQ(child<QLabel>(sheet, "1 rows × 1 columns = 1 pages")->isVisible(), true);

    // An unreadable number reverts to the stored value.
    margin->setText("wide");
    emit margin->editingFinished();
    EXPECT_EQ(margin->text(), "0.75");

    // Export All: progress with the chart's name, the form and Close disabled meanwhile.
    std::atomic<bool> wrote = false;
    sheet.model().setSheetWriter([&](const SheetPDFExportJob &, const QString &, const ChartPDFRouting &) {
        wrote = true;
        return std::optional<QString>("written");
    });
    dialogs.folders.push_back("/tmp/out");
    child<QPushButton>(sheet, "Export All Sheets…")->click();
    EXPECT_TRUE(child<QLabel>(sheet, "Exporting Alpha…")->isVisible());
    EXPECT_FALSE(child<QPushButton>(sheet, "Close")->isEnabled());
    EXPECT_FALSE(margin->isEnabled());
    while (sheet.model().isExporting())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    EXPECT_TRUE(wrote);
    EXPECT_TRUE(child<QLabel>(sheet, "Exported 1 of 1 sheet PDFs to out. Existing files were not replaced."));

    const size_t commits = host.commits.size();
    child<QPushButton>(sheet, "Close")->click();
    EXPECT_FALSE(sheet.isVisible());
    EXPECT_EQ(host.commits.size(), commits + 1);
    EXPECT_TRUE(dialogs.exhausted());
}

} // namespace

// The window's print action opens the sheet over the shown chart, window-modal; closing
// the sheet deletes it and leaves an unchanged document unmodified.
TEST(ChartPrintSheet, TheWindowsPrintActionOpensIt)
{
    ScriptedDialogs dialogs;
    auto *document = new OrganizationDocument;
    document->setArchive(AppTest::district(3));
    document->setModified(false);
    auto *window = new ChartWindow(document, dialogs);
    ASSERT_TRUE(window->canPrint());
    window->print();
    QPointer<ChartPrintSheet> sheet = window->findChild<ChartPrintSheet *>();
    ASSERT_TRUE(sheet);
    EXPECT_EQ(sheet->windowModality(), Qt::WindowModal);
    EXPECT_EQ(sheet->model().positionSummary(), "Entire organization · 4 positions");
    EXPECT_EQ(sheet->preview().state().pageCount(), 1);
    EXPECT_FALSE(document->isModified());

    sheet->reject();
    AppTest::deleteClosedWindows();
    EXPECT_FALSE(sheet);
    window->closeWithoutAsking();
    AppTest::deleteClosedWindows();
}
