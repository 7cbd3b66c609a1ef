#include "core/chart/chart_print_presentation.h"
#include "core/model/print_settings.h"

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

ChartPrintSettings namesHidden()
{
    ChartPrintSettings settings;
    settings.hideNames = true;
    settings.combineMatchingTitles = false;
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
    Organization org{{filled(position("M"), "1", "Mo Manager"), position("P3", "M"), position("P1", "M"),
                      position("P2", "M")}};
    for (auto [i, title, fte] : {std::tuple{1, "counselor ", 0.5}, {2, "Counselor", 1.0}, {3, " COUNSELOR", 0.25}}) {
        org.positions[i].setJobTitle(title);
        org.positions[i].fte = fte;
    }
    return org;
}

} // namespace

TEST(ChartPrintPresentation, HiddenNamesDropPeopleAndSchoolRows)
{
    Organization org = threePeers();
    org.positions[1].schoolAssignments = {{"North", 0.5}};
    ChartPrintSettings settings;
    settings.hideNames = true;
    for (const Position &card : ChartPrintPresentation(org, settings).organization.positions)
        EXPECT_TRUE(!card.employee && card.schoolAssignments.empty()) << card.id;
}

// Matching peers become one card; their reports gather under it and merge only with
// reports of the same original manager.
TEST(ChartPrintPresentation, MatchingPeersCollapseWithTheirReports)
{
    Organization org = threePeers();
    for (const auto &[id, manager] : {std::pair{"C-a", "P1"}, {"C-b", "P2"}, {"C-c", "P2"}}) {
        org.positions.push_back(position(id, manager));
        org.positions.back().setJobTitle("Aide");
    }
    const ChartPrintPresentation p(org, collapsed());
    EXPECT_EQ(idsOf(p.organization), (std::vector<std::string>{"M", "P1", "C-a", "C-b"}));
    const Position &card = p.organization.positions[1];
    EXPECT_EQ(card.jobTitle(), "Counselor");
    EXPECT_DOUBLE_EQ(card.fte, 1.75);
    EXPECT_EQ(p.counts.at("P1"), 3);
    EXPECT_EQ(p.vacantCounts.at("P1"), 3);
    for (const char *id : {"P1", "P2", "P3"})
        EXPECT_EQ(p.positionIDs.at(id), "P1");
    EXPECT_EQ(p.organization.positions[2].managerID, "P1");
    EXPECT_EQ(p.organization.positions[3].managerID, "P1");
    EXPECT_EQ(p.counts.at("C-b"), 2);
}

