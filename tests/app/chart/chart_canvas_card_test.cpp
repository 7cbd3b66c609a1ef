#include "app/chart/chart_canvas_card.h"

#include "core/model/organization.h"

#include <gtest/gtest.h>

namespace {

using Part = ChartCanvasCard::Part;

TEST(ChartCanvasCard, EachControlTakesItsOwnClicksAndHelp)
{
    const Rect frame = Rect::make(100, 200, 240, 160);
    EXPECT_EQ(ChartCanvasCard::hit(ChartCanvasCard::controls(frame, Position{}, {}, {}), Point{200, 250}), Part::card);

    Position group;
    group.groupMemberCount = 3;
    group.primaryManagerReference = PrimaryManagerReference{"P1", "Ada", "Principal", {}};
    group.reportingCallout = ReportingCallout{{{"P1", "Ada Lovelace", "Principal", {}},
                                               {"P2", {}, "Dean", {}},
                                               {"P3", "Alan Turing", "Coordinator", {}}},
                                              "P1"};
    ChartCanvasCard::State state;
    state.hasReports = true;
    state.linkedSheetNames = {"Oak", "Maple"};
    const ChartCanvasCard::Controls all = ChartCanvasCard::controls(frame, group, state, {});
    const struct {
        std::optional<Rect> rect;
        Part part;
        QString help;
    } cases[] = {
        {all.linkedSheets, Part::linkedSheets, "Also on: Oak, Maple"},
        {all.managerReference, Part::managerReference,
         "Open the primary manager\u2019s chart. Reporting relationships have not changed."},
        {all.callout, Part::callout, "Primary: Principal\nAdditional: Dean\nAdditional: Coordinator"},
    };
    for (const auto &c : cases) {
        ASSERT_TRUE(c.rect) << c.help.toStdString();
        const Point centre{c.rect->midX(), c.rect->midY()};
        EXPECT_EQ(ChartCanvasCard::hit(all, centre), c.part);
        EXPECT_EQ(ChartCanvasCard::toolTip(all, centre, group, state, true), c.help);
    }
}

} // namespace
