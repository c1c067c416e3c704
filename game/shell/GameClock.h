// The game's clocks and clip positions are int32 milliseconds that wrap
// after 2^31 ms (24.8 days), as the device's adds did: sums and differences
// here wrap without signed overflow, so a difference across the wrap is
// still the time between.
#pragma once

#include <cstdint>

constexpr int32_t clockAdd(int32_t time, int32_t ms)
{
    return static_cast<int32_t>(static_cast<uint32_t>(time) + static_cast<uint32_t>(ms));
}

constexpr int32_t clockSince(int32_t now, int32_t then)
{
    return static_cast<int32_t>(static_cast<uint32_t>(now) - static_cast<uint32_t>(then));
}
