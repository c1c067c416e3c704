// Opening a web address in the desktop's browser, in place of the phone's
// shell. Only "open" of an http or https address is carried out, by running
// xdg-open directly (never through a shell); tests record the call instead.
#pragma once

#include "platform/host/HostTypes.h"

#include <string>

constexpr int SW_SHOWNORMAL = 1;

struct SHELLEXECUTEINFO {
    DWORD cbSize;
    ULONG fMask;
    HWND hwnd;
    LPCWSTR lpVerb;
    LPCWSTR lpFile;
    LPCWSTR lpParameters;
    LPCWSTR lpDirectory;
    int nShow;
    HINSTANCE hInstApp;
};

// TRUE only when the address was handed on and the opener succeeded;
// ERROR_NO_ASSOCIATION for another verb or address kind.
BOOL ShellExecuteEx(SHELLEXECUTEINFO* info);

// Test hook: while set, an accepted call goes to the recorder (verb and
// address in UTF-8) and its answer is the call's result.
using ShellRecorder = bool (*)(const std::string& verb, const std::string& address);
void hostSetShellRecorder(ShellRecorder recorder);
