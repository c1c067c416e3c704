// Window classes and windows of the stand-in. The program has one window; it
// is one SDL window of the phone's logical size, scaled up on a desktop for
// viewing. The scale never shows through these calls: every size and every
// coordinate is logical.
#pragma once

#include "platform/host/HostTypes.h"

struct SDL_Window;

using ATOM = WORD;
using HICON = HANDLE;
using HCURSOR = HANDLE;
using HBRUSH = HANDLE;
using HMENU = HANDLE;
using HRGN = HANDLE;
using WNDPROC = LRESULT (*)(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

struct RECT {
    LONG left;
    LONG top;
    LONG right;
    LONG bottom;
};

struct POINT {
    LONG x;
    LONG y;
};

struct WNDCLASSW {
    UINT style;
    WNDPROC lpfnWndProc;
    int cbClsExtra;
    int cbWndExtra;
    HINSTANCE hInstance;
    HICON hIcon;
    HCURSOR hCursor;
    HBRUSH hbrBackground;
    LPCWSTR lpszMenuName;
    LPCWSTR lpszClassName;
};

// A resource named by number rather than by text.
inline LPCWSTR MAKEINTRESOURCEW(uintptr_t id)
{
    return reinterpret_cast<LPCWSTR>(id);
}

constexpr UINT CS_VREDRAW = 0x0001;
constexpr UINT CS_HREDRAW = 0x0002;
constexpr UINT CS_DBLCLKS = 0x0008;

constexpr DWORD WS_VISIBLE = 0x10000000;
constexpr DWORD WS_EX_NODRAG = 0x40000000;
constexpr int CW_USEDEFAULT = int(0x80000000);

constexpr int SW_HIDE = 0;
constexpr int SW_SHOW = 5;

constexpr UINT RDW_INVALIDATE = 0x0001;
constexpr UINT RDW_VALIDATE = 0x0008;
constexpr UINT RDW_ERASE = 0x0004;
constexpr UINT RDW_UPDATENOW = 0x0100;

constexpr UINT MB_OK = 0x00000000;
constexpr UINT MB_ICONERROR = 0x00000010;
constexpr int IDOK = 1;

constexpr uintptr_t IDC_ARROW_ID = 32512;
inline LPCWSTR const IDC_ARROW = MAKEINTRESOURCEW(IDC_ARROW_ID);

constexpr DWORD ERROR_CLASS_ALREADY_EXISTS = 1410;
constexpr DWORD ERROR_CLASS_DOES_NOT_EXIST = 1411;
constexpr DWORD ERROR_CLASS_HAS_WINDOWS = 1412;
constexpr DWORD ERROR_INVALID_WINDOW_HANDLE = 1400;
constexpr DWORD ERROR_CANNOT_FIND_WND_CLASS = 1407;

// 0 with ERROR_CLASS_ALREADY_EXISTS for a name taken, ERROR_INVALID_PARAMETER
// for a class without a name or window procedure.
ATOM RegisterClassW(const WNDCLASSW* windowClass);
// FALSE while windows of the class exist or when the name is unknown.
BOOL UnregisterClassW(LPCWSTR className, HINSTANCE instance);

// The window starts invalid when visible, so its first paint comes unasked.
// A position of CW_USEDEFAULT means the origin. Null on failure.
HWND CreateWindowExW(DWORD exStyle, LPCWSTR className, LPCWSTR title, DWORD style, int x, int y, int width,
    int height, HWND parent, HMENU menu, HINSTANCE instance, LPVOID parameter);
// Sends WM_DESTROY, then drops the window's timers and queued messages.
BOOL DestroyWindow(HWND window);
BOOL ShowWindow(HWND window, int show);
// Sends WM_WINDOWPOSCHANGED; repaint invalidates the whole window.
BOOL MoveWindow(HWND window, int x, int y, int width, int height, BOOL repaint);
BOOL GetClientRect(HWND window, RECT* rect);
BOOL IsWindow(HWND window);

// Null rect: the whole window.
BOOL InvalidateRect(HWND window, const RECT* rect, BOOL erase);
BOOL ValidateRect(HWND window, const RECT* rect);
// Only RDW_INVALIDATE and RDW_VALIDATE have an effect; regions are not kept.
BOOL RedrawWindow(HWND window, const RECT* rect, HRGN region, UINT flags);

LRESULT DefWindowProcW(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Finds a window of this process, else a running copy of the program that
// holds the title's instance lock (see HostInstance.h). Either name may be
// null to match any.
HWND FindWindowW(LPCWSTR className, LPCWSTR title);
// On our own window: activates it (WM_ACTIVATE, WM_SETFOCUS) unless it is in
// front already. On a running copy: asks it to raise its window.
BOOL SetForegroundWindow(HWND window);
HWND GetForegroundWindow();

HCURSOR LoadCursorW(HINSTANCE instance, LPCWSTR name);
// The stand-in has no icon resources; null.
HICON LoadIconW(HINSTANCE instance, LPCWSTR name);

// Writes "caption: text" to stderr and answers IDOK.
int MessageBoxW(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type);

// The SDL window behind a window of ours, for the display device; null for
// anything else.
SDL_Window* hostSdlWindow(HWND window);
// The ratio of desktop pixels to logical pixels (1 unless PF_WINDOW_SCALE
// asks for more).
int hostWindowScale();

// Test hooks.
// Makes the next RegisterClassW or CreateWindowExW calls fail.
void hostWindowSetFailures(bool registerClass, bool createWindow);
// The text of the last message box, in UTF-8.
const char* hostLastMessageBoxText();
