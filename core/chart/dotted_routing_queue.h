#pragma once

// The open list of the dotted-line router's search, shared with its tests.

#include <algorithm>
#include <array>
#include <bit>
#include <cassert>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <new>
#include <utility>
#include <vector>

namespace DottedRouting {

// A 4-ary min-heap of (key, payload) pairs ordered by key alone; pairs of equal key come out
// in no particular order. The four children of a pair share one cache line, and there are
// half the levels of a binary heap. Its memory is kept when it empties.
class PairHeap {
public:
    struct Pair {
        uint64_t key;
        uint64_t payload;
    };

    PairHeap() = default;
    PairHeap(const PairHeap &) = delete;
    PairHeap &operator=(const PairHeap &) = delete;

    bool isEmpty() const { return m_size == 0; }
    size_t size() const { return m_size; }
    const Pair &top() const { return m_pairs.get()[padding]; }
    void clear() { m_size = 0; }

    [[gnu::always_inline]] void push(Pair pair)
    {
        if (m_size == m_capacity)
            grow(m_size + 1);
        size_t i = m_size++;
        while (i > 0) {
            const size_t parent = (i - 1) / 4;
            if (at(parent).key <= pair.key)
                break;
            at(i) = at(parent);
            i = parent;
        }
        at(i) = pair;
    }
    // The least pair, removed; the heap must not be empty.
    [[gnu::always_inline]] Pair pop()
    {
        const Pair least = at(0);
        const Pair last = at(--m_size);
        if (m_size > 0)
            fillHole(last);
        return least;
    }
    // Replaces the contents with `pairs` in heap order, in linear time.
    void assign(const Pair *pairs, size_t count)
    {
        if (count > m_capacity)
            grow(count);
        m_size = count;
        if (count)
            std::memcpy(&at(0), pairs, count * sizeof(Pair));
        for (size_t i = count > 1 ? (count - 2) / 4 + 1 : 0; i-- > 0;)
            siftDown(i, at(i));
    }

private:
    // Three pairs of padding before the root put each group of four children on a cache
    // line of its own.
    static constexpr size_t padding = 3;
    static constexpr std::align_val_t alignment{64};

    Pair &at(size_t i) { return m_pairs.get()[padding + i]; }
    const Pair &at(size_t i) const { return m_pairs.get()[padding + i]; }

    // The least of the children from `first` on, at least one.
    size_t leastChild(size_t first) const
    {
        if (first + 4 <= m_size) {
            // Without branches: which child wins is anyone's guess.
            const size_t a = at(first + 1).key < at(first).key ? first + 1 : first;
            const size_t b = at(first + 3).key < at(first + 2).key ? first + 3 : first + 2;
            return at(b).key < at(a).key ? b : a;
        }
        size_t least = first;
        for (size_t child = first + 1; child < m_size; ++child)
            least = at(child).key < at(least).key ? child : least;
        return least;
    }
    // Puts `pair` into the hole at `i`, moving smaller children up.
    void siftDown(size_t i, Pair pair)
    {
        for (size_t first = 4 * i + 1; first < m_size; first = 4 * i + 1) {
            const size_t least = leastChild(first);
            if (pair.key <= at(least).key)
                break;
            at(i) = at(least);
            i = least;
        }
        at(i) = pair;
    }
    // Fills the hole at the root with `pair`, which came from the bottom: the hole goes down
    // to a leaf along the least children, and `pair` rises from there, mostly not at all.
    void fillHole(Pair pair)
    {
        size_t i = 0;
        for (size_t first = 1; first < m_size; first = 4 * i + 1) {
            const size_t least = leastChild(first);
            at(i) = at(least);
            i = least;
        }
        while (i > 0) {
            const size_t parent = (i - 1) / 4;
            if (at(parent).key <= pair.key)
                break;
            at(i) = at(parent);
            i = parent;
        }
        at(i) = pair;
    }
    void grow(size_t needed)
    {
        const size_t capacity = std::max(needed, std::max<size_t>(m_capacity * 2, 256));
        auto *pairs = static_cast<Pair *>(::operator new((padding + capacity) * sizeof(Pair), alignment));
        if (m_size)
            std::memcpy(pairs + padding, m_pairs.get() + padding, m_size * sizeof(Pair));
        m_pairs.reset(pairs);
        m_capacity = capacity;
    }

