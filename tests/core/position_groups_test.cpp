#include "archive_test_support.h"
#include "position_ids.h"

#include <gtest/gtest.h>

#include <random>

using namespace TestDocs;

TEST(AddGroup, RulesAndMessages)
{
    OrganizationArchive a = archive({person("M"), person("A", "M"), person("B", "M"), person("C", "M"), person("S", "M"),
                                     person("O")});
    a.organization.positions[4].isAssistant = true;
    const std::string peersOnly = "Group members must be non-assistant peers reporting to the same manager.";
    const struct {
        const char *name;
        IDs members;
        std::string message;
    } cases[] = {
        {"Pair", {"A", "gone", "B"}, "Name the group and choose at least two people."},
        {"Pair", {"A", "O"}, peersOnly},
        {"Pair", {"A", "S"}, peersOnly},
    };
    for (const auto &c : cases) {
        OrganizationArchive x = a;
        EXPECT_EQ(errorOf([&] { x.addGroup(c.name, c.members); }), c.message) << c.members.size();
        EXPECT_EQ(x, a);
    }
    a.addGroup("  Pair ", {"B", "A", "B"});
    EXPECT_EQ(a.groups->front().name, "Pair");
    EXPECT_EQ(a.groups->front().memberIDs, (IDs{"B", "A", "B"})) << "stored as requested";
    EXPECT_EQ(errorOf([&] { a.addGroup("Again", {"C", "A"}); }), "A person can belong to only one position group.");
}

TEST(GroupProjection, CollapsesPeersIntoOneCardAtTheEnd)
{
    Position a1 = person("A", "M");
    a1.department = "Math";
    Position b1 = vacancy("B", "M");
    b1.fte = 0.5;
    Position c1 = person("C", "M");
    c1.fte = 0.5;
    const Organization organization = TestDocs::organization(
        {person("M"), person("D1"), withDotted(a1, {"D1"}), b1, person("X"), withDotted(c1, {"X", "A"}),
         person("R", "B"), withDotted(person("Q", "X"), {"M", "C", "A"})});
    const std::vector<PositionGroup> groups{PositionGroup{"G", "Team", {"C", "A", "B"}}};

    const Organization shown = PositionGroup::project(organization, groups, {});
    EXPECT_EQ(idsOf(shown), (IDs{"M", "D1", "X", "R", "Q", "G"}));
    const Position &card = shown.positions.back();
    EXPECT_EQ(card.jobTitle(), "Team");
    EXPECT_EQ(card.department, "Multiple departments");
    EXPECT_EQ(card.location, "Site");
    EXPECT_EQ(card.fte, 2.0);
    EXPECT_EQ(card.groupMemberCount, 3);
    EXPECT_EQ(card.managerID, "M");
    EXPECT_EQ(card.dottedManagerIDs, (IDs{"D1", "X"}));
    EXPECT_EQ(shown.positions[3].managerID, "G") << "a member's report reports to the card";
    EXPECT_EQ(shown.positions[4].dottedManagerIDs, (IDs{"G", "M"})) << "rewritten, de-duplicated and sorted";
    EXPECT_EQ(PositionGroup::project(organization, groups, {"G"}), organization.withReportingCallouts());
}

