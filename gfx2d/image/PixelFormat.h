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

constexpr std::uint32_t formatBytesPerPixel(RSBFormat f) { return f & 0xFF; }
constexpr std::uint32_t formatComponents(RSBFormat f) { return (f >> 8) & 0xF; }
constexpr std::uint32_t formatFlags(RSBFormat f) { return (f >> 12) & 0xF; }

// The name the library gives a code; "RSBFormat_Unknown" for codes it does not name.
const char* formatName(RSBFormat format);

