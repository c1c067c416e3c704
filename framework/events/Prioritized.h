// Base of everything kept in priority order: listeners, handlers, entries.
#pragma once

#include "framework/events/EventIds.h"
#include "framework/services/HashedObject.h"

class Prioritized : public HashedObject {
public:
    explicit Prioritized(uint32_t typeId = TypeId::Prioritized, uint32_t priority = DefaultPriority)
        : HashedObject(typeId), m_priority(priority)
    {
    }

    uint32_t m_priority;
};
