// The phone shell's full-screen and activation helpers (AYGSHELL), its
// vibrator and the keyboard-ownership call. A desktop has no task bar, input
// panel or motor, so these succeed and record what was asked, for tests.
#pragma once

#include "platform/host/HostTypes.h"

constexpr DWORD SHFS_SHOWTASKBAR = 0x0001;
constexpr DWORD SHFS_HIDETASKBAR = 0x0002;
constexpr DWORD SHFS_SHOWSIPBUTTON = 0x0004;
constexpr DWORD SHFS_HIDESIPBUTTON = 0x0008;
constexpr DWORD SHFS_SHOWSTARTICON = 0x0010;
constexpr DWORD SHFS_HIDESTARTICON = 0x0020;

// Kept by the caller between the activation and setting-change handlers.
struct SHACTIVATEINFO {
    DWORD cbSize;
    HWND hwndLastFocus;
    DWORD flags;
};

BOOL SHFullScreen(HWND window, DWORD state);
BOOL SHHandleWMActivate(HWND window, WPARAM wParam, LPARAM lParam, SHACTIVATEINFO* info, DWORD flags);
BOOL SHHandleWMSettingChange(HWND window, WPARAM wParam, LPARAM lParam, SHACTIVATEINFO* info);
// The shell's unnamed export number 9, called once before anything else at
// start-up; it takes nothing and its result is not used.
BOOL aygshellOrdinal9();

constexpr DWORD INFINITE = 0xFFFFFFFF;

// A vibration pattern; only the default one (no notes) is ever asked for.
struct VIBRATENOTE;

// Starts the motor until VibrateStop or the time-out (ms).
HRESULT Vibrate(DWORD noteCount, const VIBRATENOTE* notes, BOOL repeat, DWORD timeout);
HRESULT VibrateStop();

// Whether the program receives every key, the phone's own included.
BOOL AllKeys(BOOL all);

struct HostShellRecord {
    DWORD fullScreenState = 0; // the last SHFullScreen state
    uint32_t fullScreenCalls = 0;
    uint32_t activateCalls = 0;
    uint32_t settingChangeCalls = 0;
    uint32_t ordinal9Calls = 0;
    uint32_t allKeysCalls = 0;
    BOOL allKeys = FALSE;
    uint32_t vibrateCalls = 0;
    uint32_t vibrateStopCalls = 0;
    bool vibrating = false;
    DWORD vibrateTimeout = 0; // of the last Vibrate
    BOOL vibrateRepeat = FALSE;
};

// Test hooks.
const HostShellRecord& hostShellRecord();
// Makes AllKeys fail from now on.
void hostShellSetAllKeysFailure(bool fail);
// Makes Vibrate fail (E_FAIL) from now on.
void hostShellSetVibrateFailure(bool fail);
void hostShellReset();
