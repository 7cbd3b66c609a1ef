#include "core/chart_print_presentation.h"
#include "core/print_settings.h"

#include "chart_test_support.h"
#include "position_ids.h"

#include <gtest/gtest.h>

using namespace ChartTest;

namespace {

ChartPrintSettings collapsed()
{
    ChartPrintSettings settings;
    settings.setCollapseToPosition(true);
    return settings;
}

Position peer(std::string id, std::string jobTitle, double fte = 1)
{
    Position p = position(std::move(id), "M");
    p.setJobTitle(std::move(jobTitle));
    p.fte = fte;
    return p;
}

// A manager with three vacant peers whose job titles differ only in case and blanks.
Organization threePeers()
{
    return Organization{{filled(position("M"), "1", "Mo Manager"), peer("P3", "counselor ", 0.5),
                         peer("P1", "Counselor", 1), peer("P2", " COUNSELOR", 0.25)}};
}

} // namespace

TEST(ChartPrintPresentation, WithoutCollapsingEveryPositionIsACard)
{
    Organization org = threePeers();
    org.positions[1].groupMemberCount = 4;
    const ChartPrintPresentation shown(org, ChartPrintSettings{});
    EXPECT_EQ(shown.organization, org.withReportingCallouts());
    EXPECT_EQ(shown.counts, (std::unordered_map<std::string, int64_t>{{"P3", 4}}));
    EXPECT_EQ(shown.positionIDs.at("P2"), "P2");
    EXPECT_EQ(shown.vacantCounts.at("M"), 0);

    ChartPrintSettings namesHidden;
    namesHidden.hideNames = true;
    namesHidden.combineMatchingTitles = false;
    org.positions[1].schoolAssignments = {{"North", 0.5}};
    const ChartPrintPresentation hidden(org, namesHidden);
    EXPECT_EQ(idsOf(hidden.organization), (std::vector<std::string>{"M", "P1", "P2", "P3"}));
    for (const Position &card : hidden.organization.positions) {
        EXPECT_FALSE(card.employee);
        EXPECT_TRUE(card.schoolAssignments.empty());
    }
}

TEST(ChartPrintPresentation, MatchingPeersCollapseIntoOneCard)
{
    const ChartPrintPresentation p(threePeers(), collapsed());
    EXPECT_EQ(idsOf(p.organization), (std::vector<std::string>{"M", "P1"}));
    const Position &card = p.organization.positions[1];
    EXPECT_EQ(card.jobTitle(), "Counselor");
    EXPECT_DOUBLE_EQ(card.fte, 1.75);
    EXPECT_EQ(p.counts.at("P1"), 3);
    EXPECT_EQ(p.vacantCounts.at("P1"), 3);
    for (const char *id : {"P1", "P2", "P3"})
        EXPECT_EQ(p.positionIDs.at(id), "P1");
}

TEST(ChartPrintPresentation, PeersThatDifferStaySeparate)
{
    struct Case {
        const char *what;
        void (*change)(Position &);
        bool showPayLevel;
    };
    const Case cases[] = {
        {"filled", [](Position &p) { p.employee = Employee{"9", "Nia"}; }, false},
        {"school rows", [](Position &p) { p.schoolAssignments = {{"North", p.fte}}; }, false},
        {"pay level shown", [](Position &p) { p.setPayLevel("Grade 9"); }, true},
    };
    for (const Case &c : cases) {
        Organization org = threePeers();
        c.change(org.positions[3]); // P2
        ChartPrintSettings settings = collapsed();
        settings.showPayLevel = c.showPayLevel;
        const ChartPrintPresentation p(org, settings);
        EXPECT_EQ(idsOf(p.organization), (std::vector<std::string>{"M", "P1", "P2"})) << c.what;
        EXPECT_EQ(p.counts.at("P1"), 2) << c.what;
    }
    Organization hiddenPay = threePeers();
    hiddenPay.positions[3].setPayLevel("Grade 9");
    EXPECT_EQ(ChartPrintPresentation(hiddenPay, collapsed()).organization.positions.size(), 2u);
    const Organization roots{{position("R1"), position("R2")}}; // roots never merge
    EXPECT_EQ(idsOf(ChartPrintPresentation(roots, collapsed()).organization), (std::vector<std::string>{"R1", "R2"}));
}

// Reports of merged peers gather under the merged card; they merge only with reports of
// the same original manager.
TEST(ChartPrintPresentation, ChildrenOfMergedPeers)
{
    Organization org = threePeers();
    for (const auto &[id, manager] : {std::pair{"C-a", "P1"}, {"C-b", "P2"}, {"C-c", "P2"}}) {
        org.positions.push_back(position(id, manager));
        org.positions.back().setJobTitle("Aide");
    }
    const ChartPrintPresentation p(org, collapsed());
    EXPECT_EQ(idsOf(p.organization), (std::vector<std::string>{"M", "P1", "C-a", "C-b"}));
    EXPECT_EQ(p.organization.positions[2].managerID, "P1");
    EXPECT_EQ(p.organization.positions[3].managerID, "P1");
    EXPECT_EQ(p.counts.at("C-b"), 2);
}

// Dotted lines point at cards, sorted, never at the card itself or its manager; different
// dotted managers keep peers apart, equal ones merge.
TEST(ChartPrintPresentation, DottedLinesPointAtCards)
{
    Organization org = threePeers();
    org.positions.insert(org.positions.end(), {position("D"), position("E")});
    org.positions[1].dottedManagerIDs = {"D", "M"}; // P3
    org.positions[2].dottedManagerIDs = {"P2", "D"}; // P1
    org.positions[3].dottedManagerIDs = {"E", "D"};  // P2
    const ChartPrintPresentation p(org, collapsed());
    EXPECT_EQ(positionIn(p.organization, "P1").dottedManagerIDs, (std::vector<std::string>{"D", "P2"}));
    EXPECT_EQ(positionIn(p.organization, "P2").dottedManagerIDs, (std::vector<std::string>{"D", "E"}));
    EXPECT_EQ(positionIn(p.organization, "P3").dottedManagerIDs, std::vector<std::string>{"D"});

    for (size_t i = 1; i <= 3; ++i)
        org.positions[i].dottedManagerIDs = {"D"};
    const ChartPrintPresentation united(org, collapsed());
    EXPECT_EQ(idsOf(united.organization), (std::vector<std::string>{"D", "E", "M", "P1"}));
    EXPECT_EQ(positionIn(united.organization, "P1").dottedManagerIDs, std::vector<std::string>{"D"});
}

TEST(ChartPrintPresentation, InvalidAndVeryDeep)
{
    Organization broken = threePeers();
    broken.positions[1].managerID = "nobody";
    EXPECT_THROW(ChartPrintPresentation(broken, collapsed()), OrganizationError);

    Organization chain{{position("P0")}};
    for (int i = 1; i < 100000; ++i)
        chain.positions.push_back(position("P" + std::to_string(i), "P" + std::to_string(i - 1)));
    const ChartPrintPresentation p(chain, collapsed());
    EXPECT_EQ(p.organization.positions.size(), 100000u);
    EXPECT_EQ(p.organization.positions.back().id, "P99999");
}
