#include "printing_test_support.h"

#include "core/chart/chart_layout.h"
#include "core/chart/chart_print_presentation.h"
#include "core/chart/chart_scene.h"
#include "core/document/organization_archive.h"
#include "core/support/organization_error.h"
#include "printing/chart_painter.h"
#include "printing/chart_pdf_rasterizer.h"
#include "printing/chart_pdf_renderer.h"

#include <gtest/gtest.h>

#include <QPainter>

namespace {

std::string errorOf(const Organization &organization, const ChartPrintSettings &settings)
{
    try {
        ChartPDFRenderer::render(organization, "Title", "Scope", settings, {});
    } catch (const OrganizationError &error) {
        return error.message();
    }
    return "no error";
}

QString allText(const QByteArray &pdf)
{
    return pageTexts(pdf).join(' ');
}

// Three vacant teachers under one principal: one card "(x3)" when names are hidden and
// matching titles combined.
Organization schoolWithVacancies()
{
    Organization organization;
    organization.positions.push_back(testPosition("A", "Principal", "Quinn Okoro"));
    for (const char *id : {"T1", "T2", "T3"}) {
        Position teacher = testPosition(id, "Teacher", "");
        teacher.managerID = "A";
        organization.positions.push_back(teacher);
    }
    return organization;
}

} // namespace

TEST(PdfRender, OnePagePerTileOfTheLaidOutChart)
{
    const Organization &sample = Organization::example();
    ChartPrintSettings settings;
    const ChartPrintPresentation presentation(sample, settings);
    const ChartPagination pagination(settings.layout(presentation.organization).size, settings);

    const QByteArray pdf = ChartPDFRenderer::render(sample, "Sample District", "Entire organization", settings, {});
    EXPECT_EQ(ChartPDFRasterizer::pageCount(pdf), static_cast<int>(pagination.tiles.size()));
    const QString text = allText(pdf);
    for (const char *expected : {"Robin Ashcroft", "Noel Brandt", "Quinn Okoro", "Lee Fairbanks", "Emery Nakamura",
                                 "Vacant", "Sample District", "Entire organization"})
        EXPECT_TRUE(text.contains(expected)) << expected;
}

TEST(PdfRender, PrintsThePresentationNotTheRawOrganization)
{
    ChartPrintSettings settings;
    settings.hideNames = true;
    settings.combineMatchingTitles = true;
    QString text = allText(ChartPDFRenderer::render(schoolWithVacancies(), "Sample District", "Scope", settings, {}));
    for (const char *expected : {"(x3)", "3 FTE", "Sample District", "Positions only"})
        EXPECT_TRUE(text.contains(expected)) << expected << " in " << text.toStdString();
    EXPECT_FALSE(text.contains("Quinn Okoro"));

    settings.hideNames = false;
    text = allText(ChartPDFRenderer::render(schoolWithVacancies(), "School", "Scope", settings, {}));
    EXPECT_FALSE(text.contains("(x3)"));
    EXPECT_EQ(text.count("Vacant"), 3);
}

TEST(PdfRender, PassesTheModelsErrorsOnUnchanged)
{
    Organization duplicated = schoolWithVacancies();
    duplicated.positions[2].id = "T1";
    EXPECT_EQ(errorOf(duplicated, ChartPrintSettings{}), "Position IDs must be unique.");

    ChartPrintSettings tiny;
    tiny.widthInches = 1;
    EXPECT_EQ(errorOf(schoolWithVacancies(), tiny),
              "Use paper dimensions from 2\u2013200 inches, a positive scale up to 400%, and a margin of at least "
              "0.25 inches.");

    ChartPrintSettings huge;
    huge.scalePercent = 400;
    huge.widthInches = 2;
    huge.heightInches = 2;
    EXPECT_EQ(errorOf(Organization::example(), huge), "Margins and overlap leave too little room on the page.");

    Organization wide = schoolWithVacancies();
    for (int i = 0; i < 600; ++i) {
        Position teacher = testPosition("W" + std::to_string(i), "Teacher", "");
        teacher.managerID = "A";
        wide.positions.push_back(teacher);
    }
    ChartPrintSettings large;
    large.scalePercent = 400;
    EXPECT_EQ(errorOf(wide, large), "This would create more than 500 pages. Reduce scale or increase paper size.");
}

