// One entry of a handler list: a payload filed under a key and an owner key,
// linked in priority order. The payload belongs to whoever inserted it.
#pragma once

#include "framework/events/Prioritized.h"

class HandlerEntry : public Prioritized {
public:
    HandlerEntry(uint32_t key, HashedObject* payload, uint32_t ownerKey, uint32_t priority)
        : Prioritized(TypeId::HandlerEntry, priority), m_key(key), m_ownerKey(ownerKey), m_payload(payload)
    {
    }

    // Erased while its list was being walked; freed when the walk ends.
    bool isDead() const { return m_dead != 0; }

    uint32_t m_key;
    uint32_t m_ownerKey;
    HashedObject* m_payload;
    uint8_t m_flags[5] = {};
    uint8_t m_dead = 0;
    HandlerEntry* m_prev = nullptr;
    HandlerEntry* m_next = nullptr;
};