    struct FreeAligned {
        void operator()(Pair *pairs) const { ::operator delete(pairs, alignment); }
    };
    std::unique_ptr<Pair[], FreeAligned> m_pairs;
    size_t m_size = 0;
    size_t m_capacity = 0;
};

// A set of states handed out least first. A few states wait in a small sorted array; past
// that, until the set empties again, in a bitmap with summary levels (level k + 1 has a bit
// per non-empty word of level k) while the states are few enough for one, else in a heap.
// A state added twice is held once.
class StateSet {
public:
    static constexpr int64_t maxBitmapStates = int64_t(1) << 28;

    // Empties the set, for states below `bound`.
    void reset(int64_t bound)
    {
        while (!isEmpty())
            takeLeast();
        m_useBitmap = bound <= maxBitmapStates;
        if (m_useBitmap && bound != m_bitmapBound) {
            m_levels.clear();
            for (uint64_t count = static_cast<uint64_t>(std::max<int64_t>(bound, 1));;) {
                count = (count + 63) / 64;
                m_levels.emplace_back(count, 0);
                if (count == 1)
                    break;
            }
            m_bitmapBound = bound;
        }
    }
    bool isEmpty() const { return m_small == 0 && m_large == 0; }

    // False when the state was there already.
    bool add(uint64_t state)
    {
        if (m_large > 0)
            return addLarge(state);
        // Descending, so the least is taken from the end.
        size_t i = m_small;
        while (i > 0 && m_smallStates[i - 1] < state) {
            m_smallStates[i] = m_smallStates[i - 1];
            --i;
        }
        if (i > 0 && m_smallStates[i - 1] == state) {
            std::memmove(&m_smallStates[i], &m_smallStates[i + 1], (m_small - i) * sizeof(uint64_t));
            return false;
        }
        m_smallStates[i] = state;
        if (++m_small == smallCapacity)
            spill();
        return true;
    }
    // The least state, removed; the set must not be empty.
    uint64_t takeLeast()
    {
        if (m_small > 0)
            return m_smallStates[--m_small];
        --m_large;
        if (!m_useBitmap)
            return m_heap.pop().key;
        return takeFromBitmap();
    }

private:
    static constexpr size_t smallCapacity = 16;

    void spill()
    {
        m_cursor = UINT64_MAX;
        for (size_t i = 0; i < m_small; ++i)
            addLarge(m_smallStates[i]);
        m_small = 0;
    }
    bool addLarge(uint64_t state)
    {
        if (!m_useBitmap) {
            m_heap.push({state, 0});
            ++m_large;
            return true;
        }
        m_cursor = std::min(m_cursor, state);
        uint64_t index = state;
        for (size_t level = 0; level < m_levels.size(); ++level) {
            uint64_t &word = m_levels[level][index / 64];
            const uint64_t bit = uint64_t(1) << (index % 64);
            if (level == 0) {
                if (word & bit)
                    return false;
                ++m_large;
            }
            const bool wasEmpty = word == 0;
            word |= bit;
            if (!wasEmpty)
                break;
            index /= 64;
        }
        return true;
    }
    // The search starts at the cursor, at or below every state in the bitmap, and mostly
    // finds the next state in the word of the last one taken.
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

