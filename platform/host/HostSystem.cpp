// The screen object behind GetSystemMetrics, and the version the phone reports.
#include "platform/host/HostSystem.h"

#include "platform/host/HostMessages.h"
#include "platform/host/LastError.h"
#include "platform/host/internal/HostWindowState.h"

#include <cstdlib>

namespace {

constexpr DWORD kMajorVersion = 5;
constexpr DWORD kMinorVersion = 2;
constexpr DWORD kBuildNumber = 1235;

struct Screen {
    int width;
    int height;
};

bool validSide(int side)
{
    return side >= 1 && side <= kMaxScreenSide;
}

int sideFromEnvironment(const char* name, int fallback)
{
    const char* text = std::getenv(name);
    const int value = text ? std::atoi(text) : 0;
    return validSide(value) ? value : fallback;
}

Screen environmentScreen()
{
    return { sideFromEnvironment("PF_SCREEN_WIDTH", kDefaultScreenWidth),
        sideFromEnvironment("PF_SCREEN_HEIGHT", kDefaultScreenHeight) };
}

Screen& screen()
{
    static Screen s = environmentScreen();
    return s;
}

} // namespace

int GetSystemMetrics(int index)
{
    switch (index) {
    case SM_CXSCREEN:
        return screen().width;
    case SM_CYSCREEN:
        return screen().height;
    default:
        return 0;
    }
}

BOOL GetVersionExW(OSVERSIONINFOW* info)
{
    if (!info || info->dwOSVersionInfoSize != sizeof(OSVERSIONINFOW)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    info->dwMajorVersion = kMajorVersion;
    info->dwMinorVersion = kMinorVersion;
    info->dwBuildNumber = kBuildNumber;
    info->dwPlatformId = VER_PLATFORM_WIN32_CE;
    info->szCSDVersion[0] = 0;
    return TRUE;
}

int hostSetScreenSize(int width, int height)
{
    if (!validSide(width) || !validSide(height))
        return 0;
    screen() = { width, height };
    for (HWND w : hostWindowState().windows)
        hostQueueMessage(w, WM_SETTINGCHANGE, SETTINGCHANGE_RESET, 0);
    return 1;
}

void hostResetScreenSize()
{
    screen() = environmentScreen();
}
