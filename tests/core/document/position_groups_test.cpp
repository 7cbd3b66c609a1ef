#include "archive_test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <random>

using namespace TestDocs;

TEST(AddGroup, RulesAndMessages)
{
    OrganizationArchive a = archive({person("M"), person("A", "M"), person("B", "M"), person("C", "M"), person("S", "M"),
                                     person("O")});
    a.organization.positions[4].isAssistant = true;
    const OrganizationArchive before = a;
    EXPECT_EQ(errorOf([&] { a.addGroup("Pair", {"A", "gone", "B"}); }), "Name the group and choose at least two people.");
    for (const IDs &members : {IDs{"A", "O"}, IDs{"A", "S"}}) {
        EXPECT_EQ(errorOf([&] { a.addGroup("Pair", members); }),
                  "Group members must be non-assistant peers reporting to the same manager.");
    }
    EXPECT_EQ(a, before);
    a.addGroup("  Pair ", {"B", "A", "B"});
    EXPECT_EQ(a.groups->front().name, "Pair");
    EXPECT_EQ(errorOf([&] { a.addGroup("Again", {"C", "A"}); }), "A person can belong to only one position group.");
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

// The one-pass projection gives what the group-by-group rule gives, groups of groups and
// members marked differently included.
TEST(GroupProjection, MatchesTheGroupByGroupRuleOnRandomGroups)
{
    std::mt19937 random(7);
    auto pick = [&](int below) { return static_cast<int>(random() % static_cast<unsigned>(below)); };
    auto id = [](const char *prefix, int i) { return prefix + std::to_string(i); };
    int collapsed = 0;
    for (int round = 0; round < 300; ++round) {
        const int n = 3 + pick(15);
        Organization organization;
        for (int i = 0; i < n; ++i) {
            Position p = person(id("P", i), i > 0 && pick(4) ? std::optional(id("P", pick(std::min(i, 3)))) : std::nullopt);
            if (const std::string m = id("P", pick(n)); pick(2) && m != p.id)
                p.dottedManagerIDs.push_back(m);
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
    EXPECT_GT(collapsed, 45);
}
