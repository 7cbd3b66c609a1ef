#include "archive_test_support.h"

#include <gtest/gtest.h>

#include <random>

using namespace TestDocs;

// The lock is checked before anything else; a refusal changes nothing.
TEST(ArchiveOperations, TheLockIsCheckedFirst)
{
    OrganizationArchive a = archive({person("M")});
    EXPECT_EQ(errorOf([&] { a.addPositions(vacancy("X"), 1, std::string("gone")); }), "The selected chart no longer exists.");
    a.lockForPlanning();
    const OrganizationArchive locked = a;
    EXPECT_EQ(errorOf([&] { a.deletePosition("gone"); }), lockedMessage());
    EXPECT_EQ(errorOf([&] { a.addPositions(vacancy("X"), 0, std::string("gone")); }), lockedMessage());
    EXPECT_EQ(a, locked);
}

namespace {

// Random documents and operations, many of them given arguments they must refuse.
struct Fuzzer {
    std::mt19937 random{1234};

    int pick(int below) { return static_cast<int>(random() % static_cast<unsigned>(std::max(below, 1))); }
    static std::string id(int i) { return "P" + std::to_string(i); }
    template <typename T> const T &any(const std::vector<T> &items) { return items[size_t(pick(int(items.size())))]; }

    OrganizationArchive document()
    {
        OrganizationArchive a = archive({});
        for (int i = 0, n = 1 + pick(20); i < n; ++i) {
            Position p = pick(5) ? person(id(i)) : vacancy(id(i));
            if (i > 0 && pick(5))
                p.managerID = id(pick(i));
            if (i > 1 && pick(4) == 0)
                p.dottedManagerIDs.push_back(id(pick(i)));
            a.organization.positions.push_back(p);
        }
        a.sheets.emplace();
        for (int s = 0; s < pick(4); ++s)
            a.sheets->push_back(sheet("S" + std::to_string(s), "Chart", someIDs(a)));
        return a;
    }

    std::string anyID(const OrganizationArchive &a)
    {
        return a.organization.positions.empty() || pick(10) == 0 ? "gone" : any(a.organization.positions).id;
    }
    std::string anySheet(const OrganizationArchive &a) { return a.sheets->empty() || pick(10) == 0 ? "no sheet" : any(*a.sheets).id; }
    IDs someIDs(const OrganizationArchive &a)
    {
        IDs ids;
        for (int k = 0; k < pick(5); ++k)
            ids.push_back(anyID(a));
        return ids;
    }

    Operation operation(const OrganizationArchive &a)
    {
        switch (pick(11)) {
        case 0: return [](auto &x) { x.checkpoint("Saved version"); };
        case 1: return [v = a.revisions.empty() || pick(10) == 0 ? makeUUID() : any(a.revisions)->id](auto &x) { x.restore(v); };
        case 2: return [id = anyID(a)](auto &x) { x.makePositionVacant(id); };
        case 3: {
            Position p = withDotted(person(anyID(a), anyID(a)), {anyID(a)});
            p.fte = pick(2) ? 0 : 0.5;
            return [p](auto &x) { x.updatePosition(p); };
        }
        case 4:
        case 5: return [id = anyID(a)](auto &x) { x.deletePosition(id); };
        case 6: return [id = anyID(a), sheet = anySheet(a)](auto &x) { x.removePosition(id, sheet); };
        case 7: {
            Position p = pick(2) ? vacancy("N" + std::to_string(pick(5)), anyID(a)) : person("N" + std::to_string(pick(5)));
            std::optional<std::string> sheet = pick(2) ? std::optional(anySheet(a)) : std::nullopt;
            return [p, quantity = pick(5) - 1, sheet](auto &x) { x.addPositions(p, quantity, sheet); };
        }
        case 8: return [ids = someIDs(a)](auto &x) { x.addGroup(ids.size() % 2 ? "Group" : " ", ids); };
        case 9: return [](auto &x) { x.lockForPlanning(); };
        default: return [](auto &x) { x.unlockPlanningCurrent(); };
        }
    }
};

} // namespace

// Random operations never leave an invalid document and never change the document when they
// throw; the document written and read back is equal.
TEST(ArchiveOperations, RandomSequencesKeepTheDocumentValid)
{
    Fuzzer fuzzer;
    int refused = 0, applied = 0;
    for (int document = 0; document < 60; ++document) {
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
            // Reading checks the organization, planning and every version.
            OrganizationArchive reread;
            ASSERT_NO_THROW(reread = OrganizationArchive::decode(a.encodeDocument())) << "document " << document << " step " << step;
            ASSERT_EQ(reread, a) << "document " << document << " step " << step;
        }
    }
    EXPECT_GT(applied, 600);
    EXPECT_GT(refused, 600);
}
