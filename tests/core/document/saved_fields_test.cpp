#include "archive_test_support.h"

#include "core/document/archive_json.h"
#include "core/model/print_settings.h"

#include <gtest/gtest.h>

using namespace TestDocs;
using Json = nlohmann::json;

// Every stored field, each at a value of its own that is not its default: a field written
// under one key and read from another, or not read at all, cannot come back equal.

namespace {

// `n` shifts every number so that settings stored in different places differ too.
ChartPrintSettings unusualPrintSettings(double n)
{
    return ChartPrintSettings{.widthInches = 14 + n,
                              .heightInches = 8.25 + n,
                              .landscape = true,
                              .scalePercent = 63 + n,
                              .overlapInches = 0.4 + n,
                              .marginInches = 0.3 + n,
                              .hideNames = true,
                              .showPayLevel = true,
                              .showJobTitle = false,
                              .combineMatchingTitles = false,
                              .pageBalancedLayout = true};
}

Position unusualPosition()
{
    Position p = person("B", "A", "Bo Smith", "Level 4");
    p.setJobTitle("Head of Science");
    p.department = "Science";
    p.dottedManagerIDs = {"C"};
    p.location = "North Campus";
    p.fte = 0.75;
    p.schoolAssignments = {{"North", 0.5}, {"South", 0.25}};
    p.isAssistant = true;
    p.siblingOrder = -4;
    return p;
}

OrganizationSheet unusualSheet(const std::string &id, double n)
{
    OrganizationSheet s = sheet(id, "Sheet " + id, {"A", "B"});
    s.pageTitle = "Title of " + id;
    s.pageSubtitle = "Subtitle of " + id;
    s.printSettings = unusualPrintSettings(n);
    s.focusedDepartmentView = true;
    return s;
}

OrganizationArchive unusualDocument()
{
    OrganizationArchive a = archive({person("A"), unusualPosition(), vacancy("C", "A")});
    a.name = "Unusual District";
    a.pageTitle = "Page title";
    a.pageSubtitle = "Page subtitle";
    a.sheets = std::vector{unusualSheet("S1", 1)};
    a.printSettings = unusualPrintSettings(2);
    a.groups = std::vector{PositionGroup{"group-1", "Pair", {"B", "C"}}};
    a.checkpoint("First note");
    a.lockForPlanning();
    a.createProposal("Plan A");
    PlanningSnapshot &state = a.planning->proposals.front().state;
    state.name = "Proposal state";
    state.pageTitle = "Proposal title";
    state.pageSubtitle = "Proposal subtitle";
    state.printSettings = unusualPrintSettings(3);
    state.sheets = std::vector{unusualSheet("S1", 4)};
    state.organization.positions[1].location = "South Campus";
    return a;
}

} // namespace

TEST(SavedFields, PrintSettingsComeBackFieldByField)
{
    const ChartPrintSettings settings = unusualPrintSettings(0);
    EXPECT_EQ(PrintSettingsJson::decode(Json::parse(PrintSettingsJson::encode(settings).dump())), settings);

    // Written under the keys other copies of the program read.
    const Json written = Json::parse(R"({"widthInches": 14, "heightInches": 8.25, "landscape": true,
        "scalePercent": 63, "overlapInches": 0.4, "marginInches": 0.3, "hideNames": true, "showPayLevel": true,
        "showJobTitle": false, "combineMatchingTitles": false, "pageBalancedLayout": true})");
    EXPECT_EQ(PrintSettingsJson::encode(settings), written);
    EXPECT_EQ(PrintSettingsJson::decode(written), settings);
}

TEST(SavedFields, EveryFieldOfADocumentComesBack)
{
    const OrganizationArchive document = unusualDocument();
    ASSERT_TRUE(document.planning && document.planning->isLocked);
    ASSERT_EQ(document.revisions.size(), 1u);
    const OrganizationArchive read = OrganizationArchive::decode(document.encodeDocument());
    EXPECT_EQ(read, document);

    // Equality of the whole could hide a field the comparison leaves out: the parts one by one.
    EXPECT_EQ(read.name, "Unusual District");
    EXPECT_EQ(read.pageTitle, "Page title");
    EXPECT_EQ(read.pageSubtitle, "Page subtitle");
    EXPECT_EQ(read.printSettings, unusualPrintSettings(2));
    EXPECT_EQ(read.sheets, document.sheets);
    EXPECT_EQ(read.groups, document.groups);
    ASSERT_EQ(read.organization.positions.size(), 3u);
    EXPECT_EQ(read.organization.positions[1], unusualPosition());
    ASSERT_EQ(read.revisions.size(), 1u);
    EXPECT_EQ(*read.revisions[0], *document.revisions[0]);
    EXPECT_EQ(read.revisions[0]->note, "First note");
    ASSERT_TRUE(read.planning);
    EXPECT_EQ(read.planning->lockedAt, document.planning->lockedAt);
    EXPECT_TRUE(read.planning->isLocked);
    EXPECT_EQ(read.planning->baseline, document.planning->baseline);
    ASSERT_EQ(read.planning->proposals.size(), 1u);
    EXPECT_EQ(read.planning->proposals[0], document.planning->proposals[0]);
    EXPECT_EQ(read.planning->proposals[0].state.printSettings, unusualPrintSettings(3));
    EXPECT_EQ(read.planning->proposals[0].state.sheets->front().printSettings, unusualPrintSettings(4));
}
