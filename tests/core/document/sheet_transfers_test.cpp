#include "archive_test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <random>

using namespace TestDocs;

namespace {

// The rule written out step by step, one subtree per moved position: slow but plain.
std::vector<OrganizationSheet> referenceTransfers(const Organization &old, const Organization &now,
                                                  std::vector<OrganizationSheet> sheets)
{
    auto lists = [&](size_t s, const std::string &id) { return std::ranges::count(sheets[s].positionIDs, id) > 0; };
    std::vector<std::set<std::string>> removal(sheets.size()), addition(sheets.size());
    for (const Position &p : now.positions) {
        const auto o = std::ranges::find(old.positions, p.id, &Position::id);
        if (o == old.positions.end() || !o->managerID || !p.managerID || o->managerID == p.managerID)
            continue;
        std::vector<size_t> sources, targets;
        for (size_t s = 0; s < sheets.size(); ++s) {
            if (lists(s, p.id) && lists(s, *o->managerID) && !lists(s, *p.managerID))
                sources.push_back(s);
            if (lists(s, *p.managerID) && !lists(s, *o->managerID))
                targets.push_back(s);
        }
        for (const Position &q : now.focused({p.id}).positions) {
            for (size_t s : sources) {
                if (!targets.empty() && lists(s, q.id)) {
                    removal[s].insert(q.id);
                    for (size_t t : targets)
                        addition[t].insert(q.id);
                }
            }
        }
    }
    for (size_t s = 0; s < sheets.size(); ++s) {
        IDs &ids = sheets[s].positionIDs;
        std::set<std::string> kept;
        std::ranges::copy_if(ids, std::inserter(kept, kept.end()), [&](const std::string &id) { return !removal[s].contains(id); });
        // Removed positions with a dotted line to a kept one stay, with their subtrees.
        while (true) {
            std::set<std::string> collected;
            for (const Position &p : now.positions) {
                if (removal[s].contains(p.id) && !kept.contains(p.id) &&
                    std::ranges::any_of(p.dottedManagerIDs, [&](const std::string &m) { return kept.contains(m); }))
                    collected.insert(p.id);
            }
            if (collected.empty())
                break;
            for (const Position &q : now.focused(collected).positions) {
                if (removal[s].contains(q.id))
                    kept.insert(q.id);
            }
        }
        std::erase_if(ids, [&](const std::string &id) { return !kept.contains(id); });
        for (const std::string &id : addition[s]) {
            if (!kept.contains(id))
                ids.push_back(id);
        }
    }
    return sheets;
}

IDs listOf(const OrganizationArchive &a, const std::string &sheetID)
{
    return a.sheet(sheetID)->positionIDs;
}

} // namespace

TEST(SheetTransfers, MovedPositionTakesItsListedSubtree)
{
    // P and its report Q are on X with P's old manager A; the new manager B is on Y.
    OrganizationArchive a = archive({person("A"), person("B"), person("P", "A"), person("Q", "P"), person("M")});
    a.sheets = std::vector{sheet("X", "X", {"A", "P", "Q"}), sheet("Y", "Y", {"B"}), sheet("Z", "Z", {"P", "A", "B"})};
    Organization moved = a.organization;
    moved.positions[2].managerID = "B";
    a.replaceOrganization(moved);
    EXPECT_EQ(listOf(a, "X"), (IDs{"A"}));
    EXPECT_EQ(listOf(a, "Y"), (IDs{"B", "P", "Q"}));
    EXPECT_EQ(listOf(a, "Z"), (IDs{"P", "A", "B"}));
}

TEST(SheetTransfers, DottedLineToAStayingManagerHoldsAReport)
{
    OrganizationArchive a = archive({person("A"), person("B"), person("M"), person("P", "A"),
                                     withDotted(person("Q", "P"), {"M"}), person("R", "Q")});
    a.sheets = std::vector{sheet("X", "X", {"A", "P", "Q", "R", "M"}), sheet("Y", "Y", {"B"})};
    Organization moved = a.organization;
    moved.positions[3].managerID = "B";
    a.replaceOrganization(moved);
    EXPECT_EQ(listOf(a, "X"), (IDs{"A", "Q", "R", "M"}));
    EXPECT_EQ(listOf(a, "Y"), (IDs{"B", "P", "Q", "R"}));
}

TEST(SheetTransfers, GainingOrLosingAManagerMovesNothing)
{
    OrganizationArchive a = archive({person("A"), person("B"), person("P", "A"), person("T")});
    a.sheets = std::vector{sheet("X", "X", {"A", "P", "T"}), sheet("Y", "Y", {"B"})};
    const auto sheets = a.sheets;
    Organization changed = a.organization;
    changed.positions[2].managerID.reset();
    changed.positions[3].managerID = "B";
    a.replaceOrganization(changed);
    EXPECT_EQ(a.sheets, sheets);
}

TEST(SheetTransfers, ReplacingWithAnInvalidOrganizationChangesNothing)
{
    OrganizationArchive a = archive({person("A"), person("B"), person("P", "A")});
    a.sheets = std::vector{sheet("X", "X", {"A", "P"}), sheet("Y", "Y", {"B"})};
    a.checkpoint("v1");
    const OrganizationArchive before = a;
    Organization bad = a.organization;
    bad.positions[2].managerID = "B";
    bad.positions[0].fte = 0;
    EXPECT_EQ(errorOf([&] { a.replaceOrganization(bad); }), "A needs a positive FTE.");
    EXPECT_EQ(a, before);
}

// The fast sweep gives exactly what the rule written out step by step gives.
TEST(SheetTransfers, MatchesTheStepByStepRuleOnRandomMoves)
{
    std::mt19937 random(20240611);
    int changedRounds = 0;
    for (int round = 0; round < 600; ++round) {
        const int n = 2 + static_cast<int>(random() % 30);
        auto id = [](int i) { return "P" + std::to_string(i); };
        auto pick = [&](int below) { return static_cast<int>(random() % static_cast<unsigned>(below)); };
        Organization old, now;
        for (int i = 0; i < n; ++i) {
            Position p = person(id(i), i > 0 && pick(5) ? std::optional(id(pick(i))) : std::nullopt);
            if (i > 1 && pick(3) == 0)
                p.dottedManagerIDs.push_back(id(pick(i)));
            old.positions.push_back(p);
            if (i > 0 && pick(3) == 0)
                p.managerID = id(pick(i)); // an earlier manager keeps the organization acyclic
            now.positions.push_back(p);
        }
        std::vector<OrganizationSheet> sheets(static_cast<size_t>(1 + pick(5)));
        for (OrganizationSheet &s : sheets) {
            for (int i = 0; i < n; ++i) {
                if (pick(3) == 0)
                    s.positionIDs.push_back(id(i));
            }
            if (pick(4) == 0 && !s.positionIDs.empty())
                s.positionIDs.push_back(s.positionIDs.front()); // repeated entries are removed together
        }
        ASSERT_NO_THROW(now.validate());
        OrganizationArchive a = OrganizationArchive::make("District", now);
        a.sheets = sheets;
        a.reconcileSheetTransfers(old);
        ASSERT_EQ(*a.sheets, referenceTransfers(old, now, sheets)) << "round " << round;
        changedRounds += *a.sheets != sheets;
    }
    EXPECT_GT(changedRounds, 60); // the cases exercise transfers, not only the no-op path
}
