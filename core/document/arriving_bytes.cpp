#include "core/document/arriving_bytes.h"

#include <cassert>

ArrivingBytes::ArrivingBytes(std::size_t capacity)
    : m_buffer(std::make_unique_for_overwrite<char[]>(capacity)), m_data(m_buffer.get()), m_capacity(capacity)
{
}

ArrivingBytes::ArrivingBytes(std::string_view bytes)
    : m_data(bytes.data()), m_capacity(bytes.size()), m_written(bytes.size()), m_arrived(bytes.size()), m_finished(true)
{
}

void ArrivingBytes::arrived(std::size_t count)
{
    assert(count <= room() && "more bytes than room");
    m_written += count;
    const std::lock_guard lock(m_mutex);
    m_arrived = m_written;
    m_changed.notify_all();
}

void ArrivingBytes::finish()
{
    const std::lock_guard lock(m_mutex);
    m_finished = true;
    m_changed.notify_all();
}

void ArrivingBytes::abandon()
{
    const std::lock_guard lock(m_mutex);
    m_abandoned = true;
    m_changed.notify_all();
}

std::size_t ArrivingBytes::beyond(std::size_t offset)
{
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [&] { return m_abandoned || m_finished || m_arrived > offset; });
    if (m_abandoned)
        throw Abandoned{};
    return m_arrived;
}

std::string_view ArrivingBytes::whole()
{
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [&] { return m_abandoned || m_finished; });
    if (m_abandoned)
        throw Abandoned{};
    return std::string_view(m_data, m_arrived);
}
