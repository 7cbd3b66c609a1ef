#pragma once

// The open list of the dotted-line router's search, shared with its tests.

#include "core/chart/dotted_routing_arrays.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cassert>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <utility>
#include <vector>

namespace DottedRouting {

// A set of states handed out least first. A few states wait in a small sorted array; past
// that, until the set empties again, in a bitmap with summary levels (level k + 1 has a bit
// per non-empty word of level k) while the states are few enough for one, else in a heap.
// A state added twice is held once, except in the heap, which holds it twice and hands it out
// twice.
class StateSet {
public:
    static constexpr int64_t maxBitmapStates = int64_t(1) << 28;

    // Empties the set, for states below `bound`.
    void reset(int64_t bound);
    bool isEmpty() const { return m_small == 0 && m_large == 0; }
    // The least state if it is cheaply known (in the small array, or in the bitmap's word of
    // the last one taken), else -1.
    int64_t likelyLeast() const
    {
        if (m_small > 0)
            return static_cast<int64_t>(m_smallStates[m_small - 1]);
        if (m_large == 0 || !m_useBitmap)
            return -1;
        const uint64_t word = m_cursor / 64;
        const uint64_t bits = m_levels[0][word] & (~uint64_t(0) << (m_cursor % 64));
        return bits ? static_cast<int64_t>(word * 64 + static_cast<uint64_t>(std::countr_zero(bits))) : -1;
    }

    // False when the state was there already; the heap keeps a repeat and returns true.
    bool add(uint64_t state)
    {
        if (m_large > 0)
            return addLarge(state);
        // Descending, so the least is taken from the end.
        size_t i = m_small;
        for (; i > 0 && m_smallStates[i - 1] < state; --i)
            m_smallStates[i] = m_smallStates[i - 1];
        if (i > 0 && m_smallStates[i - 1] == state) {
            std::memmove(&m_smallStates[i], &m_smallStates[i + 1], (m_small - i) * sizeof(uint64_t));
            return false;
        }
        m_smallStates[i] = state;
        if (++m_small == smallCapacity)
            spill();
        return true;
    }
    // The least state; the set must not be empty.
    uint64_t least()
    {
        if (m_small > 0)
            return m_smallStates[m_small - 1];
        if (!m_useBitmap)
            return m_heap.front();
        return findLarge();
    }
    // The least state, removed; the set must not be empty.
    uint64_t takeLeast()
    {
        if (m_small > 0)
            return m_smallStates[--m_small];
        return takeLarge();
    }

private:
    static constexpr size_t smallCapacity = 16;

    void spill();
    [[gnu::noinline]] bool addToHeap(uint64_t state);
    [[gnu::noinline]] uint64_t takeFromHeap();

    bool addLarge(uint64_t state)
    {
        if (!m_useBitmap)
            return addToHeap(state);
        uint64_t &word = m_levels[0][state / 64];
        const uint64_t bit = uint64_t(1) << (state % 64);
        if (word & bit)
            return false;
        const bool wasEmpty = word == 0;
        word |= bit;
        ++m_large;
        m_cursor = std::min(m_cursor, state);
        // A word that held states has its summary bits set already; states mostly come
        // bunched, so that is the common case.
        if (wasEmpty) {
            uint64_t index = state / 64;
            for (size_t level = 1; level < m_levels.size(); ++level, index /= 64)
                m_levels[level][index / 64] |= uint64_t(1) << (index % 64);
        }
        return true;
    }
    uint64_t takeLarge()
    {
        --m_large;
        if (!m_useBitmap)
            return takeFromHeap();
        const uint64_t index = findLarge();
        // A summary bit goes when the word below it empties.
        uint64_t clear = index;
        for (GridArray<uint64_t> &words : m_levels) {
            uint64_t &word = words[clear / 64];
            word &= ~(uint64_t(1) << (clear % 64));
            if (word != 0)
                break;
            clear /= 64;
        }
        return index;
    }
    // The least state in the bitmap, which becomes the cursor.
    uint64_t findLarge()
    {
        // The search starts at the cursor and mostly finds the next state in the word of the
        // last one taken.
        uint64_t index = m_cursor;
        size_t level = 0;
        for (;;) {
            const GridArray<uint64_t> &words = m_levels[level];
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
        return index;
    }

    std::array<uint64_t, smallCapacity> m_smallStates;
    size_t m_small = 0;
    size_t m_large = 0;
    bool m_useBitmap = false;
    int64_t m_bitmapBound = -1;
    std::vector<GridArray<uint64_t>> m_levels;
    uint64_t m_cursor = 0; // at or below every state in the bitmap
    std::vector<uint64_t> m_heap; // min-heap
};

// Items handed out by index and given back onto a free list threaded through their `next`,
// keeping their memory for the next search.
template <typename Item>
class Pool {
public:
    static constexpr uint32_t none = UINT32_MAX;

