// Flat, growing array of events that the platform fills between ticks and
// empties after delivery, keeping the storage from frame to frame.
#pragma once

#include <cstdint>

#include "framework/events/Event.h"

class EventQueue {
public:
    EventQueue() = default;
    ~EventQueue() { clear(); }
    EventQueue(const EventQueue&) = delete;
    EventQueue& operator=(const EventQueue&) = delete;

    // Dropped only when no storage can be had; 1 when queued.
    int post(uint32_t id, uint32_t arg1, uint32_t arg2);
    // Event i, or all zeros past the end.
    void get(uint32_t i, Event* out) const;
    uint32_t count() const { return m_count; }
    uint32_t capacity() const { return m_capacity; }
    // The oldest event not yet taken, 0 when none is left. The cursor lives
    // in the queue, so a delivery walk started again from inside a handler
    // carries on where the outer walk stands instead of repeating it.
    int takeNext(Event* out);
    // After delivery: the events go, the storage stays.
    void resetCount()
    {
        m_count = 0;
        m_taken = 0;
    }
    // Frees the storage.
    void clear();

private:
    Event* m_storage = nullptr;
    uint32_t m_capacity = 0;
    uint32_t m_count = 0;
    uint32_t m_taken = 0;
};
