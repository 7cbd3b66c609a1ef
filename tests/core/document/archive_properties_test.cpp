#include "archive_test_support.h"

#include <gtest/gtest.h>

#include <random>

using namespace TestDocs;

// Every operation that changes a document, given an argument it must refuse.
TEST(ArchiveOperations, ARefusedOperationChangesNothing)
{
    OrganizationArchive base = archive({person("M", std::nullopt, "Ann", "Principal"), person("A", "M"),
                                        person("B", "M"), vacancy("V", "M"), vacancy("W", "M")});
    base.sheets = std::vector{sheet("S", "Chart", {"M", "A"}), sheet("T", "Other", {})};
    base.groups = std::vector{PositionGroup{"g", "Pair", {"A", "B"}}};
    base.checkpoint("v1");
    OrganizationArchive locked = base;
    locked.lockForPlanning();
    const std::string version = base.revisions[0]->id;
    Position edited = base.organization.positions[1];
    edited.department = "New";
    auto breakCurrent = [](OrganizationArchive &x) { x.organization.positions[0].fte = 0; };
    auto changeAfterLock = [](OrganizationArchive &x) {
        x.lockForPlanning();
        x.unlockPlanningCurrent();
        x.name = "Changed";
    };

    struct Case {
        const char *operation;
        Operation prepare; // puts the document in the state the refusal needs, if any
        Operation refused;
        Operation whenLocked; // a call that succeeds while Current is not locked
    };
    const std::vector<Case> cases = {
        {"restore", nullptr, [](auto &x) { x.restore(makeUUID()); }, [&](auto &x) { x.restore(version); }},
        {"makePositionVacant", nullptr, [](auto &x) { x.makePositionVacant("V"); },
         [](auto &x) { x.makePositionVacant("A"); }},
        {"updatePosition", nullptr,
         [](auto &x) {
             Position p = x.organization.positions[1];
             p.fte = 0;
             x.updatePosition(p);
         },
         [&](auto &x) { x.updatePosition(edited); }},
        {"replaceOrganization", nullptr, [](auto &x) { x.replaceOrganization(organization({person("X", "Y")})); },
         [](auto &x) { x.replaceOrganization({}); }},
        {"deletePosition", nullptr, [](auto &x) { x.deletePosition("M"); }, [](auto &x) { x.deletePosition("V"); }},
        {"removePosition", nullptr, [](auto &x) { x.removePosition("B", "S"); },
         [](auto &x) { x.removePosition("A", "S"); }},
        {"addPositions", nullptr, [](auto &x) { x.addPositions(vacancy("N", "gone"), 2, std::string("S")); },
         [](auto &x) { x.addPositions(vacancy("N"), 2, std::string("S")); }},
        {"addGroup", nullptr, [](auto &x) { x.addGroup("Again", {"A", "V"}); },
         [](auto &x) { x.addGroup("New", {"V", "W"}); }},
        {"renameSheet", nullptr, [](auto &x) { x.renameSheet("T", "chart"); }, [](auto &x) { x.renameSheet("T", "Fine"); }},
        {"includePositions", nullptr, [](auto &x) { x.includePositions({"B", "gone"}, "T"); },
         [](auto &x) { x.includePositions({"B"}, "T"); }},
        {"quickAdd", nullptr, [](auto &x) { x.quickAdd("Bo", "Aide", "", std::string("gone"), "", "S"); },
         [](auto &x) { x.quickAdd("Bo", "Aide", "", std::nullopt, "", "S"); }},
        {"checkpoint", breakCurrent, [](auto &x) { x.checkpoint("n"); }, nullptr},
        {"setBaseline", breakCurrent, [](auto &x) { x.setBaseline(); }, nullptr},
        {"lockForPlanning", changeAfterLock, [](auto &x) { x.lockForPlanning(); }, nullptr},
    };
    for (const Case &c : cases) {
        OrganizationArchive x = base;
        if (c.prepare)
            c.prepare(x);
        const OrganizationArchive before = x;
        EXPECT_NE(errorOf([&] { c.refused(x); }), "") << c.operation << " was not refused";
        EXPECT_EQ(x, before) << c.operation;
        if (!c.whenLocked)
            continue;
        OrganizationArchive y = locked;
        EXPECT_EQ(errorOf([&] { c.whenLocked(y); }), lockedMessage()) << c.operation;
        EXPECT_EQ(y, locked) << c.operation;
        OrganizationArchive z = base;
        EXPECT_EQ(errorOf([&] { c.whenLocked(z); }), "") << c.operation << " succeeds when unlocked";
    }
}

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
            a.sheets->push_back(sheet("S" + std::to_string(s), "Chart " + std::to_string(s), someIDs(a)));
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
        switch (pick(18)) {
        case 0: return [](auto &x) { x.checkpoint("Saved version"); };
        case 1: return [v = a.revisions.empty() || pick(10) == 0 ? makeUUID() : any(a.revisions)->id](auto &x) { x.restore(v); };
        case 2: return [](auto &x) { x.setBaseline(); };
        case 3: return [id = anyID(a)](auto &x) { x.makePositionVacant(id); };
        case 4: {
            Position p = withDotted(person(anyID(a), anyID(a)), {anyID(a)});
            p.fte = pick(2) ? 0 : 0.5;
            return [p](auto &x) { x.updatePosition(p); };
        }
        case 5: {
            // One change to a position as it stands.
            if (a.organization.positions.empty())
                return [](auto &x) { x.updatePosition(person("gone")); };
            Position p = any(a.organization.positions);
            switch (pick(4)) {
            case 0: p.managerID = anyID(a); break;
            case 1: p.fte = pick(2) ? 0 : 0.5; break;
            case 2: p.dottedManagerIDs = {anyID(a)}; break;
            default: p.department = "Changed"; break;
            }
            return [p](auto &x) { x.updatePosition(p); };
        }
        case 6: {
            Organization moved = a.organization;
            for (Position &p : moved.positions) {
                if (pick(5) == 0)
                    p.managerID = anyID(a);
            }
            return [moved](auto &x) { x.replaceOrganization(moved); };
        }
        case 7:
        case 8: return [id = anyID(a)](auto &x) { x.deletePosition(id); };
        case 9: return [id = anyID(a), sheet = anySheet(a)](auto &x) { x.removePosition(id, sheet); };
        case 10: {
            Position p = pick(2) ? vacancy("N" + std::to_string(pick(5))) : person("N" + std::to_string(pick(5)));
            if (pick(5) < 3)
                p.managerID = anyID(a);
            std::optional<std::string> sheet = pick(2) ? std::optional(anySheet(a)) : std::nullopt;
            return [p, quantity = pick(5) - 1, sheet](auto &x) { x.addPositions(p, quantity, sheet); };
        }
        case 11: return [ids = someIDs(a)](auto &x) { x.addGroup(ids.size() % 2 ? "Group" : " ", ids); };
        case 12: return [sheet = anySheet(a), name = "Chart " + std::to_string(pick(4))](auto &x) { x.renameSheet(sheet, name); };
        case 13: {
            const IDs ids = someIDs(a);
            return [set = std::set<std::string>(ids.begin(), ids.end()), sheet = anySheet(a)](auto &x) {
                x.includePositions(set, sheet);
            };
        }
        case 14: {
            std::optional<std::string> manager = pick(10) < 7 ? std::optional(anyID(a)) : std::nullopt;
            return [manager, sheet = anySheet(a), name = pick(10) ? "New Person" : " "](auto &x) {
                x.quickAdd(name, "Aide", "Dept", manager, "Site", sheet);
            };
        }
        case 15: return [](auto &x) { x.lockForPlanning(); };
        case 16: return [](auto &x) { x.unlockPlanningCurrent(); };
        default: return [](auto &x) { x.sheets->push_back(sheet(makeUUID(), "New", {})); };
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
    for (int document = 0; document < 150; ++document) {
        OrganizationArchive a = fuzzer.document();
        ASSERT_NO_THROW(a.organization.validate());
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
    EXPECT_GT(applied, 1000);
    EXPECT_GT(refused, 1000);
}
