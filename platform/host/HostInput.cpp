// SDL input becomes window messages here: keys as the phone's virtual keys,
// the left mouse button or one finger as the stylus, focus changes and
// minimising as activation (with the phone's background message), and a
// window close or SIGINT/SIGTERM as WM_CLOSE. Nothing is taken from SDL
// outside GetMessageW.
#include "platform/host/HostKeys.h"

#include "platform/host/internal/HostScreen.h"
#include "platform/host/internal/HostWindowState.h"

#include <algorithm>
#include <csignal>
#include <cstring>

namespace {

volatile std::sig_atomic_t g_closeSignal = 0;
volatile std::sig_atomic_t g_raiseSignal = 0;

struct SavedSignals {
    bool installed = false;
    struct sigaction interrupt {};
    struct sigaction terminate {};
    struct sigaction user1 {};
};

SavedSignals g_saved;
int g_videoUsers = 0;
bool g_videoStarted = false;

void onCloseSignal(int)
{
    g_closeSignal = 1;
}

void onRaiseSignal(int)
{
    g_raiseSignal = 1;
}

HostWindowObject* windowOfSdlId(uint32_t id)
{
    for (HWND w : hostWindowState().windows) {
        HostWindowObject* object = hostLocalWindow(w);
        if (object->sdlId == id)
            return object;
    }
    return nullptr;
}

HWND handleOfSdlId(uint32_t id)
{
    for (HWND w : hostWindowState().windows) {
        if (hostLocalWindow(w)->sdlId == id)
            return w;
    }
    return nullptr;
}

LPARAM pointerParam(const HostWindowObject& w, int x, int y)
{
    // A drag past the edge stays on the edge instead of wrapping.
    x = std::clamp(x, 0, w.width - 1);
    y = std::clamp(y, 0, w.height - 1);
    return MAKELPARAM(static_cast<WORD>(x), static_cast<WORD>(y));
}

void postClose(HWND window)
{
    HostWindowState& s = hostWindowState();
    if (!window || s.closePosted)
        return;
    s.closePosted = true;
    hostQueueMessage(window, WM_CLOSE, 0, 0);
}

void translateKey(const SDL_KeyboardEvent& key)
{
    const HWND window = handleOfSdlId(key.windowID) ? handleOfSdlId(key.windowID) : hostMainWindow();
    const WORD vk = hostVirtualKeyForScancode(key.keysym.scancode);
    if (!window || !vk)
        return;
    if (key.type == SDL_KEYDOWN) {
        const LPARAM lParam = KEY_REPEAT_ONE | (key.repeat ? KEY_PREVIOUS_DOWN : 0);
        hostQueueMessage(window, WM_KEYDOWN, vk, lParam);
    } else {
        hostQueueMessage(window, WM_KEYUP, vk, KEY_REPEAT_ONE | KEY_PREVIOUS_DOWN | KEY_TRANSITION_UP);
    }
}

// Mouse coordinates are in desktop pixels of the scaled window.
void translateMouse(const SDL_Event& e)
{
    HostWindowState& s = hostWindowState();
    const uint32_t windowId = e.type == SDL_MOUSEMOTION ? e.motion.windowID : e.button.windowID;
    const uint32_t which = e.type == SDL_MOUSEMOTION ? e.motion.which : e.button.which;
    // Touches arrive as fingers; SDL's mouse copies of them would tap twice.
    if (which == SDL_TOUCH_MOUSEID)
        return;
    HostWindowObject* w = windowOfSdlId(windowId);
    const HWND window = handleOfSdlId(windowId);
    if (!w)
        return;
    const int scale = hostWindowScale();
    if (e.type == SDL_MOUSEMOTION) {
        if (!s.mouseDown)
            return;
        hostQueueMessage(window, WM_MOUSEMOVE, MK_LBUTTON, pointerParam(*w, e.motion.x / scale, e.motion.y / scale));
        return;
    }
    if (e.button.button != SDL_BUTTON_LEFT)
        return;
    const LPARAM at = pointerParam(*w, e.button.x / scale, e.button.y / scale);
    if (e.type == SDL_MOUSEBUTTONDOWN) {
        if (s.mouseDown || s.fingerDown)
            return;
        s.mouseDown = true;
        hostQueueMessage(window, WM_LBUTTONDOWN, MK_LBUTTON, at);
    } else if (s.mouseDown) {
        s.mouseDown = false;
        hostQueueMessage(window, WM_LBUTTONUP, 0, at);
    }
}

// Finger positions are fractions of the window. One past its edges is held
// to them, and one that is not a number to the top left, before it becomes
// a pixel.
int fingerPixel(float fraction, int size)
{
    return static_cast<int>((fraction > 0.0f ? std::min(fraction, 1.0f) : 0.0f) * static_cast<float>(size));
}

void translateFinger(const SDL_TouchFingerEvent& f)
{
    HostWindowState& s = hostWindowState();
    const HWND window = handleOfSdlId(f.windowID) ? handleOfSdlId(f.windowID) : hostMainWindow();
    HostWindowObject* w = hostLocalWindow(window);
    if (!w)
        return;
    const LPARAM at = pointerParam(*w, fingerPixel(f.x, w->width), fingerPixel(f.y, w->height));
    if (f.type == SDL_FINGERDOWN) {
        if (s.mouseDown || s.fingerDown)
            return;
        s.fingerDown = true;
        s.finger = f.fingerId;
        hostQueueMessage(window, WM_LBUTTONDOWN, MK_LBUTTON, at);
        return;
    }
    if (!s.fingerDown || f.fingerId != s.finger)
        return;
    if (f.type == SDL_FINGERMOTION) {
        hostQueueMessage(window, WM_MOUSEMOVE, MK_LBUTTON, at);
    } else {
        s.fingerDown = false;
        hostQueueMessage(window, WM_LBUTTONUP, 0, at);
    }
}

void translateWindowEvent(const SDL_WindowEvent& e)
{
    const HWND window = handleOfSdlId(e.windowID);
    if (!window)
        return;
    switch (e.event) {
    case SDL_WINDOWEVENT_FOCUS_GAINED:
        hostActivateWindow(window);
        break;
    case SDL_WINDOWEVENT_FOCUS_LOST:
    case SDL_WINDOWEVENT_MINIMIZED:
        hostDeactivateWindow(window);
        break;
    case SDL_WINDOWEVENT_CLOSE:
        postClose(window);
        break;
    case SDL_WINDOWEVENT_EXPOSED:
        // The phone's screen keeps its picture: a window shown again shows
        // it at once, even while the program, in the background, draws
        // nothing new.
        hostShowScreenAgain(window);
        InvalidateRect(window, nullptr, FALSE);
        break;
    default:
        break;
    }
}

} // namespace