namespace {

// The projection written out group by group, rewriting every position each time.
Organization referenceProjection(const Organization &organization, const std::vector<PositionGroup> &groups,
                                 const std::set<std::string> &expanded)
{
    Organization o = organization.withReportingCallouts();
    for (const PositionGroup &group : groups) {
        if (expanded.contains(group.id))
            continue;
        const std::set<std::string> memberSet(group.memberIDs.begin(), group.memberIDs.end());
        std::vector<Position> members;
        for (const Position &p : o.positions) {
            if (memberSet.contains(p.id))
                members.push_back(p);
        }
        if (members.size() < 2)
            continue;
        const Position &first = members.front();
        bool peers = true;
        for (const Position &m : members) {
            peers = peers && m.managerID == first.managerID && m.sharedReportRootID == first.sharedReportRootID &&
                    m.proposalChange == first.proposalChange;
        }
        if (!peers)
            continue;
        std::set<std::string> memberIDs, dotted;
        for (const Position &m : members)
            memberIDs.insert(m.id);
        Position card;
        card.fte = 0;
        card.department = first.department;
        card.location = first.location;
        for (const Position &m : members) {
            card.department = m.department == card.department ? card.department : "Multiple departments";
            card.location = m.location == card.location ? card.location : "Multiple locations";
            card.fte += m.fte;
            for (const std::string &d : m.dottedManagerIDs) {
                if (!memberIDs.contains(d))
                    dotted.insert(d);
            }
        }
        card.id = group.id;
        card.title = group.name;
        card.managerID = first.managerID;
        card.dottedManagerIDs.assign(dotted.begin(), dotted.end());
        card.isAssistant = false;
        card.groupMemberCount = static_cast<int64_t>(members.size());
        card.sharedReportRootID = first.sharedReportRootID;
        card.primaryManagerReference = first.primaryManagerReference;
        card.proposalChange = first.proposalChange;
        card.reportingCallout = ReportingCallout::merged(members);
        std::vector<Position> remaining;
        for (Position p : o.positions) {
            if (memberSet.contains(p.id))
                continue;
            if (p.managerID && memberIDs.contains(*p.managerID))
                p.managerID = group.id;
            std::set<std::string> rewritten;
            for (const std::string &d : p.dottedManagerIDs)
                rewritten.insert(memberIDs.contains(d) ? group.id : d);
            p.dottedManagerIDs.assign(rewritten.begin(), rewritten.end());
            remaining.push_back(std::move(p));
        }
        remaining.push_back(std::move(card));
        o.positions = std::move(remaining);
    }
    o.validate();
    return o;
}

} // namespace

// The one-pass projection gives what the group-by-group rule gives, groups of groups and
// members marked differently included.
TEST(GroupProjection, MatchesTheGroupByGroupRuleOnRandomGroups)
{
    std::mt19937 random(7);
    auto pick = [&](int below) { return static_cast<int>(random() % static_cast<unsigned>(below)); };
    int collapsed = 0;
    for (int round = 0; round < 400; ++round) {
        const int n = 3 + pick(15);
        Organization organization;
        for (int i = 0; i < n; ++i) {
            Position p = person("P" + std::to_string(i), i > 0 && pick(4) ? std::optional("P" + std::to_string(pick(std::min(i, 3)))) : std::nullopt);
            for (int d = 0; d < pick(3); ++d) {
                const std::string m = "P" + std::to_string(pick(n));
                if (m != p.id)
                    p.dottedManagerIDs.push_back(m);
            }
            p.department = pick(2) ? "Math" : "Art";
            if (pick(8) == 0)
                p.proposalChange = ProposalChangeKind::added;
            organization.positions.push_back(p);
        }
        std::vector<PositionGroup> groups;
        std::set<std::string> expanded;
        for (int g = 0; g < 1 + pick(4); ++g) {
            PositionGroup group{"G" + std::to_string(g), "Group", {}};
            for (int m = 0; m < 2 + pick(3); ++m)
                group.memberIDs.push_back(g > 0 && pick(4) == 0 ? "G" + std::to_string(pick(g)) : "P" + std::to_string(pick(n)));
            if (pick(6) == 0)
                expanded.insert(group.id);
            groups.push_back(group);
        }
        Organization expected, actual;
        const std::string expectedError = errorOf([&] { expected = referenceProjection(organization, groups, expanded); });
        ASSERT_EQ(errorOf([&] { actual = PositionGroup::project(organization, groups, expanded); }), expectedError)
            << "round " << round;
        ASSERT_EQ(actual, expected) << "round " << round;
        collapsed += actual.positions.size() < organization.positions.size();
    }
    EXPECT_GT(collapsed, 60);
}
