#include "app/sidebar/sidebar_tree.h"

#include "sidebar_positions.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

using namespace SidebarTest;

namespace {

// The tree as indented lines: groups as "<name> (<count>)", people as "<name> / <title>".
std::vector<std::string> outline(const SidebarTree &tree)
{
    std::vector<std::string> lines;
    std::vector<std::pair<int, int>> work; // node, depth
    for (auto it = tree.roots.rbegin(); it != tree.roots.rend(); ++it)
        work.push_back({*it, 0});
    while (!work.empty()) {
        const auto [index, depth] = work.back();
        work.pop_back();
        const SidebarNode &node = tree.nodes[size_t(index)];
        std::string line(size_t(depth) * 2, ' ');
        line += node.isGroup() ? node.name + " (" + std::to_string(node.count) + ")" : node.name + " / " + node.detail;
        lines.push_back(line);
        for (auto it = node.children.rbegin(); it != node.children.rend(); ++it)
            work.push_back({*it, depth + 1});
    }
    return lines;
}

using Lines = std::vector<std::string>;

TEST(SidebarTree, LocationsAreTrimmedCaseDistinctAndInCodePointOrder)
{
    std::vector<Position> positions{
        staff("P1", "Cy Young", "Ops", " Main "), staff("P2", "Al Adams", "Ops", "main"),
        staff("P3", "Bo Brandt", "Ops", "Main"),  staff("P4", "Di Dorn", "Ops", "  \n"),
        staff("P5", "", "Ops", "Main"),           staff("P6", "Ed Ek", "Ops", "U\u0308berall"), // decomposed Ü
        staff("P7", "Fa Fu", "Ops", "Zeta"),
    };
    positions[4].setJobTitle("Counselor");
    EXPECT_EQ(outline(buildSidebarTree(positions, SidebarMode::location)),
              (Lines{"Main (3)", "  Bo Brandt / Teacher", "  Cy Young / Teacher", "  Vacant position / Counselor",
                     "Unassigned (1)", "  Di Dorn / Teacher", "Zeta (1)", "  Fa Fu / Teacher",
                     "main (1)", "  Al Adams / Teacher",
                     "U\u0308berall (1)", "  Ed Ek / Teacher"})); // ordered as the composed Ü, after z
    EXPECT_EQ(outline(buildSidebarTree(positions, SidebarMode::none)).front(), "Al Adams / Teacher");
    EXPECT_TRUE(buildSidebarTree({}, SidebarMode::departmentLocation).nodes.empty());
}

TEST(SidebarTree, DepartmentsHoldLocationGroupsThenChildDepartments)
{
    EXPECT_EQ(outline(buildSidebarTree(school(), SidebarMode::departmentLocation)),
              (Lines{"Math (2)", "  North (1)", "    Ed Ek / Teacher", "  South (1)", "    Cy Cole / Teacher",
                     "Science (4)",
                     "  North (2)", "    Bo Brandt / Teacher", "    Sue Head / Teacher",
                     "  South (1)", "    Al Adams / Teacher",
                     "  Coordination (1)", "    East (1)", "      Di Dorn / Teacher"}));
}

TEST(SidebarTree, LocationDepartmentsLookUpManagersAmongAllPositions)
{
    // At North, Math reaches Science through P5, who sits elsewhere; Coordination is not
    // listed there.
    EXPECT_EQ(outline(buildSidebarTree(school(), SidebarMode::locationDepartment)),
              (Lines{"East (1)", "  Coordination (1)", "    Di Dorn / Teacher",
                     "North (3)", "  Science (3)", "    Bo Brandt / Teacher", "    Sue Head / Teacher",
                     "    Math (1)", "      Ed Ek / Teacher",
                     "South (2)", "  Science (2)", "    Al Adams / Teacher", "    Math (1)", "      Cy Cole / Teacher"}));

    // A Math position at West reaches no listed department, so Math no longer nests anywhere.
    std::vector<Position> positions = school();
    positions.push_back(staff("P7", "Fa Fu", "Math", "West", "P8"));
    positions.push_back(staff("P8", "Gi Gao", "Art", "West"));
    const Lines lines = outline(buildSidebarTree(positions, SidebarMode::locationDepartment));
    const auto north = std::find(lines.begin(), lines.end(), "North (3)");
    ASSERT_NE(north, lines.end());
    EXPECT_EQ(Lines(north, north + 6), (Lines{"North (3)", "  Math (1)", "    Ed Ek / Teacher", "  Science (2)",
                                              "    Bo Brandt / Teacher", "    Sue Head / Teacher"}));
}

TEST(SidebarTree, EveryGroupHasItsOwnKeyPerMode)
{
    EXPECT_EQ(expansionKey({"Location", "Main"}), "8:Location4:Main");
    EXPECT_EQ(expansionKey({"e\u0301"}), "1:e\u0301"); // one user-perceived character

    // Paths that a plain separator would merge.
    const std::vector<std::pair<std::vector<std::string>, std::vector<std::string>>> lookalikes{
        {{"a:1", "b"}, {"a", "1:b"}},
        {{"Department", "A", "location", "B"}, {"Department", "A:location", "B"}},
        {{"12", "3"}, {"1", "23"}},
        {{"x2:yz"}, {"x", "yz"}},
    };
    for (const auto &[one, other] : lookalikes)
        EXPECT_NE(expansionKey(one), expansionKey(other)) << expansionKey(one);

    std::set<std::string> keys;
    size_t groups = 0;
    for (const std::string &mode : SidebarMode::all()) {
        for (const SidebarNode &node : buildSidebarTree(school(), mode).nodes) {
            if (node.isGroup()) {
                keys.insert(node.key);
                ++groups;
            }
        }
    }
    EXPECT_EQ(keys.size(), groups);
    EXPECT_TRUE(keys.contains(expansionKey({"Department → Location", "Science", "Coordination", "location", "East"})));
}

TEST(SidebarTree, ExpandAndCollapseAllReachGroupsNotYetSeen)
{
    SidebarExpansion expansion;
    expansion.setExpanded("a", false);
    EXPECT_FALSE(expansion.isExpanded("a"));
    EXPECT_TRUE(expansion.isExpanded("later"));
    expansion.collapseAll();
    EXPECT_FALSE(expansion.isExpanded("later"));
    expansion.setExpanded("a", true);
    EXPECT_TRUE(expansion.isExpanded("a"));
    EXPECT_FALSE(expansion.isExpanded("b"));
    expansion.expandAll();
    EXPECT_TRUE(expansion.isExpanded("b"));
    EXPECT_TRUE(expansion.exceptions().empty());
}

} // namespace