WORD hostVirtualKeyForScancode(int scancode)
{
    if (scancode >= SDL_SCANCODE_A && scancode <= SDL_SCANCODE_Z)
        return static_cast<WORD>('A' + (scancode - SDL_SCANCODE_A));
    if (scancode >= SDL_SCANCODE_1 && scancode <= SDL_SCANCODE_9)
        return static_cast<WORD>('1' + (scancode - SDL_SCANCODE_1));
    if (scancode >= SDL_SCANCODE_KP_1 && scancode <= SDL_SCANCODE_KP_9)
        return static_cast<WORD>('1' + (scancode - SDL_SCANCODE_KP_1));
    switch (scancode) {
    case SDL_SCANCODE_0:
    case SDL_SCANCODE_KP_0:
        return '0';
    case SDL_SCANCODE_LEFT:
        return VK_LEFT;
    case SDL_SCANCODE_UP:
        return VK_UP;
    case SDL_SCANCODE_RIGHT:
        return VK_RIGHT;
    case SDL_SCANCODE_DOWN:
        return VK_DOWN;
    case SDL_SCANCODE_RETURN:
    case SDL_SCANCODE_KP_ENTER:
    case SDL_SCANCODE_SPACE:
        return VK_RETURN;
    case SDL_SCANCODE_BACKSPACE:
        return VK_BACK;
    case SDL_SCANCODE_ESCAPE:
        return VK_ESCAPE;
    case SDL_SCANCODE_F1:
        return VK_F1;
    case SDL_SCANCODE_F2:
        return VK_F2;
    case SDL_SCANCODE_F3:
        return VK_F3;
    case SDL_SCANCODE_F4:
        return VK_F4;
    case SDL_SCANCODE_F6:
    case SDL_SCANCODE_KP_PLUS:
        return VK_F6;
    case SDL_SCANCODE_F7:
    case SDL_SCANCODE_KP_MINUS:
        return VK_F7;
    case SDL_SCANCODE_F8:
    case SDL_SCANCODE_KP_MULTIPLY:
        return VK_F8;
    case SDL_SCANCODE_F9:
        return VK_F9;
    case SDL_SCANCODE_TAB:
        return VK_TAB;
    case SDL_SCANCODE_LSHIFT:
    case SDL_SCANCODE_RSHIFT:
        return VK_SHIFT;
    case SDL_SCANCODE_LCTRL:
    case SDL_SCANCODE_RCTRL:
        return VK_CONTROL;
    case SDL_SCANCODE_LALT:
    case SDL_SCANCODE_RALT:
        return VK_MENU;
    case SDL_SCANCODE_CAPSLOCK:
        return VK_CAPITAL;
    case SDL_SCANCODE_F5:
        return VK_F5;
    case SDL_SCANCODE_F10:
        return VK_F10;
    case SDL_SCANCODE_F11:
        return VK_F11;
    case SDL_SCANCODE_F12:
        return VK_F12;
    case SDL_SCANCODE_UNKNOWN:
        return 0;
    default:
        // "Press any key" means any: a key with no phone key behind it is
        // still a press.
        return VK_UNNAMED;
    }
}

