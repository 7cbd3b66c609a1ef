#include "printing_test_support.h"

#include "printing/chart_pdf_rasterizer.h"
#include "printing/chart_pdf_renderer.h"

#include "core/chart/chart_scene.h"
#include "core/document/organization_archive.h"

#include <gtest/gtest.h>

namespace {

// The orange of dotted lines.
int inkPixels(const QImage &image)
{
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QRgb p = image.pixel(x, y);
            count += qRed(p) > 200 && qGreen(p) > 110 && qGreen(p) < 190 && qBlue(p) < 80;
        }
    return count;
}

} // namespace

// Hidden names and combined titles merge three vacant teachers into one card.
TEST(PdfRender, PrintsThePresentationNotTheRawOrganization)
{
    Organization school;
    school.positions.push_back(testPosition("A", "Principal", "Quinn Okoro"));
    for (int i = 0; i < 3; ++i) {
        school.positions.push_back(testPosition("T" + std::to_string(i), "Teacher", ""));
        school.positions.back().managerID = "A";
    }
    ChartPrintSettings settings;
    settings.hideNames = true;
    settings.combineMatchingTitles = true;
    const QString text = pageTexts(ChartPDFRenderer::render(school, "Sample District", "Scope", settings, {})).join(' ');
    for (const char *expected : {"(x3)", "3 FTE", "Sample District"})
        EXPECT_TRUE(text.contains(expected)) << expected << " in " << text.toStdString();
    EXPECT_FALSE(text.contains("Quinn Okoro"));
}

TEST(PdfRender, DrawsTheRoutedDottedLines)
{
    // The psychologist reports by dotted line to both principals.
    ChartPrintSettings settings;
    settings.scalePercent = 40;
    const QByteArray pdf = ChartPDFRenderer::render(Organization::example(), "Sample", "Scope", settings, {});
    int ink = 0;
    for (int page = 0; page < ChartPDFRasterizer::pageCount(pdf); ++page)
        ink += inkPixels(ChartPDFRasterizer::bitmap(pdf, page, 1400));
    EXPECT_GT(ink, 50);

    Organization solidOnly = Organization::example();
    for (Position &position : solidOnly.positions)
        position.dottedManagerIDs.clear();
    const QByteArray plain = ChartPDFRenderer::render(solidOnly, "Sample", "Scope", settings, {});
    EXPECT_EQ(inkPixels(ChartPDFRasterizer::bitmap(plain, 0, 1400)), 0);
}

// The export of the chart a window shows takes the window's routes and routes nothing; a
// layout for other paper routes once, with progress, and keeps its lines for the next
// export; a stopped export makes no PDF.
TEST(PdfRender, TakesTheWindowsRoutes)
{
    const OrganizationArchive archive = OrganizationArchive::make("Sample", Organization::example());
    ChartPrintSettings settings;
    settings.scalePercent = 40;
    ChartSceneCache window;
    const auto scene = window.snapshot(archive, "", "", "", {}, {}, settings);
    ASSERT_FALSE(scene->routes().empty());
    const auto render = [&](const ChartPrintSettings &paper, const ChartPDFRouting &routing) {
        return ChartPDFRenderer::render(scene->visibleOrganization(), "Sample", "Scope", paper, {}, routing);
    };

    uint64_t before = DottedRouting::edgesRouted();
    EXPECT_TRUE(render(settings, {window.routeStore()}));
    EXPECT_EQ(DottedRouting::edgesRouted() - before, 0u);

    const ChartPrintSettings balanced = ChartPrintSettings::departmentDesign();
    std::vector<std::pair<size_t, size_t>> reports;
    ChartPDFRouting followed{window.routeStore(), {}, [&](size_t done, size_t total) {
                                 reports.emplace_back(done, total);
                             }};
    before = DottedRouting::edgesRouted();
    EXPECT_TRUE(render(balanced, followed));
    ASSERT_FALSE(reports.empty());
    EXPECT_EQ(DottedRouting::edgesRouted() - before, reports.back().second);
    EXPECT_EQ(reports.back().first, reports.back().second);
    EXPECT_EQ(reports.size(), reports.back().second);
    before = DottedRouting::edgesRouted();
    EXPECT_TRUE(render(balanced, {window.routeStore()}));
    EXPECT_EQ(DottedRouting::edgesRouted() - before, 0u);

    std::stop_source stop;
    stop.request_stop();
    EXPECT_FALSE(render(settings, {nullptr, stop.get_token()}));
}

// An emoji in a name prints from a small embedded outline font: not a blank, as a colour
// bitmap font leaves, nor a large picture.
TEST(PdfRender, EmojiInANamePrintsFromAnOutlineFont)
{
    const auto pdfFor = [](const std::string &name) {
        Organization school;
        school.positions.push_back(testPosition("A", "Principal", name));
        return ChartPDFRenderer::render(school, "District", "Scope", ChartPrintSettings{}, {});
    };
    const auto darkPixels = [](const QByteArray &pdf) {
        const QImage page = ChartPDFRasterizer::bitmap(pdf, 0, 2000);
        int count = 0;
        for (int y = 0; y < page.height(); ++y)
            for (int x = 0; x < page.width(); ++x)
                count += qGray(page.pixel(x, y)) < 128;
        return count;
    };
    const QByteArray plain = pdfFor("Ana Lee");
    const QByteArray withEmoji = pdfFor("Ana Lee \U0001F3EB");
    EXPECT_TRUE(withEmoji.contains("Symbola"));
    EXPECT_LT(withEmoji.size() - plain.size(), 20'000);
    EXPECT_GT(darkPixels(withEmoji), darkPixels(plain) + 30);
}
