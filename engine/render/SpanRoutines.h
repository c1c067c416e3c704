// The per-pixel half of the rasterizer: the span state the edge walk hands
// over and the routines that fill one run of a scanline. A routine is picked
// once per triangle from tables of template instances over the fixed state.
#pragma once

#include <cstdint>

#include "engine/render/RasterTypes.h"

struct SkwSpanUnit {
    // At the left pixel: perspective q, s·q, t·q, or affine s << 7, t << 7.
    int32_t q, s, t;
    int32_t dqdx, dsdx, dtdx;
    // At the right end (exclusive), perspective only: the last segment ends there.
    int32_t qRight, sRight, tRight;
    int32_t segLength, segQ, segS, segT;
};

// One span: the values at its left pixel and their steps along x.
struct SkwSpan {
    int32_t y;
    int32_t left, right;  // 0 <= left < right <= width
    uint16_t* colorRow;
    uint16_t* depthRow;   // null without a depth buffer
    uint8_t* alphaRow;    // null without an alpha plane
    int32_t z, r, g, b, a, fog;
    int32_t dzdx, drdx, dgdx, dbdx, dadx, dfogdx;
    SkwSpanUnit unit[2];
};

struct SkwSpanSetup;
using SpanRoutine = void (*)(const SkwSpanSetup&, const SkwSpan&);

// Stages of the two general routines, each run over a chunk of pixels.
struct SpanFragments;
using SpanStage = void (*)(const SkwSpanSetup&, const SkwSpan&, SpanFragments&, int32_t offset, int32_t n);

// What stays fixed for a triangle.
struct SkwSpanSetup {
    const SkwRasterTexture* units = nullptr;  // two
    int32_t flags = 0;       // triangle flags
    int32_t threshold = 0;   // 0..256
    int32_t blending = kBlendReplace;
    int32_t fogRed = 0, fogGreen = 0, fogBlue = 0;
    uint16_t flatColors[4] = {};  // by (x & 1) + (y & 1) * 2
    // Unit 0's power-of-two addressing, filled by selectSpanRoutine for the
    // textured fast paths: coordinate scales (powers of two) and the masks of
    // column and row.
    uint64_t texelScaleS = 0, texelScaleT = 0;
    uint64_t texelMaskU = 0, texelMaskV = 0;
    // Filled by selectSpanRoutine for the general routines.
    SpanStage fetchStage[2] = {};    // null for a unit without texels
    SpanStage combineStage[2] = {};
    SpanStage testStage = nullptr;
    SpanStage fogStage = nullptr;
    SpanStage blendStage = nullptr;
    SpanStage writeStage = nullptr;      // all pixels but the span's last
    SpanStage writeLastStage = nullptr;  // the span's last pixel
};

enum class SpanFamily {
    General,
    Shaded,
    Flat,
    BlendAlpha,
    TexturedGeneral,
    TexReplace,
    TexModulate,
    TexBlendAlpha,
};

// The routine of a family for the setup's flags and units; fills the stages of
// the general routines.
SpanRoutine selectSpanRoutine(SpanFamily family, SkwSpanSetup& setup);

// The four dithered forms of a flat colour (16.16 channels).
void prepareFlatColors(SkwSpanSetup& setup, int32_t red, int32_t green, int32_t blue);
