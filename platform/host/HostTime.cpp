// The real tick counter counts from the first call, like the phone's counts
// from boot, so it starts small and wraps after 49.7 days (or at once with an
// offset).
#include "platform/host/HostTime.h"

#include "platform/host/LastError.h"

#include <ctime>

namespace {

struct Clock {
    bool isVirtual = false;
    DWORD virtualTicks = 0;
    int64_t virtualUnixMs = 0;
    DWORD tickOffset = 0;
};

Clock& hostClock()
{
    static Clock c;
    return c;
}

uint64_t monotonicMs()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return uint64_t(ts.tv_sec) * 1000 + uint64_t(ts.tv_nsec) / 1000000;
}

uint64_t startMs()
{
    static const uint64_t start = monotonicMs();
    return start;
}

int64_t realUnixMs()
{
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    return int64_t(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

// Days since 1970-01-01 of a proleptic Gregorian date (Howard Hinnant's
// days_from_civil).
int64_t daysFromCivil(int64_t y, unsigned m, unsigned d)
{
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

bool isLeap(unsigned y)
{
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

unsigned daysInMonth(unsigned y, unsigned m)
{
    static const unsigned kDays[12] = { 31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31 };
    return m == 2 && isLeap(y) ? 29 : kDays[m - 1];
}

// Days from 1601-01-01 to 1970-01-01.
constexpr int64_t kFileTimeEpochDays = 134774;

} // namespace

DWORD GetTickCount()
{
    const Clock& c = hostClock();
    if (c.isVirtual)
        return c.virtualTicks;
    return static_cast<DWORD>(monotonicMs() - startMs()) + c.tickOffset;
}

void GetSystemTime(SYSTEMTIME* time)
{
    if (!time)
        return;
    const Clock& c = hostClock();
    const int64_t unixMs = c.isVirtual ? c.virtualUnixMs : realUnixMs();
    int64_t seconds = unixMs / 1000;
    int64_t ms = unixMs % 1000;
    if (ms < 0)
        ms += 1000, --seconds;
    const time_t t = static_cast<time_t>(seconds);
    tm parts{};
    gmtime_r(&t, &parts);
    time->wYear = static_cast<WORD>(parts.tm_year + 1900);
    time->wMonth = static_cast<WORD>(parts.tm_mon + 1);
    time->wDayOfWeek = static_cast<WORD>(parts.tm_wday);
    time->wDay = static_cast<WORD>(parts.tm_mday);
    time->wHour = static_cast<WORD>(parts.tm_hour);
    time->wMinute = static_cast<WORD>(parts.tm_min);
    time->wSecond = static_cast<WORD>(parts.tm_sec);
    time->wMilliseconds = static_cast<WORD>(ms);
}

BOOL SystemTimeToFileTime(const SYSTEMTIME* st, FILETIME* fileTime)
{
    if (!st || !fileTime || st->wYear < 1601 || st->wYear > 30827 || st->wMonth < 1 || st->wMonth > 12
        || st->wDay < 1 || st->wDay > daysInMonth(st->wYear, st->wMonth) || st->wHour > 23
        || st->wMinute > 59 || st->wSecond > 59 || st->wMilliseconds > 999) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const int64_t days = daysFromCivil(st->wYear, st->wMonth, st->wDay) + kFileTimeEpochDays;
    const int64_t ms = ((days * 24 + st->wHour) * 60 + st->wMinute) * 60000 + int64_t(st->wSecond) * 1000
        + st->wMilliseconds;
    const uint64_t ticks = static_cast<uint64_t>(ms) * 10000;
    fileTime->dwLowDateTime = static_cast<DWORD>(ticks);
    fileTime->dwHighDateTime = static_cast<DWORD>(ticks >> 32);
    return TRUE;
}

void hostClockSetVirtual(DWORD tickMs, int64_t unixMs)
{
    Clock& c = hostClock();
    c.isVirtual = true;
    c.virtualTicks = tickMs;
    c.virtualUnixMs = unixMs;
}

void hostClockAdvance(DWORD ms)
{
    Clock& c = hostClock();
    c.virtualTicks += ms;
    c.virtualUnixMs += ms;
}

void hostClockSetReal(DWORD tickOffset)
{
    Clock& c = hostClock();
    c.isVirtual = false;
    c.tickOffset = tickOffset;
}
