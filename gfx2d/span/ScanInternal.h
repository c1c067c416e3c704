// What the scan converter's files share: outcode bits, the row rule, the
// perspective shift and the flat colour word.
#pragma once

#include <cstdint>

#include "gfx2d/raster/RasterMath.h"
#include "gfx2d/raster/RasterStateBlock.h"

inline constexpr uint32_t kOutcodeX = 0x3, kOutcodeY = 0xC, kOutcodeZ = 0x30, kOutcodeAll = 0x3F;
inline constexpr int32_t kHalf = 0x8000;
// Perspective interpolants are multiplied by (depth - depth offset) with this
// shift at set-up; the spans divide it back out.
inline constexpr int kPerspectiveShift = 20;

// The first row (or pixel) whose centre lies at or below y.
inline int32_t firstRow(Fixed y) { return static_cast<int32_t>((static_cast<int64_t>(y) + 0x7FFF) >> 16); }

// A << 24 | R << 16 | G << 8 | B of the raster state's flat colour bytes.
inline uint32_t flatColourWord(const RasterStateBlock& s)
{
    const uint8_t* c = s.flatColour;
    return static_cast<uint32_t>(c[0]) << 24 | static_cast<uint32_t>(c[1]) << 16 |
           static_cast<uint32_t>(c[2]) << 8 | c[3];
}
