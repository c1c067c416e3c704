// Resource factory service and its type table hook.
#include "framework/services/ResourceFactory.h"

#include <new>

#include "framework/services/ServiceAccessors.h"

namespace {
ResourceTypeCreator s_resourceTypeCreator = nullptr;
}

void setResourceTypeCreator(ResourceTypeCreator creator)
{
    s_resourceTypeCreator = creator;
}

HashedObject* createResourceForType(uint32_t typeId)
{
    return s_resourceTypeCreator ? s_resourceTypeCreator(typeId) : nullptr;
}

int ResourceFactory::create(uint32_t typeId, HashedObject** out)
{
    HashedObject* object = createResourceForType(typeId);
    if (out)
        *out = object;
    return object ? 1 : 0;
}

ResourceFactory* getResourceFactory()
{
    return static_cast<ResourceFactory*>(findOrCreateService(
        ServiceId::ResourceFactory, [] { return static_cast<HashedObject*>(new (std::nothrow) ResourceFactory()); }));
}
