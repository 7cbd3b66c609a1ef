#include "archive_test_support.h"

#include <gtest/gtest.h>

#include <random>
#include <set>
#include <unordered_set>

using namespace TestDocs;

// The lock is checked before anything else; a refusal changes nothing.
TEST(ArchiveOperations, RefusalsComeInOrderAndChangeNothing)
{
    OrganizationArchive base = archive({person("M"), vacancy("V", "M")});
    base.sheets = std::vector{sheet("S", "Chart", {"M"})};
    OrganizationArchive locked = base;
    locked.lockForPlanning();
    struct Case {
        const char *what;
        const OrganizationArchive &archive;
        Operation action;
        std::string message;
    };
    const std::vector<Case> cases = {
        {"delete locked, unknown id", locked, [](auto &x) { x.deletePosition("gone"); }, lockedMessage()},
        {"delete unknown", base, [](auto &x) { x.deletePosition("gone"); }, "This position no longer exists."},
        {"vacant locked, already vacant", locked, [](auto &x) { x.makePositionVacant("V"); }, lockedMessage()},
        {"vacant twice", base, [](auto &x) { x.makePositionVacant("V"); }, "This position is already vacant."},
        {"restore unknown", base, [](auto &x) { x.restore(makeUUID()); }, "That version is no longer available."},
        {"add locked, bad quantity", locked, [](auto &x) { x.addPositions(vacancy("X"), 0, std::string("gone")); },
         lockedMessage()},
        {"add to a missing chart", base, [](auto &x) { x.addPositions(vacancy("X"), 1, std::string("gone")); },
         "The selected chart no longer exists."},
    };
    for (const Case &c : cases) {
        OrganizationArchive x = c.archive;
        EXPECT_EQ(errorOf([&] { c.action(x); }), c.message) << c.what;
        EXPECT_EQ(x, c.archive) << c.what;
    }
}

namespace {

// Random documents and operations, many of them given arguments they must refuse.
class Fuzzer {
public:
    explicit Fuzzer(unsigned seed) : m_random(seed) {}

    int pick(int below) { return static_cast<int>(m_random() % static_cast<unsigned>(std::max(below, 1))); }
    bool chance(int percent) { return pick(100) < percent; }
    template <typename T> const T &any(const std::vector<T> &items) { return items[size_t(pick(int(items.size())))]; }
    static std::string id(int i) { return "P" + std::to_string(i); }

    OrganizationArchive document()
    {
        OrganizationArchive a = archive({});
        for (int i = 0, n = 1 + pick(20); i < n; ++i) {
            Position p = chance(80) ? person(id(i)) : vacancy(id(i));
            if (i > 0 && chance(80))
                p.managerID = id(pick(i));
            if (i > 1 && chance(25))
                p.dottedManagerIDs.push_back(id(pick(i)));
            a.organization.positions.push_back(p);
        }
        a.sheets.emplace();
        for (int s = 0; s < pick(4); ++s)
            a.sheets->push_back(sheet("S" + std::to_string(s), "Chart " + std::to_string(s), someIDs(a)));
        return a;
    }

    std::string anyID(const OrganizationArchive &a)
    {
        return a.organization.positions.empty() || chance(10) ? "gone" : any(a.organization.positions).id;
    }
    std::string anySheet(const OrganizationArchive &a)
    {
        return !a.sheets || a.sheets->empty() || chance(10) ? "no sheet" : any(*a.sheets).id;
    }
    IDs someIDs(const OrganizationArchive &a)
    {
        IDs ids;
        for (int k = 0; k < pick(5); ++k)
            ids.push_back(anyID(a));
        return ids;
    }

