#include "core/chart/dotted_routing_queue.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <random>
#include <set>
#include <string>

namespace {

// Pushes `count` states at one priority, drawn from `spreadBits` bits above `base` (some of
// them twice), then takes them all out, pushing a state at that priority now and then on
// the way (below or above the last one taken, or one still waiting). Every state must come
// out, least first; a state pushed twice may come out twice (the search skips it then).
void expectAscending(int64_t bound, int count, int spreadBits, uint64_t base, unsigned seed)
{
    const std::string context = std::to_string(count) + " states over " + std::to_string(spreadBits) + " bits";
    std::mt19937_64 random(seed);
    const uint64_t spread = spreadBits >= 64 ? UINT64_MAX : (uint64_t(1) << spreadBits) - 1;
    const auto draw = [&] { return static_cast<int64_t>(base + (random() & spread)); };
    DottedRouting::RouteQueue queue;
    queue.reset(bound);
    std::set<int64_t> waiting;
    std::set<int64_t> taken;
    for (int i = 0; i < count; ++i) {
        const int64_t state = i % 7 == 6 ? *waiting.begin() : draw();
        queue.push({2.5, state});
        waiting.insert(state);
    }
    while (!waiting.empty()) {
        ASSERT_FALSE(queue.isEmpty()) << context;
        const DottedRouting::RouteQueue::Entry got = queue.pop();
        ASSERT_EQ(got.priority, 2.5) << context;
        if (taken.contains(got.state) && got.state != *waiting.begin())
            continue;
        ASSERT_EQ(got.state, *waiting.begin()) << context;
        waiting.erase(waiting.begin());
        taken.insert(got.state);
        if (random() % 4 == 0) {
            const int64_t state = random() % 2 == 0 || waiting.empty() ? draw() : *waiting.rbegin();
            queue.push({2.5, state});
            waiting.insert(state);
        }
    }
    while (!queue.isEmpty())
        ASSERT_TRUE(taken.contains(queue.pop().state)) << context;
}

} // namespace

// The states of a priority come out in order however many share it and however far apart
// they lie: two or three, a few, some dozens (either side of each length where the sort
// changes, and not a whole number of fours), hundreds within a byte of each other, thousands
// spread over most of the bits of a state; with the states pushed at that priority while it
// is taken out, in a set kept as a heap (huge bounds) or as a bitmap.
TEST(DottedRoutingQueue, HandsOutTheStatesOfAPriorityInOrder)
{
    const int64_t huge = std::numeric_limits<int64_t>::max();
    unsigned seed = 1;
    for (const int count : {2, 3, 4, 5, 7, 16, 17, 31, 64, 65, 300, 5000}) {
        for (const int spreadBits : {1, 8, 20, 40, 62}) {
            expectAscending(huge, count, spreadBits, 0, seed++);
            expectAscending(huge, count, spreadBits, uint64_t(1) << 62, seed++);
            if (spreadBits <= 20)
                expectAscending(int64_t(1) << 21, count, spreadBits, 0, seed++);
            if (testing::Test::HasFatalFailure())
                return;
        }
    }
}
