// A subscriber: a callback with its owner, filed in event lists under its
// owner key (a name key or a sequence key).
#pragma once

#include "framework/events/Prioritized.h"

class CallbackHandler;
class Message;

// Nonzero when the callback handled the message.
using HandlerCallback = int (*)(Message& message, CallbackHandler& handler);

class CallbackHandler : public Prioritized {
public:
    CallbackHandler(HashedObject* owner, uint32_t ownerKey, HandlerCallback callback,
                    uint32_t priority = DefaultPriority)
        : Prioritized(TypeId::CallbackHandler, priority), m_owner(owner), m_ownerKey(ownerKey), m_callback(callback)
    {
    }

    int call(Message& message) { return m_callback ? m_callback(message, *this) : 0; }

    HashedObject* m_owner;
    uint32_t m_ownerKey;
    HandlerCallback m_callback;
};
