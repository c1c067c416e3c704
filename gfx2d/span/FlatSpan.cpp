// The built-in flat span: host code the drawing context's vertex runs are
// filled with.
#include "gfx2d/span/ScanConversion.h"

#include "gfx2d/image/PixelFormat.h"
#include "gfx2d/raster/RasterMath.h"
#include "gfx2d/raster/UnalignedAccess.h"
#include "gfx2d/span/ScanInternal.h"

void flatSpan(RasterState& state, uint32_t left, uint32_t right)
{
    SpanPixels run;
    if (!spanPixels(state, left, right, run))
        return;
    const RasterStateBlock& s = state.block();
    const auto [x0, count, wide, p, z] = run;
    const uint32_t argb = flatColourWord(s);
    const uint32_t colour = wide ? 0xFF000000u | (argb & 0xFFFFFF) : rgb565(argb >> 16, argb >> 8, argb);
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
