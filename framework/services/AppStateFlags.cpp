// Accessor of the application-state flags.
#include "framework/services/AppStateFlags.h"

#include <new>

#include "framework/services/ServiceAccessors.h"

AppStateFlags* getAppStateFlags()
{
    return static_cast<AppStateFlags*>(findOrCreateService(
        ServiceId::AppStateFlags, [] { return static_cast<HashedObject*>(new (std::nothrow) AppStateFlags()); }));
}