    Item &operator[](uint32_t i) { return m_items[i]; }
    const Item &operator[](uint32_t i) const { return m_items[i]; }
    // A fresh item's index; the caller sets the item.
    uint32_t take()
    {
        if (m_free == none) [[unlikely]]
            return grow();
        const uint32_t i = m_free;
        m_free = m_items[i].next;
        return i;
    }
    void give(uint32_t i)
    {
        m_items[i].next = m_free;
        m_free = i;
    }
    void clear()
    {
        m_items.clear();
        m_free = none;
    }

private:
    // Apart, so that taking a free item saves no registers.
    [[gnu::noinline]] uint32_t grow()
    {
        m_items.emplace_back();
        return static_cast<uint32_t>(m_items.size() - 1);
    }

    std::vector<Item> m_items;
    uint32_t m_free = none;
};

// Hands out entries in ascending (priority, state) order, the order a binary min-heap with
// that comparison pops them, except that equal entries may come out once (the search skips
// or harmlessly repeats such an entry).
//
// Shaped for the router's search, whose estimate is consistent: no entry comes in below the
// priority being taken out except through rounding, and a few hundred priorities wait at a
// time, each for one state or for thousands (while a line heads straight for its goal many
// states share a priority).
// - The states of a later priority wait in a bucket, found by hashing among the priorities
//   pushed lately; a priority that drops out of the recent ones and comes again gets a
//   second bucket.
// - The buckets wait in bands of priorities one unit wide, on a ring of bands that covers
//   the priorities just ahead; further ones wait in a heap until the ring reaches them.
//   Bands follow the order of priorities, as the band of a priority is the floor of a
//   monotonic function of it; the few buckets of a band are sorted when it comes up.
// - When a priority comes up, its buckets' states are sorted into a run (by radix where they
//   are many), which is merged with a StateSet of the states pushed at that priority
//   meanwhile; a bucket of a single state skips both, and states too many for a run go into
//   the set.
// An entry that comes in below the current priority waits in a heap that is always emptied
// first.
class RouteQueue {
public:
    struct Entry {
        double priority;
        int64_t state; // not negative
        bool operator==(const Entry &) const = default;
    };

    RouteQueue();
    RouteQueue(const RouteQueue &) = delete;
    RouteQueue &operator=(const RouteQueue &) = delete;

    // Empties the queue, keeping its memory, for states below `stateBound`.
    void reset(int64_t stateBound);
    bool isEmpty() const { return m_size == 0; }

    // Priorities must not be negative, states below the bound.
    [[gnu::always_inline]] void push(const Entry &entry)
    {
        assert(entry.priority >= 0 && entry.state >= 0 && entry.state < m_stateBound && "outside the queue's order");
        const uint64_t priority = std::bit_cast<uint64_t>(entry.priority);
        const uint64_t state = static_cast<uint64_t>(entry.state);
        if (priority == m_current) {
            m_size += m_now.add(state) ? 1 : 0;
            return;
        }
        ++m_size;
        if (priority < m_current) [[unlikely]] {
            pushEarly(priority, state);
            return;
        }
        Recent &recent = m_recent[static_cast<size_t>((priority * 0x9E3779B97F4A7C15u) >> recentShift)];
        if (recent.priority == priority) {
            addToBucket(recent, state);
            return;
        }
        const uint32_t bucket = newBucket(priority, state);
        recent = {priority, bucket, noChunk, 1};
        placeBucket(bucket);
    }

