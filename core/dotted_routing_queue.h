#pragma once

// The open list of the dotted-line router's search, shared with its tests.

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <functional>
#include <vector>

namespace DottedRouting {

// Hands out entries in ascending (priority, state) order, the order a binary min-heap with
// that comparison pops them. The order is total: two entries with equal priority and state
// have equal cost, since the priority is the cost plus an estimate fixed per state. So any
// correct priority queue pops the same sequence, and this one can be a radix heap: the
// search's estimate is consistent, so no entry is pushed below the last one popped, and
// entries sit in buckets by the highest bit in which their key differs from that last key.
// An entry that does come in below it (possible only through rounding) waits in a small
// binary heap that is always emptied first.
class RouteQueue {
public:
    struct Entry {
        double priority;
        int64_t state; // not negative
        double cost;
    };

    bool isEmpty() const { return m_size == 0; }
    void clear()
    {
        for (auto &bucket : m_buckets)
            bucket.clear();
        m_early.clear();
        m_last = 0;
        m_size = 0;
    }

    // Priorities must not be negative.
    void push(const Entry &entry)
    {
        const Item item{std::bit_cast<uint64_t>(entry.priority), static_cast<uint64_t>(entry.state), entry.cost};
        ++m_size;
        if (item.key() < m_last) {
            m_early.push_back(item);
            std::push_heap(m_early.begin(), m_early.end(), std::greater<>());
            return;
        }
        m_buckets[bucketOf(item.key())].push_back(item);
    }

    // The least entry; the queue must not be empty.
    Entry pop()
    {
        --m_size;
        if (!m_early.empty()) {
            std::pop_heap(m_early.begin(), m_early.end(), std::greater<>());
            const Item item = m_early.back();
            m_early.pop_back();
            return entryOf(item);
        }
        if (m_buckets[0].empty())
            refill();
        const Item item = m_buckets[0].back();
        m_buckets[0].pop_back();
        return entryOf(item);
    }

private:
    using Key = unsigned __int128;
    // Non-negative doubles order like their bit patterns, so the key is the priority's bits
    // followed by the state.
    struct Item {
        uint64_t priority;
        uint64_t state;
        double cost;
        Key key() const { return (Key(priority) << 64) | Key(state); }
        bool operator>(const Item &other) const { return key() > other.key(); }
    };

    static Entry entryOf(const Item &item)
    {
        return {std::bit_cast<double>(item.priority), static_cast<int64_t>(item.state), item.cost};
    }
    size_t bucketOf(Key key) const
    {
        const Key difference = key ^ m_last;
        if (difference == 0)
            return 0;
        const uint64_t high = static_cast<uint64_t>(difference >> 64);
        if (high != 0)
            return static_cast<size_t>(128 - std::countl_zero(high));
        return static_cast<size_t>(64 - std::countl_zero(static_cast<uint64_t>(difference)));
    }
    // Moves the least entries into bucket 0: the first non-empty bucket's smallest key
    // becomes the last key, and every entry of that bucket lands in a lower one.
    void refill()
    {
        size_t i = 1;
        while (m_buckets[i].empty())
            ++i;
        std::vector<Item> &bucket = m_buckets[i];
        m_last = std::min_element(bucket.begin(), bucket.end(),
                                  [](const Item &a, const Item &b) { return a.key() < b.key(); })
                     ->key();
        for (const Item &item : bucket)
            m_buckets[bucketOf(item.key())].push_back(item);
        bucket.clear();
    }

    std::array<std::vector<Item>, 129> m_buckets;
    std::vector<Item> m_early; // min-heap
    Key m_last = 0;
    size_t m_size = 0;
};

} // namespace DottedRouting
