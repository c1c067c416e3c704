// Event queue growth: 20 slots first, then doubling.
#include "framework/events/EventQueue.h"

#include <cstring>
#include <new>

namespace {
constexpr uint32_t InitialCapacity = 20;
}

int EventQueue::post(uint32_t id, uint32_t arg1, uint32_t arg2)
{
    if (m_count == m_capacity) {
        if (m_capacity > UINT32_MAX / 2 / sizeof(Event))
            return 0;
        const uint32_t capacity = m_capacity == 0 ? InitialCapacity : m_capacity * 2;
        Event* storage = new (std::nothrow) Event[capacity];
        if (!storage)
            return 0;
        if (m_count)
            std::memcpy(storage, m_storage, m_count * sizeof(Event));
        delete[] m_storage;
        m_storage = storage;
        m_capacity = capacity;
    }
    m_storage[m_count++] = Event{id, arg1, arg2};
    return 1;
}

void EventQueue::get(uint32_t i, Event* out) const
{
    if (!out)
        return;
    *out = i < m_count ? m_storage[i] : Event{0, 0, 0};
}

int EventQueue::takeNext(Event* out)
{
    if (m_taken >= m_count)
        return 0;
    if (out)
        *out = m_storage[m_taken];
    ++m_taken;
    return 1;
}

void EventQueue::clear()
{
    delete[] m_storage;
    m_storage = nullptr;
    m_capacity = 0;
    resetCount();
}