    // The state that pop would take if nothing came in first, when that is cheaply known,
    // else -1; for loading its memory early.
    int64_t likelyNext() const
    {
        if (m_runAt < m_run.size()) {
            const int64_t fromRun = static_cast<int64_t>(m_run[m_runAt]);
            const int64_t arrived = m_now.isEmpty() ? -1 : m_now.likelyLeast();
            return arrived >= 0 && arrived < fromRun ? arrived : fromRun;
        }
        if (!m_now.isEmpty())
            return m_now.likelyLeast();
        return m_band.empty() ? -1 : static_cast<int64_t>(m_buckets[m_band.back()].states[0]);
    }

    // The least entry, removed; the queue must not be empty.
    [[gnu::always_inline]] Entry pop()
    {
        assert(m_size > 0 && "pop from an empty queue");
        --m_size;
        if (!m_early.empty()) [[unlikely]]
            return takeEarly();
        if (m_runAt < m_run.size())
            return takeFromRun();
        if (!m_now.isEmpty())
            return {std::bit_cast<double>(m_current), static_cast<int64_t>(m_now.takeLeast())};
        uint32_t next;
        if (m_band.empty()) {
            next = nextBand();
        } else {
            next = m_band.back();
            m_band.pop_back();
        }
        Bucket &bucket = m_buckets[next];
        m_current = bucket.priority;
        if (bucket.count > 1 || (!m_band.empty() && m_buckets[m_band.back()].priority == bucket.priority))
            return takeAll(next);
        // Alone: no need to order it.
        const uint64_t state = bucket.states[0];
        m_buckets.give(next);
        return {std::bit_cast<double>(m_current), static_cast<int64_t>(state)};
    }

private:
    // Non-negative doubles order like their bit patterns.
    struct Early {
        uint64_t priority;
        uint64_t state;
        auto operator<=>(const Early &) const = default;
    };
    // The states of a later priority: the first few in the bucket itself, where most
    // priorities' states fit, and the others in a chain of chunks, so that the many states of a
    // crowded priority are gathered in few hops. Buckets and chunks come from pools that keep
    // their memory.
    static constexpr uint32_t noBucket = UINT32_MAX;
    static constexpr uint32_t noChunk = UINT32_MAX;
    static_assert(noBucket == Pool<int>::none && noChunk == Pool<int>::none);
    static constexpr uint32_t bucketStates = 7;
    static constexpr uint32_t chunkStates = 63;
    struct Bucket {
        uint64_t priority;
        uint32_t chunk; // the states past its own
        uint32_t next;  // the next bucket of the same band, or of the free list
        uint32_t count; // its own states
        std::array<uint64_t, bucketStates> states;
    };
    struct Chunk {
        uint32_t next;
        uint32_t count;
        std::array<uint64_t, chunkStates> states;
    };
    // A priority pushed lately, by hash, with its bucket and the last chunk of that.
    struct Recent {
        uint64_t priority = 0; // zero is never a later priority
        uint32_t bucket = noBucket;
        uint32_t last = noChunk; // none while the bucket's own states have room
        uint32_t count = 0;      // states in the bucket's own or the last chunk
    };
    static constexpr int recentShift = 55; // 512 recent priorities
    static constexpr size_t recentSlots = size_t(1) << (64 - recentShift);
    static constexpr size_t ringBands = 4096;

    // The floor of the priority, in units of the chart; far beyond any chart, every priority
    // shares the last band.
    static uint64_t bandOf(uint64_t priority)
    {
        constexpr double lastBand = 0x1p62;
        const double value = std::bit_cast<double>(priority);
        return static_cast<uint64_t>(value < lastBand ? value : lastBand);
    }

