// A listener that runs once and deletes itself: the delivery of one event to
// the handlers subscribed to its id.
#pragma once

#include "framework/events/Listener.h"

class OneShotTask : public Listener {
public:
    // Delivers the event; returns the last callback's result, 0 when the
    // router or the event's list is missing.
    int run(uint32_t amount, const TickInfo& tick) override;

    uint32_t m_eventId;
    HashedObject* m_target;
    // 0 delivers to every subscriber; else only to the entry with this key.
    uint32_t m_targetKey;
    uint8_t m_handledAny = 0;
    uint8_t m_handled = 0;

protected:
    // Only messages are delivered: callbacks receive the task as a Message.
    OneShotTask(uint32_t typeId, HashedObject* target, uint32_t eventId, uint32_t targetKey);
};
