#include "printing/chart_screen_card.h"

#include "core/model/organization.h"
#include "printing/chart_text.h"
#include "printing_test_support.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>

namespace {

using ChartScreenCard::Layout;

const Rect frame = Rect::make(0, 0, 240, 150);

// Draws one card at twice its size and counts the pixels of `colour` inside `area`.
int pixelsNear(const Position &position, const ChartScreenCard::State &state, const ChartScreenCard::Look &look,
               const QRectF &area, const QColor &colour)
{
    QImage image(480, 300, QImage::Format_ARGB32);
    image.fill(Qt::white);
    {
        QPainter painter(&image);
        painter.scale(2, 2);
        ChartScreenCard::paint(painter, frame, position, state, look);
    }
    int count = 0;
    const QRect pixels = QRectF(area.x() * 2, area.y() * 2, area.width() * 2, area.height() * 2).toAlignedRect();
    for (int y = pixels.top(); y <= pixels.bottom(); ++y) {
        for (int x = pixels.left(); x <= pixels.right(); ++x) {
            const QColor seen = image.pixelColor(x, y);
            // Antialiased glyphs: close in hue and clearly coloured.
            if (std::abs(seen.hue() - colour.hue()) < 15 && seen.saturation() > 80)
                ++count;
        }
    }
    return count;
}

Position occupied()
{
    Position position;
    position.id = "P1";
    position.title = "Teacher";
    position.department = "Instruction";
    position.location = "Oak Elementary";
    position.employee = Employee{"E1", "Ada Lovelace"};
    return position;
}

TEST(ScreenCard, RowsTakeTheirColours)
{
    const ChartScreenCard::State state;
    const ChartScreenCard::Look look;
    Position vacant = occupied();
    vacant.employee.reset();
    Position assistant = occupied();
    assistant.isAssistant = true;
    Position group = occupied();
    group.groupMemberCount = 3;

    const Layout plain = ChartScreenCard::layout(frame, occupied(), state, look);
    // A name is black; "Vacant" is orange.
    EXPECT_EQ(pixelsNear(occupied(), state, look, plain.nameRow, ChartScreenCard::orange), 0);
    EXPECT_GT(pixelsNear(vacant, state, look, ChartScreenCard::layout(frame, vacant, state, look).nameRow,
                         ChartScreenCard::orange),
              20);
    // "ASSISTANT · " and its department are purple; a plain department is grey.
    EXPECT_EQ(pixelsNear(occupied(), state, look, plain.department, ChartScreenCard::purple), 0);
    EXPECT_GT(pixelsNear(assistant, state, look, ChartScreenCard::layout(frame, assistant, state, look).department,
                         ChartScreenCard::purple),
              20);
    // "POSITION GROUP" is blue, also with names hidden, and the group's button sits in the
    // bottom row.
    ChartScreenCard::Look hidden = look;
    hidden.hideNames = true;
    const Layout grouped = ChartScreenCard::layout(frame, group, state, hidden);
    EXPECT_FALSE(grouped.nameRow.isNull());
    EXPECT_GT(pixelsNear(group, state, hidden, grouped.nameRow, ChartScreenCard::blue), 20);
    ASSERT_TRUE(grouped.expandGroup);
    EXPECT_GE(grouped.expandGroup->minY(), grouped.bottomRow.top());
    EXPECT_LT(grouped.expandGroup->maxX(), grouped.location.left() + 1);
}

TEST(ScreenCard, BottomRowHoldsToggleLocationChartsAndCount)
{
    ChartScreenCard::State state;
    state.hasReports = true;
    state.linkedSheetNames = {"Science", "Arts"};
    state.count = 3;
    const ChartScreenCard::Look look;
    const Layout placed = ChartScreenCard::layout(frame, occupied(), state, look);
    ASSERT_TRUE(placed.branchToggle && placed.linkedSheets);
    // Left to right, all on one row: toggle, location, other charts, count.
    EXPECT_LE(placed.branchToggle->maxX(), placed.location.left());
    EXPECT_LE(placed.location.right(), placed.linkedSheets->minX());
    EXPECT_LE(placed.linkedSheets->maxX(), placed.count.left());
    EXPECT_LE(placed.linkedSheets->size.width, 110);
    for (double top : {placed.branchToggle->midY(), placed.linkedSheets->midY(), placed.count.center().y()})
        EXPECT_TRUE(placed.bottomRow.top() <= top && top <= placed.bottomRow.bottom());

    // A split position draws the branch symbol instead of the building.
    Position split = occupied();
    split.schoolAssignments = {{"Oak", 0.5}, {"Elm", 0.5}};
    const auto symbol = [&](const Position &position) {
        QImage image(240, 150, QImage::Format_ARGB32);
        image.fill(Qt::white);
        QPainter painter(&image);
        ChartScreenCard::paint(painter, frame, position, {}, look);
        const Layout at = ChartScreenCard::layout(frame, position, {}, look);
        return image.copy(QRectF(at.location.left(), at.location.top(), 12, at.location.height()).toAlignedRect());
    };
    EXPECT_NE(symbol(split), symbol(occupied()));
}

// An absurd FTE from a file is cut short with "…" and stays inside its card, beside a job
// title that keeps its room; a real one is written whole.
TEST(ScreenCard, AnAbsurdFteStaysInsideTheCard)
{
    Position absurd = occupied();
    absurd.fte = 1e308;
    const Layout placed = ChartScreenCard::layout(frame, absurd, {}, {});
    EXPECT_GE(placed.fte.left(), frame.minX() + 10);
    EXPECT_LE(placed.fte.right(), frame.maxX());
    EXPECT_GT(placed.jobTitle.width(), 100);
    EXPECT_EQ(ChartText::fte(1e308, QLocale::c()), QStringLiteral("100000000\u2026"));
    EXPECT_EQ(ChartText::fte(999.875, QLocale::c()), "999.875");
    EXPECT_EQ(ChartText::fte(1000, QLocale::c()), "1000");
}

// Zoomed far out the card keeps its face and outline but drops texts too small to read;
// from half size the texts are drawn.
TEST(ScreenCard, FarOutCardsDrawOnlyTheirFace)
{
    Position vacant = occupied();
    vacant.employee.reset();
    // Pixels inside the card's face (clear of its outline) that are not plain white, and
    // how many of them are the orange of "Vacant".
    const auto drawn = [&](double scale) {
        QImage image(240, 150, QImage::Format_ARGB32);
        image.fill(Qt::gray);
        QPainter painter(&image);
        painter.scale(scale, scale);
        ChartScreenCard::paint(painter, frame, vacant, {}, ChartScreenCard::Look{});
        EXPECT_EQ(painter.worldTransform(), QTransform::fromScale(scale, scale)); // left as it came
        painter.end();
        int marked = 0;
        int orange = 0;
        for (int y = 2; y < int(150 * scale) - 2; ++y) {
            for (int x = 2; x < int(240 * scale) - 2; ++x) {
                const QColor seen = image.pixelColor(x, y);
                marked += seen != QColor(Qt::white);
                orange += std::abs(seen.hue() - 30) < 15 && seen.saturation() > 80;
            }
        }
        return std::pair{marked, orange};
    };
    EXPECT_EQ(drawn(0.1).first, 0);
    EXPECT_GT(drawn(0.5).second, 0); // "Vacant"
}

// The card's text as a PDF reader extracts it, without white space: the reader spaces
// glyphs set with design metrics apart.
QString cardText(const Position &position, const ChartScreenCard::State &state, const ChartScreenCard::Look &look)
{
    return paintedText([&](QPainter &painter) { ChartScreenCard::paint(painter, frame, position, state, look); })
        .remove(QLatin1Char(' '));
}

// Optional rows appear only when asked for, each in its place: pay level under the
// department, the count at the bottom right, the primary manager under the bottom row.
TEST(ScreenCard, OptionalRowsShowTheirText)
{
    const ChartScreenCard::State single;
    const ChartScreenCard::Look look;
    EXPECT_FALSE(cardText(occupied(), single, look).contains("PayLevel"));
    EXPECT_TRUE(ChartScreenCard::layout(frame, occupied(), single, look).payLevel.isNull());
    ChartScreenCard::Look withPay = look;
    withPay.showPayLevel = true;
    const Layout paid = ChartScreenCard::layout(frame, occupied(), single, withPay);
    ASSERT_FALSE(paid.payLevel.isNull());
    EXPECT_GE(paid.payLevel.top(), paid.department.bottom());
    EXPECT_LE(paid.payLevel.bottom(), paid.bottomRow.top());
    EXPECT_TRUE(cardText(occupied(), single, withPay).contains("PayLevel:Teacher"));

    // One position has no count; several show theirs.
    EXPECT_FALSE(cardText(occupied(), single, look).contains("(x"));
    ChartScreenCard::State several;
    several.count = 12;
    EXPECT_TRUE(cardText(occupied(), several, look).contains("(x12)"));

    Position managed = occupied();
    managed.primaryManagerReference = PrimaryManagerReference{"P9", "Grace Hopper", "Principal", {}};
    const Layout referenced = ChartScreenCard::layout(frame, managed, single, look);
    ASSERT_TRUE(referenced.managerReference);
    EXPECT_GE(referenced.managerReference->minY(), referenced.bottomRow.bottom());
    const QString named = cardText(managed, single, look);
    EXPECT_TRUE(named.contains("Primary:GraceHopper")) << named.toStdString();
    ChartScreenCard::Look hidden = look;
    hidden.hideNames = true;
    const QString titled = cardText(managed, single, hidden);
    EXPECT_TRUE(titled.contains("Primary:Principal")) << titled.toStdString();
    EXPECT_FALSE(titled.contains("Grace")) << titled.toStdString();
    EXPECT_FALSE(cardText(occupied(), single, look).contains("Primary:"));
}

// A card a few pixels high is a speck: its face in the look's background, tinted for an
// assistant and for a proposal change, and nothing drawn outside it.
TEST(ScreenCard, SpecksKeepTheirFaceAndTints)
{
    const auto centreAndCorner = [](const Position &position) {
        QImage image(40, 40, QImage::Format_ARGB32);
        image.fill(Qt::black);
        QPainter painter(&image);
        painter.translate(10, 10);
        painter.scale(0.04, 0.04); // the 240 x 150 card is about 10 x 6 pixels
        ChartScreenCard::paint(painter, frame, position, {}, ChartScreenCard::Look{.background = Qt::white});
        EXPECT_EQ(painter.worldTransform(), QTransform(0.04, 0, 0, 0.04, 10, 10)); // left as it came
        painter.end();
        return std::pair{image.pixelColor(14, 12), image.pixelColor(30, 30)};
    };
    EXPECT_EQ(centreAndCorner(occupied()).first, QColor(Qt::white));
    EXPECT_EQ(centreAndCorner(occupied()).second, QColor(Qt::black));
    Position assistant = occupied();
    assistant.isAssistant = true;
    const QColor tinted = centreAndCorner(assistant).first;
    EXPECT_NE(tinted, QColor(Qt::white));
    EXPECT_GT(tinted.blue(), tinted.green());
    Position added = occupied();
    added.proposalChange = ProposalChangeKind::added;
    const QColor green = centreAndCorner(added).first;
    EXPECT_GT(green.green(), green.red());
}

// The window draws specks without working out their state: a speck must look the same
// whatever the state, and a card just large enough must not count as one.
TEST(ScreenCard, SpecksDoNotDependOnTheCardsState)
{
    const auto image = [](double scale, const ChartScreenCard::State &state, bool *speck = nullptr) {
        QImage made(80, 80, QImage::Format_ARGB32);
        made.fill(Qt::black);
        QPainter painter(&made);
        painter.translate(10, 10);
        painter.scale(scale, scale);
        if (speck)
            *speck = ChartScreenCard::isSpeck(painter, frame);
        ChartScreenCard::paint(painter, frame, occupied(), state, ChartScreenCard::Look{.background = Qt::white});
        painter.end();
        return made;
    };
    const ChartScreenCard::State busy{.count = 40, .hasReports = true, .branchExpanded = false,
                                      .linkedSheetNames = {"Other"}, .selected = true};
    bool speck = false;
    EXPECT_EQ(image(0.039, busy, &speck), image(0.039, {}));
    EXPECT_TRUE(speck);
    EXPECT_NE(image(0.3, busy, &speck), image(0.3, {}));
    EXPECT_FALSE(speck);
}

} // namespace
