#include "core/document/arriving_bytes.h"

#include <algorithm>
#include <cassert>
#include <cstdint>

#include <sys/mman.h>
#include <unistd.h>

namespace {

constexpr std::size_t roomStretch = std::size_t(4) << 20;
constexpr std::size_t roomMakers = 2;

} // namespace

ArrivingBytes::ArrivingBytes(std::size_t capacity)
    : m_buffer(std::make_unique_for_overwrite<char[]>(capacity)), m_data(m_buffer.get()), m_capacity(capacity)
{
#ifdef MADV_POPULATE_WRITE
    if (capacity < 4 * roomStretch)
        return;
    // Whole pages only: pages the putting side has filled already are left as they are. Where
    // the kernel cannot do this, the putting side touches each page itself.
    const std::uintptr_t page = std::uintptr_t(sysconf(_SC_PAGESIZE));
    const std::uintptr_t start = (std::uintptr_t(m_buffer.get()) + page - 1) / page * page;
    const std::uintptr_t end = (std::uintptr_t(m_buffer.get()) + capacity) / page * page;
    const std::uintptr_t base = std::uintptr_t(m_buffer.get());
    for (std::size_t t = 0; t < roomMakers; ++t) {
        m_roomMakers.emplace_back([this, start, end, base] {
            while (!m_roomDone) {
                const std::uintptr_t from = start + m_nextRoom++ * roomStretch;
                if (from >= end)
                    return;
                const std::size_t length = std::min<std::uintptr_t>(roomStretch, end - from);
                {
                    std::unique_lock lock(m_mutex);
                    m_changed.wait(lock, [&] { return m_roomDone || mayReach(from + length - base); });
                }
                if (m_roomDone)
                    return;
                if (madvise(reinterpret_cast<void *>(from), length, MADV_POPULATE_WRITE) != 0)
                    return;
            }
        });
    }
#endif
}

ArrivingBytes::~ArrivingBytes()
{
    endRoom();
}

void ArrivingBytes::endRoom()
{
    const std::lock_guard lock(m_mutex);
    m_roomDone = true;
    m_changed.notify_all();
}

bool ArrivingBytes::mayReach(std::size_t offset) const
{
    return m_unwanted || offset <= m_asked + readAhead;
}

ArrivingBytes::ArrivingBytes(std::string_view bytes)
    : m_data(bytes.data()), m_capacity(bytes.size()), m_written(bytes.size()), m_arrived(bytes.size()), m_finished(true)
{
}

void ArrivingBytes::arrived(std::size_t count)
{
    assert(count <= room() && "more bytes than room");
    m_written += count;
    std::unique_lock lock(m_mutex);
    m_arrived = m_written;
    m_changed.notify_all();
    m_changed.wait(lock, [&] { return m_abandoned || m_finished || mayReach(m_written + 1); });
}

void ArrivingBytes::finish(std::size_t end)
{
    const std::lock_guard lock(m_mutex);
    m_roomDone = true;
    m_end = end;
    m_finished = true;
    m_changed.notify_all();
}

void ArrivingBytes::abandon()
{
    const std::lock_guard lock(m_mutex);
    m_roomDone = true;
    m_abandoned = true;
    m_changed.notify_all();
}

std::size_t ArrivingBytes::beyond(std::size_t offset)
{
    return std::min(arrivedBeyond(offset), offset + readAhead / 2);
}

std::size_t ArrivingBytes::arrivedBeyond(std::size_t offset)
{
    std::unique_lock lock(m_mutex);
    if (offset + 1 > m_asked) {
        m_asked = offset + 1;
        m_changed.notify_all();
    }
    m_changed.wait(lock, [&] { return m_abandoned || m_finished || m_arrived > offset; });
    if (m_abandoned)
        throw Abandoned{};
    return m_arrived;
}

std::size_t ArrivingBytes::endBeyond(std::size_t offset)
{
    const std::size_t arrived = arrivedBeyond(offset);
    const std::lock_guard lock(m_mutex);
    return std::min(arrived, m_end);
}

void ArrivingBytes::stopWanting()
{
    const std::lock_guard lock(m_mutex);
    m_unwanted = true;
    m_roomDone = true; // no more room made ahead of bytes that will not come
    m_changed.notify_all();
}
