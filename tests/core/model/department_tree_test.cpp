#include "core/model/department_directory.h"

#include <gtest/gtest.h>

namespace {

Position position(std::string id, std::string department, std::optional<std::string> manager = std::nullopt)
{
    return Position{.id = std::move(id), .title = "Teacher", .department = std::move(department),
                    .managerID = std::move(manager)};
}

// The tree as text: "Name(ids)[children]", siblings separated by spaces.
std::string shape(const std::vector<DepartmentGroup> &groups)
{
    std::string text;
    for (const DepartmentGroup &group : groups) {
        if (!text.empty())
            text += ' ';
        text += group.id + "(";
        for (size_t i = 0; i < group.positions.size(); ++i)
            text += (i ? "," : "") + group.positions[i].id;
        text += ")";
        if (!group.children.empty())
            text += "[" + shape(group.children) + "]";
    }
    return text;
}

std::string tree(const std::vector<Position> &positions)
{
    return shape(DepartmentDirectory::groups(positions, positions));
}

} // namespace

TEST(DepartmentTree, NestsOnlyWhenAllPositionsAgree)
{
    const std::vector<Position> positions{
        position("a", "Alpha"),       position("b", " Beta\n"),
        position("s1", "Split", "a"), position("s2", "Split", "b"), // split between two departments
        position("t1", "Top", "a"),   position("t2", "Top"),        // partly top-level
        position("o1", "Own", "o2"),  position("o2", "Own", "b"),   // through its own department to Beta
        position("u", " "),
    };
    EXPECT_EQ(tree(positions), "Alpha(a) Beta(b)[Own(o1,o2)] Split(s1,s2) Top(t1,t2) Unassigned(u)");

    // Walks pass through departments with no listed position, which do not appear.
    const std::vector<Position> all{position("e", "Education"), position("x", "Hidden", "e"), position("d", "Data", "x")};
    EXPECT_EQ(shape(DepartmentDirectory::groups({all[0], all[2]}, all)), "Education(e)[Data(d)]");
    // Manager loops end walks and keep every position once.
    EXPECT_EQ(tree({position("a", "A", "b"), position("b", "B", "c"), position("c", "C", "a"), position("d", "D", "a")}),
              "A(a)[C(c)[B(b)] D(d)]");
}

TEST(DepartmentTree, DeepNestingAndLongChainsWithoutRecursion)
{
    constexpr int depth = 100'000;
    std::vector<Position> nested;
    std::vector<Position> oneDepartment{position("top", "Board")};
    for (int i = 0; i < depth; ++i) {
        const std::string manager = i ? "P" + std::to_string(i - 1) : "top";
        nested.push_back(position("P" + std::to_string(i), "D" + std::to_string(i), i ? std::optional(manager) : std::nullopt));
        oneDepartment.push_back(position("P" + std::to_string(i), "Ops", manager));
    }
    // Built, copied, compared and freed without recursion.
    std::vector<DepartmentGroup> groups = DepartmentDirectory::groups(nested, nested);
    ASSERT_EQ(groups.size(), 1u);
    EXPECT_EQ(groups[0].count(), static_cast<size_t>(depth));
    EXPECT_EQ(DepartmentGroup(groups[0]), groups[0]);

    // Every position walks the same chain; each link must be followed only once.
    groups = DepartmentDirectory::groups(oneDepartment, oneDepartment);
    ASSERT_EQ(groups.at(0).children.at(0).positions.size(), static_cast<size_t>(depth));
}
