// What the scan converter's files share: outcode bits, the row rule, the
// perspective shift, the host spans' pixels and the flat colour word.
#pragma once

#include <algorithm>
#include <cstdint>

#include "gfx2d/image/PixelFormat.h"
#include "gfx2d/raster/RasterMath.h"
#include "gfx2d/raster/RasterState.h"
#include "gfx2d/raster/RasterStateBlock.h"

inline constexpr uint32_t kOutcodeX = 0x3, kOutcodeY = 0xC, kOutcodeZ = 0x30, kOutcodeAll = 0x3F;
inline constexpr int32_t kHalf = 0x8000;
// Perspective interpolants are multiplied by (depth - depth offset) with this
// shift at set-up; the spans divide it back out.
inline constexpr int kPerspectiveShift = 20;

// The first row (or pixel) whose centre lies at or below y.
inline int32_t firstRow(Fixed y) { return static_cast<int32_t>((static_cast<int64_t>(y) + 0x7FFF) >> 16); }

// The pixels a host-code span writes, cut to the scissor.
struct SpanPixels {
    int32_t x0;
    uint32_t count;
    bool wide;       // X8R8G8B8, else R5G6B5
    uint8_t* pixels;
    uint8_t* depth;  // null unless a draw byte asks for depth
};

// False when the span covers no pixel, the target has neither format or the
// row lies outside the address space.
inline bool spanPixels(const RasterState& state, uint32_t left, uint32_t right, SpanPixels& run)
{
    const RasterStateBlock& s = state.block();
    const int32_t x0 = std::max(firstRow(static_cast<Fixed>(left)), s.scissorx0);
    const int32_t x1 = std::min(firstRow(static_cast<Fixed>(right)), s.scissorx1);
    const bool wide = state.targetFormat() == PixelFormat::X8R8G8B8;
    if (x0 >= x1 || (!wide && state.targetFormat() != PixelFormat::R5G6B5))
        return false;
    const uint32_t count = static_cast<uint32_t>(x1 - x0);
    const uint32_t bpp = wide ? 4 : 2;
    const SpanAddressSpace& space = state.addressSpace();
    uint8_t* p = space.writable(s.destptr + static_cast<uint32_t>(x0) * bpp, count * bpp);
    if (!p)
        return false;
    // Without a depth plane the draw bytes have nothing to act on.
    uint8_t* z = s.drawBytes[0] || s.drawBytes[1] ? space.writable(s.zptr + static_cast<uint32_t>(x0) * 4, count * 4)
                                                  : nullptr;
    run = SpanPixels{x0, count, wide, p, z};
    return true;
}

// A << 24 | R << 16 | G << 8 | B of the raster state's flat colour bytes.
inline uint32_t flatColourWord(const RasterStateBlock& s)
{
    const uint8_t* c = s.flatColour;
    return static_cast<uint32_t>(c[0]) << 24 | static_cast<uint32_t>(c[1]) << 16 |
           static_cast<uint32_t>(c[2]) << 8 | c[3];
}
