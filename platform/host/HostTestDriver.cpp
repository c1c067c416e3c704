// The test driver pushes real SDL events, so input takes the same road as a
// user's keys and clicks.
#include "platform/host/HostTestDriver.h"

#include "platform/host/HostAygShell.h"
#include "platform/host/HostDirectDraw.h"
#include "platform/host/HostGapi.h"
#include "platform/host/HostSystem.h"
#include "platform/host/HostTime.h"
#include "platform/host/internal/HostWindowState.h"

namespace {

// 2009-01-01 00:00:00 UTC: any fixed date keeps virtual runs repeatable.
constexpr int64_t kVirtualUnixMs = 1230768000000;

uint32_t mainSdlId()
{
    const HostWindowObject* w = hostLocalWindow(hostMainWindow());
    return w ? w->sdlId : 0;
}

void push(SDL_Event& e)
{
    e.common.timestamp = SDL_GetTicks();
    SDL_PushEvent(&e);
}

void pushWindowEvent(SDL_WindowEventID id)
{
    SDL_Event e{};
    e.type = SDL_WINDOWEVENT;
    e.window.windowID = mainSdlId();
    e.window.event = static_cast<Uint8>(id);
    push(e);
}

} // namespace

HWND hostTestMainWindow()
{
    return hostMainWindow();
}

BOOL hostTestPost(UINT message, WPARAM wParam, LPARAM lParam)
{
    HWND main = hostMainWindow();
    return main ? PostMessageW(main, message, wParam, lParam) : FALSE;
}

void hostTestUseVirtualClock(DWORD startTick)
{
    hostClockSetVirtual(startTick, kVirtualUnixMs);
}

void hostTestAdvanceClock(DWORD ms)
{
    hostClockAdvance(ms);
}

void hostTestCloseAfterTicks(uint32_t ticks)
{
    HostWindowState& s = hostWindowState();
    s.closeAfterTimers = static_cast<int64_t>(s.timerMessages) + ticks;
}

uint32_t hostTestTimerMessageCount()
{
    return hostWindowState().timerMessages;
}

void hostTestSetPumpHook(std::function<void()> hook)
{
    hostWindowState().pumpHook = std::move(hook);
}

void hostTestPushKey(int scancode, bool down, bool repeat)
{
    SDL_Event e{};
    e.type = down ? SDL_KEYDOWN : SDL_KEYUP;
    e.key.windowID = mainSdlId();
    e.key.state = down ? SDL_PRESSED : SDL_RELEASED;
    e.key.repeat = repeat ? 1 : 0;
    e.key.keysym.scancode = static_cast<SDL_Scancode>(scancode);
    e.key.keysym.sym = SDL_GetKeyFromScancode(e.key.keysym.scancode);
    push(e);
}

void hostTestPushMouseButton(bool down, int x, int y)
{
    SDL_Event e{};
    e.type = down ? SDL_MOUSEBUTTONDOWN : SDL_MOUSEBUTTONUP;
    e.button.windowID = mainSdlId();
    e.button.button = SDL_BUTTON_LEFT;
    e.button.state = down ? SDL_PRESSED : SDL_RELEASED;
    e.button.clicks = 1;
    e.button.x = x * hostWindowScale();
    e.button.y = y * hostWindowScale();
    push(e);
}

void hostTestPushMouseMove(int x, int y)
{
    SDL_Event e{};
    e.type = SDL_MOUSEMOTION;
    e.motion.windowID = mainSdlId();
    e.motion.x = x * hostWindowScale();
    e.motion.y = y * hostWindowScale();
    push(e);
}

void hostTestPushFinger(uint32_t type, int64_t finger, float x, float y)
{
    SDL_Event e{};
    e.type = type;
    e.tfinger.windowID = mainSdlId();
    e.tfinger.fingerId = finger;
    e.tfinger.x = x;
    e.tfinger.y = y;
    push(e);
}

void hostTestPushFocus(bool gained)
{
    pushWindowEvent(gained ? SDL_WINDOWEVENT_FOCUS_GAINED : SDL_WINDOWEVENT_FOCUS_LOST);
}

void hostTestPushWindowEvent(uint8_t event)
{
    pushWindowEvent(static_cast<SDL_WindowEventID>(event));
}

void hostTestPushClose()
{
    pushWindowEvent(SDL_WINDOWEVENT_CLOSE);
}

void hostTestPushQuit()
{
    SDL_Event e{};
    e.type = SDL_QUIT;
    push(e);
}

void hostTestReset()
{
    HostWindowState& s = hostWindowState();
    while (!s.windows.empty()) {
        HWND w = s.windows.back();
        // Destroying sends WM_DESTROY; the test's procedure is done with it.
        hostLocalWindow(w)->proc = DefWindowProcW;
        DestroyWindow(w);
    }
    if (s.remote)
        hostCloseHandle(s.remote, HandleKind::Window);
    s = HostWindowState();
    hostShellReset();
    hostGapiReset();
    hostDirectDrawReset();
    hostResetScreenSize();
    hostClockSetReal();
}
