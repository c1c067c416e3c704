#include "platform/wince/NullService.h"

#include "framework/services/ServiceAccessors.h"

#include <new>

namespace {

HashedObject* createNullServiceObject()
{
    return createNullService();
}

} // namespace

NullService::~NullService()
{
    forgetCachedService(&AppBase::m_nullService, this);
}

NullService* createNullService()
{
    return new (std::nothrow) NullService;
}

NullService* getNullService()
{
    return static_cast<NullService*>(findOrCreateCachedService(ServiceId::NullService, &AppBase::m_nullService));
}

void installNullServiceCreator()
{
    setNullServiceCreator(createNullServiceObject);
}
