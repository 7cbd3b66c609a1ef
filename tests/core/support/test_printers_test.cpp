#include "core/chart/chart_layout.h"
#include "core/model/organization.h"

#include <gtest/gtest.h>

using ::testing::PrintToString;

// A failing comparison names the values in words, not as the objects' raw bytes.
TEST(TestPrinters, CoreValuesReadPlainly)
{
    EXPECT_EQ(PrintToString(Rect::make(1, 2, 3.5, 4)), "(1, 2) 3.5 x 4");
    EXPECT_EQ(PrintToString(ChartNode{"P1", Rect::make(0, 0, 10, 20)}), "P1 at (0, 0) 10 x 20");
    EXPECT_EQ(PrintToString(ChartEdge{"P1", "P2", true}), "P2 ..> P1");

    Position position{.id = "P2", .title = "Teacher", .department = "Science", .managerID = "P1", .fte = 0.5};
    EXPECT_EQ(PrintToString(position), "{P2 \"Teacher\" in \"Science\", vacant, manager P1, fte 0.5}");
    position.employee = Employee{"E2", "Ada"};
    EXPECT_EQ(PrintToString(Organization{{position}}),
              "1 positions:\n  {P2 \"Teacher\" in \"Science\", \"Ada\" (E2), manager P1, fte 0.5}");
}
