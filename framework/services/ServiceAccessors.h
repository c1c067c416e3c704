// Lookup-or-create of services. Services whose classes live above the
// framework (platform, 2D library, game) are made through creators that their
// layer installs; without a creator their accessors answer null.
#pragma once

#include <cstdint>

#include "framework/services/AppBase.h"
#include "framework/services/ServiceIds.h"

// Makes the service (whose constructor registers it); null when it cannot.
using ServiceCreator = HashedObject* (*)();

void setServiceCreator(uint32_t serviceId, ServiceCreator creator);
ServiceCreator getServiceCreator(uint32_t serviceId);

// The registered service, else a new one from the creator (the installed one
// when none is given). Null without an application.
HashedObject* findOrCreateService(uint32_t serviceId, ServiceCreator creator = nullptr);
// The same, kept in a word of the application; a failed creation is retried
// on the next call.
HashedObject* findOrCreateCachedService(uint32_t serviceId, HashedObject* AppBase::*cache,
                                        ServiceCreator creator = nullptr);

// Clears the application's cached word when it still names the service: the
// destructors of cached services call it, so no word outlives its service.
void forgetCachedService(HashedObject* AppBase::*cache, const HashedObject* service);

inline void setFileSystemCreator(ServiceCreator c) { setServiceCreator(ServiceId::FileSystem, c); }
inline void setNullServiceCreator(ServiceCreator c) { setServiceCreator(ServiceId::NullService, c); }
inline void setSoundDeviceCreator(ServiceCreator c) { setServiceCreator(ServiceId::SoundDevice, c); }
inline void setDisplayCreator(ServiceCreator c) { setServiceCreator(ServiceId::Display, c); }
inline void setDrawContextCreator(ServiceCreator c) { setServiceCreator(ServiceId::DrawContext, c); }
inline void setFontManagerCreator(ServiceCreator c) { setServiceCreator(ServiceId::FontManager, c); }
inline void setHighScoreTableCreator(ServiceCreator c) { setServiceCreator(ServiceId::HighScoreTable, c); }
inline void setSaveGameCreator(ServiceCreator c) { setServiceCreator(ServiceId::SaveGame, c); }
inline void setPrefsCreator(ServiceCreator c) { setServiceCreator(ServiceId::Prefs, c); }
inline void setEngineServiceCreator(ServiceCreator c) { setServiceCreator(ServiceId::EngineService, c); }
inline void setGraphics3DServiceCreator(ServiceCreator c) { setServiceCreator(ServiceId::Graphics3DService, c); }
