// Window classes and windows on SDL. Windows are handle-table entries, so a
// destroyed window's handle misses instead of reaching a reused one.
#include "platform/host/HostWindow.h"

#include "platform/host/HostMessages.h"
#include "platform/host/HostText.h"
#include "platform/host/LastError.h"
#include "platform/host/internal/HostWindowState.h"

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <memory>

namespace {

constexpr int kMaxScale = 8;

std::u16string wideOrEmpty(LPCWSTR text)
{
    return text ? std::u16string(text, hostWideLength(text)) : std::u16string();
}

// Names given as numbers (MAKEINTRESOURCE) are not texts.
bool isTextName(LPCWSTR name)
{
    return reinterpret_cast<uintptr_t>(name) > 0xffff;
}

HostWindowClass* findClass(const std::u16string& name)
{
    for (HostWindowClass& c : hostWindowState().classes) {
        if (c.name == name)
            return &c;
    }
    return nullptr;
}

std::string utf8(LPCWSTR text)
{
    std::string out;
    if (text && !hostUtf16ToUtf8(std::u16string_view(text, hostWideLength(text)), out))
        out = "?";
    return out;
}

// A token cursor: the program only hands it to RegisterClassW.
int g_arrowCursor;

} // namespace

HostWindowObject::~HostWindowObject()
{
    if (lockFd >= 0)
        hostInstanceUnlock(lockFd);
    if (sdl) {
        SDL_DestroyWindow(sdl);
        hostVideoRelease();
    }
}

HostWindowState& hostWindowState()
{
    static HostWindowState state;
    return state;
}

HostWindowObject* hostLocalWindow(HWND window)
{
    const std::vector<HWND>& windows = hostWindowState().windows;
    if (!window || std::find(windows.begin(), windows.end(), window) == windows.end())
        return nullptr;
    return hostHandleAs<HostWindowObject>(window);
}

HWND hostMainWindow()
{
    const std::vector<HWND>& windows = hostWindowState().windows;
    return windows.empty() ? nullptr : windows.front();
}

int hostWindowScale()
{
    static const int scale = [] {
        const char* text = std::getenv("PF_WINDOW_SCALE");
        const int value = text ? std::atoi(text) : 1;
        return value >= 1 && value <= kMaxScale ? value : 1;
    }();
    return scale;
}

ATOM RegisterClassW(const WNDCLASSW* windowClass)
{
    HostWindowState& s = hostWindowState();
    if (s.failRegister) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return 0;
    }
    if (!windowClass || !windowClass->lpfnWndProc || !isTextName(windowClass->lpszClassName)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    std::u16string name = wideOrEmpty(windowClass->lpszClassName);
    if (name.empty()) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (findClass(name)) {
        SetLastError(ERROR_CLASS_ALREADY_EXISTS);
        return 0;
    }
    s.classes.push_back({ std::move(name), windowClass->lpfnWndProc, windowClass->style });
    // Atoms of registered classes start at 0xC000.
    return static_cast<ATOM>(0xC000 + s.classes.size() - 1);
}

BOOL UnregisterClassW(LPCWSTR className, HINSTANCE)
{
    HostWindowState& s = hostWindowState();
    if (!isTextName(className)) {
        SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
        return FALSE;
    }
    const std::u16string name = wideOrEmpty(className);
    auto it = std::find_if(s.classes.begin(), s.classes.end(), [&](const HostWindowClass& c) { return c.name == name; });
    if (it == s.classes.end()) {
        SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
        return FALSE;
    }
    for (HWND w : s.windows) {
        if (hostLocalWindow(w)->className == name) {
            SetLastError(ERROR_CLASS_HAS_WINDOWS);
            return FALSE;
        }
    }
    s.classes.erase(it);
    return TRUE;
}

