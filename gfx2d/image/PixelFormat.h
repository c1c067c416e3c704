// Pixel format codes of the 2D library. A code packs bytes per pixel (bits
// 0-7), component count (8-11), a flag nibble (12-15) and the format number
// (16-23); surfaces, decoders, blitters and the raster state all name their
// pixel layouts with it.
#pragma once

#include <cstdint>


using RSBFormat = std::uint32_t;

namespace PixelFormat {
inline constexpr RSBFormat Match = 0x000000;        // wildcard in blitter lookups
inline constexpr RSBFormat R4G4B4 = 0x011302;
inline constexpr RSBFormat R5G6B5 = 0x021302;
inline constexpr RSBFormat A1R5G5B5 = 0x045402;
inline constexpr RSBFormat A4R4G4B4 = 0x065402;
inline constexpr RSBFormat X14R6G6B6 = 0x081304;
inline constexpr RSBFormat R8G8B8 = 0x090303;
inline constexpr RSBFormat X8R8G8B8 = 0x0B0304;     // the screen's default
inline constexpr RSBFormat A8R8G8B8 = 0x0C4404;
inline constexpr RSBFormat ArgbFixed = 0x1E4410;    // A, R, G, B words, 16 bits a channel
inline constexpr RSBFormat RgbaFixed = 0x1F4410;    // R, G, B, A words
inline constexpr RSBFormat L8 = 0x280101;
inline constexpr RSBFormat A8 = 0x296101;
inline constexpr RSBFormat I8 = 0x2A4101;
inline constexpr RSBFormat A8L8 = 0x2B4202;
inline constexpr RSBFormat P8X8R8G8B8 = 0x348301;   // 8-bit index into 256 colours
inline constexpr RSBFormat P8A8R8G8B8 = 0x35C401;
inline constexpr RSBFormat Z32 = 0x520104;
inline constexpr RSBFormat P4X8R8G8B8 = 0x328300;   // two pixels a byte, high nibble first
inline constexpr RSBFormat P4A8R8G8B8 = 0x33C400;
inline constexpr RSBFormat S8 = 0x550101;           // the stencil plane
inline constexpr RSBFormat S32 = 0x570104;          // source of a stencil clear
}  // namespace PixelFormat

// Flag nibble bits.
inline constexpr std::uint32_t FormatFlagPacked = 0x1;   // channels not whole bytes
inline constexpr std::uint32_t FormatFlagAlphaOnly = 0x2;
inline constexpr std::uint32_t FormatFlagAlpha = 0x4;
inline constexpr std::uint32_t FormatFlagPalette = 0x8;

// What buffers size their rows and texels by: the low five bits, which hold
// the byte count of every format the library stores.
constexpr std::uint32_t bytesPerPixel(RSBFormat f) { return f & 31; }
constexpr std::uint32_t formatComponents(RSBFormat f) { return (f >> 8) & 0xF; }
constexpr std::uint32_t formatFlags(RSBFormat f) { return (f >> 12) & 0xF; }

// The name the library gives a code; "RSBFormat_Unknown" for codes it does not name.
const char* formatName(RSBFormat format);

// Single-pixel conversions; the pixel is read from memory, unaligned. A
// source format a routine does not convert gives 0 (pixelToArgb16 leaves its
// output untouched).
void pixelToArgb16(uint32_t out[4], RSBFormat format, const void* pixel);
uint16_t pixelToRgb565(RSBFormat format, const void* pixel);
uint32_t pixelToXrgb8888(RSBFormat format, const void* pixel);
uint32_t pixelToArgb8888(RSBFormat format, const void* pixel);
// pixelToArgb8888 that tells a format without a rule: false, out untouched.
bool tryPixelToArgb8888(RSBFormat format, const void* pixel, uint32_t& out);
// 1 when the destination is A8R8G8B8, R5G6B5, X8R8G8B8 or ARGB_fixed and was written.
int convertPixel(RSBFormat srcFormat, const void* src, RSBFormat dstFormat, void* dst);

// Depth planes pass their word through where surfaces convert them.
uint32_t pixelDepthValue(RSBFormat format, const void* pixel);
uint16_t depthPixelToRgb565(RSBFormat format, const void* pixel);
uint32_t depthPixelToXrgb8888(RSBFormat format, const void* pixel);
uint32_t depthPixelToArgb8888(RSBFormat format, const void* pixel);

constexpr uint16_t rgb565(uint32_t r, uint32_t g, uint32_t b)
{
    return static_cast<uint16_t>((r & 0xF8) << 8 | (g & 0xFC) << 3 | (b & 0xFF) >> 3);
}
constexpr uint16_t argb1555(uint32_t a, uint32_t r, uint32_t g, uint32_t b)
{
    return static_cast<uint16_t>((a ? 0x8000 : 0) | ((r & 0xFF) >> 3) << 10 | ((g & 0xFF) >> 3) << 5 | (b & 0xFF) >> 3);
}

// Packers write their 16-bit result low byte first, so dst needs no alignment.
void packRgb565(void* dst, uint32_t r, uint32_t g, uint32_t b);
void packArgb1555(void* dst, uint32_t a, uint32_t r, uint32_t g, uint32_t b);
void packRgba5551(void* dst, uint32_t r, uint32_t g, uint32_t b, uint32_t a);
void packNibbles4444(void* dst, uint32_t c1, uint32_t c2, uint32_t c3, uint32_t c4);

// Smallest power of two >= n for 1..4096; 0 for 0 and above 4096.
uint32_t nextPowerOfTwo(uint32_t n);

