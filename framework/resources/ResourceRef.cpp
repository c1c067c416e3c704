// Payload holders.
#include "framework/resources/ResourceRef.h"

#include "framework/resources/Resource.h"
#include "framework/resources/ResourceManager.h"

int ResourceRef::refresh()
{
    ResourceManager* manager = getResourceManager();
    Resource* resource = nullptr;
    if (manager == nullptr || !manager->findLoaded(id, &resource))
        return 0;
    payload = resource->payload();
    return 1;
}
