// The framework's part of the game's application object: the registry every
// service lives in, the event dispatcher, and the words through which the
// framework, the 2D library and the platform reach the game's objects.
// There is one per run, reachable through getGameApp().
#pragma once

#include <cstdint>

#include "framework/services/HashedObject.h"

class HandlerList;
class HandlerListDelegate;
class IdHashMap;
class Service;

// Clears the word before the delete, so a destructor that looks around
// through the accessors never meets a half-destroyed object.
template <typename T>
void deleteField(T*& field)
{
    T* object = field;
    field = nullptr;
    delete object;
}

class AppBase : public HashedObject {
public:
    // Becomes the program's application unless one exists already.
    AppBase();
    // Releases the framework (releaseFramework).
    ~AppBase() override;

    // 0 on success, 1 on failure.
    virtual int init();
    virtual void shutdown() {}
    virtual void frame() {}
    virtual void dispatch(uint32_t eventId, uint32_t arg1, uint32_t arg2);

    // The framework's start-up: the service registry, the event dispatcher and
    // its event router (with the delegate the game gives it, or none).
    // 1 on success, 0 when memory runs out.
    int startFramework(HandlerListDelegate* routerDelegate = nullptr);
    // Wraps the event in a message and delivers it at once to its subscribers.
    void deliverEvent(uint32_t eventId, uint32_t arg1, uint32_t arg2);
    // Deletes the ticker, the dispatcher, the resource manager and the
    // statistics overlay, then every service still registered, then the
    // registry; the last step of every teardown, safe to repeat.
    void releaseFramework();

    HashedObject* m_frameTicker = nullptr;
    HandlerList* m_eventDispatcher = nullptr;
    HashedObject* m_resourceManager = nullptr;
    HashedObject* m_statsOverlay = nullptr;
    IdHashMap* m_serviceRegistry = nullptr;
    // Cached services: set by their accessors, cleared by their destructors.
    HashedObject* m_eventIdCounter = nullptr;
    HashedObject* m_fileSystem = nullptr;
    HashedObject* m_nullService = nullptr;
    HashedObject* m_soundDevice = nullptr;
    HashedObject* m_display = nullptr;
    HashedObject* m_drawContext = nullptr;
    HashedObject* m_keyCodeMap = nullptr;
    uint8_t m_useGapi = 0;
    // Set when the game met a fault it cannot run on (its pack would not
    // read): the run ends as a failed start does, with exit code 1.
    uint8_t m_failed = 0;
    // Set while the game takes its services down: accessors then find
    // services but never make them again.
    uint8_t m_tearingDown = 0;
};

AppBase* getGameApp();
void setGameApp(AppBase* app);
// Null while there is no application.
HandlerList* getEventDispatcher();
IdHashMap* getServiceRegistry();
Service* findService(uint32_t id);

// Start-up factories: each null when memory runs out.
IdHashMap* createServiceRegistry();
HandlerList* createEventDispatcher();
// Deletes a dispatcher with its event router and the router's event lists
// (the handlers in them belong to their owners and stay).
void destroyEventDispatcher(HandlerList* dispatcher);
