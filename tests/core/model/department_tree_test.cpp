#include "core/model/department_directory.h"

#include <gtest/gtest.h>

#include <random>

namespace {

Position position(std::string id, std::string department, std::optional<std::string> manager = std::nullopt,
                  std::optional<std::string> name = std::nullopt)
{
    Position p{.id = std::move(id), .title = "Teacher", .department = std::move(department),
               .managerID = std::move(manager)};
    if (name)
        p.employee = Employee{p.id, *name};
    return p;
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

TEST(DepartmentTree, SampleDistrictNestsUnderLeadership)
{
    const Organization &sample = Organization::example();
    const std::vector<DepartmentGroup> groups = DepartmentDirectory::groups(sample.positions, sample.positions);
    EXPECT_EQ(shape(groups),
              "Leadership(P001)[School Leadership(P003,P004)[Instruction(P006)] Student Services(P002,P005)]");
    ASSERT_EQ(groups.size(), 1u);
    EXPECT_EQ(groups[0].count(), 6u);
}

TEST(DepartmentTree, DepartmentNames)
{
    EXPECT_EQ(tree({position("a", " "), position("b", "Unassigned"), position("c", " Math\n"), position("d", "Math"),
                    position("e", "math")}),
              "Math(c,d) Unassigned(a,b) math(e)");
}

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

TEST(DepartmentTree, WalksThroughUnlistedDepartments)
{
    const std::vector<Position> all{position("e", "Education"), position("x", "Hidden", "e"),
                                    position("d", "Data", "x")};
    const std::vector<Position> listed{all[0], all[2]};
    EXPECT_EQ(shape(DepartmentDirectory::groups(listed, all)), "Education(e)[Data(d)]");
    // A department with no listed position does not appear, even when others nest under it.
    EXPECT_EQ(shape(DepartmentDirectory::groups({all[2]}, all)), "Data(d)");
}

TEST(DepartmentTree, RootsAndChildrenInPlainOrderPeopleInPersonOrder)
{
    const std::vector<Position> positions{
        position("z", "zeta"),
        position("b2", "Zeta", std::nullopt, "Ann Young"),
        position("b1", "Zeta", std::nullopt, "Bo Adams"),
        position("c2", "b-child", "b1"),
        position("c1", "B-child", "b2"),
    };
    EXPECT_EQ(tree(positions), "Zeta(b1,b2)[B-child(c1) b-child(c2)] zeta(z)");
}

TEST(DepartmentTree, CountIncludesNestedDepartments)
{
    const std::vector<Position> positions{position("a", "Top"), position("b", "Top"), position("c", "Top"),
                                          position("d", "Sub", "a"), position("e", "Sub", "d")};
    const std::vector<DepartmentGroup> groups = DepartmentDirectory::groups(positions, positions);
    ASSERT_EQ(groups.size(), 1u);
    EXPECT_EQ(groups[0].positions.size(), 3u);
    EXPECT_EQ(groups[0].count(), 5u);
}

TEST(DepartmentTree, ManagerLoopsEndWalks)
{
    // Invalid input, a loop of departments: every position still appears exactly once.
    const std::vector<Position> loop{position("a", "X", "b"), position("b", "Y", "a")};
    EXPECT_EQ(tree(loop), "X(a)[Y(b)]");
    // A loop inside one department, under nothing.
    const std::vector<Position> inside{position("a", "X", "b"), position("b", "X", "a"), position("c", "Y", "a")};
    EXPECT_EQ(tree(inside), "X(a,b)[Y(c)]");
    // Three departments in a loop, entered from a fourth.
    const std::vector<Position> three{position("a", "A", "b"), position("b", "B", "c"), position("c", "C", "a"),
                                      position("d", "D", "a")};
    EXPECT_EQ(tree(three), "A(a)[C(c)[B(b)] D(d)]");
}

TEST(DepartmentTree, DeepNestingIsBuiltCopiedAndFreedWithoutRecursion)
{
    constexpr int depth = 100'000;
    std::vector<Position> positions;
    positions.reserve(depth);
    for (int i = 0; i < depth; ++i)
        positions.push_back(position("P" + std::to_string(i), "D" + std::to_string(i),
                                     i ? std::optional("P" + std::to_string(i - 1)) : std::nullopt));
    std::vector<DepartmentGroup> groups = DepartmentDirectory::groups(positions, positions);
    ASSERT_EQ(groups.size(), 1u);
    EXPECT_EQ(groups[0].count(), static_cast<size_t>(depth));
    const DepartmentGroup copy = groups[0];
    EXPECT_EQ(copy, groups[0]);
    groups[0].positions.clear();
    EXPECT_NE(copy, groups[0]);
}

TEST(DepartmentTree, LongChainInsideOneDepartment)
{
    // Every position walks the same chain; each link must be followed only once.
    constexpr int depth = 100'000;
    std::vector<Position> positions{position("top", "Board")};
    for (int i = 0; i < depth; ++i)
        positions.push_back(position("P" + std::to_string(i), "Ops",
                                     i ? "P" + std::to_string(i - 1) : std::string("top")));
    const std::vector<DepartmentGroup> groups = DepartmentDirectory::groups(positions, positions);
    ASSERT_EQ(groups.size(), 1u);
    EXPECT_EQ(groups[0].id, "Board");
    ASSERT_EQ(groups[0].children.size(), 1u);
    EXPECT_EQ(groups[0].children[0].positions.size(), static_cast<size_t>(depth));
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

// One nesting asked about many lists, as the sidebar asks once per site, gives what a fresh
// look at each list gives: lists of the same departments share a nesting, others do not.
TEST(DepartmentTree, SharedNestingMatchesEachListAlone)
{
    std::mt19937 random(17);
    const std::vector<std::string> departments{"Office", "Teaching", "Support", " Teaching", "", "Data"};
    for (int round = 0; round < 20; ++round) {
        std::vector<Position> all;
        const int size = 40 + int(random() % 80);
        for (int i = 0; i < size; ++i) {
            std::optional<std::string> manager;
            if (i > 0 && random() % 8 != 0)
                manager = "p" + std::to_string(random() % i);
            all.push_back(position("p" + std::to_string(i), departments[random() % departments.size()], manager));
        }
        DepartmentDirectory::Nesting nesting(all);
        for (int list = 0; list < 30; ++list) {
            std::vector<Position> listed;
            for (const Position &p : all) {
                if (random() % 3 == 0)
                    listed.push_back(p);
            }
            EXPECT_EQ(shape(nesting.groups(listed)), shape(DepartmentDirectory::groups(listed, all)))
                << "round " << round << ", list " << list;
        }
    }
}
