// Names of the pixel format codes, single-pixel conversions and packers.
#include "gfx2d/image/PixelFormat.h"

#include <cstring>

#include "gfx2d/blit/PixelChannels.h"
#include "gfx2d/raster/UnalignedAccess.h"

const char* formatName(RSBFormat format)
{
    using namespace PixelFormat;
    switch (format) {
    case Match: return "TBM_F_MATCH";
    case R4G4B4: return "RSBFormat_R4G4B4";
    case R5G6B5: return "RSBFormat_R5G6B5";
    case A1R5G5B5: return "RSBFormat_A1R5G5B5";
    case A4R4G4B4: return "RSBFormat_A4R4G4B4";
    case X14R6G6B6: return "RSBFormat_X14R6G6B6";
    case R8G8B8: return "RSBFormat_R8G8B8";
    case A8R8G8B8: return "RSBFormat_A8R8G8B8";
    case ArgbFixed: return "RSBFormat_ARGB_fixed";
    case L8: return "RSBFormat_L8";
    case A8: return "RSBFormat_A8";
    case I8: return "RSBFormat_I8";
    case A8L8: return "RSBFormat_A8L8";
    case P8X8R8G8B8: return "RSBFormat_P256X8R8G8B8";
    case P8A8R8G8B8: return "RSBFormat_P256A8R8G8B8";
    case Z32: return "RSBFormat_Z32";
    default: return "RSBFormat_Unknown";
    }
}

namespace {

struct Argb8 {
    uint32_t a, r, g, b;
};

// A 16-bit channel word to a byte: negative gives 0, above 0xFFFF gives 255.
uint32_t narrow16(const void* word)
{
    const int32_t v = static_cast<int32_t>(load32(word)) >> 8;
    return v < 0 ? 0 : (v > 255 ? 255 : static_cast<uint32_t>(v));
}

// The formats every 8-bit conversion shares; false for the others.
bool readArgb8(RSBFormat format, const void* pixel, Argb8& c)
{
    using namespace PixelFormat;
    const auto* p = static_cast<const uint8_t*>(pixel);
    switch (format) {
    case R5G6B5: {
        const uint32_t v = load16(p);
        c = {255, expandRed565(v), expandGreen565(v), expandBlue565(v)};
        return true;
    }
    case X14R6G6B6: {
        const uint32_t v = load32(p);
        c = {255, expandRed666(v), expandGreen666(v), expandBlue666(v)};
        return true;
    }
    case R8G8B8: c = {255, p[2], p[1], p[0]}; return true;
    case X8R8G8B8: c = {255, p[2], p[1], p[0]}; return true;
    case A8R8G8B8: c = {p[3], p[2], p[1], p[0]}; return true;
    case ArgbFixed: c = {narrow16(p), narrow16(p + 4), narrow16(p + 8), narrow16(p + 12)}; return true;
    case RgbaFixed: c = {narrow16(p + 12), narrow16(p), narrow16(p + 4), narrow16(p + 8)}; return true;
    default: return false;
    }
}

uint32_t argbWord(const Argb8& c) { return c.a << 24 | c.r << 16 | c.g << 8 | c.b; }

} // namespace

void pixelToArgb16(uint32_t out[4], RSBFormat format, const void* pixel)
{
    using namespace PixelFormat;
    const auto* p = static_cast<const uint8_t*>(pixel);
    if (format == ArgbFixed) {
        for (int i = 0; i < 4; ++i)
            out[i] = load32(p + 4 * i);
        return;
    }
    if (format == RgbaFixed) {
        out[0] = load32(p + 12);
        for (int i = 0; i < 3; ++i)
            out[i + 1] = load32(p + 4 * i);
        return;
    }
    Argb8 c;
    if (format == A1R5G5B5) {
        const uint32_t v = load16(p);
        c = {expandAlpha1555(v), expandRed1555(v), expandGreen1555(v), expandBlue1555(v)};
    } else if (format == A4R4G4B4) {
        const uint32_t v = load16(p);
        c = {expandAlpha4444(v), expandRed4444(v), expandGreen4444(v), expandBlue4444(v)};
    } else if (!readArgb8(format, p, c)) {
        return;
    }
    out[0] = c.a * 257;
    out[1] = c.r * 257;
    out[2] = c.g * 257;
    out[3] = c.b * 257;
}