namespace {

bool isInk(QRgb pixel)
{
    return qRed(pixel) > 200 && qGreen(pixel) > 110 && qGreen(pixel) < 190 && qBlue(pixel) < 80;
}

int inkPixels(const QImage &image)
{
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            count += isInk(image.pixel(x, y));
    return count;
}

} // namespace

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
    // The count shows as routing starts, then rises with every line.
    EXPECT_EQ(reports.size(), reports.back().second + 1);
    EXPECT_EQ(reports.front(), std::make_pair(size_t(0), reports.back().second));
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

TEST(ChartPainter, DrawsAChartSceneOnAnyPainter)
{
    const OrganizationArchive archive = OrganizationArchive::make("Sample", Organization::example());
    ChartSceneCache cache;
    const auto scene = cache.snapshot(archive, "", "", "", {}, {}, ChartPrintSettings{});
    const ChartLayout &layout = scene->layout();
    QImage image(int(layout.size.width), int(layout.size.height), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    QPainter painter(&image);
    PaintOptions options = PaintOptions::forSettings(ChartPrintSettings{});
    options.selectedID = "P005";
    options.style.highlightedInkWidth = 3.5;
    ChartPainter::paint(painter, *scene, options);
    painter.end();

    EXPECT_GT(inkPixels(image), 50);
    // Every card's outline is drawn where the layout put it.
    for (const ChartNode &node : layout.nodes) {
        const QRgb edge = image.pixel(int(node.frame.midX()), int(node.frame.minY()));
        EXPECT_FALSE(isWhite(edge)) << node.id;
    }
}

// A window draws the parts it repaints alone, each told what it shows; dashed runs are then
// cut to the part. Drawn part by part in odd tiles, at several zooms, the chart comes out
// exactly as drawn whole.
TEST(ChartPainter, PartsDrawnAloneMakeTheWholeDrawing)
{
    const OrganizationArchive archive = OrganizationArchive::make("Sample", Organization::example());
    ChartSceneCache cache;
    const auto scene = cache.snapshot(archive, "", "", "", {}, {}, ChartPrintSettings{});
    ASSERT_FALSE(scene->routes().empty());
    const Size size = scene->layout().size;
    for (const double scale : {1.0, 0.37, 0.8, 1.3, 2.5}) {
        const QSize pixels(int(size.width * scale) + 8, int(size.height * scale) + 8);
        const auto draw = [&](QImage &image, const QRect &part) {
            QPainter painter(&image);
            painter.setClipRect(part);
            painter.translate(3.5, 2.25);
            painter.scale(scale, scale);
            PaintOptions options = PaintOptions::forSettings(ChartPrintSettings{});
            options.selectedID = "P005";
            const QRectF shown = painter.transform().inverted().mapRect(QRectF(part));
            options.visibleRect = Rect{{shown.x(), shown.y()}, {shown.width(), shown.height()}};
            ChartPainter::paint(painter, *scene, options);
        };
        QImage whole(pixels, QImage::Format_ARGB32_Premultiplied);
        whole.fill(Qt::white);
        draw(whole, QRect(QPoint(), pixels));
        QImage inParts(pixels, QImage::Format_ARGB32_Premultiplied);
        inParts.fill(Qt::white);
        for (int y = 0; y < pixels.height(); y += 37)
            for (int x = 0; x < pixels.width(); x += 23)
                draw(inParts, QRect(x, y, 23, 37));
        if (scale >= 1) {
            EXPECT_GT(inkPixels(whole), 20) << scale;
        }
        EXPECT_EQ(inParts, whole) << scale;
    }
}
