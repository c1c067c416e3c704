#include "platform/wince/PlatformSystem.h"

#include "platform/host/HostMessages.h"
#include "platform/host/HostShell.h"
#include "platform/host/HostWindow.h"
#include "platform/wince/PlatformIds.h"
#include "platform/wince/WinMain.h"

namespace {

PlatformSystem* g_platformSystem = nullptr;

constexpr uint32_t kLeftSoftKey = 15;

// Direction codes by query and orientation 1..4.
constexpr uint32_t kRotations[4][4] = {
    { 2, 3, 4, 1 },
    { 4, 1, 2, 3 },
    { 3, 4, 1, 2 },
    { 5, 5, 5, 5 },
};

} // namespace

uint32_t rotatedDirection(RotatedKey key, uint32_t orientation)
{
    if (key > kRotatedFixed || orientation < 1 || orientation > 4)
        return 0;
    return kRotations[key][orientation - 1];
}

PlatformSystem::PlatformSystem() : SystemServices(PlatformTypeId::PlatformSystem) {}

void PlatformSystem::quit()
{
    PostQuitMessage(0);
}

int PlatformSystem::openUrl(const char16_t* url)
{
    if (!url || !*url)
        return 0;
    SHELLEXECUTEINFO info{};
    info.cbSize = sizeof info;
    info.lpVerb = u"open";
    info.lpFile = url;
    info.lpParameters = u"";
    info.nShow = SW_SHOWNORMAL;
    if (!ShellExecuteEx(&info))
        return 0;
    quit();
    return 1;
}

uint32_t PlatformSystem::getOrientation()
{
    return m_orientation;
}

int PlatformSystem::keyState(uint32_t, uint32_t)
{
    return 0;
}

int PlatformSystem::keyEvent(uint32_t, uint32_t)
{
    return 0;
}

int PlatformSystem::rotatedKeyState(RotatedKey key, uint32_t context)
{
    return keyState(rotatedDirection(key, getOrientation()), context);
}

int PlatformSystem::rotatedKeyEvent(RotatedKey key, uint32_t context)
{
    return keyEvent(rotatedDirection(key, getOrientation()), context);
}

uint32_t PlatformSystem::keyClass(uint32_t key)
{
    return key == kLeftSoftKey ? 3 : 4;
}

PlatformSystem* getPlatformSystem()
{
    return g_platformSystem;
}

void setPlatformSystem(PlatformSystem* system)
{
    g_platformSystem = system;
}

void quitProgram()
{
    if (g_platformSystem)
        g_platformSystem->quit();
}

void showErrorMessage(const char16_t* text)
{
    MessageBoxW(nullptr, text, kWindowTitle, MB_OK | MB_ICONERROR);
}
