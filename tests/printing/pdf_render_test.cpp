#include "printing_test_support.h"

#include "core/chart_print_presentation.h"
#include "printing/chart_pdf_rasterizer.h"
#include "printing/chart_pdf_renderer.h"

#include <gtest/gtest.h>

namespace {

// Three vacant teachers under one principal.
Organization schoolWithVacancies()
{
    Organization organization;
    organization.positions.push_back(testPosition("A", "Principal", "Quinn Okoro"));
    for (int i = 0; i < 3; ++i) {
        Position teacher = testPosition("T" + std::to_string(i), "Teacher", "");
        teacher.managerID = "A";
        organization.positions.push_back(teacher);
    }
    return organization;
}

QString allText(const Organization &organization, const ChartPrintSettings &settings)
{
    return pageTexts(ChartPDFRenderer::render(organization, "Sample District", "Scope", settings, {})).join(' ');
}

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

TEST(PdfRender, OnePagePerTileOfTheLaidOutChart)
{
    const Organization &sample = Organization::example();
    const ChartPrintSettings settings;
    const ChartPrintPresentation presentation(sample, settings);
    const ChartPagination pagination(settings.layout(presentation.organization).size, settings);

    const QByteArray pdf = ChartPDFRenderer::render(sample, "Sample District", "Entire organization", settings, {});
    EXPECT_EQ(ChartPDFRasterizer::pageCount(pdf), static_cast<int>(pagination.tiles.size()));
    const QString text = pageTexts(pdf).join(' ');
    for (const char *expected : {"Robin Ashcroft", "Emery Nakamura", "Vacant", "Sample District", "Entire organization"})
        EXPECT_TRUE(text.contains(expected)) << expected;
}

// Hidden names and combined titles merge the vacant teachers into one card.
TEST(PdfRender, PrintsThePresentationNotTheRawOrganization)
{
    ChartPrintSettings settings;
    settings.hideNames = true;
    settings.combineMatchingTitles = true;
    const QString text = allText(schoolWithVacancies(), settings);
    EXPECT_TRUE(text.contains("(x3)")) << text.toStdString();
    EXPECT_TRUE(text.contains("3 FTE"));
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