HWND CreateWindowExW(DWORD, LPCWSTR className, LPCWSTR title, DWORD style, int x, int y, int width, int height,
    HWND, HMENU, HINSTANCE, LPVOID)
{
    HostWindowState& s = hostWindowState();
    if (s.failCreate) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    const HostWindowClass* windowClass = isTextName(className) ? findClass(wideOrEmpty(className)) : nullptr;
    if (!windowClass) {
        SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
        return nullptr;
    }
    if (width <= 0 || height <= 0 || width > 0x7fff || height > 0x7fff) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    auto object = std::make_unique<HostWindowObject>();
    object->className = windowClass->name;
    object->title = wideOrEmpty(title);
    object->proc = windowClass->proc;
    object->style = style;
    object->x = x == CW_USEDEFAULT ? 0 : x;
    object->y = y == CW_USEDEFAULT ? 0 : y;
    object->width = width;
    object->height = height;
    object->visible = (style & WS_VISIBLE) != 0;
    object->invalid = object->visible;

    if (!hostVideoAcquire()) {
        SetLastError(ERROR_GEN_FAILURE);
        return nullptr;
    }
    const int scale = hostWindowScale();
    std::string caption = utf8(title);
    object->sdl = SDL_CreateWindow(caption.c_str(), SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED,
        width * scale, height * scale, object->visible ? SDL_WINDOW_SHOWN : SDL_WINDOW_HIDDEN);
    if (!object->sdl) {
        hostVideoRelease();
        SetLastError(ERROR_GEN_FAILURE);
        return nullptr;
    }
    object->sdlId = SDL_GetWindowID(object->sdl);
    // Raise requests must be heard before the lock lets another copy send one.
    hostSignalsInstall();
    if (!object->title.empty())
        object->lockFd = hostInstanceLock(object->title);

    HWND window = hostCreateHandle(std::move(object));
    if (!window) {
        if (s.windows.empty())
            hostSignalsRestore();
        return nullptr;
    }
    s.windows.push_back(window);
    return window;
}

