// The framework's view of time. The framework never calls the platform: the
// platform layer installs its millisecond tick count and its Unix time here at
// start-up, and tests install fake clocks.
#pragma once

#include <cstdint>

using TickClock = uint32_t (*)();

// Milliseconds since some fixed point, wrapping at 2^32 (GetTickCount).
void setTickClock(TickClock clock);
TickClock getTickClock();
// 0 while no clock is installed.
uint32_t tickCountNow();

// Seconds since 1970-01-01 UTC; seeds the random numbers.
void setUnixTimeClock(TickClock clock);
// 0 while no clock is installed.
uint32_t unixTimeNow();
