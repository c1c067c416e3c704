// The built-in flat span: host code the drawing context's vertex runs are
// filled with.
#include "gfx2d/span/ScanConversion.h"

#include <algorithm>

#include "gfx2d/image/PixelFormat.h"
#include "gfx2d/raster/RasterMath.h"
#include "gfx2d/raster/UnalignedAccess.h"
#include "gfx2d/span/ScanInternal.h"

void flatSpan(RasterState& state, uint32_t left, uint32_t right)
{
    const RasterStateBlock& s = state.block();
    const int32_t x0 = std::max(firstRow(static_cast<Fixed>(left)), s.scissorx0);
    const int32_t x1 = std::min(firstRow(static_cast<Fixed>(right)), s.scissorx1);
    if (x0 >= x1)
        return;
    const uint32_t count = static_cast<uint32_t>(x1 - x0);
    const bool wide = state.targetFormat() == PixelFormat::X8R8G8B8;
    if (!wide && state.targetFormat() != PixelFormat::R5G6B5)
        return;
    const uint32_t bpp = wide ? 4 : 2;
    const SpanAddressSpace& space = state.addressSpace();
    uint8_t* p = space.translate(s.destptr + static_cast<uint32_t>(x0) * bpp, count * bpp);
    if (!p)
        return;
    const uint32_t argb = flatColourWord(s);
    const uint32_t colour = wide ? 0xFF000000u | (argb & 0xFFFFFF) : rgb565(argb >> 16, argb >> 8, argb);
    uint8_t* z = (s.drawBytes[0] || s.drawBytes[1]) ? space.translate(s.zptr + static_cast<uint32_t>(x0) * 4, count * 4)
                                                    : nullptr;
    const Fixed dz = s.intdp[0];
    Fixed depth = wrapAdd(s.intp[0], wrapAdd(static_cast<Fixed>(static_cast<uint32_t>(x0) * static_cast<uint32_t>(dz)), dz >> 1));
    for (uint32_t i = 0; i < count; ++i, depth = wrapAdd(depth, dz)) {
        if (z) {
            const int32_t stored = loadUnaligned<int32_t>(z + 4 * i);
            if (s.drawBytes[0] && depth <= stored)
                continue;
            if (s.drawBytes[1])
                storeUnaligned<int32_t>(z + 4 * i, depth);
        }
        if (wide)
            storeUnaligned<uint32_t>(p + 4 * i, colour);
        else
            storeUnaligned<uint16_t>(p + 2 * i, static_cast<uint16_t>(colour));
    }
}
