// The host-code textured span: per pixel a depth test, the texture
// coordinates (divided back out of their perspective form when the raster
// state asks for it), a level of detail, one sample of unit 0 and the packed
// colour.
#include "gfx2d/span/TexturedSpan.h"

#include <algorithm>
#include <climits>
#include <cstdlib>

#include "gfx2d/raster/RasterMath.h"
#include "gfx2d/raster/UnalignedAccess.h"
#include "gfx2d/span/ScanInternal.h"

namespace {

// Below this alpha (of 0xFFFF) a sample leaves the pixel and its depth alone.
constexpr uint32_t kMinimumAlpha = 15;

enum Interpolant { kDepth = 0, kU = 1, kV = 2 };

// a × 2^20 / d through the reciprocal q of d (which divides into 16.16),
// saturated to 32 bits.
Fixed undoPerspective(int64_t a, Reciprocal q)
{
    const __int128 p = static_cast<__int128>(a) * q.r;
    const int s = q.shift - (kPerspectiveShift - 16);
    const __int128 v = s >= 0 ? p >> s : p * (static_cast<__int128>(1) << -s);
    return static_cast<Fixed>(std::clamp<__int128>(v, INT32_MIN, INT32_MAX));
}

int64_t magnitude(Fixed v)
{
    return std::abs(static_cast<int64_t>(v));
}

} // namespace

uint16_t packTexelRgb565(const uint32_t c[4])
{
    // Red from its top five bits: shifting the whole byte up would keep its
    // low five in a 16-bit word.
    return static_cast<uint16_t>(((c[2] >> 5) & 0x7E0) | (c[1] & 0xF800) | (c[3] >> 11));
}

uint32_t packTexelXrgb8888(const uint32_t c[4])
{
    return (c[1] & 0xFF00) << 8 | (c[2] & 0xFF00) | c[3] >> 8;
}

void texturedSpan(RasterState& state, uint32_t left, uint32_t right)
{
    const RasterTables* tables = state.tables();
    SpanPixels run;
    if (!tables || !spanPixels(state, left, right, run))
        return;
    const RasterStateBlock& s = state.block();
    const auto [x0, count, wide, p, z] = run;
    const bool test = z && s.drawBytes[0], write = z && s.drawBytes[1];

    const SamplerUnit unit = state.sampler(0);
    const Fixed maxLod = static_cast<Fixed>(static_cast<uint32_t>(std::max(unit.levelCount - 1, 0)) << 16);
    const bool perspective = s.perspective != 0;
    // Each value at the centre of pixel x0, stepped once per pixel.
    Fixed value[3], step[3];
    for (int k = 0; k < 3; ++k) {
        step[k] = s.intdp[k];
        value[k] = wrapAdd(s.intp[k], wrapAdd(static_cast<Fixed>(static_cast<uint32_t>(x0) * static_cast<uint32_t>(step[k])),
                                              step[k] >> 1));
    }
    const int64_t flatGradient = std::max(magnitude(s.intdp[kU]), magnitude(s.intdp[kV]));
    const int64_t slopedGradient =
        std::max({flatGradient, magnitude(s.K3y[kU]), magnitude(s.K3y[kV])});

    for (uint32_t i = 0; i < count; ++i) {
        const Fixed depth = value[kDepth];
        const bool hidden = test && depth <= loadUnaligned<int32_t>(z + 4 * i);
        if (!hidden) {
            Fixed u = value[kU], v = value[kV], lod = static_cast<Fixed>(std::min<int64_t>(flatGradient, INT32_MAX));
            if (perspective) {
                const Reciprocal q = reciprocalScale(*tables, wrapSub(depth, s.depthrange_n));
                u = undoPerspective(u, q);
                v = undoPerspective(v, q);
                lod = undoPerspective(undoPerspective(slopedGradient, q), q);
            }
            uint32_t texel[4] = {};
            sampleTexture(unit, u, v, std::min(lod, maxLod), texel);
            if (texel[0] >= kMinimumAlpha) {
                if (write)
                    storeUnaligned<int32_t>(z + 4 * i, depth);
                if (wide)
                    storeUnaligned<uint32_t>(p + 4 * i, packTexelXrgb8888(texel));
                else
                    storeUnaligned<uint16_t>(p + 2 * i, packTexelRgb565(texel));
            }
        }
        for (int k = 0; k < 3; ++k)
            value[k] = wrapAdd(value[k], step[k]);
    }
}
