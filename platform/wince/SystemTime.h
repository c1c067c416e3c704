// Time for the game side: wall-clock seconds (the random seed) and the
// millisecond tick counter that drives the frame ticker.
#pragma once

#include <cstdint>

// Seconds since 1970-01-01 00:00:00 UTC; 0 when the system time cannot be
// read as a time.
uint32_t getUnixTime();

// Milliseconds, wrapping at 2^32.
uint32_t getTickCount();
