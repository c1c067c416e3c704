// Floats to integers and floats to ranges, defined for every float: NaN and
// the infinities included. Every layer that turns a float from a file, an
// animation or a caller into an integer goes through these, the engine too.
#pragma once

#include <cstdint>

// Truncation toward zero, saturated to the int32 range; NaN gives 0. A plain
// cast of an out-of-range float is undefined on the host and saturates on
// the device.
inline int32_t saturateToInt(double d)
{
    if (!(d > -2147483649.0))
        return d < 0.0 ? INT32_MIN : 0;
    return d < 2147483648.0 ? static_cast<int32_t>(d) : INT32_MAX;
}
inline int32_t saturateToInt(float f) { return saturateToInt(static_cast<double>(f)); }

// x held to [low, high], NaN counting as 0 as it does above: std::clamp
// would pass NaN on.
inline float clampFloat(float x, float low, float high)
{
    if (x != x)
        x = 0.0f;
    return x < low ? low : (x > high ? high : x);
}
