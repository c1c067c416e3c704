// The game-display API (GAPI) as far as the program uses it: open, suspend,
// resume and close of the display and the keys. Drawing goes elsewhere, so
// the stand-in only keeps the state, which tests read and can make fail.
#pragma once

#include "platform/host/HostTypes.h"

constexpr DWORD GX_FULLSCREEN = 0x01;

// Nonzero on success.
int GXOpenDisplay(HWND window, DWORD flags);
int GXOpenInput();
// Suspending a closed display fails; resuming without a suspend does nothing.
int GXSuspend();
int GXResume();
int GXCloseDisplay();
int GXCloseInput();

struct HostGapiState {
    bool displayOpen = false;
    bool inputOpen = false;
    bool suspended = false;
    HWND window = nullptr;
    DWORD flags = 0;
    uint32_t suspendCalls = 0;
    uint32_t resumeCalls = 0;
};

// Test hooks.
const HostGapiState& hostGapiState();
// Makes the opens fail from now on.
void hostGapiSetFailures(bool openDisplay, bool openInput);
void hostGapiReset();
