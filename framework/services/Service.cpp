// Registration of services in the program's registry.
#include "framework/services/Service.h"

#include "framework/services/AppBase.h"
#include "framework/services/IdHashMap.h"

Service::Service(uint32_t serviceId) : HashedObject(serviceId)
{
    if (IdHashMap* registry = getServiceRegistry())
        registry->insert(serviceId, this);
}

Service::~Service()
{
    // By value: an older service under the same id must keep its own entry.
    if (IdHashMap* registry = getServiceRegistry())
        registry->removeValue(m_typeId, this);
}
