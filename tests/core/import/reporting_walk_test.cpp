#include "core/model/organization.h"
#include "core/import/reporting_walk.h"

#include <gtest/gtest.h>

#include <random>
#include <unordered_set>

namespace {

// The walk as written: follow managers one by one, remembering every id met.
std::optional<std::string> naiveFirstRepeat(const std::vector<Position> &positions, size_t start)
{
    auto find = [&](const std::string &id) -> const Position * {
        for (const Position &p : positions) {
            if (p.id == id)
                return &p;
        }
        return nullptr;
    };
    std::unordered_set<std::string> met{positions[start].id};
    const Position *current = &positions[start];
    while (current->managerID) {
        const std::string &next = *current->managerID;
        if (met.contains(next))
            return next;
        current = find(next);
        if (!current)
            return std::nullopt;
        met.insert(next);
    }
    return std::nullopt;
}

} // namespace

// Random small charts with shared ids, missing managers, cycles and trees hanging off them.
TEST(ReportingWalk, MatchesTheStepByStepWalk)
{
    std::mt19937 random(20240611);
    for (int round = 0; round < 2000; ++round) {
        const int count = 1 + static_cast<int>(random() % 12);
        const int idRange = 1 + static_cast<int>(random() % (count + 2));
        std::vector<Position> positions(static_cast<size_t>(count));
        for (Position &p : positions) {
            p.id = "P" + std::to_string(random() % idRange);
            if (random() % 5 != 0)
                p.managerID = "P" + std::to_string(random() % (idRange + 1));
        }
        std::vector<const Position *> pointers;
        for (const Position &p : positions)
            pointers.push_back(&p);
        const size_t from = random() % positions.size();
        const auto repeats = ReportingWalk::firstRepeatedIDs(pointers, from);
        ASSERT_EQ(repeats.size(), positions.size() - from);
        for (size_t i = from; i < positions.size(); ++i) {
            const auto expected = naiveFirstRepeat(positions, i);
            const auto actual = repeats[i - from] ? std::optional<std::string>(*repeats[i - from]) : std::nullopt;
            ASSERT_EQ(actual, expected) << "round " << round << " position " << i;
        }
    }
}

TEST(ReportingWalk, LongChainIsWalkedWithoutRecursion)
{
    std::vector<Position> positions(200'000);
    for (size_t i = 0; i < positions.size(); ++i) {
        positions[i].id = std::to_string(i);
        if (i > 0)
            positions[i].managerID = std::to_string(i - 1);
    }
    positions[0].managerID = std::to_string(positions.size() - 1);
    std::vector<const Position *> pointers;
    for (const Position &p : positions)
        pointers.push_back(&p);
    const auto repeats = ReportingWalk::firstRepeatedIDs(pointers, 0);
    EXPECT_EQ(repeats.front(), "0");
    EXPECT_EQ(repeats.back(), std::to_string(positions.size() - 1));
}
