#include "app/chart/reporting_callout_view.h"

#include "core/model/chart_annotations.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QLabel>
#include <QPainter>
#include <QWidget>

namespace {

ReportingCallout threeManagers()
{
    return ReportingCallout{{{"P1", "Ada Lovelace", "Principal", {}},
                             {"P2", std::nullopt, "Dean", {}},
                             {"P3", "Alan Turing", "Coordinator", {}}},
                            "P1"};
}

TEST(ReportingCalloutView, TooltipListsEveryManager)
{
    EXPECT_EQ(ReportingCalloutView::tooltip(threeManagers(), false),
              "Primary: Ada Lovelace \u2014 Principal\nAdditional: Dean\nAdditional: Alan Turing \u2014 Coordinator");
    EXPECT_EQ(ReportingCalloutView::tooltip(threeManagers(), true),
              "Primary: Principal\nAdditional: Dean\nAdditional: Coordinator");
    ReportingCallout noPrimary = threeManagers();
    noPrimary.primaryManagerID.reset();
    EXPECT_TRUE(ReportingCalloutView::tooltip(noPrimary, true).startsWith("Additional: Principal"));
}

TEST(ReportingCalloutView, PopoverShowsTheListToCopy)
{
    QWidget owner;
    QFrame *popover = ReportingCalloutView::showDetails(threeManagers(), true, QRect(10, 10, 100, 1), &owner);
    ASSERT_NE(popover, nullptr);
    EXPECT_TRUE(popover->isVisible());
    EXPECT_LE(popover->width(), 360);
    QStringList texts;
    for (const QLabel *label : popover->findChildren<QLabel *>())
        texts.append(label->text());
    ASSERT_EQ(texts.size(), 3);
    EXPECT_EQ(texts[0], "Multiple reporting relationships");
    EXPECT_EQ(texts[1], "Primary: Principal\nAdditional: Dean\nAdditional: Coordinator");
    EXPECT_EQ(texts[2], "Some managers may be outside this chart. A group callout lists relationships across its "
                        "members.");
    const auto *details = popover->findChild<QLabel *>("details");
    EXPECT_TRUE(details->textInteractionFlags() & Qt::TextSelectableByMouse);
    popover->close();
}

TEST(ReportingCalloutView, LongSummaryStaysOnOneLine)
{
    ReportingCallout many = threeManagers();
    for (int i = 0; i < 200; ++i)
        many.managers.push_back({"X" + std::to_string(i), "Someone", "Aide", {}});
    QImage image(200, 60, QImage::Format_ARGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    ReportingCalloutView::paintBadge(painter, Rect::make(10, 20, 120, 17), many);
    painter.end();
    // Nothing is drawn below or right of the badge.
    for (int y = 40; y < 60; ++y) {
        for (int x = 0; x < 200; ++x)
            ASSERT_EQ(image.pixelColor(x, y), QColor(Qt::white)) << x << "," << y;
    }
    for (int x = 131; x < 200; ++x)
        ASSERT_EQ(image.pixelColor(x, 28), QColor(Qt::white)) << x;
    // Orange text on the tint.
    bool orange = false;
    for (int x = 10; x < 130 && !orange; ++x) {
        const QColor pixel = image.pixelColor(x, 28);
        orange = pixel.red() > 200 && pixel.blue() < 120;
    }
    EXPECT_TRUE(orange);
}

} // namespace
