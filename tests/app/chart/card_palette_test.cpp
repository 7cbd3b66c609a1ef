#include "app/chart/chart_canvas.h"
#include "app/chart/chart_view.h"
#include "app/shell/organization_document.h"
#include "printing/chart_screen_card.h"

#include "chart_fixtures.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QPalette>

#include <algorithm>
#include <cmath>

using namespace AppTest;

namespace {

// Relative luminance and contrast ratio as accessibility guidelines measure them.
double luminance(const QColor &colour)
{
    const auto linear = [](double channel) {
        return channel <= 0.03928 ? channel / 12.92 : std::pow((channel + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * linear(colour.redF()) + 0.7152 * linear(colour.greenF()) + 0.0722 * linear(colour.blueF());
}

double contrast(const QColor &a, const QColor &b)
{
    const double la = luminance(a);
    const double lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

QPalette darkPalette()
{
    QPalette palette;
    palette.setColor(QPalette::Window, QColor(53, 53, 53));
    palette.setColor(QPalette::WindowText, Qt::white);
    palette.setColor(QPalette::Base, QColor(35, 35, 35));
    palette.setColor(QPalette::Text, Qt::white);
    palette.setColor(QPalette::PlaceholderText, QColor(160, 160, 160));
    palette.setColor(QPalette::Highlight, QColor(42, 130, 218));
    return palette;
}

QPalette lightPalette()
{
    QPalette palette;
    palette.setColor(QPalette::Window, QColor(239, 239, 239));
    palette.setColor(QPalette::WindowText, Qt::black);
    palette.setColor(QPalette::Base, Qt::white);
    palette.setColor(QPalette::Text, Qt::black);
    palette.setColor(QPalette::PlaceholderText, QColor(128, 128, 128));
    palette.setColor(QPalette::Highlight, QColor(48, 140, 198));
    return palette;
}

class CardPalette : public ChartViewFixture, public ::testing::WithParamInterface<bool> {};

// The strongest contrast against the card's fill inside a row: the row's text at its most
// solid, as the eye reads it.
double rowContrast(const QImage &shot, const ChartCanvas &canvas, const QRectF &row, const QColor &fill)
{
    const QRect shown = canvas.viewRect(Rect::make(row.x(), row.y(), row.width(), row.height()));
    double best = 1;
    for (int y = shown.top(); y <= shown.bottom(); ++y) {
        for (int x = shown.left(); x <= shown.right(); ++x)
            best = std::max(best, contrast(shot.pixelColor(x, y), fill));
    }
    return best;
}

// Card texts read on the desktop's palette, light or dark: the job title, name and FTE
// well, the department and location as quieter but still legible text.
TEST_P(CardPalette, CardTextsAreReadableOnThePalette)
{
    const QPalette palette = GetParam() ? darkPalette() : lightPalette();
    document.setArchive(OrganizationArchive::make("Sample", Organization::example()));
    ChartCanvas canvas(view);
    canvas.setPalette(palette);
    canvas.resize(1200, 800);
    canvas.show();
    settle();
    ASSERT_NE(canvas.scene(), nullptr);
    ASSERT_GE(view.zoom(), 0.9) << "text large enough to measure";
    const QImage shot = canvas.grab().toImage();
    const QColor fill = palette.color(QPalette::Base);
    const ChartScreenCard::Look look = ChartCanvas::screenCardLook(view.printSettings(), palette);
    for (const ChartNode &node : canvas.scene()->layout().nodes) {
        const Position &position = *canvas.scene()->position(node.id);
        ChartScreenCard::State state;
        state.hasReports = canvas.scene()->hasReports(node.id);
        const ChartScreenCard::Layout rows = ChartScreenCard::layout(node.frame, position, state, look);
        EXPECT_GE(rowContrast(shot, canvas, rows.jobTitle, fill), 4.5) << node.id << " job title";
        EXPECT_GE(rowContrast(shot, canvas, rows.fte, fill), 4.5) << node.id << " FTE";
        if (position.employee) {
            EXPECT_GE(rowContrast(shot, canvas, rows.nameRow, fill), 4.5) << node.id << " name";
        }
        EXPECT_GE(rowContrast(shot, canvas, rows.department, fill), 3.0) << node.id << " department";
        EXPECT_GE(rowContrast(shot, canvas, rows.location, fill), 3.0) << node.id << " location";
    }
}

INSTANTIATE_TEST_SUITE_P(LightAndDark, CardPalette, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool> &info) { return info.param ? "Dark" : "Light"; });

} // namespace
