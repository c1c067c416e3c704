// What the window, message, input and instance parts of the stand-in share:
// the windows, the posted messages, the timers and the pointer's state.
#pragma once

#include "platform/host/HandleTable.h"
#include "platform/host/HostMessages.h"
#include "platform/host/HostWindow.h"

#include <SDL2/SDL.h>
#include <sys/types.h>

#include <deque>
#include <functional>
#include <string>
#include <vector>

struct HostWindowObject : HostObject {
    static constexpr HandleKind kKind = HandleKind::Window;
    HostWindowObject() : HostObject(kKind) {}
    ~HostWindowObject() override;

    std::u16string className;
    std::u16string title;
    WNDPROC proc = nullptr;
    DWORD style = 0;
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    bool visible = false;
    bool invalid = false;
    SDL_Window* sdl = nullptr;
    uint32_t sdlId = 0;
    // Held while this window owns its title's instance lock; -1 otherwise.
    int lockFd = -1;
    // Nonzero for a window of another process (a running copy): its id, or -1
    // when unknown. Such a window has no procedure and no SDL window.
    pid_t remotePid = 0;
};

struct HostWindowClass {
    std::u16string name;
    WNDPROC proc;
    UINT style;
};

struct HostTimer {
    HWND window;
    uintptr_t id;
    UINT elapseMs;
    DWORD due;
    TIMERPROC callback;
};

struct HostWindowState {
    std::vector<HostWindowClass> classes;
    // Our own windows in creation order; the first is the program's.
    std::vector<HWND> windows;
    // The last running copy FindWindowW reported.
    HWND remote = nullptr;
    HWND foreground = nullptr;

    std::deque<MSG> posted;
    bool quitPending = false;
    int quitCode = 0;
    std::vector<HostTimer> timers;
    uintptr_t nextThreadTimerId = 1;

    // Stylus: one contact at a time, from the mouse or the first finger down.
    bool mouseDown = false;
    bool fingerDown = false;
    SDL_FingerID finger = 0;
    // A close already posted for this pump, so SDL's quit after a window
    // close does not post a second one.
    bool closePosted = false;

    bool failRegister = false;
    bool failCreate = false;
    std::string lastMessageBox;

    // Test driver.
    std::function<void()> pumpHook;
    uint32_t timerMessages = 0;
    int64_t closeAfterTimers = -1;
};

HostWindowState& hostWindowState();
// A live window of this process, else null (no last error set).
HostWindowObject* hostLocalWindow(HWND window);
HWND hostMainWindow();

// Appends an input message behind the posted ones.
void hostQueueMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// Takes SDL events, signals and raise requests into the queue.
void hostPumpInput();
// Brings our window to the front: WM_ACTIVATE then WM_SETFOCUS unless it is
// there already.
void hostActivateWindow(HWND window);
// Sends a window in front to the background, as the phone does: its
// background message, then WM_ACTIVATE (inactive) and WM_KILLFOCUS.
void hostDeactivateWindow(HWND window);

// SDL's video part is up while any window of ours exists.
bool hostVideoAcquire();
void hostVideoRelease();

// Signals: SIGINT and SIGTERM close the window; SIGUSR1 is a raise request.
void hostSignalsInstall();
void hostSignalsRestore();
bool hostTakeCloseSignal();
bool hostTakeRaiseSignal();

// Instance lock of a title: the open, locked descriptor, or -1 when another
// process holds it (or the file cannot be made).
int hostInstanceLock(const std::u16string& title);
void hostInstanceUnlock(int fd);
// The process id of the running copy holding the title's lock; 0 for none,
// -1 for a holder that has not written its id yet.
pid_t hostInstanceHolder(const std::u16string& title);
void hostNoteRaiseRequest();
