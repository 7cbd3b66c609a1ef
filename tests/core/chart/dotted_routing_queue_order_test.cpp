#include "core/chart/dotted_routing_queue.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <queue>
#include <random>
#include <set>

namespace {

using Entry = DottedRouting::RouteQueue::Entry;

struct Later {
    bool operator()(const Entry &a, const Entry &b) const
    {
        return a.priority != b.priority ? a.priority > b.priority : a.state > b.state;
    }
};

// Pushes and pops at random, each push `step(floor)` at or above the last priority popped (or
// now and then below it), and checks every pop against a binary heap ordered by (priority,
// state). An entry equal to one popped before may be left out.
template <typename Step>
void expectHeapOrder(int64_t bound, int64_t states, Step step, unsigned seed, const std::string &context)
{
    std::mt19937 random(seed);
    DottedRouting::RouteQueue queue;
    queue.reset(bound);
    std::priority_queue<Entry, std::vector<Entry>, Later> reference;
    double floor = 0;
    std::set<std::pair<double, int64_t>> popped;
    for (int round = 0; round < 3; ++round) {
        for (int i = 0; i < 30000 || !queue.isEmpty(); ++i) {
            if (i < 30000 && (reference.empty() || random() % 5 < 3)) {
                const Entry entry{step(floor, random), static_cast<int64_t>(random() % static_cast<uint64_t>(states))};
                queue.push(entry);
                reference.push(entry);
                continue;
            }
            ASSERT_FALSE(queue.isEmpty()) << context;
            const Entry got = queue.pop();
            if (popped.contains({got.priority, got.state}) && (reference.empty() || !(reference.top() == got)))
                continue;
            ASSERT_FALSE(reference.empty()) << context;
            ASSERT_EQ(got, reference.top()) << context << " pop " << i;
            while (!reference.empty() && reference.top() == got)
                reference.pop();
            floor = got.priority;
            popped.insert({got.priority, got.state});
        }
        ASSERT_TRUE(reference.empty()) << context;
        // Used again, as each route's search does.
        queue.reset(bound);
        floor = 0;
        popped.clear();
    }
}

} // namespace

// The orders a search meets: priorities a fraction of a unit apart, many states at one
// priority (so they no longer fit the small set), steps far beyond the priorities just ahead,
// entries below the last one popped, priorities far beyond any chart, and states both in
// and beyond the range where a bitmap holds them.
TEST(DottedRoutingQueue, PopsInHeapOrderWhateverThePriorities)
{
    const auto fractions = [](double floor, std::mt19937 &random) { return floor + (random() % 64) / 16.0; };
    const auto crowded = [](double floor, std::mt19937 &random) { return floor + (random() % 3); };
    const auto farAhead = [](double floor, std::mt19937 &random) {
        return random() % 4 == 0 ? floor + 5000.0 + random() % 200000 : floor + (random() % 40) * 0.5;
    };
    const auto spread = [](double floor, std::mt19937 &random) { return floor + (random() % 24000) * 0.25; };
    const auto sometimesBelow = [](double floor, std::mt19937 &random) {
        return random() % 40 == 0 ? floor * 0.75 : floor + (random() % 40) * 0.25;
    };
    const auto uneven = [](double floor, std::mt19937 &random) {
        return std::nextafter(floor + (random() % 7) / 3.0, std::numeric_limits<double>::infinity());
    };
    const auto huge = [](double floor, std::mt19937 &random) {
        return random() % 3 == 0 ? 1e19 + (random() % 5) * 1e17 : floor + random() % 10;
    };
    for (const int64_t bound : {int64_t(4096), std::numeric_limits<int64_t>::max()}) {
        const std::string suffix = bound == 4096 ? " bitmap" : " heap";
        expectHeapOrder(bound, 4096, fractions, 1, "fractions" + suffix);
        expectHeapOrder(bound, 4096, crowded, 2, "crowded" + suffix);
        expectHeapOrder(bound, 50, crowded, 3, "crowded few states" + suffix);
        expectHeapOrder(bound, 4096, farAhead, 4, "far ahead" + suffix);
        expectHeapOrder(bound, 4096, spread, 8, "spread" + suffix);
        expectHeapOrder(bound, 4096, sometimesBelow, 5, "sometimes below" + suffix);
        expectHeapOrder(bound, 4096, uneven, 6, "uneven" + suffix);
        expectHeapOrder(bound, 4096, huge, 7, "huge" + suffix);
        if (testing::Test::HasFatalFailure())
            return;
    }
}

// The set under the queue, on its own, in a bitmap with several summary levels: states added
// and taken at random, bunched (many to a word of the bitmap) and spread (a word each, so that
// words and their summaries empty as states go), and added twice; the least always comes out,
// and the cheap guess at it is the least or unknown.
TEST(DottedRoutingQueue, StateSetHandsOutTheLeast)
{
    const int64_t bound = int64_t(1) << 22;
    std::mt19937 random(41);
    DottedRouting::StateSet set;
    std::set<uint64_t> reference;
    for (int round = 0; round < 4; ++round) {
        set.reset(bound);
        reference.clear();
        const bool bunched = round % 2 == 0;
        uint64_t base = random() % static_cast<uint64_t>(bound - 4096);
        for (int i = 0; i < 20000; ++i) {
            if (random() % 3 != 0 || reference.empty()) {
                if (bunched && random() % 500 == 0)
                    base = random() % static_cast<uint64_t>(bound - 4096);
                const uint64_t state = bunched ? base + random() % 4096 : (random() % 65536) * 64;
                ASSERT_EQ(set.add(state), reference.insert(state).second) << "round " << round << " add " << i;
                continue;
            }
            const int64_t guess = set.likelyLeast();
            ASSERT_TRUE(guess == -1 || guess == static_cast<int64_t>(*reference.begin())) << "round " << round;
            ASSERT_EQ(set.least(), *reference.begin()) << "round " << round << " take " << i;
            ASSERT_EQ(set.takeLeast(), *reference.begin()) << "round " << round << " take " << i;
            reference.erase(reference.begin());
            ASSERT_EQ(set.isEmpty(), reference.empty());
        }
        while (!reference.empty()) {
            ASSERT_EQ(set.takeLeast(), *reference.begin()) << "round " << round << " draining";
            reference.erase(reference.begin());
        }
        ASSERT_TRUE(set.isEmpty());
    }
}
