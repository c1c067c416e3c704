// Fixed colour arithmetic of the lighting. Products go through 64 bits: summed
// light can push a channel far past 256 before it is clamped.
#include "engine/core/math/CkwFixedColor.h"

#include <algorithm>

#include "engine/core/math/FloatBits.h"

namespace {

int32_t widen(uint32_t b) { return static_cast<int32_t>(b + ((b + 128) >> 8)); }

int32_t narrow(int32_t c) { return std::clamp(c - ((c + 128) >> 8), 0, 255); }

} // namespace

void CkwFixedColor::setRgb(uint32_t argb)
{
    red = widen((argb >> 16) & 0xFF);
    green = widen((argb >> 8) & 0xFF);
    blue = widen(argb & 0xFF);
}

void CkwFixedColor::set(int32_t r, int32_t g, int32_t b)
{
    red = widen(static_cast<uint32_t>(r));
    green = widen(static_cast<uint32_t>(g));
    blue = widen(static_cast<uint32_t>(b));
}

uint32_t CkwFixedColor::toArgb() const
{
    return 0xFF000000u | static_cast<uint32_t>(narrow(red)) << 16 | static_cast<uint32_t>(narrow(green)) << 8
        | static_cast<uint32_t>(narrow(blue));
}

uint16_t CkwFixedColor::toRgb565() const
{
    const auto byte = [](int32_t c) { return static_cast<uint32_t>(std::clamp(c, 0, 255)); };
    return static_cast<uint16_t>((byte(red) >> 3) << 11 | (byte(green) >> 2) << 5 | byte(blue) >> 3);
}

void CkwFixedColor::setRgb565(uint16_t pixel)
{
    red = ((pixel >> 11) << 8) / 31;
    green = (((pixel >> 5) & 0x3F) << 8) / 63;
    blue = ((pixel & 0x1F) << 8) / 31;
}

void CkwFixedColor::scale(float f)
{
    // NaN gives 0, like every float the engine turns into an integer.
    const int32_t factor = saturateToInt(clampFloat(f, -1024.0f, 1024.0f) * 256.0f);
    red = scaledChannel(red, factor);
    green = scaledChannel(green, factor);
    blue = scaledChannel(blue, factor);
}

