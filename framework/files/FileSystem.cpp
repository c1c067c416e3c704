#include "framework/files/FileSystem.h"

#include "framework/services/AppBase.h"
#include "framework/services/ServiceAccessors.h"

FileSystem::~FileSystem()
{
    forgetCachedService(&AppBase::m_fileSystem, this);
}

FileSystem* getFileSystem()
{
    return static_cast<FileSystem*>(findOrCreateCachedService(ServiceId::FileSystem, &AppBase::m_fileSystem));
}
