#include "archive_test_support.h"
#include "position_ids.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <random>

using namespace TestDocs;

namespace {

const char *const chooseTwo = "Name the group and choose at least two people.";
const char *const peersOnly = "Group members must be non-assistant peers reporting to the same manager.";

Position assistant(Position p)
{
    p.isAssistant = true;
    return p;
}

} // namespace

TEST(AddGroup, RulesAndMessages)
{
    OrganizationArchive a = archive({person("M"), person("A", "M"), person("B", "M"), person("C", "M"),
                                     assistant(person("S", "M")), person("O"), person("T1"), person("T2")});
    const struct {
        const char *name;
        IDs members;
        std::string message;
    } cases[] = {
        {"Pair", {"A", "gone", "B"}, chooseTwo},
        {"Pair", {"A"}, chooseTwo},
        {"  ", {"A", "B"}, chooseTwo},
        {"Pair", {"A", "O"}, peersOnly},
        {"Pair", {"A", "S"}, peersOnly},
    };
    for (const auto &c : cases) {
        OrganizationArchive x = a;
        EXPECT_EQ(errorOf([&] { x.addGroup(c.name, c.members); }), c.message) << c.members.size();
        EXPECT_EQ(x, a);
    }

    a.addGroup("  Pair ", {"B", "A", "B"});
    ASSERT_EQ(a.groups->size(), 1u);
    const PositionGroup &group = a.groups->front();
    EXPECT_EQ(group.name, "Pair");
    EXPECT_EQ(group.memberIDs, (IDs{"B", "A", "B"})) << "stored as requested";
    EXPECT_EQ(group.id.rfind("group-", 0), 0u);
    EXPECT_EQ(canonicalUUID(group.id.substr(6)), group.id.substr(6));
    EXPECT_EQ(errorOf([&] { a.addGroup("Again", {"C", "A"}); }), "A person can belong to only one position group.");
    EXPECT_NO_THROW(a.addGroup("Top level", {"T1", "T2"}));
    EXPECT_TRUE(a.revisions.empty());

    a.lockForPlanning();
    EXPECT_EQ(errorOf([&] { a.addGroup("", {}); }), lockedMessage());
}

namespace {

// The projection written out group by group, rewriting every position each time.
Organization referenceProjection(const Organization &organization, const std::vector<PositionGroup> &groups,
                                 const std::set<std::string> &expanded)
{
    Organization o = organization.withReportingCallouts();
    for (const PositionGroup &group : groups) {
        const std::set<std::string> listed(group.memberIDs.begin(), group.memberIDs.end());
        std::vector<Position> members, rest;
        for (const Position &p : o.positions)
            (listed.contains(p.id) ? members : rest).push_back(p);
        const auto differ = [&](auto field) {
            return std::ranges::any_of(members, [&](const Position &m) { return m.*field != members.front().*field; });
        };
        if (expanded.contains(group.id) || members.size() < 2 || differ(&Position::managerID) ||
            differ(&Position::sharedReportRootID) || differ(&Position::proposalChange))
            continue;
        const Position &first = members.front();
        Position card{.id = group.id, .title = group.name,
                      .department = differ(&Position::department) ? "Multiple departments" : first.department,
                      .managerID = first.managerID,
                      .location = differ(&Position::location) ? "Multiple locations" : first.location,
                      .fte = 0, .isAssistant = false, .groupMemberCount = static_cast<int64_t>(members.size()),
                      .sharedReportRootID = first.sharedReportRootID, .primaryManagerReference = first.primaryManagerReference,
                      .reportingCallout = ReportingCallout::merged(members), .proposalChange = first.proposalChange};
        std::set<std::string> dotted;
        for (const Position &m : members) {
            card.fte += m.fte;
            std::ranges::copy_if(m.dottedManagerIDs, std::inserter(dotted, dotted.end()),
                                 [&](const std::string &d) { return !listed.contains(d); });
        }
        card.dottedManagerIDs.assign(dotted.begin(), dotted.end());
        for (Position &p : rest) {
            if (p.managerID && listed.contains(*p.managerID))
                p.managerID = group.id;
            std::set<std::string> rewritten;
            for (const std::string &d : p.dottedManagerIDs)
                rewritten.insert(listed.contains(d) ? group.id : d);
            p.dottedManagerIDs.assign(rewritten.begin(), rewritten.end());
        }
        rest.push_back(std::move(card));
        o.positions = std::move(rest);
    }
    o.validate();
    return o;
}

} // namespace