// A filled peer, another department, school rows, assistant or sibling order, a shown pay
// level or other dotted managers keep peers apart; a hidden pay level doesn't; roots never
// merge.
TEST(ChartPrintPresentation, PeersThatDifferStaySeparate)
{
    struct Case {
        const char *what;
        void (*change)(Position &);
    };
    const Case cases[] = {
        {"filled", [](Position &p) { p.employee = Employee{"9", "Nia"}; }},
        {"department", [](Position &p) { p.department = "Other"; }},
        {"school rows", [](Position &p) { p.schoolAssignments = {{"North", p.fte}}; }},
        {"assistant", [](Position &p) { p.isAssistant = true; }},
        {"sibling order", [](Position &p) { p.siblingOrder = 3; }},
    };
    for (const Case &c : cases) {
        Organization org = threePeers();
        c.change(org.positions[3]); // P2
        const ChartPrintPresentation p(org, collapsed());
        EXPECT_EQ(idsOf(p.organization), (std::vector<std::string>{"M", "P1", "P2"})) << c.what;
        EXPECT_EQ(p.counts.at("P1"), 2) << c.what;
    }

    for (bool showPayLevel : {false, true}) {
        Organization org = threePeers();
        org.positions[3].setPayLevel("Grade 9"); // P2
        org.positions[1].employee = Employee{"9", "Nia"}; // P3
        ChartPrintSettings settings = collapsed();
        settings.showPayLevel = showPayLevel;
        const std::vector<std::string> expected =
            showPayLevel ? std::vector<std::string>{"M", "P1", "P2", "P3"} : std::vector<std::string>{"M", "P1", "P3"};
        EXPECT_EQ(idsOf(ChartPrintPresentation(org, settings).organization), expected);
    }
    const Organization roots{{position("R1"), position("R2")}};
    EXPECT_EQ(idsOf(ChartPrintPresentation(roots, collapsed()).organization), (std::vector<std::string>{"R1", "R2"}));

    // Dotted lines point at cards, sorted, never at the card itself or its manager.
    Organization org = threePeers();
    org.positions.insert(org.positions.end(), {position("D"), position("E")});
    org.positions[1].dottedManagerIDs = {"D", "M"}; // P3
    org.positions[2].dottedManagerIDs = {"P2", "D"}; // P1
    org.positions[3].dottedManagerIDs = {"E", "D"};  // P2
    const ChartPrintPresentation p(org, collapsed());
    EXPECT_EQ(positionIn(p.organization, "P1").dottedManagerIDs, (std::vector<std::string>{"D", "P2"}));
    EXPECT_EQ(positionIn(p.organization, "P2").dottedManagerIDs, (std::vector<std::string>{"D", "E"}));
    EXPECT_EQ(positionIn(p.organization, "P3").dottedManagerIDs, std::vector<std::string>{"D"});
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

TEST(ChartPrintPresentation, NamesShownKeepsEveryPosition)
{
    Organization org = threePeers();
    org.positions[1].groupMemberCount = 4;
    const ChartPrintPresentation p(org, ChartPrintSettings{});
    EXPECT_EQ(p.organization, org.withReportingCallouts());
    EXPECT_EQ(p.counts, (std::unordered_map<std::string, int64_t>{{"P3", 4}}));
    EXPECT_EQ(p.positionIDs.at("P2"), "P2");
    EXPECT_EQ(p.vacantCounts.at("P1"), 1);
    EXPECT_EQ(p.vacantCounts.at("M"), 0);
}

TEST(ChartPrintPresentation, NamesHiddenWithoutCombining)
{
    Organization org = threePeers();
    org.positions[1].schoolAssignments = {{"North", 0.5}};
    const ChartPrintPresentation p(org, namesHidden());
    EXPECT_EQ(idsOf(p.organization), (std::vector<std::string>{"M", "P1", "P2", "P3"}));
    for (const Position &card : p.organization.positions) {
        EXPECT_FALSE(card.employee);
        EXPECT_TRUE(card.schoolAssignments.empty());
        EXPECT_EQ(p.counts.at(card.id), 1);
    }
}

TEST(ChartPrintPresentation, MatchingPeersCollapseIntoOneCard)
{
    const ChartPrintPresentation p(threePeers(), collapsed());
    EXPECT_EQ(idsOf(p.organization), (std::vector<std::string>{"M", "P1"}));
    const Position &card = p.organization.positions[1];
    EXPECT_EQ(card.jobTitle(), "Counselor");
    EXPECT_DOUBLE_EQ(card.fte, 1.75);
    EXPECT_EQ(card.managerID, "M");
    EXPECT_EQ(p.counts.at("P1"), 3);
    EXPECT_EQ(p.vacantCounts.at("P1"), 3);
    for (const char *id : {"P1", "P2", "P3"})
        EXPECT_EQ(p.positionIDs.at(id), "P1");
}

TEST(ChartPrintPresentation, PayLevelMattersOnlyWhenShown)
{
    Organization org = threePeers();
    org.positions[3].setPayLevel("Grade 9");
    EXPECT_EQ(idsOf(ChartPrintPresentation(org, collapsed()).organization), (std::vector<std::string>{"M", "P1"}));
    ChartPrintSettings withPay = collapsed();
    withPay.showPayLevel = true;
    EXPECT_EQ(idsOf(ChartPrintPresentation(org, withPay).organization), (std::vector<std::string>{"M", "P1", "P2"}));
}

// Reports of merged peers gather under the merged card; they merge only with reports of
// the same original manager.
TEST(ChartPrintPresentation, ChildrenOfMergedPeers)
{
    Organization org = threePeers();
    Position a = position("C-a", "P1");
    a.setJobTitle("Aide");
    Position b = position("C-b", "P2");
    b.setJobTitle("Aide");
    Position c = position("C-c", "P2");
    c.setJobTitle("Aide");
    org.positions.insert(org.positions.end(), {a, b, c});
    const ChartPrintPresentation p(org, collapsed());
    EXPECT_EQ(idsOf(p.organization), (std::vector<std::string>{"M", "P1", "C-a", "C-b"}));
    EXPECT_EQ(p.organization.positions[2].managerID, "P1");
    EXPECT_EQ(p.organization.positions[3].managerID, "P1");
    EXPECT_EQ(p.counts.at("C-b"), 2);
}

TEST(ChartPrintPresentation, DottedLinesPointAtCards)
{
    Organization org = threePeers();
    org.positions.push_back(position("D"));
    org.positions.push_back(position("E"));
    org.positions[1].dottedManagerIDs = {"D", "M"}; // P3, also to its own manager: dropped
    org.positions[2].dottedManagerIDs = {"P2", "D"}; // P1
    org.positions[3].dottedManagerIDs = {"E", "D"};  // P2
    const ChartPrintPresentation p(org, collapsed());
    // Different dotted managers keep the peers apart.
    for (const Position &card : p.organization.positions) {
        for (const std::string &d : card.dottedManagerIDs) {
            EXPECT_NE(d, card.id);
            EXPECT_NE(std::optional<std::string>(d), card.managerID);
        }
        EXPECT_TRUE(std::is_sorted(card.dottedManagerIDs.begin(), card.dottedManagerIDs.end()));
    }
    const auto &cards = p.organization.positions;
    auto find = [&](const std::string &id) {
        return *std::find_if(cards.begin(), cards.end(), [&](const Position &c) { return c.id == id; });
    };
    EXPECT_EQ(find("P1").dottedManagerIDs, (std::vector<std::string>{"D", "P2"}));
    EXPECT_EQ(find("P2").dottedManagerIDs, (std::vector<std::string>{"D", "E"}));
    EXPECT_EQ(find("P3").dottedManagerIDs, std::vector<std::string>{"D"});
}

TEST(ChartPrintPresentation, DottedLinesOfMergedMembersAreUnited)
{
    Organization org = threePeers();
    org.positions.push_back(position("D"));
    for (size_t i = 1; i <= 3; ++i)
        org.positions[i].dottedManagerIDs = {"D"};
    const ChartPrintPresentation p(org, collapsed());
    EXPECT_EQ(idsOf(p.organization), (std::vector<std::string>{"D", "M", "P1"}));
    EXPECT_EQ(p.organization.positions[2].dottedManagerIDs, std::vector<std::string>{"D"});
}

TEST(ChartPrintPresentation, RootsNeverMerge)
{
    Organization org;
    org.positions.push_back(peer("R1", "Board"));
    org.positions.push_back(peer("R2", "Board"));
    org.positions[0].managerID.reset();
    org.positions[1].managerID.reset();
    EXPECT_EQ(idsOf(ChartPrintPresentation(org, collapsed()).organization), (std::vector<std::string>{"R1", "R2"}));
}

TEST(ChartPrintPresentation, EmptyAndInvalid)
{
    EXPECT_TRUE(ChartPrintPresentation::empty().organization.positions.empty());
    EXPECT_TRUE(ChartPrintPresentation::empty().positionIDs.empty());
    Organization org = threePeers();
    org.positions[1].managerID = "nobody";
    EXPECT_THROW(ChartPrintPresentation(org, collapsed()), OrganizationError);
}