    std::array<uint64_t, smallCapacity> m_smallStates;
    size_t m_small = 0;
    size_t m_large = 0;
    bool m_useBitmap = false;
    int64_t m_bitmapBound = -1;
    std::vector<std::vector<uint64_t>> m_levels;
    uint64_t m_cursor = 0;
    PairHeap m_heap; // keys only
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
//   the priorities just ahead (further ones wait in an overflow until the ring reaches
//   them). Bands follow the order of priorities, as the band of a priority is the floor of
//   a monotonic function of it; the few buckets of a band are sorted when it comes up.
// - When a priority comes up, its buckets move into a StateSet, which hands out their states
//   in order along with those pushed at that priority meanwhile; a bucket of a single state
//   skips the set.
// An entry that comes in below the current priority waits in a heap that is always emptied
// first.
class RouteQueue {
public:
    struct Entry {
        double priority;
        int64_t state; // not negative
        bool operator==(const Entry &) const = default;
    };

    RouteQueue() { m_heads.fill(noBucket); }
    RouteQueue(const RouteQueue &) = delete;
    RouteQueue &operator=(const RouteQueue &) = delete;

    // Empties the queue, keeping its memory, for states below `stateBound`.
    void reset(int64_t stateBound)
    {
        assert(stateBound >= 0);
        m_stateBound = stateBound;
        m_now.reset(stateBound);
        m_early.clear();
        m_usedChunks = 0;
        m_freeChunk = noChunk;
        m_buckets.clear();
        m_freeBucket = noBucket;
        m_recent.fill(Recent{});
        if (m_ringCount > 0)
            m_heads.fill(noBucket);
        m_occupied.fill(0);
        m_ringCount = 0;
        m_overflow.clear();
        m_band.clear();
        m_currentBand = 0;
        m_current = 0;
        m_size = 0;
    }
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
            m_early.push_back({priority, state});
            std::push_heap(m_early.begin(), m_early.end(), std::greater<>());
            return;
        }
        Recent &recent = m_recent[static_cast<size_t>((priority * 0x9E3779B97F4A7C15u) >> recentShift)];
        if (recent.priority == priority) {
            addToBucket(recent, state);
            return;
        }
        const uint32_t bucket = newBucket(priority, state);
        recent = {priority, bucket, noChunk};
        placeBucket(bucket);
    }

    // The least entry, removed; the queue must not be empty.
    [[gnu::always_inline]] Entry pop()
    {
        assert(m_size > 0 && "pop from an empty queue");
        --m_size;
        if (!m_early.empty()) [[unlikely]]
            return takeEarly();
        if (!m_now.isEmpty())
            return {std::bit_cast<double>(m_current), static_cast<int64_t>(m_now.takeLeast())};
        if (m_band.empty())
            nextBand();
        const uint32_t next = m_band.back();
        m_band.pop_back();
        Bucket &bucket = m_buckets[next];
        m_current = bucket.priority;
        if (bucket.chunk != noChunk || (!m_band.empty() && m_buckets[m_band.back()].priority == bucket.priority))
            return takeAll(next);
        // Alone: no need to order it.
        bucket.next = m_freeBucket;
        m_freeBucket = next;
        return {std::bit_cast<double>(bucket.priority), static_cast<int64_t>(bucket.first)};
    }

private:
    // Non-negative doubles order like their bit patterns.
    struct Early {
        uint64_t priority;
        uint64_t state;
        auto operator<=>(const Early &) const = default;
    };
    // The states of a later priority: the first, and the others in a chain of chunks. Buckets
    // and chunks come from pools that keep their memory.
    static constexpr uint32_t noBucket = UINT32_MAX;
    static constexpr uint32_t noChunk = UINT32_MAX;
    static constexpr uint32_t chunkStates = 7;
    struct Bucket {
        uint64_t priority;
        uint64_t first;
        uint32_t chunk; // the second state on
        uint32_t next;  // the next bucket of the same band, or of the free list
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
        uint32_t last = noChunk;
    };
    static constexpr int recentShift = 55; // 512 recent priorities
    static constexpr size_t recentSlots = size_t(1) << (64 - recentShift);
    // The ring of bands: a list of buckets per band.
    static constexpr size_t ringBands = 4096;
    static constexpr double bandsPerUnit = 1;
    // Far beyond any chart; every priority from there on shares the last band.
    static constexpr double lastBand = 0x1p62;