    Operation operation(const OrganizationArchive &a)
    {
        switch (pick(17)) {
        case 0: return [](auto &x) { x.checkpoint("Saved version"); };
        case 1: return [v = a.revisions.empty() || chance(10) ? makeUUID() : any(a.revisions)->id](auto &x) { x.restore(v); };
        case 2: return [](auto &x) { x.setBaseline(); };
        case 3: return [id = anyID(a)](auto &x) { x.makePositionVacant(id); };
        case 4: {
            Position p = a.organization.positions.empty() ? person("gone") : any(a.organization.positions);
            const int change = pick(4);
            if (change == 0)
                p.managerID = anyID(a);
            else if (change == 1)
                p.fte = chance(50) ? 0 : 0.5;
            else
                p.dottedManagerIDs = {anyID(a)};
            return [p](auto &x) { x.updatePosition(p); };
        }
        case 5: {
            Organization moved = a.organization;
            for (Position &p : moved.positions)
                p.managerID = chance(20) ? std::optional(anyID(a)) : p.managerID;
            return [moved](auto &x) { x.replaceOrganization(moved); };
        }
        case 6:
        case 7: return [id = anyID(a)](auto &x) { x.deletePosition(id); };
        case 8: return [id = anyID(a), sheet = anySheet(a)](auto &x) { x.removePosition(id, sheet); };
        case 9: {
            Position p = chance(50) ? vacancy("N" + std::to_string(pick(5))) : person("N" + std::to_string(pick(5)));
            p.managerID = chance(60) ? std::optional(anyID(a)) : std::nullopt;
            std::optional<std::string> sheet = chance(50) ? std::optional(anySheet(a)) : std::nullopt;
            return [p, quantity = pick(5) - 1, sheet](auto &x) { x.addPositions(p, quantity, sheet); };
        }
        case 10: return [ids = someIDs(a)](auto &x) { x.addGroup(ids.size() % 2 ? "Group" : " ", ids); };
        case 11: return [sheet = anySheet(a), name = "Chart " + std::to_string(pick(4))](auto &x) { x.renameSheet(sheet, name); };
        case 12: {
            const IDs ids = someIDs(a);
            return [set = std::set<std::string>(ids.begin(), ids.end()), sheet = anySheet(a)](auto &x) { x.includePositions(set, sheet); };
        }
        case 13: {
            std::optional<std::string> manager = chance(70) ? std::optional(anyID(a)) : std::nullopt;
            return [manager, sheet = anySheet(a), name = chance(90) ? "New Person" : " "](auto &x) { x.quickAdd(name, "Aide", "Dept", manager, "Site", sheet); };
        }
        case 14: return [](auto &x) { x.lockForPlanning(); };
        case 15: return [](auto &x) { x.unlockPlanningCurrent(); };
        default: return [](auto &x) { x.sheets->push_back(sheet(makeUUID(), "New", {})); };
        }
    }

private:
    std::mt19937 m_random;
};

void expectValidDocument(const OrganizationArchive &a)
{
    EXPECT_NO_THROW(a.organization.validate());
    if (a.planning) {
        EXPECT_NO_THROW(a.planning->validate());
    }
    std::unordered_set<std::string> ids;
    for (const auto &revision : a.revisions) {
        EXPECT_TRUE(ids.insert(revision->id).second);
        EXPECT_NO_THROW(revision->organization.toOrganization().validate());
    }
}

} // namespace

// Random operations never leave an invalid document and never change the document when they
// throw; a document written and read back is equal.
TEST(ArchiveOperations, RandomSequencesKeepTheDocumentValid)
{
    Fuzzer fuzzer(1234);
    int refused = 0, applied = 0;
    for (int document = 0; document < 100; ++document) {
        OrganizationArchive a = fuzzer.document();
        for (int step = 0; step < 40; ++step) {
            const Operation operation = fuzzer.operation(a);
            const OrganizationArchive before = a;
            try {
                operation(a);
                ++applied;
            } catch (const OrganizationError &) {
                ++refused;
                ASSERT_EQ(a, before) << "document " << document << " step " << step;
            }
            expectValidDocument(a);
            if (::testing::Test::HasFailure())
                FAIL() << "document " << document << " step " << step;
        }
        EXPECT_EQ(OrganizationArchive::decode(a.encodeDocument()), a);
    }
    EXPECT_GT(applied, 1000);
    EXPECT_GT(refused, 1000);
}
