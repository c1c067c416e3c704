// GAPI keeps only its open, suspend and close state.
#include "platform/host/HostGapi.h"

namespace {

HostGapiState g_state;
bool g_failDisplay = false;
bool g_failInput = false;

} // namespace

int GXOpenDisplay(HWND window, DWORD flags)
{
    if (g_failDisplay || g_state.displayOpen || !window)
        return 0;
    g_state.displayOpen = true;
    g_state.window = window;
    g_state.flags = flags;
    return 1;
}

int GXOpenInput()
{
    if (g_failInput || g_state.inputOpen)
        return 0;
    g_state.inputOpen = true;
    return 1;
}

int GXSuspend()
{
    ++g_state.suspendCalls;
    if (!g_state.displayOpen)
        return 0;
    g_state.suspended = true;
    return 1;
}

int GXResume()
{
    ++g_state.resumeCalls;
    if (!g_state.displayOpen)
        return 0;
    g_state.suspended = false;
    return 1;
}

int GXCloseDisplay()
{
    if (!g_state.displayOpen)
        return 0;
    g_state.displayOpen = false;
    g_state.suspended = false;
    g_state.window = nullptr;
    return 1;
}

int GXCloseInput()
{
    if (!g_state.inputOpen)
        return 0;
    g_state.inputOpen = false;
    return 1;
}

const HostGapiState& hostGapiState()
{
    return g_state;
}

void hostGapiSetFailures(bool openDisplay, bool openInput)
{
    g_failDisplay = openDisplay;
    g_failInput = openInput;
}

void hostGapiReset()
{
    g_state = HostGapiState();
    g_failDisplay = false;
    g_failInput = false;
}
