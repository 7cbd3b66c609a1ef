#pragma once

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
// of it overlap. Bytes once arrived never change.
class ArrivingBytes {
public:
    // Thrown to whoever waits for bytes when reading them failed.
    struct Abandoned {};

    // Room for `capacity` bytes, to be put in by `arrived`. Large room is made ready on other
    // threads ahead of the bytes: the first touch of each page of a large buffer costs more
    // than copying bytes into it.
    explicit ArrivingBytes(std::size_t capacity);
    ~ArrivingBytes();
    // `bytes`, all arrived already; they must outlive this.
    explicit ArrivingBytes(std::string_view bytes);

    // The putting side. `next()` is where the next bytes go, `room()` how many still fit.
    char *next() { return m_buffer.get() + m_written; }
    std::size_t room() const { return m_capacity - m_written; }
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
    // Waits until more than `offset` bytes have arrived or none are left
    // to come, and gives how many have arrived. Throws Abandoned.
    std::size_t beyond(std::size_t offset);
    // Waits for every byte. Throws Abandoned.
    std::string_view whole();
    // Where a fault found at or after `offset` can be placed at the furthest: waits as
    // beyond() does and gives the bytes arrived, or the source's end when it was cut short
    // below them. Throws Abandoned.
    std::size_t endBeyond(std::size_t offset);
    // No byte beyond those read so far is needed (the text was refused).
    void stopWanting();

private:
    std::unique_ptr<char[]> m_buffer;
    const char *m_data = nullptr;
    std::size_t m_capacity = 0;
    std::size_t m_written = 0; // touched by the putting side only
    std::mutex m_mutex;
    std::condition_variable m_changed;
    // Guarded by m_mutex.
    std::size_t m_arrived = 0;
    std::size_t m_end = std::size_t(-1); // where the source ends, when cut short
    bool m_finished = false;
    bool m_abandoned = false;
    std::atomic<bool> m_unwanted = false;
    // Last, so that they stop before the buffer goes.
    std::atomic<bool> m_roomDone = false;
    std::atomic<std::size_t> m_nextRoom = 0; // the next stretch of room to make ready
    std::vector<std::jthread> m_roomMakers;
};
