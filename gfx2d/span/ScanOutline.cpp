// The outline driver: each polygon's edges in white instead of a fill.
#include "gfx2d/span/ScanConversion.h"

#include <cstdlib>

#include "gfx2d/image/PixelFormat.h"
#include "gfx2d/raster/UnalignedAccess.h"

void ScanConverter::outline(Fixed* const* list, uint32_t n)
{
    const RasterStateBlock& s = m_rs.block();
    const bool wide = m_rs.targetFormat() == PixelFormat::X8R8G8B8;
    if (!wide && m_rs.targetFormat() != PixelFormat::R5G6B5)
        return;
    const uint32_t bpp = wide ? 4 : 2;
    for (uint32_t i = 0; i < n; ++i) {
        const Fixed* a = list[i];
        const Fixed* b = list[(i + 1) % n];
        int32_t x = a[kVertexScreenX] >> 16, y = a[kVertexScreenY] >> 16;
        const int32_t x1 = b[kVertexScreenX] >> 16, y1 = b[kVertexScreenY] >> 16;
        const int32_t dx = std::abs(x1 - x), dy = -std::abs(y1 - y);
        const int32_t sx = x < x1 ? 1 : -1, sy = y < y1 ? 1 : -1;
        int32_t err = dx + dy;
        for (;;) {
            if (x >= s.scissorx0 && x < s.scissorx1 && y >= s.scissory0 && y < s.scissory1) {
                const uint32_t at = s.destbase + static_cast<uint32_t>(y) * static_cast<uint32_t>(s.deststride) +
                                    static_cast<uint32_t>(x) * bpp;
                if (uint8_t* p = m_rs.addressSpace().writable(at, bpp)) {
                    if (wide)
                        storeUnaligned<uint32_t>(p, 0xFF000000u | kOutlineColour);
                    else
                        storeUnaligned<uint16_t>(p, rgb565(kOutlineColour >> 16, kOutlineColour >> 8, kOutlineColour));
                }
            }
            if (x == x1 && y == y1)
                break;
            const int32_t e2 = 2 * err;
            if (e2 >= dy)
                err += dy, x += sx;
            if (e2 <= dx)
                err += dx, y += sy;
        }
    }
}