TEST(GroupProjection, CollapsesPeersIntoOneCardAtTheEnd)
{
    Position a1 = person("A", "M");
    a1.department = "Math";
    Position b1 = vacancy("B", "M");
    b1.fte = 0.5;
    b1.department = "Science";
    Position c1 = person("C", "M");
    c1.fte = 0.5;
    c1.department = "Math";
    const Organization organization = TestDocs::organization(
        {person("M"), person("D1"), withDotted(a1, {"D1"}), b1, person("X"), withDotted(c1, {"X", "A"}),
         person("R", "B"), withDotted(person("Q", "X"), {"M", "C", "A"})});
    const std::vector<PositionGroup> groups{PositionGroup{"G", "Team", {"C", "A", "B"}}};

    const Organization shown = PositionGroup::project(organization, groups, {});
    EXPECT_EQ(idsOf(shown), (IDs{"M", "D1", "X", "R", "Q", "G"}));
    const Position &card = shown.positions.back();
    EXPECT_EQ(card.jobTitle(), "Team");
    EXPECT_TRUE(card.jobTitleFollowsPayLevel());
    EXPECT_EQ(card.department, "Multiple departments");
    EXPECT_EQ(card.location, "Site");
    EXPECT_EQ(card.fte, 2.0);
    EXPECT_EQ(card.groupMemberCount, 3);
    EXPECT_EQ(card.isAssistant, std::optional(false));
    EXPECT_FALSE(card.employee.has_value());
    EXPECT_EQ(card.managerID, "M");
    EXPECT_EQ(card.dottedManagerIDs, (IDs{"D1", "X"}));
    ASSERT_TRUE(card.reportingCallout.has_value());
    EXPECT_EQ(card.reportingCallout->primaryManagerID, "M");
    EXPECT_EQ(shown.positions[3].managerID, "G") << "a member's report reports to the card";
    EXPECT_EQ(shown.positions[4].dottedManagerIDs, (IDs{"G", "M"})) << "rewritten, de-duplicated and sorted";

    const Organization expanded = PositionGroup::project(organization, groups, {"G"});
    EXPECT_EQ(idsOf(expanded), idsOf(organization));
    EXPECT_EQ(expanded.positions[7].dottedManagerIDs, (IDs{"M", "C", "A"})) << "untouched without a collapse";
}

TEST(GroupProjection, GroupsThatNoLongerFitStaySeparate)
{
    const Organization organization = TestDocs::organization(
        {person("M"), person("N"), person("A", "M"), person("B", "N"), assistant(person("C", "M")), person("D", "M")});
    struct Case {
        const char *what;
        std::vector<PositionGroup> groups;
        IDs expected;
    };
    const std::vector<Case> cases = {
        {"managers differ", {{"G", "G", {"A", "B"}}}, {"M", "N", "A", "B", "C", "D"}},
        {"one member left", {{"G", "G", {"A", "gone"}}}, {"M", "N", "A", "B", "C", "D"}},
        {"assistants still collapse", {{"G", "G", {"A", "C"}}}, {"M", "N", "B", "D", "G"}},
        {"second group gets what remains", {{"G", "G", {"A", "C"}}, {"H", "H", {"C", "D"}}},
         {"M", "N", "B", "D", "G"}},
        {"groups of groups", {{"G", "G", {"A", "C"}}, {"H", "H", {"G", "D"}}}, {"M", "N", "B", "H"}},
    };
    for (const Case &c : cases)
        EXPECT_EQ(idsOf(PositionGroup::project(organization, c.groups, {})), c.expected) << c.what;
}

TEST(GroupProjection, MembersMarkedDifferentlyStaySeparate)
{
    Organization organization = TestDocs::organization({person("M"), person("A", "M"), person("B", "M")});
    organization.positions[1].proposalChange = ProposalChangeKind::added;
    const std::vector<PositionGroup> groups{{"G", "G", {"A", "B"}}};
    EXPECT_EQ(PositionGroup::project(organization, groups, {}).positions.size(), 3u);
    organization.positions[1].proposalChange.reset();
    organization.positions[2].sharedReportRootID = "B";
    EXPECT_EQ(PositionGroup::project(organization, groups, {}).positions.size(), 3u);
}

TEST(GroupProjection, ResultIsValidated)
{
    const Organization organization = TestDocs::organization({person("M"), person("A", "M"), person("B", "M"), person("G")});
    EXPECT_EQ(errorOf([&] { PositionGroup::project(organization, {{"G", "G", {"A", "B"}}}, {}); }),
              "Position IDs must be unique.");
}

// The one-pass projection gives what the group-by-group rule gives, groups of groups and
// members marked differently included.
TEST(GroupProjection, MatchesTheGroupByGroupRuleOnRandomGroups)
{
    std::mt19937 random(7);
    auto pick = [&](int below) { return static_cast<int>(random() % static_cast<unsigned>(below)); };
    auto id = [](const char *prefix, int i) { return prefix + std::to_string(i); };
    int collapsed = 0;
    for (int round = 0; round < 800; ++round) {
        const int n = 3 + pick(15);
        Organization organization;
        for (int i = 0; i < n; ++i) {
            Position p = person(id("P", i), i > 0 && pick(4) ? std::optional(id("P", pick(std::min(i, 3)))) : std::nullopt);
            for (int d = 0; d < pick(3); ++d) {
                if (const std::string m = id("P", pick(n)); m != p.id)
                    p.dottedManagerIDs.push_back(m);
            }
            p.department = pick(2) ? "Math" : "Art";
            p.proposalChange = pick(8) ? std::nullopt : std::optional(ProposalChangeKind::added);
            organization.positions.push_back(p);
        }
        std::vector<PositionGroup> groups;
        std::set<std::string> expanded;
        for (int g = 0; g < 1 + pick(4); ++g) {
            groups.push_back(PositionGroup{id("G", g), "Group", {}});
            for (int m = 0; m < 2 + pick(3); ++m)
                groups.back().memberIDs.push_back(g > 0 && pick(4) == 0 ? id("G", pick(g)) : id("P", pick(n)));
            if (pick(6) == 0)
                expanded.insert(id("G", g));
        }
        Organization expected, actual;
        ASSERT_EQ(errorOf([&] { actual = PositionGroup::project(organization, groups, expanded); }),
                  errorOf([&] { expected = referenceProjection(organization, groups, expanded); })) << "round " << round;
        ASSERT_EQ(actual, expected) << "round " << round;
        collapsed += actual.positions.size() < organization.positions.size();
    }
    EXPECT_GT(collapsed, 120);
}
