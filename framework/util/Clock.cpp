// Clock hooks installed by the platform layer.
#include "framework/util/Clock.h"

namespace {
TickClock g_tickClock = nullptr;
TickClock g_unixTimeClock = nullptr;
} // namespace

void setTickClock(TickClock clock)
{
    g_tickClock = clock;
}

TickClock getTickClock()
{
    return g_tickClock;
}

uint32_t tickCountNow()
{
    return g_tickClock ? g_tickClock() : 0;
}

void setUnixTimeClock(TickClock clock)
{
    g_unixTimeClock = clock;
}

uint32_t unixTimeNow()
{
    return g_unixTimeClock ? g_unixTimeClock() : 0;
}