    uint32_t newBucket(uint64_t priority, uint64_t state)
    {
        const uint32_t bucket = m_buckets.take();
        Bucket &fresh = m_buckets[bucket];
        fresh.priority = priority;
        fresh.chunk = noChunk;
        fresh.next = noBucket;
        fresh.count = 1;
        fresh.states[0] = state;
        return bucket;
    }
    // Only stores into the bucket or its last chunk: the count is known here, so an append
    // waits for nothing that has dropped out of the cache.
    void addToBucket(Recent &recent, uint64_t state)
    {
        if (recent.count == (recent.last == noChunk ? bucketStates : chunkStates))
            return addToNewChunk(recent, state);
        appendTo(recent, state);
    }
    void appendTo(Recent &recent, uint64_t state)
    {
        if (recent.last == noChunk) {
            Bucket &bucket = m_buckets[recent.bucket];
            bucket.states[recent.count++] = state;
            bucket.count = recent.count;
        } else {
            Chunk &last = m_chunks[recent.last];
            last.states[recent.count++] = state;
            last.count = recent.count;
        }
    }
    // Starts a chunk after the bucket's own states or its full last chunk. Apart, so that an
    // append with room saves no registers.
    [[gnu::noinline]] void addToNewChunk(Recent &recent, uint64_t state)
    {
        const uint32_t chunk = m_chunks.take();
        m_chunks[chunk].next = noChunk;
        if (recent.last == noChunk)
            m_buckets[recent.bucket].chunk = chunk;
        else
            m_chunks[recent.last].next = chunk;
        recent.last = chunk;
        recent.count = 0;
        appendTo(recent, state);
    }
    // Puts a bucket of a priority above the current one where it waits for its band.
    void placeBucket(uint32_t bucket)
    {
        const uint64_t band = bandOf(m_buckets[bucket].priority);
        if (band - m_currentBand - 1 < ringBands - 1) [[likely]]
            addToRing(band, bucket);
        else
            placeBeyondRing(band, bucket);
    }
    void addToRing(uint64_t band, uint32_t bucket)
    {
        const size_t slot = static_cast<size_t>(band % ringBands);
        m_buckets[bucket].next = m_heads[slot];
        m_heads[slot] = bucket;
        m_occupied[slot / 64] |= uint64_t(1) << (slot % 64);
        ++m_ringCount;
    }
    [[gnu::noinline]] void placeBeyondRing(uint64_t band, uint32_t bucket);
    void insertInBand(uint32_t bucket);
    [[gnu::noinline]] uint32_t nextBand();
    [[gnu::noinline]] uint32_t spreadBand(uint32_t first);
    void takeFromOverflow();
    [[gnu::noinline]] void pushEarly(uint64_t priority, uint64_t state);
    [[gnu::noinline]] Entry takeEarly();
    // The least of the current priority's states while some of its run are left.
    Entry takeFromRun()
    {
        const uint64_t fromRun = m_run[m_runAt];
        if (!m_now.isEmpty()) {
            const uint64_t arrived = m_now.least();
            if (arrived < fromRun)
                return {std::bit_cast<double>(m_current), static_cast<int64_t>(m_now.takeLeast())};
            if (arrived == fromRun) {
                m_now.takeLeast(); // held once
                --m_size;
            }
        }
        ++m_runAt;
        return {std::bit_cast<double>(m_current), static_cast<int64_t>(fromRun)};
    }
    // The most states sorted into a run, which keeps its buffers small.
    static constexpr size_t longestRun = 4096;
    void moveToRun(uint32_t bucket);
    void runToSet();
    void addToRun(const uint64_t *states, uint32_t count);
    void sortRun();
    [[gnu::noinline]] void sortLongRun();
    void dropRepeats();
    void sortByMerging();
    template <int digit>
    void sortByRadix();
    [[gnu::noinline]] Entry takeAll(uint32_t first);

    int64_t m_stateBound = 0;
    uint64_t m_current = 0; // the priority being taken out
    // Its states: those that waited in its buckets, sorted, and those pushed since.
    std::vector<uint64_t> m_run;
    size_t m_runAt = 0; // the next of the run
    StateSet m_now;
    std::vector<uint64_t> m_sorting; // the run's second buffer while sorting
    std::vector<uint32_t> m_counts;  // how many states have each digit value, per pass
    std::pair<size_t, size_t> m_inSet; // states of a long run moved into the set: held, added
    std::array<Recent, recentSlots> m_recent{};
    Pool<Bucket> m_buckets;
    Pool<Chunk> m_chunks;
    // Buckets of later priorities: those of the current band in descending order of
    // priority, then the ring, then the overflow (a min-heap by band).
    uint64_t m_currentBand = 0;
    std::vector<uint32_t> m_band;
    std::array<uint32_t, ringBands> m_heads;
    std::array<uint64_t, ringBands / 64> m_occupied{};
    size_t m_ringCount = 0;
    std::vector<std::pair<uint64_t, uint32_t>> m_overflow; // (band, bucket)
    std::vector<Early> m_early;                            // min-heap
    size_t m_size = 0;
};

} // namespace DottedRouting
