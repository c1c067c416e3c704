// Delivery of a message to the handler list of its event id.
#include "framework/events/OneShotTask.h"

#include "framework/events/CallbackHandler.h"
#include "framework/events/HandlerList.h"
#include "framework/events/Message.h"
#include "framework/events/Subscription.h"

OneShotTask::OneShotTask(uint32_t typeId, HashedObject* target, uint32_t eventId, uint32_t targetKey)
    : Listener(typeId), m_eventId(eventId), m_target(target), m_targetKey(targetKey)
{
    m_remainingRuns = 1;
    m_autoDelete = 1;
}

namespace {
CallbackHandler* handlerOf(const HandlerEntry* entry)
{
    HashedObject* payload = entry->m_payload;
    if (!payload || payload->m_typeId != TypeId::CallbackHandler)
        return nullptr;
    return static_cast<CallbackHandler*>(payload);
}
} // namespace

int OneShotTask::run(uint32_t, const TickInfo&)
{
    m_handled = 0;
    HandlerList* router = findEventRouter();
    if (!router)
        return 0;
    HandlerList* list = findEventList(router, m_eventId);
    if (!list)
        return 0;
    Message& message = static_cast<Message&>(*this);
    int result = 0;
    {
        // Callbacks may unsubscribe anyone, themselves included.
        HandlerList::Walk walk(*list);
        if (m_targetKey != 0) {
            HandlerEntry* entry = nullptr;
            if (list->find(0, m_targetKey, &entry) && entry) {
                if (CallbackHandler* handler = handlerOf(entry))
                    result = handler->call(message);
                if (result) {
                    m_handled = 1;
                    m_handledAny = 1;
                }
            }
        } else {
            for (HandlerEntry* e = list->first(); e; e = list->next(e)) {
                CallbackHandler* handler = handlerOf(e);
                if (!handler)
                    continue;
                result = handler->call(message);
                if (result) {
                    m_handled = 1;
                    m_handledAny = 1;
                }
            }
        }
    }
    releaseEventListIfEmpty(router, m_eventId, list);
    return result;
}