    static uint64_t bandOf(uint64_t priority)
    {
        return static_cast<uint64_t>(std::min(std::bit_cast<double>(priority) * bandsPerUnit, lastBand));
    }

    [[gnu::always_inline]] uint32_t newBucket(uint64_t priority, uint64_t state)
    {
        uint32_t bucket = m_freeBucket;
        if (bucket != noBucket) {
            m_freeBucket = m_buckets[bucket].next;
        } else {
            bucket = static_cast<uint32_t>(m_buckets.size());
            m_buckets.emplace_back();
        }
        m_buckets[bucket] = {priority, state, noChunk, noBucket};
        return bucket;
    }
    [[gnu::always_inline]] uint32_t newChunk()
    {
        uint32_t chunk = m_freeChunk;
        if (chunk != noChunk) {
            m_freeChunk = m_chunks[chunk].next;
        } else {
            if (m_usedChunks == m_chunks.size())
                m_chunks.emplace_back();
            chunk = static_cast<uint32_t>(m_usedChunks++);
        }
        m_chunks[chunk].next = noChunk;
        m_chunks[chunk].count = 0;
        return chunk;
    }
    [[gnu::always_inline]] void addToBucket(Recent &recent, uint64_t state)
    {
        if (recent.last == noChunk) {
            recent.last = newChunk();
            m_buckets[recent.bucket].chunk = recent.last;
        } else if (m_chunks[recent.last].count == chunkStates) [[unlikely]] {
            const uint32_t chunk = newChunk();
            m_chunks[recent.last].next = chunk;
            recent.last = chunk;
        }
        Chunk &chunk = m_chunks[recent.last];
        chunk.states[chunk.count++] = state;
    }
    // Puts a bucket of a priority above the current one where it waits for its band.
    [[gnu::always_inline]] void placeBucket(uint32_t bucket)
    {
        const uint64_t band = bandOf(m_buckets[bucket].priority);
        if (band - m_currentBand - 1 < ringBands - 1) [[likely]] {
            addToRing(band, bucket);
        } else if (band == m_currentBand) {
            insertInBand(bucket);
        } else {
            m_overflow.push_back(bucket);
        }
    }
    [[gnu::always_inline]] void addToRing(uint64_t band, uint32_t bucket)
    {
        const size_t slot = static_cast<size_t>(band % ringBands);
        m_buckets[bucket].next = m_heads[slot];
        m_heads[slot] = bucket;
        m_occupied[slot / 64] |= uint64_t(1) << (slot % 64);
        ++m_ringCount;
    }
    // Keeps the current band's buckets in descending order of priority, so the least is
    // taken from the end; a band holds a few.
    void insertInBand(uint32_t bucket)
    {
        const uint64_t priority = m_buckets[bucket].priority;
        size_t i = m_band.size();
        m_band.push_back(bucket);
        for (; i > 0 && m_buckets[m_band[i - 1]].priority < priority; --i)
            m_band[i] = m_band[i - 1];
        m_band[i] = bucket;
    }
    // Makes the next band that holds buckets the current one.
    [[gnu::noinline]] void nextBand()
    {
        if (m_ringCount == 0)
            refillRing();
        // The next occupied slot after the current band's, going round once.
        const size_t from = static_cast<size_t>((m_currentBand + 1) % ringBands);
        size_t slot = from;
        for (size_t word = from / 64, bits = m_occupied[word] & (~uint64_t(0) << (from % 64));;) {
            if (bits != 0) {
                slot = word * 64 + static_cast<size_t>(std::countr_zero(bits));
                break;
            }
            word = (word + 1) % (ringBands / 64);
            bits = m_occupied[word];
        }
        m_currentBand += (slot + ringBands - from) % ringBands + 1;
        m_occupied[slot / 64] &= ~(uint64_t(1) << (slot % 64));
        for (uint32_t bucket = m_heads[slot]; bucket != noBucket;) {
            const uint32_t next = m_buckets[bucket].next;
            insertInBand(bucket);
            --m_ringCount;
            bucket = next;
        }
        m_heads[slot] = noBucket;
        // Buckets that waited in the overflow while the ring went round to their band.
        if (!m_overflow.empty())
            takeFromOverflow();
    }
    // The ring is empty: it moves on to the least band waiting in the overflow.
    void refillRing()
    {
        uint64_t least = UINT64_MAX;
        for (uint32_t bucket : m_overflow)
            least = std::min(least, bandOf(m_buckets[bucket].priority));
        m_currentBand = least - 1;
        takeFromOverflow();
    }
    // Moves into the ring the overflow's buckets that are now within its reach.
    void takeFromOverflow()
    {
        size_t kept = 0;
        for (uint32_t bucket : m_overflow) {
            const uint64_t band = bandOf(m_buckets[bucket].priority);
            if (band - m_currentBand >= ringBands)
                m_overflow[kept++] = bucket;
            else if (band == m_currentBand)
                insertInBand(bucket);
            else
                addToRing(band, bucket);
        }
        m_overflow.resize(kept);
    }
    [[gnu::noinline]] Entry takeEarly()
    {
        std::pop_heap(m_early.begin(), m_early.end(), std::greater<>());
        const Early early = m_early.back();
        m_early.pop_back();
        return {std::bit_cast<double>(early.priority), static_cast<int64_t>(early.state)};
    }
    // Moves a bucket's states into the set and frees it; returns how many states it held and
    // how many were new in the set.
    std::pair<size_t, size_t> moveToSet(uint32_t bucket)
    {
        Bucket &here = m_buckets[bucket];
        size_t held = 1;
        size_t added = m_now.add(here.first) ? 1 : 0;
        for (uint32_t chunk = here.chunk; chunk != noChunk;) {
            Chunk &part = m_chunks[chunk];
            held += part.count;
            for (uint32_t i = 0; i < part.count; ++i)
                added += m_now.add(part.states[i]) ? 1 : 0;
            const uint32_t next = part.next;
            part.next = m_freeChunk;
            m_freeChunk = chunk;
            chunk = next;
        }
        here.next = m_freeBucket;
        m_freeBucket = bucket;
        return {held, added};
    }
    // The current priority just came up with more than one state: moves them all into the
    // set and takes the least.
    [[gnu::noinline]] Entry takeAll(uint32_t first)
    {
        const uint64_t priority = m_buckets[first].priority;
        auto [held, added] = moveToSet(first);
        while (!m_band.empty() && m_buckets[m_band.back()].priority == priority) {
            const auto [moreHeld, moreAdded] = moveToSet(m_band.back());
            m_band.pop_back();
            held += moreHeld;
            added += moreAdded;
        }
        m_size -= held - added; // states pushed twice are held once
        return {std::bit_cast<double>(priority), static_cast<int64_t>(m_now.takeLeast())};
    }

    int64_t m_stateBound = 0;
    uint64_t m_current = 0; // the priority being taken out
    StateSet m_now;         // its states
    std::array<Recent, recentSlots> m_recent{};
    std::vector<Bucket> m_buckets;
    uint32_t m_freeBucket = noBucket;
    std::vector<Chunk> m_chunks;
    size_t m_usedChunks = 0;
    uint32_t m_freeChunk = noChunk;
    // Buckets of later priorities: those of the current band, in descending order, then the
    // ring and the overflow.
    uint64_t m_currentBand = 0;
    std::vector<uint32_t> m_band;
    std::array<uint32_t, ringBands> m_heads;
    std::array<uint64_t, ringBands / 64> m_occupied{};
    size_t m_ringCount = 0;
    std::vector<uint32_t> m_overflow;
    std::vector<Early> m_early; // min-heap
    size_t m_size = 0;
};

} // namespace DottedRouting