uint16_t pixelToRgb565(RSBFormat format, const void* pixel)
{
    if (format == PixelFormat::R5G6B5)
        return static_cast<uint16_t>(load16(pixel));
    Argb8 c;
    return readArgb8(format, pixel, c) ? rgb565(c.r, c.g, c.b) : 0;
}

uint32_t pixelToXrgb8888(RSBFormat format, const void* pixel)
{
    if (format == PixelFormat::X8R8G8B8)
        return load32(pixel);
    Argb8 c;
    if (!readArgb8(format, pixel, c))
        return 0;
    c.a = 255;
    return argbWord(c);
}

uint32_t pixelToArgb8888(RSBFormat format, const void* pixel)
{
    uint32_t v = 0;
    tryPixelToArgb8888(format, pixel, v);
    return v;
}

bool tryPixelToArgb8888(RSBFormat format, const void* pixel, uint32_t& out)
{
    if (format == PixelFormat::A8R8G8B8) {
        out = load32(pixel);
        return true;
    }
    Argb8 c;
    if (!readArgb8(format, pixel, c))
        return false;
    out = argbWord(c);
    return true;
}

int convertPixel(RSBFormat srcFormat, const void* src, RSBFormat dstFormat, void* dst)
{
    using namespace PixelFormat;
    switch (dstFormat) {
    case A8R8G8B8: {
        const uint32_t v = pixelToArgb8888(srcFormat, src);
        std::memcpy(dst, &v, 4);
        return 1;
    }
    case R5G6B5: store16(dst, pixelToRgb565(srcFormat, src)); return 1;
    case X8R8G8B8: {
        const uint32_t v = pixelToXrgb8888(srcFormat, src);
        std::memcpy(dst, &v, 4);
        return 1;
    }
    case ArgbFixed: {
        uint32_t words[4];
        std::memcpy(words, dst, sizeof words);
        pixelToArgb16(words, srcFormat, src);
        std::memcpy(dst, words, sizeof words);
        return 1;
    }
    default: return 0;
    }
}

uint32_t pixelDepthValue(RSBFormat format, const void* pixel)
{
    return format == PixelFormat::Z32 ? load32(pixel) : 0;
}
uint16_t depthPixelToRgb565(RSBFormat format, const void* pixel)
{
    return format == PixelFormat::Z32 ? static_cast<uint16_t>(load32(pixel) >> 16) : pixelToRgb565(format, pixel);
}
uint32_t depthPixelToXrgb8888(RSBFormat format, const void* pixel)
{
    return format == PixelFormat::Z32 ? load32(pixel) : pixelToXrgb8888(format, pixel);
}
uint32_t depthPixelToArgb8888(RSBFormat format, const void* pixel)
{
    return format == PixelFormat::Z32 ? load32(pixel) : pixelToArgb8888(format, pixel);
}

void packRgb565(void* dst, uint32_t r, uint32_t g, uint32_t b)
{
    store16(dst, rgb565(r, g, b));
}
void packArgb1555(void* dst, uint32_t a, uint32_t r, uint32_t g, uint32_t b)
{
    store16(dst, argb1555(a, r, g, b));
}
void packRgba5551(void* dst, uint32_t r, uint32_t g, uint32_t b, uint32_t a)
{
    store16(dst, ((r & 0xFF) >> 3) << 11 | ((g & 0xFF) >> 3) << 6 | ((b & 0xFF) >> 3) << 1 | (a ? 1 : 0));
}
void packNibbles4444(void* dst, uint32_t c1, uint32_t c2, uint32_t c3, uint32_t c4)
{
    store16(dst, ((c1 & 0xFF) >> 4) << 12 | ((c2 & 0xFF) >> 4) << 8 | ((c3 & 0xFF) >> 4) << 4 | (c4 & 0xFF) >> 4);
}

uint32_t nextPowerOfTwo(uint32_t n)
{
    constexpr uint32_t kLargest = 4096;
    if (n == 0 || n > kLargest)
        return 0;
    uint32_t p = 1;
    while (p < n)
        p <<= 1;
    return p;
}
