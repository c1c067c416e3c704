// The message queue and timers of the stand-in's one thread. GetMessageW hands
// out messages in the order Windows does: posted and input messages, then
// WM_QUIT, then WM_PAINT while a window is invalid, then WM_TIMER when a
// timer is due. Input from SDL is pumped only inside GetMessageW. A timer
// message is made only when nothing else waits, and never more than one per
// timer, so ticks cannot pile up behind a slow frame. With the virtual clock
// an idle wait jumps straight to the next due timer.
#pragma once

#include "platform/host/HostTypes.h"

using TIMERPROC = void (*)(HWND window, UINT message, uintptr_t id, DWORD time);

struct MSG {
    HWND hwnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    DWORD time;
    LONG ptX;
    LONG ptY;
};

constexpr UINT WM_NULL = 0x0000;
constexpr UINT WM_CREATE = 0x0001;
constexpr UINT WM_DESTROY = 0x0002;
constexpr UINT WM_ACTIVATE = 0x0006;
constexpr UINT WM_SETFOCUS = 0x0007;
constexpr UINT WM_KILLFOCUS = 0x0008;
constexpr UINT WM_PAINT = 0x000F;
constexpr UINT WM_CLOSE = 0x0010;
constexpr UINT WM_QUIT = 0x0012;
constexpr UINT WM_SETTINGCHANGE = 0x001A;
constexpr UINT WM_WINDOWPOSCHANGED = 0x0047;
constexpr UINT WM_KEYDOWN = 0x0100;
constexpr UINT WM_KEYUP = 0x0101;
constexpr UINT WM_CHAR = 0x0102;
constexpr UINT WM_TIMER = 0x0113;
constexpr UINT WM_HSCROLL = 0x0114;
constexpr UINT WM_VSCROLL = 0x0115;
constexpr UINT WM_MOUSEMOVE = 0x0200;
constexpr UINT WM_LBUTTONDOWN = 0x0201;
constexpr UINT WM_LBUTTONUP = 0x0202;
constexpr UINT WM_LBUTTONDBLCLK = 0x0203;
constexpr UINT WM_RBUTTONDOWN = 0x0204;
constexpr UINT WM_RBUTTONUP = 0x0205;
constexpr UINT WM_RBUTTONDBLCLK = 0x0206;
constexpr UINT WM_MBUTTONDOWN = 0x0207;
constexpr UINT WM_MBUTTONUP = 0x0208;
constexpr UINT WM_MBUTTONDBLCLK = 0x0209;
constexpr UINT WM_USER = 0x0400;
// What the phone sends the program's window when it goes to the background
// (message 1023); the stand-in sends it when the window loses the focus or
// is minimised.
constexpr UINT kPhoneBackgroundMessage = 0x3ff;

// Low word of WM_ACTIVATE's wParam.
constexpr WORD WA_INACTIVE = 0;
constexpr WORD WA_ACTIVE = 1;
constexpr WORD WA_CLICKACTIVE = 2;

// Button state in the wParam of pointer messages.
constexpr WPARAM MK_LBUTTON = 0x0001;
constexpr WPARAM MK_RBUTTON = 0x0002;
constexpr WPARAM MK_MBUTTON = 0x0010;

// wParam of WM_SETTINGCHANGE after the screen changed size.
constexpr WPARAM SETTINGCHANGE_RESET = 0x3002;

// Timers never fire faster than this.
constexpr UINT USER_TIMER_MINIMUM = 10;

inline WORD LOWORD(uintptr_t value)
{
    return static_cast<WORD>(value & 0xffff);
}

inline WORD HIWORD(uintptr_t value)
{
    return static_cast<WORD>((value >> 16) & 0xffff);
}

inline LPARAM MAKELPARAM(WORD low, WORD high)
{
    return static_cast<LPARAM>(static_cast<DWORD>(low) | (static_cast<DWORD>(high) << 16));
}

// Waits for the next message: 1, 0 for WM_QUIT, -1 for a null message.
// The window and range filters are not supported and must be 0.
BOOL GetMessageW(MSG* message, HWND window, UINT first, UINT last);
constexpr UINT PM_NOREMOVE = 0x0000;
constexpr UINT PM_REMOVE = 0x0001;

// GetMessageW without the wait: FALSE when nothing is there. WM_QUIT is
// reported as TRUE, as Windows does.
BOOL PeekMessageW(MSG* message, HWND window, UINT first, UINT last, UINT remove);
// Makes no WM_CHAR: nothing in the program reads characters.
BOOL TranslateMessage(const MSG* message);
// Calls the window procedure (or the timer's callback) and returns its result.
LRESULT DispatchMessageW(const MSG* message);

// FALSE with ERROR_INVALID_WINDOW_HANDLE for a window that is not ours; a
// null window posts a message to the thread.
BOOL PostMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// Calls the window procedure at once.
LRESULT SendMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// WM_QUIT comes once the posted messages are taken.
void PostQuitMessage(int exitCode);

// Arms (or re-arms) the window's timer: the first WM_TIMER is due after the
// elapse. 0 with ERROR_INVALID_WINDOW_HANDLE for a window that is not ours.
uintptr_t SetTimer(HWND window, uintptr_t id, UINT elapseMs, TIMERPROC callback);
BOOL KillTimer(HWND window, uintptr_t id);
