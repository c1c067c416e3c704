// Conversions between the 2D library's channel values and colour bytes.
#pragma once

#include <cstdint>

// A channel with 8 fraction bits to a byte: >> 8 (arithmetic), clamped to 0..255.
inline uint8_t channelToByte(int32_t channel)
{
    const int32_t v = channel >> 8;
    return static_cast<uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v));
}

// Alpha of an A1R5G5B5 pixel: 255 when bit 15 is set, else 0.
inline uint8_t alphaOf1555(uint16_t pixel)
{
    return (pixel & 0x8000u) ? 255 : 0;
}
