// The message loop's source of messages. Timer due times are compared as
// signed differences so the 32-bit tick count may wrap under them.
#include "platform/host/HostMessages.h"

#include "platform/host/HostTime.h"
#include "platform/host/LastError.h"
#include "platform/host/internal/HostWindowState.h"

#include <algorithm>

namespace {

// How long one idle wait sleeps at most on the real clock, so signals are
// seen promptly even while no timer runs.
constexpr DWORD kIdleSliceMs = 10;

bool isDue(DWORD due, DWORD now)
{
    return static_cast<int32_t>(due - now) <= 0;
}

MSG makeMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    MSG m{};
    m.hwnd = window;
    m.message = message;
    m.wParam = wParam;
    m.lParam = lParam;
    m.time = GetTickCount();
    return m;
}

HostTimer* findTimer(HWND window, uintptr_t id)
{
    for (HostTimer& t : hostWindowState().timers) {
        if (t.window == window && t.id == id)
            return &t;
    }
    return nullptr;
}

HostTimer* earliestTimer()
{
    HostTimer* best = nullptr;
    const DWORD now = GetTickCount();
    for (HostTimer& t : hostWindowState().timers) {
        if (!best || static_cast<int32_t>(t.due - now) < static_cast<int32_t>(best->due - now))
            best = &t;
    }
    return best;
}

HWND firstInvalidWindow()
{
    for (HWND w : hostWindowState().windows) {
        const HostWindowObject* object = hostLocalWindow(w);
        if (object->invalid)
            return w;
    }
    return nullptr;
}

// Nothing to hand out: on the virtual clock, jump to the next due timer; on
// the real one, sleep until it (or an input event) comes.
void idleWait()
{
    const HostTimer* next = earliestTimer();
    DWORD wait = kIdleSliceMs;
    if (next) {
        const DWORD now = GetTickCount();
        const int32_t ahead = static_cast<int32_t>(next->due - now);
        if (ahead <= 0)
            return;
        // Moves only a virtual clock; the real one ignores it.
        hostClockAdvance(static_cast<DWORD>(ahead));
        if (isDue(next->due, GetTickCount()))
            return;
        wait = std::min<DWORD>(static_cast<DWORD>(ahead), kIdleSliceMs);
    }
    if (hostMainWindow())
        SDL_WaitEventTimeout(nullptr, static_cast<int>(wait));
    else
        SDL_Delay(wait);
}

} // namespace

void hostQueueMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    hostWindowState().posted.push_back(makeMessage(window, message, wParam, lParam));
}

// The next message in Windows order, without waiting; false when there is none.
static bool takeMessage(MSG* message, bool remove)
{
    HostWindowState& s = hostWindowState();
    if (s.closeAfterTimers >= 0 && s.timerMessages >= s.closeAfterTimers) {
        s.closeAfterTimers = -1;
        if (HWND main = hostMainWindow())
            hostQueueMessage(main, WM_CLOSE, 0, 0);
    }
    hostPumpInput();
    if (!s.posted.empty()) {
        *message = s.posted.front();
        if (remove) {
            s.posted.pop_front();
            if (message->message == WM_CLOSE)
                s.closePosted = false;
        }
        return true;
    }
    if (s.quitPending) {
        s.quitPending = !remove;
        *message = makeMessage(nullptr, WM_QUIT, static_cast<WPARAM>(s.quitCode), 0);
        return true;
    }
    if (HWND invalid = firstInvalidWindow()) {
        *message = makeMessage(invalid, WM_PAINT, 0, 0);
        return true;
    }
    HostTimer* timer = earliestTimer();
    const DWORD now = GetTickCount();
    if (timer && isDue(timer->due, now)) {
        *message = makeMessage(timer->window, WM_TIMER, timer->id, reinterpret_cast<LPARAM>(timer->callback));
        if (remove) {
            // The next one is due a whole period after this one is taken, so
            // a late frame never earns a burst of catch-up ticks.
            timer->due = now + timer->elapseMs;
            ++s.timerMessages;
        }
        return true;
    }
    return false;
}

BOOL GetMessageW(MSG* message, HWND, UINT, UINT)
{
    if (!message) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return -1;
    }
    HostWindowState& s = hostWindowState();
    for (;;) {
        if (s.pumpHook)
            s.pumpHook();
        if (takeMessage(message, true))
            return message->message == WM_QUIT ? 0 : 1;
        idleWait();
    }
}

BOOL PeekMessageW(MSG* message, HWND, UINT, UINT, UINT remove)
{
    if (!message) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    return takeMessage(message, (remove & PM_REMOVE) != 0) ? TRUE : FALSE;
}

BOOL TranslateMessage(const MSG*)
{
    return FALSE;
}

LRESULT DispatchMessageW(const MSG* message)
{
    if (!message)
        return 0;
    if (message->message == WM_TIMER && message->lParam) {
        reinterpret_cast<TIMERPROC>(message->lParam)(message->hwnd, WM_TIMER, message->wParam, message->time);
        return 0;
    }
    const HostWindowObject* w = hostLocalWindow(message->hwnd);
    if (!w)
        return 0;
    return w->proc(message->hwnd, message->message, message->wParam, message->lParam);
}

BOOL PostMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (window && !hostLocalWindow(window)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    hostQueueMessage(window, message, wParam, lParam);
    return TRUE;
}

LRESULT SendMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    const HostWindowObject* w = hostLocalWindow(window);
    if (!w) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    return w->proc(window, message, wParam, lParam);
}

void PostQuitMessage(int exitCode)
{
    HostWindowState& s = hostWindowState();
    s.quitPending = true;
    s.quitCode = exitCode;
}

uintptr_t SetTimer(HWND window, uintptr_t id, UINT elapseMs, TIMERPROC callback)
{
    HostWindowState& s = hostWindowState();
    if (window && !hostLocalWindow(window)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    // A thread timer gets a fresh id, as the caller's is ignored.
    if (!window)
        id = s.nextThreadTimerId++;
    const UINT elapse = std::max(elapseMs, USER_TIMER_MINIMUM);
    const DWORD due = GetTickCount() + elapse;
    if (HostTimer* t = findTimer(window, id)) {
        t->elapseMs = elapse;
        t->due = due;
        t->callback = callback;
    } else {
        s.timers.push_back({ window, id, elapse, due, callback });
    }
    return window ? 1 : id;
}

BOOL KillTimer(HWND window, uintptr_t id)
{
    HostWindowState& s = hostWindowState();
    auto it = std::find_if(s.timers.begin(), s.timers.end(), [&](const HostTimer& t) { return t.window == window && t.id == id; });
    if (it == s.timers.end()) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    s.timers.erase(it);
    return TRUE;
}
