// Application base: the program-wide application pointer, start-up of the
// registry and dispatcher, and the ordered teardown.
#include "framework/services/AppBase.h"

#include <new>

#include "framework/events/HandlerList.h"
#include "framework/events/Message.h"
#include "framework/services/IdHashMap.h"
#include "framework/services/Service.h"
#include "framework/services/ServiceIds.h"

namespace {
AppBase* s_gameApp = nullptr;
} // namespace

AppBase* getGameApp()
{
    return s_gameApp;
}

void setGameApp(AppBase* app)
{
    s_gameApp = app;
}

HandlerList* getEventDispatcher()
{
    return s_gameApp ? s_gameApp->m_eventDispatcher : nullptr;
}

IdHashMap* getServiceRegistry()
{
    return s_gameApp ? s_gameApp->m_serviceRegistry : nullptr;
}

Service* findService(uint32_t id)
{
    IdHashMap* registry = getServiceRegistry();
    void* value = nullptr;
    if (!registry || !registry->find(id, &value))
        return nullptr;
    return static_cast<Service*>(value);
}

IdHashMap* createServiceRegistry()
{
    IdHashMap* registry = new (std::nothrow) IdHashMap();
    if (registry && !registry->init(RegistryShape::BucketHint, RegistryShape::NodesPerBlock, RegistryShape::Grow)) {
        delete registry;
        return nullptr;
    }
    return registry;
}

HandlerList* createEventDispatcher()
{
    return new (std::nothrow) HandlerList();
}

void destroyEventDispatcher(HandlerList* dispatcher)
{
    if (!dispatcher)
        return;
    HandlerEntry* routerEntry = nullptr;
    if (dispatcher->find(0, DispatcherKey::EventRouter, &routerEntry) && routerEntry) {
        HandlerList* router = static_cast<HandlerList*>(routerEntry->m_payload);
        while (HandlerEntry* e = router ? router->first() : nullptr) {
            HandlerList* list = static_cast<HandlerList*>(e->m_payload);
            while (HandlerEntry* handlerEntry = list ? list->first() : nullptr)
                list->erase(handlerEntry);
            delete list;
            router->erase(e);
        }
        dispatcher->erase(routerEntry);
        delete router;
    }
    // Entries only: what else the game filed here is the game's to delete.
    while (HandlerEntry* e = dispatcher->first())
        dispatcher->erase(e);
    delete dispatcher;
}

AppBase::AppBase() : HashedObject(TypeId::AppBase)
{
    if (!s_gameApp)
        s_gameApp = this;
}

AppBase::~AppBase()
{
    releaseFramework();
    if (s_gameApp == this)
        s_gameApp = nullptr;
}

void AppBase::releaseFramework()
{
    deleteField(m_frameTicker);
    HandlerList* dispatcher = m_eventDispatcher;
    m_eventDispatcher = nullptr;
    destroyEventDispatcher(dispatcher);
    deleteField(m_resourceManager);
    deleteField(m_statsOverlay);

    // One at a time: take a service out, then delete it. Its destructor may
    // unregister itself or delete other services; both leave the registry whole.
    if (m_serviceRegistry) {
        while (IdHashNode* node = m_serviceRegistry->anyNode()) {
            Service* service = static_cast<Service*>(node->value);
            m_serviceRegistry->removeValue(node->key, service);
            delete service;
        }
    }
    deleteField(m_serviceRegistry);

    m_eventIdCounter = m_fileSystem = m_nullService = m_soundDevice = nullptr;
    m_display = m_drawContext = nullptr;
}

int AppBase::init()
{
    return startFramework() ? 0 : 1;
}

int AppBase::startFramework(HandlerListDelegate* routerDelegate)
{
    if (!m_serviceRegistry && !(m_serviceRegistry = createServiceRegistry())) {
        delete routerDelegate;
        return 0;
    }
    if (!m_eventDispatcher && !(m_eventDispatcher = createEventDispatcher())) {
        delete routerDelegate;
        return 0;
    }
    HandlerEntry* existing = nullptr;
    if (m_eventDispatcher->find(0, DispatcherKey::EventRouter, &existing)) {
        delete routerDelegate;
        return 1;
    }
    HandlerList* router = new (std::nothrow) HandlerList();
    if (!router) {
        delete routerDelegate;
        return 0;
    }
    if (routerDelegate)
        router->setDelegate(routerDelegate);
    HandlerEntry* entry =
        m_eventDispatcher->createEntry(DispatcherKey::EventRouter, router, TypeId::HandlerList, DefaultPriority);
    if (!entry) {
        delete router;
        return 0;
    }
    m_eventDispatcher->insert(entry);
    return 1;
}

void AppBase::dispatch(uint32_t eventId, uint32_t arg1, uint32_t arg2)
{
    deliverEvent(eventId, arg1, arg2);
}

void AppBase::deliverEvent(uint32_t eventId, uint32_t arg1, uint32_t arg2)
{
    Message* message = new (std::nothrow) Message(this, eventId);
    if (!message)
        return;
    message->addInt(arg1);
    message->addInt(arg2);
    // A one-shot with auto-delete: the update deletes it.
    message->update();
}
