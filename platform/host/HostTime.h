// Time for the platform layer: the millisecond tick counter and the UTC wall
// clock. Tests switch both to a virtual clock that only moves when told to.
#pragma once

#include "platform/host/HostTypes.h"

struct SYSTEMTIME {
    WORD wYear;
    WORD wMonth;
    WORD wDayOfWeek;
    WORD wDay;
    WORD wHour;
    WORD wMinute;
    WORD wSecond;
    WORD wMilliseconds;
};

// 100 ns intervals since 1601-01-01 00:00:00 UTC.
struct FILETIME {
    DWORD dwLowDateTime;
    DWORD dwHighDateTime;
};

// Milliseconds, monotonic, wrapping at 2^32.
DWORD GetTickCount();

// The current time in UTC.
void GetSystemTime(SYSTEMTIME* time);

// FALSE with ERROR_INVALID_PARAMETER for a field out of range; the output is
// then left untouched.
BOOL SystemTimeToFileTime(const SYSTEMTIME* systemTime, FILETIME* fileTime);

// Virtual clock for tests. While virtual, GetTickCount returns the tick value
// set here and GetSystemTime the virtual Unix time; both advance together.
void hostClockSetVirtual(DWORD tickMs, int64_t unixMs);
void hostClockAdvance(DWORD ms);

// Back to the real clocks. The offset is added to the real tick count, so a
// run can start just below the 32-bit wrap.
void hostClockSetReal(DWORD tickOffset = 0);
