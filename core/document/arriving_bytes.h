#pragma once

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>
#include <string_view>
#include <thread>
#include <vector>

// A file's bytes while they are still being read: one thread puts them in, in order, and
// another reads the text as far as it has arrived, so reading a large file and making sense
// of it overlap. Bytes once arrived never change. The putting side runs at most readAhead
// bytes (and one room() more) ahead of the furthest byte the reading side has asked for: a
// text refused early, as a document followed by a file's worth of NULs, costs no more than
// what was read of it.
class ArrivingBytes {
public:
    // Thrown to whoever waits for bytes when reading them failed.
    struct Abandoned {};

    static constexpr std::size_t readAhead = std::size_t(4) << 20;
    static constexpr std::size_t putAtOnce = std::size_t(1) << 20;

    // Room for `capacity` bytes, to be put in by `arrived`. Large room is made ready on other
    // threads ahead of the bytes: the first touch of each page of a large buffer costs more
    // than copying bytes into it.
    explicit ArrivingBytes(std::size_t capacity);
    ~ArrivingBytes();
    // `bytes`, all arrived already; they must outlive this.
    explicit ArrivingBytes(std::string_view bytes);

    // The putting side. `next()` is where the next bytes go, `room()` how many go there at
    // most: what still fits, a megabyte at a time, so that bytes read ahead of the reading
    // side stay few and it never waits long for the next.
    char *next() { return m_buffer.get() + m_written; }
    std::size_t room() const { return std::min(m_capacity - m_written, putAtOnce); }
    // Waits while the bytes are readAhead past those asked for, until the reading side asks
    // for more or wants no more.
    void arrived(std::size_t count);
    // No more bytes will come. `end`, when less than the bytes that arrived, is where their
    // source ends now: a file cut short after they were read. No fault is placed past it.
    void finish(std::size_t end = std::size_t(-1));
    // Reading failed: waiting gives up with Abandoned.
    void abandon();
    // Whether the reading side still wants bytes; once not, the putting side may stop.
    bool isWanted() const { return !m_unwanted; }

    // The room made, the most bytes that can arrive.
    std::size_t capacity() const { return m_capacity; }

    // The reading side. Where the bytes lie, arrived or not.
    const char *data() const { return m_data; }
    // Waits until more than `offset` bytes have arrived or none are left to come, and gives
    // how many have arrived, or fewer: the reading side asks again within half of readAhead,
    // so that the putting side keeps going. Throws Abandoned.
    std::size_t beyond(std::size_t offset);
    // Where a fault found at or after `offset` can be placed at the furthest: waits as
    // beyond() does and gives the bytes arrived, or the source's end when it was cut short
    // below them. Throws Abandoned.
    std::size_t endBeyond(std::size_t offset);
    // No byte beyond those read so far is needed (the text was refused).
    void stopWanting();

private:
    // beyond() without the cap.
    std::size_t arrivedBeyond(std::size_t offset);
    // Under m_mutex: whether bytes up to `offset` may be put in, or their room made, now.
    bool mayReach(std::size_t offset) const;
    void endRoom();

    std::unique_ptr<char[]> m_buffer;
    const char *m_data = nullptr;
    std::size_t m_capacity = 0;
    std::size_t m_written = 0; // touched by the putting side only
    std::mutex m_mutex;
    std::condition_variable m_changed;
    // Guarded by m_mutex.
    std::size_t m_arrived = 0;
    std::size_t m_end = std::size_t(-1); // where the source ends, when cut short
    std::size_t m_asked = 0;             // the bytes the reading side has asked for
    bool m_finished = false;
    bool m_abandoned = false;
    std::atomic<bool> m_unwanted = false;
    // Last, so that they stop before the buffer goes.
    std::atomic<bool> m_roomDone = false;
    std::atomic<std::size_t> m_nextRoom = 0; // the next stretch of room to make ready
    std::vector<std::jthread> m_roomMakers;
};
