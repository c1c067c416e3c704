#include "platform/wince/SystemTime.h"

#include "platform/host/HostTime.h"

namespace {

// 100 ns intervals of a converted system time; false when it does not convert.
bool fileTimeTicks(const SYSTEMTIME& time, int64_t& ticks)
{
    FILETIME ft{};
    if (!SystemTimeToFileTime(&time, &ft))
        return false;
    ticks = static_cast<int64_t>((uint64_t(ft.dwHighDateTime) << 32) | ft.dwLowDateTime);
    return true;
}

} // namespace

uint32_t getUnixTime()
{
    SYSTEMTIME now{};
    GetSystemTime(&now);
    const SYSTEMTIME epoch{ 1970, 1, 4, 1, 0, 0, 0, 0 };
    int64_t nowTicks = 0;
    int64_t epochTicks = 0;
    if (!fileTimeTicks(now, nowTicks) || !fileTimeTicks(epoch, epochTicks))
        return 0;
    return static_cast<uint32_t>((nowTicks - epochTicks) / 10'000'000);
}

uint32_t getTickCount()
{
    return GetTickCount();
}
