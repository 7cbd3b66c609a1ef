#include "core/model/organization.h"

#include "chart_test_support.h"
#include "position_ids.h"

#include <gtest/gtest.h>

using namespace ChartTest;

namespace {

// T
// ├─ A ── A1 ── A11
// └─ B ── B1 (dotted to A1 and T)
Organization sample()
{
    Organization org;
    org.positions.push_back(filled(position("T"), "100", "Tess Top"));
    org.positions.push_back(filled(position("A", "T"), "101", "Ann Zed"));
    org.positions.push_back(position("A1", "A"));
    org.positions.push_back(filled(position("A11", "A1"), "103", "Ben Young"));
    org.positions.push_back(filled(position("B", "T"), "104", "Cy Able"));
    Position b1 = filled(position("B1", "B"), "105", "Dee Young");
    b1.dottedManagerIDs = {"A1", "T"};
    org.positions.push_back(b1);
    return org;
}

} // namespace

TEST(ChartExploration, HidingDescendants)
{
    const Organization org = sample();
    EXPECT_EQ(org.hidingDescendants({"A11"}), org);
    EXPECT_EQ(org.hidingDescendants({"nobody"}), org);
    EXPECT_EQ(org.hidingDescendants({}), org);

    const Organization collapsedA = org.hidingDescendants({"A"});
    EXPECT_EQ(idsOf(collapsedA.positions), (std::vector<std::string>{"T", "A", "B", "B1"}));
    // The dotted line into the hidden subtree goes; the other stays, in order.
    EXPECT_EQ(collapsedA.positions.back().dottedManagerIDs, std::vector<std::string>{"T"});
    EXPECT_EQ(org.hidingDescendants({"A", "A1"}), collapsedA);
}

TEST(ChartExploration, Search)
{
    const Organization org = sample();
    EXPECT_TRUE(org.search("").empty());
    EXPECT_TRUE(org.search(" \t\n").empty());
    EXPECT_EQ(idsOf(org.search("VAC")), std::vector<std::string>{"A1"});
    EXPECT_EQ(idsOf(org.search("103")), std::vector<std::string>{"A11"});
    // Both words anywhere, in person order (last name, then the whole name).
    EXPECT_EQ(idsOf(org.search("young teacher")), (std::vector<std::string>{"A11", "B1"}));
    EXPECT_EQ(idsOf(org.search("teacher")), (std::vector<std::string>{"B", "T", "A11", "B1", "A", "A1"}));
    EXPECT_TRUE(org.search("young principal").empty());
}

TEST(ChartExploration, Ancestors)
{
    Organization org = sample();
    EXPECT_EQ(org.ancestors("A11"), (std::set<std::string>{"A1", "A", "T"}));
    EXPECT_TRUE(org.ancestors("T").empty());
    EXPECT_TRUE(org.ancestors("nobody").empty());
    org.positions.push_back(position("O", "gone"));
    EXPECT_EQ(org.ancestors("O"), std::set<std::string>{"gone"});
}

// T ─┬─ A ── A1 ── A11
//    └─ B ── B1 (dotted to A1 and T)
TEST(ChartExploration, HidingSearchAndAncestors)
{
    Organization org{{filled(position("T"), "100", "Tess Top"), filled(position("A", "T"), "101", "Ann Zed"),
                      position("A1", "A"), filled(position("A11", "A1"), "103", "Ben Young"),
                      filled(position("B", "T"), "104", "Cy Able"), filled(position("B1", "B"), "105", "Dee Young")}};
    org.positions[5].dottedManagerIDs = {"A1", "T"};

    EXPECT_EQ(org.hidingDescendants({"A11", "nobody"}), org);
    const Organization collapsedA = org.hidingDescendants({"A"});
    EXPECT_EQ(idsOf(collapsedA), (std::vector<std::string>{"T", "A", "B", "B1"}));
    // The dotted line into the hidden subtree goes; the other stays.
    EXPECT_EQ(collapsedA.positions.back().dottedManagerIDs, std::vector<std::string>{"T"});
    EXPECT_EQ(org.hidingDescendants({"A", "A1"}), collapsedA);

    EXPECT_TRUE(org.search(" \t\n").empty());
    EXPECT_EQ(idsOf(org.search("VAC")), std::vector<std::string>{"A1"});
    // Every word anywhere (the number too), in person order (last name, then the whole name).
    EXPECT_EQ(idsOf(org.search("103 young")), std::vector<std::string>{"A11"});
    EXPECT_EQ(idsOf(org.search("teacher")), (std::vector<std::string>{"B", "T", "A11", "B1", "A", "A1"}));
    EXPECT_TRUE(org.search("young principal").empty());

    EXPECT_EQ(org.ancestors("A11"), (std::set<std::string>{"A1", "A", "T"}));
    org.positions.push_back(position("O", "gone"));
    EXPECT_EQ(org.ancestors("O"), std::set<std::string>{"gone"});
}

TEST(ChartExploration, VeryDeepChain)
{
    Organization org{{position("P0")}};
    for (int i = 1; i < 100000; ++i)
        org.positions.push_back(position("P" + std::to_string(i), "P" + std::to_string(i - 1)));
    EXPECT_EQ(org.hidingDescendants({"P0"}).positions.size(), 1u);
    EXPECT_EQ(org.ancestors("P99999").size(), 99999u);
}
