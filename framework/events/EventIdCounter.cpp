// The event-id counter service.
#include "framework/events/EventIdCounter.h"

#include <new>

#include "framework/services/ServiceAccessors.h"

EventIdCounter::~EventIdCounter()
{
    forgetCachedService(&AppBase::m_eventIdCounter, this);
}

EventIdCounter* getEventIdCounter()
{
    return static_cast<EventIdCounter*>(findOrCreateCachedService(
        ServiceId::EventIdCounter, &AppBase::m_eventIdCounter,
        [] { return static_cast<HashedObject*>(new (std::nothrow) EventIdCounter()); }));
}

uint32_t takeSequenceKey()
{
    EventIdCounter* counter = getEventIdCounter();
    return counter ? counter->takeKey() : 0;
}
