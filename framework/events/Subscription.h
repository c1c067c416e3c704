// Subscribing handlers to event ids. The event dispatcher holds the event
// router, which holds one handler list per event id; the handlers sit in
// those lists in priority order.
#pragma once

#include <cstdint>

#include "framework/events/EventIds.h"

class CallbackHandler;
class HandlerList;

// The router inside the program's event dispatcher, or null.
HandlerList* findEventRouter();
// The router's list for the event id, or null.
HandlerList* findEventList(HandlerList* router, uint32_t eventId);
// Takes an emptied event list out of the router, unless it is being walked
// (its walker calls this again when done).
void releaseEventListIfEmpty(HandlerList* router, uint32_t eventId, HandlerList* list);

// 1 when subscribed; 0 without a router or when memory runs out.
int subscribe(CallbackHandler* handler, uint32_t eventId, uint32_t priority = DefaultPriority);
// ids: 0-terminated. 1 when every id was subscribed.
int subscribeMany(CallbackHandler* handler, const uint32_t* ids, uint32_t priority = DefaultPriority);
int addHandlerToEvent(CallbackHandler* handler, uint32_t eventId, uint32_t priority, HandlerList* router);

// Takes every entry of the handler out of every event list (the handler
// itself stays); lists left empty leave the router.
void unsubscribeAll(CallbackHandler* handler);
void removeHandlerFromEvent(CallbackHandler* handler, uint32_t eventId, HandlerList* router);
void unsubscribeMany(CallbackHandler* handler, const uint32_t* ids);
