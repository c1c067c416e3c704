// The screen and version queries: GetSystemMetrics reads one screen object
// (240x320 unless PF_SCREEN_WIDTH and PF_SCREEN_HEIGHT ask for another size),
// and a test hook turns the screen as the phone does, announcing it with
// WM_SETTINGCHANGE.
#pragma once

#include "platform/host/HostTypes.h"

constexpr int SM_CXSCREEN = 0;
constexpr int SM_CYSCREEN = 1;

constexpr DWORD VER_PLATFORM_WIN32_CE = 3;

struct OSVERSIONINFOW {
    DWORD dwOSVersionInfoSize;
    DWORD dwMajorVersion;
    DWORD dwMinorVersion;
    DWORD dwBuildNumber;
    DWORD dwPlatformId;
    WCHAR szCSDVersion[128];
};

constexpr int kDefaultScreenWidth = 240;
constexpr int kDefaultScreenHeight = 320;
// Sizes outside 1..kMaxScreenSide from the environment are ignored.
constexpr int kMaxScreenSide = 4096;

// The screen's width and height; 0 for any other metric.
int GetSystemMetrics(int index);
// FALSE with ERROR_INVALID_PARAMETER unless the size field is set.
BOOL GetVersionExW(OSVERSIONINFOW* info);

// Test hook: the screen now has this size (sides outside 1..kMaxScreenSide
// are refused with 0); every window of ours gets WM_SETTINGCHANGE with
// SETTINGCHANGE_RESET. 1 when done.
int hostSetScreenSize(int width, int height);
// Back to the size from the environment or the default.
void hostResetScreenSize();