BOOL DestroyWindow(HWND window)
{
    HostWindowState& s = hostWindowState();
    if (!hostLocalWindow(window)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    SendMessageW(window, WM_DESTROY, 0, 0);
    // The procedure may have destroyed the window itself.
    if (!hostLocalWindow(window))
        return TRUE;
    s.windows.erase(std::find(s.windows.begin(), s.windows.end(), window));
    std::erase_if(s.timers, [&](const HostTimer& t) { return t.window == window; });
    std::erase_if(s.posted, [&](const MSG& m) { return m.hwnd == window; });
    if (s.foreground == window)
        s.foreground = nullptr;
    hostCloseHandle(window, HandleKind::Window);
    if (s.windows.empty())
        hostSignalsRestore();
    return TRUE;
}

BOOL IsWindow(HWND window)
{
    return hostLocalWindow(window) ? TRUE : FALSE;
}

BOOL ShowWindow(HWND window, int show)
{
    HostWindowObject* w = hostLocalWindow(window);
    if (!w)
        return FALSE;
    const bool wasVisible = w->visible;
    w->visible = show != SW_HIDE;
    if (w->visible) {
        SDL_ShowWindow(w->sdl);
        if (!wasVisible)
            w->invalid = true;
    } else {
        SDL_HideWindow(w->sdl);
    }
    return wasVisible ? TRUE : FALSE;
}

BOOL MoveWindow(HWND window, int x, int y, int width, int height, BOOL repaint)
{
    HostWindowObject* w = hostLocalWindow(window);
    if (!w) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    if (width <= 0 || height <= 0 || width > 0x7fff || height > 0x7fff) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    w->x = x;
    w->y = y;
    if (width != w->width || height != w->height) {
        w->width = width;
        w->height = height;
        SDL_SetWindowSize(w->sdl, width * hostWindowScale(), height * hostWindowScale());
    }
    if (repaint)
        w->invalid = w->visible;
    SendMessageW(window, WM_WINDOWPOSCHANGED, 0, 0);
    return TRUE;
}

BOOL GetClientRect(HWND window, RECT* rect)
{
    HostWindowObject* w = hostLocalWindow(window);
    if (!w || !rect) {
        SetLastError(w ? ERROR_INVALID_PARAMETER : ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    *rect = { 0, 0, w->width, w->height };
    return TRUE;
}

BOOL InvalidateRect(HWND window, const RECT*, BOOL)
{
    HostWindowObject* w = hostLocalWindow(window);
    if (!w)
        return FALSE;
    // The window is small and always repainted whole, so any part counts as all.
    w->invalid = w->visible;
    return TRUE;
}

BOOL ValidateRect(HWND window, const RECT* rect)
{
    HostWindowObject* w = hostLocalWindow(window);
    if (!w)
        return FALSE;
    // A part that leaves some of the window out keeps it invalid.
    if (!rect || (rect->left <= 0 && rect->top <= 0 && rect->right >= w->width && rect->bottom >= w->height))
        w->invalid = false;
    return TRUE;
}

BOOL RedrawWindow(HWND window, const RECT* rect, HRGN, UINT flags)
{
    if (!hostLocalWindow(window))
        return FALSE;
    if (flags & RDW_INVALIDATE)
        InvalidateRect(window, rect, (flags & RDW_ERASE) ? TRUE : FALSE);
    if (flags & RDW_VALIDATE)
        ValidateRect(window, rect);
    return TRUE;
}

LRESULT DefWindowProcW(HWND window, UINT message, WPARAM, LPARAM)
{
    switch (message) {
    case WM_PAINT:
        // An unpainted window would ask again forever.
        ValidateRect(window, nullptr);
        return 0;
    case WM_CLOSE:
        DestroyWindow(window);
        return 0;
    default:
        return 0;
    }
}

HWND FindWindowW(LPCWSTR className, LPCWSTR title)
{
    HostWindowState& s = hostWindowState();
    const bool anyClass = !className;
    const bool anyTitle = !title;
    const std::u16string wantClass = isTextName(className) ? wideOrEmpty(className) : std::u16string();
    const std::u16string wantTitle = wideOrEmpty(title);
    for (HWND w : s.windows) {
        const HostWindowObject* object = hostLocalWindow(w);
        if ((anyClass || object->className == wantClass) && (anyTitle || object->title == wantTitle))
            return w;
    }
    if (anyTitle || wantTitle.empty())
        return nullptr;
    const pid_t holder = hostInstanceHolder(wantTitle);
    if (holder == 0)
        return nullptr;
    // One record of a running copy at a time; an older one goes stale.
    if (s.remote)
        hostCloseHandle(s.remote, HandleKind::Window);
    auto object = std::make_unique<HostWindowObject>();
    object->className = wantClass;
    object->title = wantTitle;
    object->remotePid = holder;
    s.remote = hostCreateHandle(std::move(object));
    return s.remote;
}

BOOL SetForegroundWindow(HWND window)
{
    HostWindowState& s = hostWindowState();
    if (hostLocalWindow(window)) {
        hostActivateWindow(window);
        return TRUE;
    }
    if (window && window == s.remote) {
        const HostWindowObject* remote = hostHandleAs<HostWindowObject>(window);
        if (remote && remote->remotePid > 0 && kill(remote->remotePid, SIGUSR1) == 0)
            return TRUE;
    }
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
}

HWND GetForegroundWindow()
{
    return hostWindowState().foreground;
}

HCURSOR LoadCursorW(HINSTANCE, LPCWSTR name)
{
    return name == IDC_ARROW ? &g_arrowCursor : nullptr;
}

HICON LoadIconW(HINSTANCE, LPCWSTR)
{
    return nullptr;
}

int MessageBoxW(HWND, LPCWSTR text, LPCWSTR caption, UINT)
{
    HostWindowState& s = hostWindowState();
    s.lastMessageBox = utf8(text);
    std::fprintf(stderr, "%s: %s\n", utf8(caption).c_str(), s.lastMessageBox.c_str());
    return IDOK;
}

SDL_Window* hostSdlWindow(HWND window)
{
    HostWindowObject* w = hostLocalWindow(window);
    return w ? w->sdl : nullptr;
}

void hostWindowSetFailures(bool registerClass, bool createWindow)
{
    HostWindowState& s = hostWindowState();
    s.failRegister = registerClass;
    s.failCreate = createWindow;
}

const char* hostLastMessageBoxText()
{
    return hostWindowState().lastMessageBox.c_str();
}
