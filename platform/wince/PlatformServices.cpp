#include "platform/wince/PlatformServices.h"

#include "framework/util/Clock.h"
#include "platform/wince/Graphics.h"
#include "platform/wince/NullService.h"
#include "platform/wince/SoundDevice.h"
#include "platform/wince/SystemTime.h"
#include "platform/wince/Win32FileSystem.h"

void installPlatformServices()
{
    setTickClock(getTickCount);
    setUnixTimeClock(getUnixTime);
    installFileSystemCreator();
    installNullServiceCreator();
    installSoundDeviceCreator();
    installDisplayCreators();
}
