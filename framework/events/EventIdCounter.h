// Counter behind sequence keys: the owner keys of handlers and tasks that
// have no name. Shared by the framework and the UI toolkit.
#pragma once

#include "framework/events/EventIds.h"
#include "framework/services/Service.h"
#include "framework/services/ServiceIds.h"

class EventIdCounter : public Service {
public:
    EventIdCounter() : Service(ServiceId::EventIdCounter) {}
    ~EventIdCounter() override;

    uint32_t takeKey() { return sequenceKey(m_count++); }

    uint32_t m_count = 0;
};

// Cached in the application; null without one or when memory runs out.
EventIdCounter* getEventIdCounter();
// A fresh sequence key; 0 when there is no counter.
uint32_t takeSequenceKey();
