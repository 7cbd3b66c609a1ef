#include "core/chart/dotted_routing_queue.h"

#include <algorithm>
#include <functional>

namespace DottedRouting {

void StateSet::reset(int64_t bound)
{
    while (!isEmpty())
        takeLeast();
    m_useBitmap = bound <= maxBitmapStates;
    if (m_useBitmap && bound != m_bitmapBound) {
        m_levels.clear();
        for (uint64_t count = static_cast<uint64_t>(std::max<int64_t>(bound, 1));;) {
            count = (count + 63) / 64;
            m_levels.emplace_back(static_cast<size_t>(count));
            if (count == 1)
                break;
        }
        m_bitmapBound = bound;
    }
}

void StateSet::spill()
{
    m_cursor = UINT64_MAX;
    for (size_t i = 0; i < m_small; ++i)
        addLarge(m_smallStates[i]);
    m_small = 0;
}

bool StateSet::addToHeap(uint64_t state)
{
    m_heap.push_back(state);
    std::push_heap(m_heap.begin(), m_heap.end(), std::greater<>());
    ++m_large;
    return true;
}

uint64_t StateSet::takeFromHeap()
{
    std::pop_heap(m_heap.begin(), m_heap.end(), std::greater<>());
    const uint64_t state = m_heap.back();
    m_heap.pop_back();
    return state;
}

RouteQueue::RouteQueue()
{
    m_heads.fill(noBucket);
}

void RouteQueue::reset(int64_t stateBound)
{
    assert(stateBound >= 0);
    m_stateBound = stateBound;
    m_run.clear();
    m_runAt = 0;
    m_now.reset(stateBound);
    m_early.clear();
    m_buckets.clear();
    m_chunks.clear();
    m_recent.fill(Recent{});
    if (m_ringCount > 0) {
        m_heads.fill(noBucket);
        m_occupied.fill(0);
        m_ringCount = 0;
    }
    m_overflow.clear();
    m_band.clear();
    m_currentBand = 0;
    m_current = 0;
    m_size = 0;
}

void RouteQueue::placeBeyondRing(uint64_t band, uint32_t bucket)
{
    if (band == m_currentBand) {
        insertInBand(bucket);
        return;
    }
    m_overflow.emplace_back(band, bucket);
    std::push_heap(m_overflow.begin(), m_overflow.end(), std::greater<>());
}

// Keeps the current band's buckets in descending order of priority, so the least is taken
// from the end; a band holds a few.
void RouteQueue::insertInBand(uint32_t bucket)
{
    const uint64_t priority = m_buckets[bucket].priority;
    size_t i = m_band.size();
    m_band.push_back(bucket);
    for (; i > 0 && m_buckets[m_band[i - 1]].priority < priority; --i)
        m_band[i] = m_band[i - 1];
    m_band[i] = bucket;
}

// Makes the next band that holds buckets the current one, and takes its least bucket out.
uint32_t RouteQueue::nextBand()
{
    if (m_ringCount == 0) {
        // The ring moves on to the least band waiting beyond it.
        m_currentBand = m_overflow.front().first - 1;
        takeFromOverflow();
    }
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
    const uint32_t first = m_heads[slot];
    m_heads[slot] = noBucket;
    --m_ringCount;
    if (m_buckets[first].next == noBucket && m_overflow.empty()) [[likely]]
        return first; // mostly a band holds one bucket
    return spreadBand(first);
}

// The current band's buckets, from the ring slot's list and the overflow, in descending order
// but for the least, which is taken out.
uint32_t RouteQueue::spreadBand(uint32_t first)
{
    if (m_buckets[first].next == noBucket) {
        m_band.push_back(first);
    } else {
        for (uint32_t bucket = first; bucket != noBucket;) {
            const uint32_t next = m_buckets[bucket].next;
            insertInBand(bucket);
            --m_ringCount;
            bucket = next;
        }
        ++m_ringCount;
    }
    if (!m_overflow.empty())
        takeFromOverflow();
    const uint32_t least = m_band.back();
    m_band.pop_back();
    return least;
}

// Moves the buckets waiting beyond the ring that it now reaches into it.
void RouteQueue::takeFromOverflow()
{
    while (!m_overflow.empty() && m_overflow.front().first - m_currentBand < ringBands) {
        std::pop_heap(m_overflow.begin(), m_overflow.end(), std::greater<>());
        const auto [band, bucket] = m_overflow.back();
        m_overflow.pop_back();
        if (band == m_currentBand)
            insertInBand(bucket);
        else
            addToRing(band, bucket);
    }
}

void RouteQueue::pushEarly(uint64_t priority, uint64_t state)
{
    m_early.push_back({priority, state});
    std::push_heap(m_early.begin(), m_early.end(), std::greater<>());
}

RouteQueue::Entry RouteQueue::takeEarly()
{
    std::pop_heap(m_early.begin(), m_early.end(), std::greater<>());
    const Early early = m_early.back();
    m_early.pop_back();
    return {std::bit_cast<double>(early.priority), static_cast<int64_t>(early.state)};
}

// Moves a bucket's states to the end of the run and frees it and its chunks.
void RouteQueue::moveToRun(uint32_t bucket)
{
    const Bucket &here = m_buckets[bucket];
    addToRun(here.states.data(), here.count);
    for (uint32_t chunk = here.chunk; chunk != noChunk;) {
        const Chunk &part = m_chunks[chunk];
        addToRun(part.states.data(), part.count);
        const uint32_t next = part.next;
        m_chunks.give(chunk);
        chunk = next;
    }
    m_buckets.give(bucket);
}

// Appends states to the run; a run grown too long for sorting goes into the set.
void RouteQueue::addToRun(const uint64_t *states, uint32_t count)
{
    m_run.insert(m_run.end(), states, states + count);
    if (m_run.size() >= longestRun) [[unlikely]]
        runToSet();
}

// Moves the run's states into the set, counting them.
void RouteQueue::runToSet()
{
    for (uint64_t state : m_run)
        m_inSet.second += m_now.add(state) ? 1 : 0;
    m_inSet.first += m_run.size();
    m_run.clear();
}

namespace {

// Swaps the two when out of order, by a mask rather than a branch.
void orderPair(uint64_t &first, uint64_t &second)
{
    const uint64_t swap = (first ^ second) & (uint64_t(0) - uint64_t(second < first));
    first ^= swap;
    second ^= swap;
}

// Merges two sorted stretches into `out`, taking each state by a select rather than a branch.
void merge(const uint64_t *a, const uint64_t *aEnd, const uint64_t *b, const uint64_t *bEnd, uint64_t *out)
{
    if (a != aEnd && b != bEnd) {
        for (;;) {
            const uint64_t fromA = *a;
            const uint64_t fromB = *b;
            const bool takeB = fromB < fromA;
            *out++ = takeB ? fromB : fromA;
            b += takeB;
            a += !takeB;
            if (a == aEnd || b == bEnd)
                break;
        }
    }
    out = std::copy(a, aEnd, out);
    std::copy(b, bEnd, out);
}

} // namespace

// Sorts the run and drops repeats. States come in a few ascending stretches but not sorted;
// a run of more than a few is sorted without guessing branches on the states: by merging while
// short, else by radix, a byte of the states' spread at a time.
void RouteQueue::sortRun()
{
    const size_t count = m_run.size();
    uint64_t *run = m_run.data();
    if (count == 2) {
        // Mostly a priority comes up with two or three states.
        orderPair(run[0], run[1]);
    } else if (count == 3) {
        orderPair(run[0], run[1]);
        orderPair(run[1], run[2]);
        orderPair(run[0], run[1]);
    } else {
        // Apart, so that two or three states are sorted without saving registers.
        return sortLongRun();
    }
    dropRepeats();
}

void RouteQueue::sortLongRun()
{
    const size_t count = m_run.size();
    if (count <= 64) {
        sortByMerging();
    } else if (count < 2048) {
        sortByRadix<8>();
    } else {
        // Wider digits, fewer passes, where the states are many enough to fill them.
        sortByRadix<11>();
    }
    dropRepeats();
}

// Repeats are rare: only rounding pushes a state twice at one priority.
void RouteQueue::dropRepeats()
{
    uint64_t *run = m_run.data();
    const size_t count = m_run.size();
    size_t kept = 1;
    for (size_t i = 1; i < count; ++i) {
        run[kept] = run[i];
        kept += run[i] != run[kept - 1];
    }
    m_run.erase(m_run.begin() + static_cast<std::ptrdiff_t>(kept), m_run.end());
}

// Sorts groups of four by fixed exchanges, then merges them pairwise.
void RouteQueue::sortByMerging()
{
    const size_t count = m_run.size();
    m_sorting.resize(count);
    uint64_t *from = m_run.data();
    uint64_t *to = m_sorting.data();
    size_t group = 0;
    for (; group + 4 <= count; group += 4) {
        uint64_t *four = from + group;
        orderPair(four[0], four[1]);
        orderPair(four[2], four[3]);
        orderPair(four[0], four[2]);
        orderPair(four[1], four[3]);
        orderPair(four[1], four[2]);
    }
    // The last one to three, by insertion.
    for (size_t i = group + 1; i < count; ++i) {
        for (size_t at = i; at > group && from[at - 1] > from[at]; --at)
            std::swap(from[at - 1], from[at]);
    }
    for (size_t width = 4; width < count; width *= 2) {
        for (size_t first = 0; first < count; first += 2 * width) {
            const size_t middle = std::min(first + width, count);
            const size_t end = std::min(first + 2 * width, count);
            merge(from + first, from + middle, from + middle, from + end, to + first);
        }
        std::swap(from, to);
    }
    if (from != m_run.data())
        m_run.swap(m_sorting);
}

template <int digit>
void RouteQueue::sortByRadix()
{
    constexpr size_t values = size_t(1) << digit;
    constexpr uint64_t mask = values - 1;
    const size_t count = m_run.size();
    uint64_t least = UINT64_MAX;
    uint64_t most = 0;
    for (uint64_t state : m_run) {
        least = std::min(least, state);
        most = std::max(most, state);
    }
    const int passes = (std::bit_width(most - least) + digit - 1) / digit;
    m_counts.assign(static_cast<size_t>(passes) * values, 0);
    for (uint64_t state : m_run) {
        const uint64_t key = state - least;
        for (int pass = 0; pass < passes; ++pass)
            ++m_counts[static_cast<size_t>(pass) * values + ((key >> (digit * pass)) & mask)];
    }
    m_sorting.resize(count);
    for (int pass = 0; pass < passes; ++pass) {
        uint32_t *places = &m_counts[static_cast<size_t>(pass) * values];
        const int shift = digit * pass;
        if (places[((m_run[0] - least) >> shift) & mask] == count)
            continue; // one digit value throughout
        uint32_t place = 0;
        for (size_t value = 0; value < values; ++value)
            place += std::exchange(places[value], place);
        for (uint64_t state : m_run)
            m_sorting[places[((state - least) >> shift) & mask]++] = state;
        m_run.swap(m_sorting);
    }
}

// The current priority just came up with more than one state: sorts them all into the run
// and takes the least.
RouteQueue::Entry RouteQueue::takeAll(uint32_t first)
{
    const uint64_t priority = m_buckets[first].priority;
    m_run.clear();
    m_inSet = {0, 0};
    moveToRun(first);
    while (!m_band.empty() && m_buckets[m_band.back()].priority == priority) {
        moveToRun(m_band.back());
        m_band.pop_back();
    }
    if (m_inSet.first > 0) {
        // Too many to sort: the set hands them out.
        runToSet();
        m_size -= m_inSet.first - m_inSet.second; // states pushed twice are held once
        m_runAt = 0;
        return {std::bit_cast<double>(priority), static_cast<int64_t>(m_now.takeLeast())};
    }
    const size_t held = m_run.size();
    sortRun();
    m_size -= held - m_run.size(); // states pushed twice are held once
    m_runAt = 1;
    return {std::bit_cast<double>(priority), static_cast<int64_t>(m_run[0])};
}

} // namespace DottedRouting
