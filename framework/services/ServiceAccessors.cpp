// The creator table and the lookup-or-create paths.
#include "framework/services/ServiceAccessors.h"

#include "framework/services/Service.h"

namespace {
struct CreatorSlot {
    uint32_t id;
    ServiceCreator creator;
};

// Room for every service id the accessors know; a handful in practice.
CreatorSlot s_creators[32];
} // namespace

void setServiceCreator(uint32_t serviceId, ServiceCreator creator)
{
    CreatorSlot* freeSlot = nullptr;
    for (CreatorSlot& slot : s_creators) {
        if (slot.creator && slot.id == serviceId) {
            slot.creator = creator;
            return;
        }
        if (!slot.creator && !freeSlot)
            freeSlot = &slot;
    }
    if (freeSlot && creator)
        *freeSlot = CreatorSlot{serviceId, creator};
}

ServiceCreator getServiceCreator(uint32_t serviceId)
{
    for (const CreatorSlot& slot : s_creators) {
        if (slot.creator && slot.id == serviceId)
            return slot.creator;
    }
    return nullptr;
}

HashedObject* findOrCreateService(uint32_t serviceId, ServiceCreator creator)
{
    if (!getGameApp())
        return nullptr;
    if (Service* service = findService(serviceId))
        return service;
    if (getGameApp()->m_tearingDown)
        return nullptr;
    if (!creator)
        creator = getServiceCreator(serviceId);
    return creator ? creator() : nullptr;
}

HashedObject* findOrCreateCachedService(uint32_t serviceId, HashedObject* AppBase::*cache, ServiceCreator creator)
{
    AppBase* app = getGameApp();
    if (!app)
        return nullptr;
    // A service made without its accessor is found, not made twice.
    if (!(app->*cache))
        app->*cache = findOrCreateService(serviceId, creator);
    return app->*cache;
}

void forgetCachedService(HashedObject* AppBase::*cache, const HashedObject* service)
{
    AppBase* app = getGameApp();
    if (app && app->*cache == service)
        app->*cache = nullptr;
}
