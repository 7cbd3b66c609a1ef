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
// that comparison pops them, except that equal entries may come out once. It is a radix
// heap on the priority: the search's estimate is consistent, so no entry is pushed below
// the last priority taken out, and entries sit in buckets by the highest bit in which their
// priority differs from it. The states of exactly that priority (many, as moving towards
// the goal keeps the priority) wait in a bitmap with summary levels when the states are
// few enough, else in a heap. An entry that comes in below it (possible only through
// rounding) waits in a heap that is always emptied first.
class RouteQueue {
public:
    struct Entry {
        double priority;
        int64_t state; // not negative
        bool operator==(const Entry &) const = default;
    };

    // Empties the queue for states below `stateBound`.
    void reset(int64_t stateBound)
    {
        for (auto &bucket : m_buckets)
            bucket.clear();
        m_early.clear();
        m_heap.clear();
        m_cursor = 0;
        while (!m_levels.empty() && m_levels.back()[0] != 0)
            takeFromBitmap();
        m_useBitmap = stateBound <= maxBitmapStates;
        if (m_useBitmap && stateBound != m_bitmapBound) {
            m_levels.clear();
            for (uint64_t count = static_cast<uint64_t>(std::max<int64_t>(stateBound, 1));;) {
                count = (count + 63) / 64;
                m_levels.emplace_back(count, 0);
                if (count == 1)
                    break;
            }
            m_bitmapBound = stateBound;
        }
        m_current = 0;
        m_last = 0;
        m_size = 0;
    }
    bool isEmpty() const { return m_size == 0; }

    // Priorities must not be negative, states below the bound.
    void push(const Entry &entry)
    {
        const Item item{std::bit_cast<uint64_t>(entry.priority), static_cast<uint64_t>(entry.state)};
        if (item.priority == m_last) {
            addCurrent(item.state);
        } else if (item.priority > m_last) {
            ++m_size;
            m_buckets[bucketOf(item.priority)].push_back(item);
        } else {
            ++m_size;
            m_early.push_back(item);
            std::push_heap(m_early.begin(), m_early.end(), std::greater<>());
        }
    }

    // The least entry; the queue must not be empty.
    Entry pop()
    {
        --m_size;
        if (!m_early.empty()) {
            std::pop_heap(m_early.begin(), m_early.end(), std::greater<>());
            const Item item = m_early.back();
            m_early.pop_back();
            return {std::bit_cast<double>(item.priority), static_cast<int64_t>(item.state)};
        }
        if (m_current == 0)
            refill();
        --m_current;
        const uint64_t state = m_useBitmap ? takeFromBitmap() : takeFromHeap();
        return {std::bit_cast<double>(m_last), static_cast<int64_t>(state)};
    }

private:
    static constexpr int64_t maxBitmapStates = int64_t(1) << 28;

    // Non-negative doubles order like their bit patterns.
    struct Item {
        uint64_t priority;
        uint64_t state;
        auto operator<=>(const Item &) const = default;
    };

    size_t bucketOf(uint64_t priority) const
    {
        return static_cast<size_t>(64 - std::countl_zero(priority ^ m_last));
    }
    void addCurrent(uint64_t state)
    {
        if (!m_useBitmap) {
            m_heap.push_back(state);
            std::push_heap(m_heap.begin(), m_heap.end(), std::greater<>());
            ++m_current;
            ++m_size;
            return;
        }
        m_cursor = std::min(m_cursor, state);
        uint64_t index = state;
        for (std::vector<uint64_t> &level : m_levels) {
            uint64_t &word = level[index / 64];
            const uint64_t bit = uint64_t(1) << (index % 64);
            const bool wasEmpty = word == 0;
            if (&level == &m_levels.front()) {
                if (word & bit)
                    return; // already waiting
                ++m_current;
                ++m_size;
            }
            word |= bit;
            if (!wasEmpty)
                return;
            index /= 64;
        }
    }
    uint64_t takeFromHeap()
    {
        std::pop_heap(m_heap.begin(), m_heap.end(), std::greater<>());
        const uint64_t state = m_heap.back();
        m_heap.pop_back();
        return state;
    }
    // The least state in the bitmap, removed. The search starts at the cursor, at or below
    // every state in the bitmap, and mostly finds it in the word of the last one taken.
    uint64_t takeFromBitmap()
    {
        uint64_t index = m_cursor;
        size_t level = 0;
        for (;;) {
            const std::vector<uint64_t> &words = m_levels[level];
            const uint64_t word = index / 64;
            const uint64_t bits = word < words.size() ? words[word] & (~uint64_t(0) << (index % 64)) : 0;
            if (bits != 0) {
                index = word * 64 + static_cast<uint64_t>(std::countr_zero(bits));
                break;
            }
            index = word + 1;
            ++level;
        }
        while (level-- > 0)
            index = index * 64 + static_cast<uint64_t>(std::countr_zero(m_levels[level][index]));
        m_cursor = index;
        uint64_t clear = index;
        for (std::vector<uint64_t> &words : m_levels) {
            uint64_t &word = words[clear / 64];
            word &= ~(uint64_t(1) << (clear % 64));
            if (word != 0)
                break;
            clear /= 64;
        }
        return index;
    }
    // Makes the least priority the last one: its states become the current ones, every
    // other entry of its bucket lands in a lower bucket.
    void refill()
    {
        size_t i = 1;
        while (m_buckets[i].empty())
            ++i;
        std::vector<Item> &bucket = m_buckets[i];
        m_last = std::min_element(bucket.begin(), bucket.end())->priority;
        m_size -= bucket.size();
        for (const Item &item : bucket) {
            if (item.priority == m_last) {
                addCurrent(item.state);
            } else {
                ++m_size;
                m_buckets[bucketOf(item.priority)].push_back(item);
            }
        }
        bucket.clear();
    }

    std::array<std::vector<Item>, 65> m_buckets; // 0 unused
    std::vector<Item> m_early;                   // min-heap
    // The states of priority m_last: a bitmap whose level k + 1 has a bit per word of
    // level k, or a min-heap.
    bool m_useBitmap = false;
    int64_t m_bitmapBound = -1;
    std::vector<std::vector<uint64_t>> m_levels;
    std::vector<uint64_t> m_heap;
    uint64_t m_cursor = 0;
    size_t m_current = 0; // states of priority m_last
    uint64_t m_last = 0;
    size_t m_size = 0;
};

} // namespace DottedRouting
