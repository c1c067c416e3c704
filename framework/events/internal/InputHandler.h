// The subscription the input actions and input services share: one handler
// keyed by a fresh sequence key, and the events that wipe their state.
#pragma once

#include "framework/events/CallbackHandler.h"
#include "framework/events/EventIdCounter.h"
#include "framework/events/Subscription.h"
#include "framework/events/TaskIds.h"

#include <new>

inline bool isInputResetEvent(uint32_t eventId)
{
    return eventId == InputEventId::InputWipe || eventId == InputEventId::InputWipeAgain || eventId == EventId::Resume;
}

// Null when memory runs out.
inline CallbackHandler* subscribeInputHandler(HashedObject* owner, HandlerCallback callback, const uint32_t* events)
{
    CallbackHandler* handler = new (std::nothrow) CallbackHandler(owner, takeSequenceKey(), callback);
    if (handler)
        subscribeMany(handler, events);
    return handler;
}

inline void releaseInputHandler(CallbackHandler*& handler)
{
    if (!handler)
        return;
    unsubscribeAll(handler);
    delete handler;
    handler = nullptr;
}
