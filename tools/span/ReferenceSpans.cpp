// Reference image spans, one instance per mode, target and source format.
#include "tools/span/ReferenceSpans.h"

#include <algorithm>

#include "gfx2d/raster/UnalignedAccess.h"
#include "gfx2d/span/SpanIds.h"

namespace {

uint32_t widen(uint16_t p)
{
    const uint32_t r = p >> 11, g = (p >> 5) & 63, b = p & 31;
    return ((r << 3 | r >> 2) << 16) | ((g << 2 | g >> 4) << 8) | (b << 3 | b >> 2);
}

uint16_t narrow(uint32_t c)
{
    return static_cast<uint16_t>(((c >> 8) & 0xF800) | ((c >> 5) & 0x7E0) | ((c >> 3) & 0x1F));
}

uint32_t blendChannels(uint32_t d, uint32_t s, uint32_t a)
{
    uint32_t out = 0;
    for (int shift = 0; shift < 24; shift += 8) {
        const uint32_t dc = (d >> shift) & 255, sc = (s >> shift) & 255;
        out |= ((dc * (255 - a) + sc * a) >> 8) << shift;
    }
    return out;
}

template <SpanMode Mode, bool Wide, RSBFormat Source>
void imageSpan(RasterState& state, uint32_t left, uint32_t right)
{
    constexpr bool Paletted = Source == PixelFormat::P8X8R8G8B8, From565 = Source == PixelFormat::R5G6B5;
    const RasterStateBlock& s = state.block();
    const int32_t x0 = std::max(static_cast<int32_t>((static_cast<int64_t>(static_cast<int32_t>(left)) + 0x7FFF) >> 16), s.scissorx0);
    const int32_t x1 = std::min(static_cast<int32_t>((static_cast<int64_t>(static_cast<int32_t>(right)) + 0x7FFF) >> 16), s.scissorx1);
    if (x0 >= x1)
        return;
    const uint32_t alpha = static_cast<uint32_t>(s.regs[kSpanConstantAlpha]) & 255;
    if (Mode == SpanMode::KeyedBlend && alpha == 0)
        return;
    const TextureUnit& tu = s.texture_units[0];
    const int32_t w = tu.b.width, h = tu.b.height;
    const uint32_t bpp = Paletted ? 1 : From565 ? 2 : 4, dbpp = Wide ? 4 : 2;
    const SpanAddressSpace& space = state.addressSpace();
    const uint8_t* texels = space.translate(tu.b.levels[0], static_cast<uint32_t>(w * h) * bpp);
    const uint8_t* palette = Paletted ? space.translate(tu.b.palette, 1024) : nullptr;
    uint8_t* d = space.writable(s.destptr + static_cast<uint32_t>(x0) * dbpp, static_cast<uint32_t>(x1 - x0) * dbpp);
    if (!texels || !d || (Paletted && !palette) || w <= 0 || h <= 0)
        return;
    const uint32_t du = static_cast<uint32_t>(s.intdp[kSpanInterpolantU]), dv = static_cast<uint32_t>(s.intdp[kSpanInterpolantV]);
    uint32_t u = static_cast<uint32_t>(s.intp[kSpanInterpolantU]) + static_cast<uint32_t>(x0) * du + static_cast<uint32_t>(static_cast<int32_t>(du) >> 1);
    uint32_t v = static_cast<uint32_t>(s.intp[kSpanInterpolantV]) + static_cast<uint32_t>(x0) * dv + static_cast<uint32_t>(static_cast<int32_t>(dv) >> 1);
    for (int32_t x = x0; x < x1; ++x, u += du, v += dv, d += dbpp) {
        const int32_t tx = std::clamp(static_cast<int32_t>(u) >> 16, 0, w - 1);
        const int32_t ty = std::clamp(static_cast<int32_t>(v) >> 16, 0, h - 1);
        const uint32_t i = static_cast<uint32_t>(ty * w + tx);
        const uint32_t stored = Paletted  ? loadUnaligned<uint32_t>(palette + 4 * texels[i])
                                : From565 ? loadUnaligned<uint16_t>(texels + 2 * i)
                                          : loadUnaligned<uint32_t>(texels + 4 * i);
        const bool key = From565 ? stored == kSpanColourKey565 : (stored & 0xFFFFFF) == kSpanColourKey;
        if (Mode != SpanMode::Opaque && key)
            continue;
        const uint32_t c = From565 ? widen(static_cast<uint16_t>(stored)) : stored;
        uint32_t out = Paletted && Wide ? c | 0xFF000000u : c;
        if (Mode == SpanMode::KeyedBlend) {
            const uint32_t under = Wide ? loadUnaligned<uint32_t>(d) : widen(loadUnaligned<uint16_t>(d));
            out = blendChannels(under, c, alpha) | (Wide ? 0xFF000000u : 0);
        }
        if (Wide)
            storeUnaligned<uint32_t>(d, out);
        else
            storeUnaligned<uint16_t>(d, narrow(out));
    }
}

template <SpanMode Mode>
NativeSpan pick(bool wide, RSBFormat source)
{
    using namespace PixelFormat;
    if (wide)
        return source == P8X8R8G8B8 ? imageSpan<Mode, true, P8X8R8G8B8> : imageSpan<Mode, true, X8R8G8B8>;
    return source == P8X8R8G8B8 ? imageSpan<Mode, false, P8X8R8G8B8>
           : source == R5G6B5   ? imageSpan<Mode, false, R5G6B5>
                                : imageSpan<Mode, false, X8R8G8B8>;
}

}  // namespace

NativeSpan referenceSpan(SpanMode mode, RSBFormat destination, RSBFormat source)
{
    if (spanProgramCode(mode, destination, source).empty())
        return nullptr;
    const bool wide = destination == PixelFormat::X8R8G8B8;
    switch (mode) {
    case SpanMode::Opaque: return pick<SpanMode::Opaque>(wide, source);
    case SpanMode::Keyed: return pick<SpanMode::Keyed>(wide, source);
    default: return pick<SpanMode::KeyedBlend>(wide, source);
    }
}
