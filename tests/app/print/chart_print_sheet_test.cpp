#include "app/chart/chart_window.h"
#include "app/print/chart_print_sheet.h"
#include "app/shell/organization_document.h"
#include "app/print/preview_pane.h"
#include "printing/chart_pdf_rasterizer.h"
#include "printing/chart_pdf_renderer.h"

#include "accessible_audit.h"
#include "palette_contrast.h"
#include "print_sheet_test_support.h"
#include "scripted_dialogs.h"

#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QTest>

#include <atomic>
#include <functional>
#include <thread>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollArea>
#include <QTemporaryDir>

using namespace PrintTest;

namespace {

QByteArray pdfOf(int reports, double scalePercent)
{
    ChartPrintSettings settings;
    settings.scalePercent = scalePercent;
    return ChartPDFRenderer::render(chart(reports), "Title", "Scope", settings, std::nullopt);
}

// Runs `seen` each time `watched` gets an event of `type`, while it lives.
class EventWatch final : public QObject {
public:
    EventWatch(QObject *watched, QEvent::Type type, std::function<void()> seen)
        : m_type(type), m_seen(std::move(seen))
    {
        watched->installEventFilter(this);
    }
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == m_type)
            m_seen();
        return false;
    }

private:
    QEvent::Type m_type;
    std::function<void()> m_seen;
};

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

