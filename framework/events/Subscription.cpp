// Subscription and unsubscription through the event router.
//
// Entries are matched by the handler they carry, not only by its owner key: a
// handler subscribed twice, or one whose owner key is 0 or shared with another
// handler, must not leave an entry behind that outlives it.
#include "framework/events/Subscription.h"

#include <new>

#include "framework/events/CallbackHandler.h"
#include "framework/events/HandlerList.h"
#include "framework/services/AppBase.h"

namespace {
HandlerList* listOf(const HandlerEntry* entry)
{
    return entry ? static_cast<HandlerList*>(entry->m_payload) : nullptr;
}

// Erases the handler's entries from one event list.
void eraseHandlerEntries(HandlerList* list, const CallbackHandler* handler)
{
    HandlerList::Walk walk(*list);
    for (HandlerEntry* e = list->first(); e; e = list->next(e)) {
        if (e->m_payload == handler)
            list->erase(e);
    }
}
} // namespace

HandlerList* findEventRouter()
{
    HandlerList* dispatcher = getEventDispatcher();
    if (!dispatcher)
        return nullptr;
    HandlerEntry* entry = nullptr;
    if (!dispatcher->find(0, DispatcherKey::EventRouter, &entry))
        return nullptr;
    return listOf(entry);
}

HandlerList* findEventList(HandlerList* router, uint32_t eventId)
{
    HandlerEntry* entry = nullptr;
    if (!router || !router->find(0, eventId, &entry))
        return nullptr;
    return listOf(entry);
}

void releaseEventListIfEmpty(HandlerList* router, uint32_t eventId, HandlerList* list)
{
    if (!router || !list || !list->isEmpty() || list->isWalking())
        return;
    for (HandlerEntry* e = router->first(); e; e = router->next(e)) {
        if (e->m_key == eventId && e->m_payload == list) {
            router->erase(e);
            delete list;
            return;
        }
    }
}

int addHandlerToEvent(CallbackHandler* handler, uint32_t eventId, uint32_t priority, HandlerList* router)
{
    if (!handler || !router)
        return 0;
    HandlerList* list = findEventList(router, eventId);
    if (!list) {
        list = new (std::nothrow) HandlerList();
        if (!list)
            return 0;
        HandlerEntry* routerEntry = router->createEntry(eventId, list, 0, DefaultPriority);
        if (!routerEntry) {
            delete list;
            return 0;
        }
        router->insert(routerEntry);
    }
    HandlerEntry* entry = list->createEntry(handler->m_ownerKey, handler, handler->m_typeId, priority);
    if (!entry) {
        releaseEventListIfEmpty(router, eventId, list);
        return 0;
    }
    list->insert(entry);
    return 1;
}

int subscribe(CallbackHandler* handler, uint32_t eventId, uint32_t priority)
{
    HandlerList* router = findEventRouter();
    if (!router)
        return 0;
    return addHandlerToEvent(handler, eventId, priority, router);
}

int subscribeMany(CallbackHandler* handler, const uint32_t* ids, uint32_t priority)
{
    if (!ids)
        return 0;
    HandlerList* router = findEventRouter();
    if (!router)
        return 0;
    int result = 1;
    for (; *ids; ++ids) {
        if (!addHandlerToEvent(handler, *ids, priority, router))
            result = 0;
    }
    return result;
}

void unsubscribeAll(CallbackHandler* handler)
{
    HandlerList* router = findEventRouter();
    if (!handler || !router)
        return;
    HandlerList::Walk walk(*router);
    for (HandlerEntry* e = router->first(); e; e = router->next(e)) {
        HandlerList* list = listOf(e);
        if (!list)
            continue;
        eraseHandlerEntries(list, handler);
        if (list->isEmpty() && !list->isWalking()) {
            router->erase(e);
            delete list;
        }
    }
}

void removeHandlerFromEvent(CallbackHandler* handler, uint32_t eventId, HandlerList* router)
{
    if (!handler || !router)
        return;
    HandlerList* list = findEventList(router, eventId);
    if (!list)
        return;
    eraseHandlerEntries(list, handler);
    releaseEventListIfEmpty(router, eventId, list);
}

void unsubscribeMany(CallbackHandler* handler, const uint32_t* ids)
{
    HandlerList* router = findEventRouter();
    if (!router || !ids)
        return;
    for (; *ids; ++ids)
        removeHandlerFromEvent(handler, *ids, router);
}
