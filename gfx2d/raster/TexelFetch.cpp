// Texel addressing, texel conversion to 16-bit channels and the sampler.
#include "gfx2d/raster/TexelFetch.h"

#include <algorithm>

#include "framework/util/Format.h"
#include "gfx2d/raster/UnalignedAccess.h"


namespace {

int32_t wrapCoord(int32_t x, int32_t n, int32_t wrap)
{
    if (wrap == kWrapClamp)
        return std::clamp(x, 0, n - 1);
    const bool odd = (x & n) != 0;
    x &= n - 1;  // x & m never exceeds m, so any size stays in range
    if (wrap == kWrapMirror && odd)
        x = n - 1 - x;
    return x;
}

struct LevelGeometry {
    const uint8_t* base;
    int32_t w, h, level;
};

LevelGeometry levelGeometry(const uint8_t* const* levels, uint32_t width, uint32_t height, int32_t level)
{
    level = std::clamp<int32_t>(level, 0, kTextureLevelCount - 1);
    return {levels[level], std::max<int32_t>(static_cast<int32_t>(width >> level), 1),
            std::max<int32_t>(static_cast<int32_t>(height >> level), 1), level};
}

const uint8_t* addressAt(const LevelGeometry& g, uint32_t bpp, int32_t x, int32_t y)
{
    return g.base + (static_cast<size_t>(y) * g.w + x) * bpp;
}

struct Accum {
    int64_t c[4] = {};
    void add(const uint32_t t[4], int64_t weight, int shift)
    {
        for (int i = 0; i < 4; ++i)
            c[i] += (static_cast<int64_t>(t[i]) * weight) >> shift;
    }
    void store(uint32_t out[4], int64_t bias = 0) const
    {
        for (int i = 0; i < 4; ++i)
            out[i] = static_cast<uint32_t>(c[i] + bias);
    }
};

void nearest(const SamplerUnit& s, Fixed u, Fixed v, int32_t level, uint32_t out[4])
{
    fetchTexel(texelAddress(s.levels, s.bpp, s.wrap, s.width, s.height, u, v, level), s.format, out, s.palette);
}

// The four texels of a bilinear neighbourhood and their 8-bit weights.
void bilinear(const SamplerUnit& s, Fixed u, Fixed v, int32_t level, uint32_t texels[4][4], int32_t weights[4])
{
    const Fixed uu = wrapSub(u, 0x8000), vv = wrapSub(v, 0x8000);
    const int32_t fx = (uu >> (8 + level)) & 255, fy = (vv >> (8 + level)) & 255;
    const uint8_t* at[4];
    texelAddresses4(s.levels, s.bpp, s.wrap, s.width, s.height, uu, vv, level, at);
    weights[0] = (255 - fy) * (255 - fx) >> 8;
    weights[1] = (255 - fy) * fx >> 8;
    weights[2] = fy * fx >> 8;
    weights[3] = (255 - fx) * fy >> 8;
    for (int i = 0; i < 4; ++i)
        fetchTexel(at[i], s.format, texels[i], s.palette);
}

}  // namespace

const uint8_t* texelAddress(const uint8_t* const* levels, uint32_t bpp, int32_t wrap, uint32_t width,
                            uint32_t height, Fixed u, Fixed v, int32_t level)
{
    const LevelGeometry g = levelGeometry(levels, width, height, level);
    if (!g.base)
        return nullptr;
    return addressAt(g, bpp, wrapCoord(u >> (16 + g.level), g.w, wrap), wrapCoord(v >> (16 + g.level), g.h, wrap));
}

void texelAddresses4(const uint8_t* const* levels, uint32_t bpp, int32_t wrap, uint32_t width, uint32_t height,
                     Fixed u, Fixed v, int32_t level, const uint8_t* out[4])
{
    const LevelGeometry g = levelGeometry(levels, width, height, level);
    if (!g.base) {
        out[0] = out[1] = out[2] = out[3] = nullptr;
        return;
    }
    const int32_t x = u >> (16 + g.level), y = v >> (16 + g.level);
    const int32_t x0 = wrapCoord(x, g.w, wrap), x1 = wrapCoord(x + 1, g.w, wrap);
    const int32_t y0 = wrapCoord(y, g.h, wrap), y1 = wrapCoord(y + 1, g.h, wrap);
    out[0] = addressAt(g, bpp, x0, y0);
    out[1] = addressAt(g, bpp, x1, y0);
    out[2] = addressAt(g, bpp, x1, y1);
    out[3] = addressAt(g, bpp, x0, y1);
}

