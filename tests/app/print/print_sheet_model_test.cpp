#include "app/print/print_sheet_model.h"
#include "app/print/print_sheet_opener.h"
#include "app/chart/chart_view.h"
#include "app/shell/organization_document.h"
#include "core/chart/chart_layout.h"
#include "core/chart/chart_print_presentation.h"

#include "print_sheet_test_support.h"
#include "scripted_dialogs.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLocale>

using namespace PrintTest;

namespace {

class PrintSheet : public ::testing::Test {
protected:
    void SetUp() override { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }
    void TearDown() override
    {
        EXPECT_TRUE(dialogs.exhausted());
        QLocale::setDefault(QLocale::c());
    }

    PrintSheetModel &make(PrintSheetModel::Input in)
    {
        model = std::make_unique<PrintSheetModel>(std::move(in), host, dialogs, printer);
        renders = 0;
        QObject::connect(model.get(), &PrintSheetModel::previewChanged, [this] { ++renders; });
        return *model;
    }
    // A model that has appeared, with its first preview rendered and counted away.
    PrintSheetModel &shown(PrintSheetModel::Input in)
    {
        make(std::move(in)).appear();
        EXPECT_EQ(renders, 1);
        renders = 0;
        return *model;
    }

    FakeHost host;
    FakePrinter printer;
    ScriptedDialogs dialogs;
    std::unique_ptr<PrintSheetModel> model;
    int renders = 0;
};

TEST(PaperPresets, MatchWithinATenThousandthInStoredOrder)
{
    const struct {
        double width, height;
        const char *preset;
    } cases[] = {
        {8.5, 11, "Letter"}, {11, 8.5, "Custom"}, {8.26775, 11.69287, "A4"}, {11.6929, 16.5354, "A3"},
        {8.5, 11.0002, "Custom"}, {11, 17, "Tabloid"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(PaperPresets::matching(c.width, c.height), c.preset) << c.width << " x " << c.height;
}

// Paper, scale, margin and overlap only mark the preview stale; orientation and the
// display switches render at once, also over a stale preview.
TEST_F(PrintSheet, EachChangeReactsAsItsKindSays)
{
    const struct {
        const char *change;
        void (*apply)(ChartPrintSettings &);
        bool renders;
    } cases[] = {
        {"margin", [](ChartPrintSettings &s) { s.marginInches = 0.75; }, false},
        {"scale", [](ChartPrintSettings &s) { s.scalePercent = 50; }, false},
        {"overlap", [](ChartPrintSettings &s) { s.overlapInches = 0.5; }, false},
        {"paper", [](ChartPrintSettings &s) { s.heightInches = 14; }, false},
        {"orientation", [](ChartPrintSettings &s) { s.landscape = true; }, true},
        {"names", [](ChartPrintSettings &s) { s.setShowNames(false); }, true},
        {"pay level", [](ChartPrintSettings &s) { s.showPayLevel = true; }, true},
        {"balanced", [](ChartPrintSettings &s) { s.pageBalancedLayout = true; }, true},
    };
    for (const auto &c : cases) {
        host.title.clear();
        PrintSheetModel &sheet = shown(input(chart(3)));
        // Stale first, so a render must also clear it.
        sheet.setPageTitle("Typed");
        ASSERT_TRUE(sheet.isPreviewStale());
        const std::optional<QByteArray> before = sheet.preview();
        ChartPrintSettings next = sheet.settings();
        c.apply(next);
        sheet.setSettings(next);
        EXPECT_EQ(renders, c.renders ? 1 : 0) << c.change;
        EXPECT_EQ(sheet.isPreviewStale(), !c.renders) << c.change;
        EXPECT_EQ(sheet.preview() == before, !c.renders) << c.change;
        EXPECT_EQ(sheet.settings(), next) << c.change;
    }
}

TEST_F(PrintSheet, FitTurnsOnBalancedLayoutFitsOnePageAndSettles)
{
    PrintSheetModel &sheet = shown(input(chart(40)));
    ASSERT_GT(sheet.pagination()->tiles.size(), 1u);

    sheet.setFitToPage(true);
    EXPECT_TRUE(sheet.settings().pageBalancedLayout);
    EXPECT_EQ(renders, 1);
    ASSERT_NE(sheet.pagination(), nullptr);
    EXPECT_EQ(sheet.pagination()->tiles.size(), 1u);
    const ChartPrintPresentation presentation(sheet.organization(), sheet.settings());
    EXPECT_EQ(sheet.settings().scalePercent,
              sheet.settings().fittedPercentage(sheet.settings().layout(presentation.organization).size));
    EXPECT_EQ(host.commits.back(), sheet.settings());

    // A preset is one change: one refit, one render, still one page.
    renders = 0;
    const double letterScale = sheet.settings().scalePercent;
    sheet.setPreset("Tabloid");
    EXPECT_EQ(renders, 1);
    EXPECT_NE(sheet.settings().scalePercent, letterScale);
    EXPECT_EQ(sheet.pagination()->tiles.size(), 1u);
    EXPECT_FALSE(sheet.isPreviewStale());

    // Off keeps the fitted scale; a margin then only marks the preview stale.
    const double fitted = sheet.settings().scalePercent;
    sheet.setFitToPage(false);
    ChartPrintSettings wider = sheet.settings();
    wider.marginInches = 1;
    sheet.setSettings(wider);
    EXPECT_EQ(sheet.settings().scalePercent, fitted);
    EXPECT_TRUE(sheet.isPreviewStale());
}

// Lines the window has already routed are reused; otherwise the cards show first and the
// lines follow in a second preview of the same pages.
TEST_F(PrintSheet, PreviewShowsCardsFirstAndLinesWhenRouted)
{
    Organization dotted = chart(6);
    dotted.positions[5].dottedManagerIDs = {"P2"};
    host.store = std::make_shared<DottedRouteStore>();
    std::vector<bool> samePages;
    PrintSheetModel &sheet = make(input(dotted));
    QObject::connect(&sheet, &PrintSheetModel::previewChanged, [&](bool same) { samePages.push_back(same); });
    sheet.appear();
    ASSERT_TRUE(sheet.arePreviewLinesPending());
    const QByteArray cards = *sheet.preview();
    QElapsedTimer waited;
    waited.start();
    while (sheet.arePreviewLinesPending() && waited.elapsed() < 10000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    EXPECT_EQ(samePages, (std::vector<bool>{false, true}));
    EXPECT_NE(*sheet.preview(), cards);
    EXPECT_EQ(withoutTimes(*sheet.preview()), withoutTimes(sheet.makePDF()));

    // A second sheet over the same window finds the lines at once.
    PrintSheetModel again(input(dotted), host, dialogs, printer);
    again.appear();
    EXPECT_FALSE(again.arePreviewLinesPending());
    ASSERT_TRUE(again.preview() && sheet.preview());
    EXPECT_EQ(withoutTimes(*again.preview()), withoutTimes(*sheet.preview()));
}

// Lines routed only for the sheet's paper leave the window's store with the sheet; lines the
// window routed itself stay, the sheet having printed them as shown.
TEST_F(PrintSheet, ClosingTheSheetTakesOnlyItsOwnLinesFromTheStore)
{
    Organization dotted = chart(6);
    dotted.positions[5].dottedManagerIDs = {"P2"};
    for (const bool windowRouted : {false, true}) {
        host.store = std::make_shared<DottedRouteStore>();
        if (windowRouted) {
            ASSERT_TRUE(host.store->route(PrintedChart(dotted, input(dotted).settings).routingKey()));
        }
        PrintSheetModel &sheet = make(input(dotted));
        sheet.appear();
        QElapsedTimer waited;
        waited.start();
        while (sheet.arePreviewLinesPending() && waited.elapsed() < 10000)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        ASSERT_FALSE(sheet.arePreviewLinesPending());
        model.reset();

        PrintSheetModel again(input(dotted), host, dialogs, printer);
        again.appear();
        EXPECT_EQ(again.arePreviewLinesPending(), !windowRouted) << windowRouted;
    }
}

TEST_F(PrintSheet, FitOfAChartThatCannotBeLaidOutKeepsScaleAndPreview)
{
    ChartPrintSettings tiny;
    tiny.widthInches = 1; // page-balanced layout needs a page
    PrintSheetModel &sheet = make(input(chart(2), tiny));
    sheet.setFitToPage(true);
    EXPECT_EQ(sheet.errorMessage(),
              "Use paper dimensions from 2–200 inches, a positive scale up to 400%, and a margin of at least 0.25 inches.");
    EXPECT_EQ(sheet.settings().scalePercent, 100);
    EXPECT_FALSE(sheet.preview());
}

TEST_F(PrintSheet, PositionSummaryCountsGroupsAndDeletionMarkers)
{
    Organization comparison = chart(8);
    for (int i = 1; i <= 3; ++i)
        comparison.positions[i].proposalChange = ProposalChangeKind::deleted;
    comparison.positions[3].groupMemberCount = 7; // a deleted group card counts once
    comparison.positions[4].groupMemberCount = 4;
    comparison.positions[5].proposalChange = ProposalChangeKind::added;
    comparison.positions.resize(7);

    const struct {
        Organization organization;
        const char *summary;
    } cases[] = {
        {Organization{}, "Entire organization · 0 positions"},
        {chart(0), "Entire organization · 1 positions"},
        {comparison, "Entire organization · 7 proposed positions · 3 deletion markers"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(make(input(c.organization)).positionSummary(), c.summary);
}

TEST_F(PrintSheet, PageSummaryGivesTilesAndPaperShortEdgeFirst)
{
    ChartPrintSettings stored;
    stored.widthInches = 11;
    stored.heightInches = 8.5;
    PrintSheetModel &sheet = make(input(chart(2), stored));
    const ChartPagination &pagination = *sheet.pagination();
    EXPECT_EQ(sheet.pagesLine(), QString("%1 rows × %2 columns = %3 pages")
                                     .arg(pagination.rows)
                                     .arg(pagination.columns)
                                     .arg(pagination.tiles.size()));
    EXPECT_EQ(sheet.paperLine(), "8.5 × 11 inches");
    stored.landscape = true;
    sheet.setSettings(stored);
    EXPECT_EQ(sheet.paperLine(), "11 × 8.5 inches");
}

// A margin below the minimum: the check line, no output, and Update Preview reports the
// cause next to the old preview; restoring the margin brings the summary back.
TEST_F(PrintSheet, SettingsThatDoNotTileDisableOutputAndExplainOnUpdate)
{
    PrintSheetModel &sheet = shown(input(chart(2)));
    const QByteArray before = *sheet.preview();
    ChartPrintSettings bad = sheet.settings();
    bad.marginInches = 0.1;
    sheet.setSettings(bad);
    EXPECT_FALSE(sheet.pagesLine());
    EXPECT_FALSE(sheet.canOutput());

    sheet.updatePreview();
    EXPECT_EQ(sheet.errorMessage(),
              "Use paper dimensions from 2–200 inches, a positive scale up to 400%, and a margin of at least 0.25 inches.");
    EXPECT_EQ(sheet.preview(), before);
    EXPECT_EQ(sheet.previewCaption(), "Settings changed. Click Update Preview to refresh.");

    // Closing with settings that do not tile commits nothing.
    const size_t commits = host.commits.size();
    EXPECT_TRUE(sheet.close());
    EXPECT_EQ(host.commits.size(), commits);

    bad.marginInches = 0.5;
    sheet.setSettings(bad);
    EXPECT_TRUE(sheet.pagesLine());
    EXPECT_TRUE(sheet.close());
    EXPECT_EQ(host.commits.size(), commits + 1);
}

// The refusal stays beside a page count that tiles again: a scale change only marks the
// preview stale, and only a preview made with it shows that it works.
TEST_F(PrintSheet, TooManyPagesIsRefusedAtTheTilingUntilAPreviewWorks)
{
    ChartPrintSettings huge;
    huge.scalePercent = 400;
    huge.widthInches = huge.heightInches = 3;
    PrintSheetModel &sheet = make(input(chart(40), huge));
    EXPECT_FALSE(sheet.pagination());
    sheet.updatePreview();
    EXPECT_EQ(sheet.errorMessage(), "This would create more than 500 pages. Reduce scale or increase paper size.");

    ChartPrintSettings smaller = huge;
    smaller.scalePercent = 10;
    sheet.setSettings(smaller);
    ASSERT_TRUE(sheet.pagination());
    EXPECT_TRUE(sheet.isPreviewStale());
    EXPECT_EQ(sheet.errorMessage(), "This would create more than 500 pages. Reduce scale or increase paper size.");
    sheet.updatePreview();
    EXPECT_EQ(sheet.errorMessage(), std::nullopt);
}

TEST_F(PrintSheet, HeadingFallsBackToTheTitleAndSubtitleIsPassedUntrimmed)
{
    PrintSheetModel &sheet = make(input(chart(1)));
    sheet.setPageTitle("   ");
    sheet.setPageSubtitle("  Budget plan  ");
    ReadPDF read = readPDF(sheet.makePDF());
    EXPECT_TRUE(read.texts[0].startsWith("Chart Name Budget plan")) << read.texts[0].toStdString();

    sheet.setPageTitle("  Spring Draft  ");
    read = readPDF(sheet.makePDF());
    EXPECT_TRUE(read.texts[0].startsWith("Spring Draft ")) << read.texts[0].toStdString();
}

TEST_F(PrintSheet, PrintCommitsOnceThePDFIsReadAndReportsAFailingPrinter)
{
    PrintSheetModel &sheet = make(input(chart(2)));
    sheet.setPreset("Legal"); // working settings differ from the committed ones
    printer.failure = "Printing is not available.";
    sheet.printChart();
    ASSERT_TRUE(runUntil([&] { return !sheet.isBusy(); }));
    EXPECT_EQ(sheet.errorMessage(), "Printing is not available.");
    ASSERT_EQ(host.commits.size(), 1u);
    EXPECT_EQ(host.commits[0].heightInches, 14);

    printer.failure.reset();
    printer.cancel = true;
    sheet.printChart();
    ASSERT_TRUE(runUntil([&] { return !sheet.isBusy(); }));
    EXPECT_FALSE(sheet.errorMessage());
    EXPECT_FALSE(sheet.resultMessage());
}

// The window's side: the first preview writes back settings equal to the stored ones,
// which must leave the document unmodified; headings reach the document as typed.
TEST(PrintSheetOpener, FirstPreviewLeavesTheDocumentUnmodified)
{
    ScriptedDialogs dialogs;
    OrganizationDocument document;
    OrganizationArchive archive = AppTest::district(2);
    archive.sheets = std::vector<OrganizationSheet>{{"S1", "Science", {"P1", "P2"}}};
    document.setArchive(archive);
    document.setModified(false);
    ChartView view(document, dialogs);
    view.setSelectedSheetID("S1");
    document.setModified(false);

    ChartViewPrintHost host(view);
    FakePrinter printer;
    const PrintSheetModel::Input in = PrintSheetOpener::inputFor(view);
    EXPECT_EQ(in.title, "Science");
    EXPECT_EQ(in.organization.positions.size(), 2u);
    PrintSheetModel sheet(in, host, dialogs, printer);
    sheet.appear();
    ASSERT_TRUE(sheet.preview());
    EXPECT_FALSE(document.isModified());

    sheet.setPageTitle("Science Staff");
    EXPECT_EQ(document.archive().sheets->at(0).pageTitle, "Science Staff");
}

} // namespace

TEST_F(PrintSheet, PaperLineGivesTheShortEdgeFirstInPortrait)
{
    ChartPrintSettings stored;
    stored.widthInches = 11;
    stored.heightInches = 8.5;
    PrintSheetModel &sheet = make(input(chart(2), stored));
    EXPECT_EQ(sheet.paperLine(), "8.5 × 11 inches");
    stored.landscape = true;
    sheet.setSettings(stored);
    EXPECT_EQ(sheet.paperLine(), "11 × 8.5 inches");
}