void hostPumpInput()
{
    if (hostTakeCloseSignal())
        postClose(hostMainWindow());
    if (hostTakeRaiseSignal()) {
        hostNoteRaiseRequest();
        if (HWND main = hostMainWindow()) {
            SDL_RaiseWindow(hostLocalWindow(main)->sdl);
            hostActivateWindow(main);
        }
    }
    if (!g_videoStarted)
        return;
    SDL_Event e;
    while (SDL_PollEvent(&e)) {
        switch (e.type) {
        case SDL_QUIT:
            postClose(hostMainWindow());
            break;
        case SDL_WINDOWEVENT:
            translateWindowEvent(e.window);
            break;
        case SDL_KEYDOWN:
        case SDL_KEYUP:
            translateKey(e.key);
            break;
        case SDL_MOUSEMOTION:
        case SDL_MOUSEBUTTONDOWN:
        case SDL_MOUSEBUTTONUP:
            translateMouse(e);
            break;
        case SDL_FINGERDOWN:
        case SDL_FINGERUP:
        case SDL_FINGERMOTION:
            translateFinger(e.tfinger);
            break;
        default:
            break;
        }
    }
}

void hostActivateWindow(HWND window)
{
    HostWindowState& s = hostWindowState();
    if (s.foreground == window)
        return;
    s.foreground = window;
    hostQueueMessage(window, WM_ACTIVATE, WA_ACTIVE, 0);
    hostQueueMessage(window, WM_SETFOCUS, 0, 0);
}

void hostDeactivateWindow(HWND window)
{
    HostWindowState& s = hostWindowState();
    if (s.foreground != window)
        return;
    s.foreground = nullptr;
    // A contact in progress ends with the focus; its release goes elsewhere.
    s.mouseDown = false;
    s.fingerDown = false;
    hostQueueMessage(window, kPhoneBackgroundMessage, 0, 0);
    hostQueueMessage(window, WM_ACTIVATE, WA_INACTIVE, 0);
    hostQueueMessage(window, WM_KILLFOCUS, 0, 0);
}

bool hostVideoAcquire()
{
    if (!g_videoStarted) {
        // The program installs its own signal handling; SDL's would turn
        // SIGINT into a quit event the window never saw.
        SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
        if (SDL_InitSubSystem(SDL_INIT_VIDEO | SDL_INIT_EVENTS) != 0) {
            // No display: run headless rather than not at all.
            SDL_SetHint(SDL_HINT_VIDEODRIVER, "dummy");
            if (SDL_InitSubSystem(SDL_INIT_VIDEO | SDL_INIT_EVENTS) != 0)
                return false;
        }
        g_videoStarted = true;
    }
    ++g_videoUsers;
    return true;
}

void hostVideoRelease()
{
    if (g_videoUsers > 0 && --g_videoUsers == 0 && g_videoStarted) {
        SDL_QuitSubSystem(SDL_INIT_VIDEO | SDL_INIT_EVENTS);
        g_videoStarted = false;
        HostWindowState& s = hostWindowState();
        s.mouseDown = false;
        s.fingerDown = false;
    }
}

void hostSignalsInstall()
{
    if (g_saved.installed)
        return;
    struct sigaction close {};
    close.sa_handler = onCloseSignal;
    sigemptyset(&close.sa_mask);
    struct sigaction raise {};
    raise.sa_handler = onRaiseSignal;
    sigemptyset(&raise.sa_mask);
    sigaction(SIGINT, &close, &g_saved.interrupt);
    sigaction(SIGTERM, &close, &g_saved.terminate);
    sigaction(SIGUSR1, &raise, &g_saved.user1);
    g_saved.installed = true;
}

void hostSignalsRestore()
{
    if (!g_saved.installed)
        return;
    sigaction(SIGINT, &g_saved.interrupt, nullptr);
    sigaction(SIGTERM, &g_saved.terminate, nullptr);
    sigaction(SIGUSR1, &g_saved.user1, nullptr);
    g_saved.installed = false;
}

bool hostTakeCloseSignal()
{
    if (!g_closeSignal)
        return false;
    g_closeSignal = 0;
    return true;
}

bool hostTakeRaiseSignal()
{
    if (!g_raiseSignal)
        return false;
    g_raiseSignal = 0;
    return true;
}