void fetchTexel(const uint8_t* p, RSBFormat format, uint32_t out[4], const uint32_t* palette)
{
    out[0] = out[1] = out[2] = out[3] = 0;
    if (!p)
        return;
    switch (format) {
    case PixelFormat::P8X8R8G8B8:
    case PixelFormat::P4X8R8G8B8:
        if (palette) {
            const uint32_t opaque = palette[*p] | 0xFF000000u;
            pixelToArgb16(out, PixelFormat::A8R8G8B8, &opaque);
        }
        return;
    case PixelFormat::P8A8R8G8B8:
    case PixelFormat::P4A8R8G8B8:
        if (palette)
            pixelToArgb16(out, PixelFormat::A8R8G8B8, &palette[*p]);
        return;
    default: pixelToArgb16(out, format, p); return;
    }
}

void sampleTexture(const SamplerUnit& s, Fixed u, Fixed v, Fixed lod, uint32_t out[4])
{
    int32_t mode = s.filterMode;
    if (mode == kFilterBilinearOrNearest)
        mode = lod <= kFixedOne ? kFilterBilinear : kFilterNearestLevel;
    if (mode < 0 || mode > kFilterBilinearFaded)
        return;
    // Levels beyond those present would read memory the unit does not hold.
    const int32_t top = std::max(s.levelCount - 1, 0);
    const int32_t level = std::min(std::max(lod >> 16, 0), top);
    const int32_t level2 = level < top ? level + 1 : level;
    const int32_t f = (lod >> 8) & 255;
    uint32_t texels[4][4];
    int32_t weights[4];
    Accum acc;
    switch (mode) {
    case kFilterNearest: nearest(s, u, v, 0, out); return;
    case kFilterNearestLevel: nearest(s, u, v, level, out); return;
    case kFilterNearestBlend:
        nearest(s, u, v, level, texels[0]);
        nearest(s, u, v, level2, texels[1]);
        acc.add(texels[0], 255 - f, 8);
        acc.add(texels[1], f, 8);
        acc.store(out);
        return;
    case kFilterBilinear:
    case kFilterBilinearLevel:
        bilinear(s, u, v, mode == kFilterBilinear ? 0 : level, texels, weights);
        for (int i = 0; i < 4; ++i)
            acc.add(texels[i], weights[i], 8);
        acc.store(out);
        return;
    case kFilterTrilinear:
        bilinear(s, u, v, level, texels, weights);
        for (int i = 0; i < 4; ++i)
            acc.add(texels[i], static_cast<int64_t>(weights[i]) * (255 - f), 16);
        bilinear(s, u, v, level2, texels, weights);
        for (int i = 0; i < 4; ++i)
            acc.add(texels[i], static_cast<int64_t>(weights[i]) * f, 16);
        acc.store(out);
        return;
    default:  // faded toward the lod fraction
        bilinear(s, u, v, level, texels, weights);
        for (int i = 0; i < 4; ++i)
            acc.add(texels[i], static_cast<int64_t>(weights[i]) * (255 - f), 16);
        acc.store(out, f >> 2);
        return;
    }
}

const RSBFormat FORMAT_CODE_TABLE[kFormatTableSize] = {
    0x021302, 0x045402, 0x065402, 0x081304, 0x090303, 0x0B0304, 0x0C4404,
    0x348301, 0x35C401, 0x1E4410, 0x280101, 0x2B4202, 0x520104,
};

int32_t formatIndex(RSBFormat code)
{
    // Indices 4 and 11 are free: they are kept apart from the table positions.
    switch (code) {
    case 0x021302: return 0;
    case 0x045402: return 1;
    case 0x065402: return 2;
    case 0x081304: return 3;
    case 0x090303: return 5;
    case 0x0B0304: return 6;
    case 0x0C4404: return 7;
    case 0x348301: return 8;
    case 0x35C401: return 9;
    case 0x1E4410: return 10;
    case 0x280101: return 12;
    case 0x2B4202: return 13;
    case 0x520104: return 14;
    default: return -1;
    }
}

int32_t formatTablePosition(RSBFormat code)
{
    for (int32_t i = 0; i < kFormatTableSize; ++i)
        if (FORMAT_CODE_TABLE[i] == code)
            return i;
    return -1;
}

int32_t formatTableCode(int32_t i)
{
    return i >= 0 && i < kFormatTableSize ? static_cast<int32_t>(FORMAT_CODE_TABLE[i]) : -1;
}

void setColor16(uint32_t out[4], uint32_t r, uint32_t g, uint32_t b, uint32_t a)
{
    out[0] = (a & 255) * 257;
    out[1] = (r & 255) * 257;
    out[2] = (g & 255) * 257;
    out[3] = (b & 255) * 257;
}

int formatDebugText(char* buffer, size_t capacity, const char* label)
{
    return formatNarrow(buffer, capacity, "%s", label);
}

int formatDebugInt(char* buffer, size_t capacity, const char* label, int32_t value)
{
    return formatNarrow(buffer, capacity, "%s %d", label, value);
}

int formatDebugFixed(char* buffer, size_t capacity, const char* label, Fixed value)
{
    return formatNarrow(buffer, capacity, "%s %x %d.%03d", label, value, value >> 16,
                        static_cast<int32_t>(((value & 0xFFFF) * 1000) >> 16));
}
