#include "app/entry/quick_entry_grid_model.h"

#include "app_test_support.h"

#include <gtest/gtest.h>

using AppTest::person;

// The grid at its ends: its first and last rows, and a grid left with no new rows at all.

namespace {

std::vector<std::string> names(const QuickEntryGridModel &model)
{
    std::vector<std::string> result;
    for (const QuickEntryRow &row : model.rows())
        result.push_back(row.name);
    return result;
}

} // namespace

TEST(QuickEntryGridEdges, TheFirstAndTheLastRowAndAnEmptyGrid)
{
    const std::vector<Position> district{person("P1", "Ada Lovelace")};
    QuickEntryGridModel model("Student Services", district, {}, "");
    ASSERT_EQ(model.rows().size(), 8u);
    for (size_t i = 0; i < 8; ++i)
        model.setName(i, "Row " + std::to_string(i));

    model.removeRow(0);
    model.removeRow(model.rows().size() - 1);
    EXPECT_EQ(names(model), (std::vector<std::string>{"Row 1", "Row 2", "Row 3", "Row 4", "Row 5", "Row 6"}));
    EXPECT_EQ(model.rowCaption(0), "New person \u2014 IDs generated on save");

    // Emptied: the next row starts from the chart's name again, with no manager.
    for (size_t left = model.rows().size(); left > 0; --left)
        model.removeRow(left - 1);
    ASSERT_TRUE(model.rows().empty());
    EXPECT_FALSE(model.hasChanges());
    model.appendRow();
    ASSERT_EQ(model.rows().size(), 1u);
    EXPECT_EQ(model.rows().front().department, "Student Services");
    EXPECT_EQ(model.rows().front().manager, "");
    EXPECT_EQ(model.focusedName(), model.rows().front().id);
}

TEST(QuickEntryGridEdges, ChartRowsAtTheTopStayAndTheLastNewRowGoes)
{
    Position bo = person("P2", "Bo Chen", "P1");
    const std::vector<Position> district{person("P1", "Ada Lovelace"), bo};
    QuickEntryGridModel model("Student Services", district, district, "");
    const size_t total = model.rows().size();
    ASSERT_EQ(total, 8u);
    // People by last name: Chen, then Lovelace.
    EXPECT_EQ(model.rowCaption(0), "Position P2 \u00B7 Employee EP2");
    model.removeRow(0);
    EXPECT_EQ(model.rows().size(), total) << "a chart row is not removed";
    model.removeRow(total - 1);
    EXPECT_EQ(model.rows().size(), total - 1);
    EXPECT_EQ(model.rows()[0].name, "Bo Chen");
}