// The sheet as a user meets it: the preview on opening, Next, a margin typed in the
// locale's format, Update Preview, Fit to Page, Close.
TEST(ChartPrintSheet, OpensPreviewsFitsAndCloses)
{
    OrganizationArchive archive = AppTest::district(40);
    archive.sheets = std::vector<OrganizationSheet>{{"S1", "Alpha", {"P1"}}};
    ShownSheet shown(archive);
    ChartPrintSheet &sheet = *shown.sheet;
    FakeHost &host = shown.host;
    ScriptedDialogs &dialogs = shown.dialogs;
    ASSERT_EQ(sheet.size(), QSize(960, 680));
    const PreviewPaneState &pane = sheet.preview().state();
    ASSERT_GT(pane.pageCount(), 1);
    EXPECT_TRUE(child<QPushButton>(sheet, "Export All Sheets…")->isVisible());

    child<QPushButton>(sheet, "Next")->click();
    EXPECT_EQ(pane.page(), 1);

    QLineEdit *margin = formField(sheet, "Margin (inches)");
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
    EXPECT_FALSE(formField(sheet, "Print scale (%)")->isEnabled());
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

// The button pressed keeps the keyboard while its output runs with the buttons disabled, and
// has it again after: the focus never goes on to Next or Close, which Space would then press,
// also when the desktop hands the window back meanwhile, as it does once the save panel or the
// print dialog has closed over it.
TEST(ChartPrintSheet, TheButtonPressedKeepsTheKeyboardThroughAnOutput)
{
    OrganizationArchive archive = AppTest::district(40);
    archive.sheets = std::vector<OrganizationSheet>{{"S1", "Alpha", {"P1"}}};
    ShownSheet shown(archive);
    ChartPrintSheet &sheet = *shown.sheet;
    QApplication::setActiveWindow(&sheet);
    sheet.model().setSheetWriter(
        [](const SheetPDFExportJob &, const QString &, const ChartPDFRouting &) { return std::optional<QString>("written"); });
    QTemporaryDir dir;
    for (const char *pressed : {"Export All Sheets…", "Export PDF…", "Print…"}) {
        SCOPED_TRACE(pressed);
        shown.dialogs.folders.push_back(dir.path());
        shown.dialogs.filesToSave.push_back(dir.filePath("chart.pdf"));
        auto *button = child<QPushButton>(sheet, pressed);
        button->setFocus(Qt::TabFocusReason);
        std::vector<QWidget *> focused;
        const QMetaObject::Connection watch = QObject::connect(
            qApp, &QApplication::focusChanged, [&](QWidget *, QWidget *now) { focused.push_back(now); });
        QTest::keyClick(button, Qt::Key_Space);
        ASSERT_TRUE(sheet.model().isBusy());
        EXPECT_FALSE(button->isEnabled());
        QApplication::setActiveWindow(nullptr);
        QApplication::setActiveWindow(&sheet);
        ASSERT_TRUE(runUntil([&] { return !sheet.model().isBusy(); }));
        QObject::disconnect(watch);
        EXPECT_EQ(QApplication::focusWidget(), button);
        // The window itself may hold it meanwhile: Space there presses nothing.
        std::erase_if(focused, [&](QWidget *widget) { return !widget || widget == &sheet; });
        EXPECT_EQ(focused, std::vector<QWidget *>{button});
        shown.dialogs.folders.clear();
        shown.dialogs.filesToSave.clear();
    }
}

// The print dialog is the user's turn: the chart is laid out and its lines routed before it
// opens, and no progress of that work shows under it. The pages' progress comes once the
// dialog is answered.
TEST(ChartPrintSheet, NoProgressShowsUnderThePrintDialog)
{
    OrganizationArchive archive = AppTest::district(12);
    archive.organization.positions[11].dottedManagerIDs = {"P2"};
    ShownSheet shown(archive);
    ChartPrintSheet &sheet = *shown.sheet;
    auto *progress = sheet.findChild<QProgressBar *>();
    ASSERT_TRUE(progress);
    std::optional<bool> progressShown;
    shown.printer->asking = [&] { progressShown = progress->isVisible(); };
    ChartPrintSettings many = sheet.model().settings();
    many.scalePercent = 200;
    sheet.model().setSettings(many);
    ASSERT_GT(sheet.model().pagination()->tiles.size(), 4u);
    shown.printer->pause = std::chrono::milliseconds(10);
    // The row comes into sight saying the step it is at, not the one before the dialog.
    QStringList saidAsShown;
    EventWatch shows(progress->parentWidget(), QEvent::Show, [&] {
        saidAsShown.append(progress->parentWidget()->findChild<QLabel *>()->text());
        EXPECT_EQ(saidAsShown.back(), sheet.model().progressLabel());
    });
    child<QPushButton>(sheet, "Print…")->click();
    EXPECT_TRUE(progress->isVisible()); // the layout, on its worker
    ASSERT_TRUE(runUntil([&] { return progressShown.has_value(); }));
    EXPECT_FALSE(*progressShown);
    ASSERT_TRUE(runUntil([&] { return shown.printer->drawn > 0; }));
    EXPECT_TRUE(progress->isVisible());
    ASSERT_TRUE(runUntil([&] { return !sheet.model().isBusy(); }));
    EXPECT_EQ(shown.printer->printed.size(), 1u);
    ASSERT_EQ(saidAsShown.size(), 2);
    EXPECT_TRUE(saidAsShown[1].startsWith("Printing…  Page ")) << saidAsShown[1].toStdString();
}

// Cancel, and the keyboard's ways to it, edit nothing: while an output runs, Tab from the
// button pressed reaches Cancel first; Cancel gives the keyboard back to that button, so the
// next Space presses it again rather than typing into Page title; Escape cancels too.
TEST(ChartPrintSheet, CancelByKeysEditsNothing)
{
    OrganizationArchive archive = AppTest::district(12);
    archive.sheets = std::vector<OrganizationSheet>{{"S1", "Alpha", {"P1"}}};
    ShownSheet shown(archive);
    ChartPrintSheet &sheet = *shown.sheet;
    QApplication::setActiveWindow(&sheet);
    ChartPrintSettings many = sheet.model().settings();
    many.scalePercent = 300;
    sheet.model().setSettings(many);
    shown.printer->pause = std::chrono::milliseconds(5);
    // Each chart of an export waits to be cancelled.
    sheet.model().setSheetWriter([](const SheetPDFExportJob &, const QString &, const ChartPDFRouting &routing) {
        while (!routing.stop.stop_requested())
            std::this_thread::yield();
        return std::optional<QString>();
    });
    auto *cancel = child<QPushButton>(sheet, "Cancel");
    QLineEdit *title = formField(sheet, "Page title");
    const QString before = title->text();
    const auto press = [&](Qt::Key key) {
        QWidget *focus = QApplication::focusWidget();
        QTest::keyClick(focus ? focus : &sheet, key);
    };
    for (const char *pressed : {"Print…", "Export All Sheets…"}) {
        SCOPED_TRACE(pressed);
        auto *button = child<QPushButton>(sheet, pressed);
        button->setFocus(Qt::TabFocusReason);
        shown.dialogs.folders = {"/tmp/out", "/tmp/out"};
        press(Qt::Key_Space);
        ASSERT_TRUE(runUntil([&] { return cancel->isVisible(); }));
        press(Qt::Key_Tab);
        EXPECT_EQ(QApplication::focusWidget(), cancel);
        press(Qt::Key_Space);
        ASSERT_TRUE(runUntil([&] { return !sheet.model().isBusy(); }));
        EXPECT_EQ(QApplication::focusWidget(), button);

        // Space again is the button's: the output starts over, and Escape cancels it.
        press(Qt::Key_Space);
        EXPECT_TRUE(sheet.model().isBusy());
        press(Qt::Key_Escape);
        ASSERT_TRUE(runUntil([&] { return !sheet.model().isBusy(); }));
        EXPECT_TRUE(sheet.isVisible());
        EXPECT_EQ(QApplication::focusWidget(), button);
        EXPECT_EQ(title->text(), before);
        EXPECT_EQ(shown.host.title, before);
    }
    EXPECT_TRUE(shown.printer->printed.empty());
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

// An export's failure reads at 4.5:1 or better in a light and a dark palette, and reaches a
// screen reader as a notification; every field of the sheet is heard by its label.
TEST(ChartPrintSheet, ErrorTextReadsInBothPalettesAndFieldsHaveNames)
{
    OrganizationArchive archive = AppTest::district(3);
    archive.sheets = std::vector<OrganizationSheet>{{"S1", "Alpha", {"P1"}}};
    ShownSheet shown(archive);
    ChartPrintSheet &sheet = *shown.sheet;
    EXPECT_EQ(AppTest::unnamedControls(&sheet), QStringList());
    QTemporaryDir dir;
    AppTest::writeBytes(dir.filePath("file"), "x");
    shown.dialogs.folders.push_back(dir.filePath("file"));
    sheet.model().exportAllSheets();
    ASSERT_TRUE(runUntil([&] { return !sheet.model().isBusy(); }));
    ASSERT_TRUE(sheet.model().errorMessage());
    QLabel *error = child<QLabel>(sheet, *sheet.model().errorMessage());
    ASSERT_TRUE(error);
    EXPECT_EQ(QAccessible::queryAccessibleInterface(error)->role(), QAccessible::Notification);
    for (const QPalette &palette : {AppTest::lightPalette(), AppTest::darkPalette()}) {
        sheet.setPalette(palette);
        QCoreApplication::processEvents();
        ASSERT_TRUE(error->isVisible());
        const QImage shot = error->grab().toImage();
        EXPECT_GE(AppTest::strongestContrast(shot, shot.rect(), palette.color(QPalette::Window)), 4.5)
            << palette.color(QPalette::Window).name().toStdString();
    }

}

// The page count follows the settings: it gives way to the check line while the paper is
// wrong and comes back, with the new count and in sight, once it is right again, also when
// the failures of an export have taken room from the form.
TEST(ChartPrintSheet, PageCountFollowsTheSettingsAfterAnError)
{
    OrganizationArchive archive = AppTest::district(12);
    std::vector<OrganizationSheet> sheets;
    for (const char *name : {"Alpha", "Beta", "Gamma", "Delta", "Epsilon"})
        sheets.push_back({name, name, {"P1"}});
    archive.sheets = sheets;
    ShownSheet shown(archive);
    ChartPrintSheet &sheet = *shown.sheet;
    ScriptedDialogs &dialogs = shown.dialogs;
    const auto shownLine = [&]() -> QLabel * {
        for (QLabel *label : sheet.findChildren<QLabel *>()) {
            if (label->text().contains(" rows × ") && label->isVisibleTo(&sheet))
                return label;
        }
        return nullptr;
    };
    const auto inSight = [&](QWidget *widget) {
        QCoreApplication::processEvents();
        auto *area = qobject_cast<QScrollArea *>(sheet.findChild<QScrollArea *>()); // the form's, made first
        const QRect rect(widget->mapTo(area->viewport(), QPoint(0, 0)), widget->size());
        return area->viewport()->rect().contains(rect);
    };
    ASSERT_TRUE(shownLine());
    const QString letter = shownLine()->text();

    // Every chart of the export fails: five lines of message under the form.
    QTemporaryDir dir;
    AppTest::writeBytes(dir.filePath("file"), "x");
    dialogs.folders.push_back(dir.filePath("file"));
    sheet.model().exportAllSheets();
    ASSERT_TRUE(runUntil([&] { return !sheet.model().isBusy(); }));
    ASSERT_EQ(sheet.model().errorMessage()->count('\n'), 4);

    auto *paper = sheet.findChild<QComboBox *>();
    ASSERT_TRUE(paper);
    paper->setCurrentText("Custom");
    emit paper->activated(paper->currentIndex());
    QLineEdit *shortEdge = formField(sheet, "Short edge (inches)");
    for (const char *typed : {"1", "abc", "8.5"}) {
        shortEdge->setText(typed);
        emit shortEdge->editingFinished();
        if (QString(typed) == "1") {
            EXPECT_FALSE(shownLine());
            EXPECT_TRUE(inSight(child<QLabel>(sheet, PrintSheetModel::checkLine())));
        }
    }
    ASSERT_TRUE(shownLine());
    EXPECT_EQ(shownLine()->text(), letter);
    EXPECT_TRUE(inSight(shownLine()));
    EXPECT_FALSE(child<QLabel>(sheet, PrintSheetModel::checkLine())->isVisibleTo(&sheet));

    QLineEdit *longEdge = formField(sheet, "Long edge (inches)");
    longEdge->setText("22");
    emit longEdge->editingFinished();
    ASSERT_TRUE(shownLine());
    EXPECT_NE(shownLine()->text(), letter);
    EXPECT_TRUE(inSight(shownLine()));
}

// The pages on either side of the one shown are drawn ahead, so turning a page finds its
// picture made; pictures far from the page shown are let go.
TEST(PreviewPane, DrawsTheNeighbouringPagesAhead)
{
    PreviewPaneState pane;
    const QByteArray many = pdfOf(12, 250);
    const int pages = readPDF(many).sizes.size();
    ASSERT_GE(pages, 8);
    pane.setDocument(many);
    ASSERT_TRUE(runUntil([&] { return pane.picturedPages() == std::vector<int>{0, 1, 2}; }));
    pane.next();
    ASSERT_TRUE(runUntil([&] { return pane.picturedPages() == std::vector<int>{0, 1, 2, 3}; }));
    EXPECT_EQ(pane.image(), ChartPDFRasterizer::bitmap(many, 1, PreviewPaneState::pixels));
    for (int i = 0; i < 5; ++i)
        pane.next();
    ASSERT_TRUE(runUntil([&] { return pane.picturedPages().back() == 8; }));
    EXPECT_EQ(pane.picturedPages().front(), 3);
}
