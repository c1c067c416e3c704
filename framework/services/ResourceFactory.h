// Maker of resource objects by resource-type id. The table of types belongs
// to the resource manager, which installs it.
#pragma once

#include "framework/services/Service.h"
#include "framework/services/ServiceIds.h"

using ResourceTypeCreator = HashedObject* (*)(uint32_t typeId);

void setResourceTypeCreator(ResourceTypeCreator creator);
// A new resource object for the type id; null for an unknown id or without a table.
HashedObject* createResourceForType(uint32_t typeId);

class ResourceFactory : public Service {
public:
    ResourceFactory() : Service(ServiceId::ResourceFactory) {}

    // 1 when an object was made.
    int create(uint32_t typeId, HashedObject** out);
};

ResourceFactory* getResourceFactory();
