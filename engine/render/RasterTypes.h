// The records the renderer fills for the rasterizer: screen vertices, the view
// of an image and a texture, and the compositing state. The scene classes map
// onto these, so the rasterizer depends on none of them.
#pragma once

#include <algorithm>
#include <cstdint>

#include "engine/render/RasterIds.h"

struct SkwRasterTexCoord {
    int32_t s;          // 16.16, 0x10000 = one period of the texture
    int32_t t;
    int32_t reserved;   // the pipeline's own word; not read here
    int32_t q;          // perspective weight, proportional to 1/w
};

// One screen vertex; the polygon offset adds to z in place.
struct SkwRasterVertex {
    int32_t x;          // 28.4 pixels
    int32_t y;          // 28.4 pixels, down
    int32_t z;          // 20.12, 0 .. 0x0FFFFFFF
    int32_t r, g, b;    // 16.16, 1.0 = 0x10000; above 1.0 occurs
    uint8_t alpha;
    uint8_t fog;        // 0 none .. 255 fully the fog colour
    uint8_t reserved[2];
    SkwRasterTexCoord tex[2];
};

// A screen vertex's z for NDC z in units of 2^-28 (-1 .. 1 across the view
// volume) under a depth range scale (16.16, far - near) and offset: every
// bit z holds, rounded, kept in 0 .. 0x0FFFFFFF.
inline int32_t rasterDepth(int64_t ndcZ, int32_t depthScale, int32_t depthOffset)
{
    const int64_t z = std::clamp<int64_t>(ndcZ, -(int64_t{1} << 30), int64_t{1} << 30) + (int64_t{1} << 28);
    return static_cast<int32_t>(std::clamp<int64_t>(((z * depthScale + (1 << 16)) >> 17) + depthOffset, 0, 0x0FFFFFFF));
}

// Pixels as an image keeps them. A palette image has 256 colours (and 256
// alphas) indexed by one byte per texel; else one colour (and alpha) per texel.
struct SkwRasterImage {
    int32_t format = kRasterFormatNone;  // raster format, 95 .. 100
    int32_t width = 0;
    int32_t height = 0;
    const uint16_t* colorData = nullptr;  // RGB565
    const uint8_t* alphaData = nullptr;   // null: opaque
    const uint8_t* indexData = nullptr;   // null: not a palette image
};

struct SkwRasterTextureSource {
    const SkwRasterImage* image = nullptr;
    int32_t function = kFuncModulate;
    uint32_t blendColor = 0;  // 0xRRGGBB
    int32_t wrapS = kWrapRepeat;
    int32_t wrapT = kWrapRepeat;
};

struct SkwRasterCompositing {
    bool colorWrite = true;
    bool alphaWrite = true;
    bool depthTest = true;
    bool depthWrite = true;
    int32_t blending = kBlendReplace;
    float alphaThreshold = 0.0f;
    float depthOffsetFactor = 0.0f;
    float depthOffsetUnits = 0.0f;
};

// A texture unit as the span routines read it.
struct SkwRasterTexture {
    int32_t format = kRasterFormatNone;
    int32_t function = 0;
    int32_t blendRed = 0, blendGreen = 0, blendBlue = 0;  // channel << 8
    int32_t log2Width = -1, log2Height = -1;  // both -1 unless both are powers of two
    int32_t width = 0, height = 0;
    int32_t wrap = 0;  // kWrapClampS | kWrapClampT
    const uint16_t* colorData = nullptr;
    const uint8_t* alphaData = nullptr;
    const uint8_t* indexData = nullptr;
};
