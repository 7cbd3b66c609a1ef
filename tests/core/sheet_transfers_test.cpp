#include "archive_test_support.h"

#include <gtest/gtest.h>

#include <map>
#include <random>

using namespace TestDocs;

namespace {

// The rule written out step by step, one subtree per moved position: slow but plain.
std::vector<OrganizationSheet> referenceTransfers(const Organization &old, const Organization &now,
                                                  std::vector<OrganizationSheet> sheets)
{
    std::map<std::string, const Position *> oldByID;
    for (const Position &p : old.positions)
        oldByID.emplace(p.id, &p);
    auto lists = [&](size_t s, const std::string &id) {
        return std::find(sheets[s].positionIDs.begin(), sheets[s].positionIDs.end(), id) != sheets[s].positionIDs.end();
    };
    std::vector<std::set<std::string>> removal(sheets.size()), addition(sheets.size());
    for (const Position &position : now.positions) {
        const Position *p = &position;
        auto o = oldByID.find(p->id);
        if (o == oldByID.end() || !o->second->managerID || !p->managerID || *o->second->managerID == *p->managerID)
            continue;
        const std::string &a = *o->second->managerID, &b = *p->managerID;
        std::vector<size_t> sources, targets;
        for (size_t s = 0; s < sheets.size(); ++s) {
            if (lists(s, p->id) && lists(s, a) && !lists(s, b))
                sources.push_back(s);
            if (lists(s, b) && !lists(s, a))
                targets.push_back(s);
        }
        if (sources.empty() || targets.empty())
            continue;
        std::set<std::string> moved;
        for (const Position &q : now.focused({p->id}).positions) {
            for (size_t s : sources) {
                if (lists(s, q.id)) {
                    removal[s].insert(q.id);
                    moved.insert(q.id);
                }
            }
        }
        for (size_t t : targets)
            addition[t].insert(moved.begin(), moved.end());
    }
    for (size_t s = 0; s < sheets.size(); ++s) {
        std::set<std::string> kept;
        for (const std::string &id : sheets[s].positionIDs) {
            if (!removal[s].contains(id))
                kept.insert(id);
        }
        while (true) {
            std::set<std::string> collected;
            for (const Position &p : now.positions) {
                if (!removal[s].contains(p.id) || kept.contains(p.id))
                    continue;
                for (const std::string &m : p.dottedManagerIDs) {
                    if (kept.contains(m))
                        collected.insert(p.id);
                }
            }
            if (collected.empty())
                break;
            for (const Position &q : now.focused(collected).positions) {
                if (removal[s].contains(q.id))
                    kept.insert(q.id);
            }
        }
        std::erase_if(sheets[s].positionIDs,
                      [&](const std::string &id) { return removal[s].contains(id) && !kept.contains(id); });
        const std::set<std::string> listedNow(sheets[s].positionIDs.begin(), sheets[s].positionIDs.end());
        for (const std::string &id : addition[s]) {
            if (!listedNow.contains(id))
                sheets[s].positionIDs.push_back(id);
        }
    }
    return sheets;
}

} // namespace

// The fast sweep gives exactly what the rule written out step by step gives.
TEST(SheetTransfers, MatchesTheStepByStepRuleOnRandomMoves)
{
    std::mt19937 random(20240611);
    int changedRounds = 0;
    for (int round = 0; round < 300; ++round) {
        const int n = 2 + static_cast<int>(random() % 30);
        auto id = [](int i) { return "P" + std::to_string(i); };
        auto pick = [&](int below) { return static_cast<int>(random() % static_cast<unsigned>(below)); };
        Organization old;
        for (int i = 0; i < n; ++i) {
            Position p = person(id(i), i > 0 && pick(5) ? std::optional(id(pick(i))) : std::nullopt);
            if (i > 1 && pick(3) == 0)
                p.dottedManagerIDs.push_back(id(pick(i)));
            old.positions.push_back(p);
        }
        // Moves keep the organization acyclic: a new manager always comes earlier.
        Organization now = old;
        for (int i = 1; i < n; ++i) {
            if (pick(3) == 0)
                now.positions[static_cast<size_t>(i)].managerID = id(pick(i));
        }
        std::vector<OrganizationSheet> sheets;
        for (int s = 0; s < 1 + pick(5); ++s) {
            IDs ids;
            for (int i = 0; i < n; ++i) {
                if (pick(3) == 0)
                    ids.push_back(id(i));
            }
            if (pick(4) == 0 && !ids.empty())
                ids.push_back(ids.front()); // repeated entries are removed together
            sheets.push_back(sheet("S" + std::to_string(s), "S", ids));
        }
        ASSERT_NO_THROW(now.validate());
        OrganizationArchive a = archive({});
        a.organization = now;
        a.sheets = sheets;
        a.reconcileSheetTransfers(old);
        ASSERT_EQ(*a.sheets, referenceTransfers(old, now, sheets)) << "round " << round;
        changedRounds += *a.sheets != sheets;
    }
    EXPECT_GT(changedRounds, 30); // the cases exercise transfers, not only the no-op path
}
