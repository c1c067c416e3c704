#include "framework/files/FileSystem.h"

#include "framework/services/AppBase.h"
#include "framework/services/ServiceAccessors.h"

FileSystem::~FileSystem()
{
    // The application's cached word must not outlive the service it names.
    AppBase* app = getGameApp();
    if (app && app->m_fileSystem == this)
        app->m_fileSystem = nullptr;
}

FileSystem* getFileSystem()
{
    return static_cast<FileSystem*>(findOrCreateCachedService(ServiceId::FileSystem, &AppBase::m_fileSystem));
}
