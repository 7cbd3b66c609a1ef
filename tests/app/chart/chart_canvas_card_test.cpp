#include "app/chart/chart_canvas_card.h"

#include "core/model/organization.h"

#include <gtest/gtest.h>

namespace {

using Part = ChartCanvasCard::Part;

const Rect frame = Rect::make(100, 200, 240, 160);

Point centre(const std::optional<Rect> &rect)
{
    return Point{rect->midX(), rect->midY()};
}

TEST(ChartCanvasCard, ControlsOnlyWhereTheyApply)
{
    Position plain;
    const ChartCanvasCard::Controls none = ChartCanvasCard::controls(frame, plain, {}, {});
    EXPECT_FALSE(none.expandGroup || none.branchToggle || none.linkedSheets || none.managerReference || none.callout);
    EXPECT_EQ(ChartCanvasCard::hit(none, Point{200, 250}), Part::card);

    Position group;
    group.groupMemberCount = 3;
    group.primaryManagerReference = PrimaryManagerReference{"P1", "Ada", "Principal", {}};
    group.reportingCallout = ReportingCallout{{{"P1", "Ada", "Principal", {}}, {"P2", {}, "Dean", {}}}, "P1"};
    ChartCanvasCard::State state;
    state.hasReports = true;
    state.linkedSheetNames = {"Oak", "Maple"};
    const ChartCanvasCard::Controls all = ChartCanvasCard::controls(frame, group, state, {});
    EXPECT_EQ(ChartCanvasCard::hit(all, centre(all.expandGroup)), Part::expandGroup);
    EXPECT_EQ(ChartCanvasCard::hit(all, centre(all.branchToggle)), Part::branchToggle);
    EXPECT_EQ(ChartCanvasCard::hit(all, centre(all.linkedSheets)), Part::linkedSheets);
    EXPECT_EQ(ChartCanvasCard::hit(all, centre(all.managerReference)), Part::managerReference);
    EXPECT_EQ(ChartCanvasCard::hit(all, centre(all.callout)), Part::callout);
    // The group's button stands left of the branch toggle.
    EXPECT_LT(all.expandGroup->maxX(), all.branchToggle->minX());
    // The chip keeps to 110 points and stays inside the card.
    EXPECT_LE(all.linkedSheets->width(), 110);
    EXPECT_LE(all.linkedSheets->maxX(), frame.maxX() - 10);
    // The badge lies inside the card, below the manager reference.
    EXPECT_GE(all.callout->minY(), all.managerReference->maxY());
    EXPECT_LE(all.callout->maxY(), frame.maxY());
    EXPECT_GE(all.callout->minX(), frame.minX());
    EXPECT_LE(all.callout->maxX(), frame.maxX());
}

TEST(ChartCanvasCard, HelpTexts)
{
    Position position;
    position.groupMemberCount = 2;
    position.primaryManagerReference = PrimaryManagerReference{"P1", "Ada", "Principal", {}};
    position.reportingCallout = ReportingCallout{{{"P1", "Ada", "Principal", {}}, {"P2", {}, "Dean", {}}}, "P1"};
    ChartCanvasCard::State state;
    state.hasReports = true;
    state.linkedSheetNames = {"Oak", "Maple"};
    const ChartCanvasCard::Controls controls = ChartCanvasCard::controls(frame, position, state, {});
    const auto help = [&](const std::optional<Rect> &rect, bool hideNames = false) {
        return ChartCanvasCard::toolTip(controls, centre(rect), position, state, hideNames);
    };
    EXPECT_EQ(help(controls.expandGroup), "Expand group to see individual people");
    EXPECT_EQ(help(controls.branchToggle), "Expand or collapse this branch");
    EXPECT_EQ(help(controls.linkedSheets), "Also on: Oak, Maple");
    EXPECT_EQ(help(controls.managerReference),
              "Open the primary manager\u2019s chart. Reporting relationships have not changed.");
    EXPECT_EQ(help(controls.callout, true), "Primary: Principal\nAdditional: Dean");
    EXPECT_EQ(ChartCanvasCard::toolTip(controls, Point{frame.minX() + 20, frame.minY() + 20}, position, state, false),
              "");
}

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
