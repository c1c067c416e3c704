// The program's entry: one running copy, the window class, and the platform
// application's run.
#pragma once

#include "platform/host/HostWindow.h"

// The window class and the window title alike.
inline constexpr char16_t kWindowTitle[] = u"Pennyfall";
constexpr uintptr_t kIconResourceId = 101;

// Exit code: 0 after a normal run or when another copy was brought to the
// front; 1 when the class could not be registered or start-up failed.
int WinMain(HINSTANCE instance, HINSTANCE previous, LPWSTR commandLine, int show);

// Hands every message to the platform application; what it leaves goes to
// the default procedure.
LRESULT windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
