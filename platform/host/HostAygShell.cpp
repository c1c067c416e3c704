// The shell helpers record their calls; there is nothing to hide on a desktop.
#include "platform/host/HostAygShell.h"

namespace {

HostShellRecord g_record;
bool g_failAllKeys = false;
bool g_failVibrate = false;

} // namespace

BOOL SHFullScreen(HWND, DWORD state)
{
    g_record.fullScreenState = state;
    ++g_record.fullScreenCalls;
    return TRUE;
}

BOOL SHHandleWMActivate(HWND, WPARAM, LPARAM, SHACTIVATEINFO*, DWORD)
{
    ++g_record.activateCalls;
    return TRUE;
}

BOOL SHHandleWMSettingChange(HWND, WPARAM, LPARAM, SHACTIVATEINFO*)
{
    ++g_record.settingChangeCalls;
    return TRUE;
}

BOOL aygshellOrdinal9()
{
    ++g_record.ordinal9Calls;
    return TRUE;
}

BOOL AllKeys(BOOL all)
{
    ++g_record.allKeysCalls;
    if (g_failAllKeys)
        return FALSE;
    g_record.allKeys = all ? TRUE : FALSE;
    return TRUE;
}

HRESULT Vibrate(DWORD, const VIBRATENOTE*, BOOL repeat, DWORD timeout)
{
    ++g_record.vibrateCalls;
    if (g_failVibrate)
        return E_FAIL;
    g_record.vibrating = true;
    g_record.vibrateTimeout = timeout;
    g_record.vibrateRepeat = repeat;
    return S_OK;
}

HRESULT VibrateStop()
{
    ++g_record.vibrateStopCalls;
    g_record.vibrating = false;
    return S_OK;
}

const HostShellRecord& hostShellRecord()
{
    return g_record;
}

void hostShellSetAllKeysFailure(bool fail)
{
    g_failAllKeys = fail;
}

void hostShellSetVibrateFailure(bool fail)
{
    g_failVibrate = fail;
}

void hostShellReset()
{
    g_record = HostShellRecord();
    g_failAllKeys = false;
    g_failVibrate = false;
}
