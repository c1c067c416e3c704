// Texel fetch of the software rasterizer: addressing with repeat, clamp and
// mirror, bilinear neighbourhoods, palette expansion, the sampler with its
// eight filter modes, and the small format-code tables of the texture paths.
#pragma once

#include <cstddef>
#include <cstdint>

#include "gfx2d/image/PixelFormat.h"
#include "gfx2d/raster/FixedPoint.h"
#include "gfx2d/raster/SpanAddress.h"

inline constexpr int32_t kWrapRepeat = 1;
inline constexpr int32_t kWrapClamp = 2;
inline constexpr int32_t kWrapMirror = 3;

// Filter modes of a texture unit.
inline constexpr int32_t kFilterNearest = 0;
inline constexpr int32_t kFilterNearestLevel = 1;
inline constexpr int32_t kFilterNearestBlend = 2;
inline constexpr int32_t kFilterBilinearOrNearest = 3;  // by lod
inline constexpr int32_t kFilterBilinear = 4;
inline constexpr int32_t kFilterBilinearLevel = 5;
inline constexpr int32_t kFilterTrilinear = 6;
inline constexpr int32_t kFilterBilinearFaded = 7;

// The host's view of a bound texture unit. Built only from memory the host
// owns and has measured, so the sampler can trust it; span programs see the
// unit through the raster-state record and the address space instead.
struct SamplerUnit {
    RSBFormat format = 0;
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t bpp = 0;
    int32_t levelCount = 0;  // levels present, the base included
    int32_t filterMode = kFilterNearest;
    int32_t wrap = kWrapRepeat;
    const uint8_t* levels[kTextureLevelCount] = {};
    const uint32_t* palette = nullptr;  // 256 colours for the palette formats
};

// levels: the ten level pointers of a unit. Level is clamped to them; a
// side halved below one texel stays one texel. Null when the level has no
// memory.
const uint8_t* texelAddress(const uint8_t* const* levels, uint32_t bpp, int32_t wrap, uint32_t width,
                            uint32_t height, Fixed u, Fixed v, int32_t level);
// (x, y), (x + 1, y), (x + 1, y + 1), (x, y + 1) with the wrap applied to each step.
void texelAddresses4(const uint8_t* const* levels, uint32_t bpp, int32_t wrap, uint32_t width, uint32_t height,
                     Fixed u, Fixed v, int32_t level, const uint8_t* out[4]);
// Four 16-bit channels A, R, G, B. A null address, an unknown format or a
// palette format without a palette gives 0 in every channel.
void fetchTexel(const uint8_t* p, RSBFormat format, uint32_t out[4], const uint32_t* palette);
// lod in 16.16. Modes above 7 leave out as it was.
void sampleTexture(const SamplerUnit& unit, Fixed u, Fixed v, Fixed lod, uint32_t out[4]);

inline constexpr int32_t kFormatTableSize = 13;
extern const RSBFormat FORMAT_CODE_TABLE[kFormatTableSize];
int32_t formatIndex(RSBFormat code);
int32_t formatTablePosition(RSBFormat code);
int32_t formatTableCode(int32_t i);

// Four 16-bit channels A, R, G, B from 8-bit values.
void setColor16(uint32_t out[4], uint32_t r, uint32_t g, uint32_t b, uint32_t a);

// Debug texts of a value: "label", "label 12", and for 16.16 values
// "label 18000 1.500". Returns the characters written.
int formatDebugText(char* buffer, size_t capacity, const char* label);
int formatDebugInt(char* buffer, size_t capacity, const char* label, int32_t value);
int formatDebugFixed(char* buffer, size_t capacity, const char* label, Fixed value);
