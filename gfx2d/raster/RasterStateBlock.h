// The raster-state record as span programs see it: 32-bit words at fixed
// byte offsets (SpanAddress.h). Words that hold addresses hold span
// addresses; the host-side owners of that memory live in RasterState.
#pragma once

#include <cstddef>
#include <cstdint>

#include "gfx2d/raster/FixedPoint.h"
#include "gfx2d/raster/SpanAddress.h"

struct TextureBinding {
    uint32_t format;
    uint32_t flags;
    int32_t width;
    int32_t height;
    SpanAddress palette;
    int32_t miptype;
    int32_t maxD;
    SpanAddress levels[kTextureLevelCount];
};

struct TextureUnit {
    TextureBinding b;
    int32_t width_log2;
    int32_t height_log2;
    int32_t bpp;
    int32_t cpp;
    int32_t filter_mode;
    int32_t texmode;
    int32_t reserved[2];
    int32_t boundSlot;
};

// 3x4 entries: a 3x3 by rows, a flag word, a translation.
struct MatrixStack34 {
    Fixed entries[kMatrixStackDepth][kMatrixEntryWords];
    int32_t count;
};

struct MatrixStack2D {
    Fixed entries[kMatrixStackDepth][6];
    int32_t count;
};

struct RasterStateBlock {
    int32_t CPUregs[128];
    int32_t regs[128];
    int32_t scissorx0, scissory0, scissorx1, scissory1;
    int32_t alphaRefval;
    int32_t stencilRefval;
    uint32_t stencilMask;
    int32_t spsave, lsave, rsave, r0save;
    int32_t recipTableSizeM1;
    SpanAddress recipTable;
    SpanAddress recipTable4;
    SpanAddress recipShiftTable;
    SpanAddress cosTable;
    int32_t sqrtTableSizeM1;
    SpanAddress sqrtTable;
    SpanAddress destbase;
    int32_t destheight;
    int32_t deststride;
    SpanAddress destptr;
    SpanAddress zbase;
    int32_t zstride;
    SpanAddress zptr;
    SpanAddress stencilbase;
    SpanAddress stencilptr;
    int32_t stencilstride;
    uint8_t flatColour[4];  // A, R, G, B of the shape the drawing context fills
    int32_t word1140;
    uint8_t drawBytes[2];
    uint8_t pad1146[2];
    TextureUnit texture_units[kTextureUnitCount];
    int32_t perspective;
    int32_t final_limit;
    int32_t rp123[4];
    int32_t poolWord;  // the pool's address stays with the host
    int32_t poolUsed;
    int32_t poolCapacity;
    int32_t polys_considered, polys_drawn, spans_shaded, pixels_shaded;
    int32_t pixels_failed_depth, verts_xformed, polys_subdivided, pieces_drawn;
    Fixed K1[20], K2x[20], K3y[20], K3ys[20];
    Fixed le[20], re[20], dl[20], dr[20];
    Fixed intp[20], intdp[20], pcintp[20], pcintdp[20], pcnextp[20];
    int32_t viewport_X, viewport_Y, viewport_W, viewport_H;
    Fixed depthrange_f, depthrange_n;
    Fixed frustum_L, frustum_R, frustum_B, frustum_T, frustum_N, frustum_F;
    int32_t projection_matrix_mode;
    Fixed cfx0, cfx1, cfy0, cfy1, cfz0, cfz1;
    Fixed ccx0, ccx1, ccy0, ccy1, ccz0, ccz1;
    int32_t word3188[2];
    MatrixStack2D matrix2D;
    int32_t colourSlot, depthSlot, stencilSlot;
    int32_t word3692[4];
    int32_t clearColour[4];  // A, R, G, B, 0-255 each
    int32_t clearStencil;
    int32_t clearDepth;
    int32_t word3732[97];
    // The code address of the bound program stays with the host.
    int32_t spanCodeWord;
    int32_t spanNativeCall;
    int32_t spanInterpolantCount;
    int32_t spanExtraPrestep;
    int32_t spanDepthInterpolant;
    int32_t spanPerspectiveMask;
    int32_t spanBindingWord;
    int32_t spanDriverKind;
    int32_t polygonLists[4][16];
    MatrixStack34 textureStack;
    MatrixStack34 secondStack;
    MatrixStack34 projectionStack;
    int32_t pipelineWork[386];  // the interpreter's stack grows down through here
    int32_t word9084;
    int32_t textureStoreWord;  // the store itself stays with the host
    int32_t outlineMode;
    int32_t word9096;
    uint8_t wholePolygonMode;
    uint8_t viewportMappingMode;
    uint8_t cullEnabled;
    uint8_t culledFace;  // 0: negative area, 1: positive area
    int32_t pipelineFunctionWords[7];  // the selected functions stay with the host
    int32_t pipelineStorage[6401];
    int32_t word34736;
    int32_t word34740;
};

static_assert(sizeof(TextureUnit) == kTextureUnitSize);
static_assert(offsetof(TextureUnit, b.levels) == kTuLevels);
static_assert(offsetof(TextureUnit, width_log2) == kTuWidthLog2);
static_assert(offsetof(TextureUnit, filter_mode) == kTuFilterMode);
static_assert(offsetof(TextureUnit, texmode) == kTuTexmode);
static_assert(offsetof(TextureUnit, boundSlot) == kTuBoundSlot);
static_assert(sizeof(MatrixStack34) == kMatrixStackSize);
static_assert(offsetof(RasterStateBlock, regs) == kRsRegs);
static_assert(offsetof(RasterStateBlock, scissorx0) == kRsScissorX0);
static_assert(offsetof(RasterStateBlock, alphaRefval) == kRsAlphaRefval);
static_assert(offsetof(RasterStateBlock, stencilMask) == kRsStencilMask);
static_assert(offsetof(RasterStateBlock, spsave) == kRsSpSave);
static_assert(offsetof(RasterStateBlock, recipTableSizeM1) == kRsRecipTableSizeM1);
static_assert(offsetof(RasterStateBlock, recipTable) == kRsRecipTable);
static_assert(offsetof(RasterStateBlock, cosTable) == kRsCosTable);
static_assert(offsetof(RasterStateBlock, sqrtTable) == kRsSqrtTable);
static_assert(offsetof(RasterStateBlock, destbase) == kRsDestBase);
static_assert(offsetof(RasterStateBlock, destheight) == kRsDestHeight);
static_assert(offsetof(RasterStateBlock, destptr) == kRsDestPtr);
static_assert(offsetof(RasterStateBlock, zbase) == kRsZBase);
static_assert(offsetof(RasterStateBlock, zptr) == kRsZPtr);
static_assert(offsetof(RasterStateBlock, stencilbase) == kRsStencilBase);
static_assert(offsetof(RasterStateBlock, stencilstride) == kRsStencilStride);
static_assert(offsetof(RasterStateBlock, flatColour) == kRsFlatColour);
static_assert(offsetof(RasterStateBlock, drawBytes) == kRsDrawBytes);
static_assert(offsetof(RasterStateBlock, texture_units) == kRsTextureUnits);
static_assert(offsetof(RasterStateBlock, perspective) == kRsPerspective);
static_assert(offsetof(RasterStateBlock, final_limit) == kRsFinalLimit);
static_assert(offsetof(RasterStateBlock, rp123) == kRsRp123);
static_assert(offsetof(RasterStateBlock, poolUsed) == kRsPoolUsed);
static_assert(offsetof(RasterStateBlock, poolCapacity) == kRsPoolCapacity);
static_assert(offsetof(RasterStateBlock, polys_considered) == kRsStatistics);
static_assert(offsetof(RasterStateBlock, K1) == kRsK1);
static_assert(offsetof(RasterStateBlock, le) == kRsLe);
static_assert(offsetof(RasterStateBlock, re) == kRsRe);
static_assert(offsetof(RasterStateBlock, dl) == kRsDl);
static_assert(offsetof(RasterStateBlock, dr) == kRsDr);
static_assert(offsetof(RasterStateBlock, intp) == kRsIntp);
static_assert(offsetof(RasterStateBlock, viewport_X) == kRsViewport);
static_assert(offsetof(RasterStateBlock, depthrange_f) == kRsDepthRange);
static_assert(offsetof(RasterStateBlock, frustum_L) == kRsFrustum);
static_assert(offsetof(RasterStateBlock, projection_matrix_mode) == kRsProjectionMode);
static_assert(offsetof(RasterStateBlock, cfx0) == kRsClipFactors);
static_assert(offsetof(RasterStateBlock, ccx0) == kRsClipBox);
static_assert(offsetof(RasterStateBlock, matrix2D) == kRsMatrix2D);
static_assert(offsetof(RasterStateBlock, matrix2D.count) == kRsMatrix2DCount);
static_assert(offsetof(RasterStateBlock, colourSlot) == kRsRenderSlots);
static_assert(offsetof(RasterStateBlock, clearColour) == kRsClearColour);
static_assert(offsetof(RasterStateBlock, clearStencil) == kRsClearStencil);
static_assert(offsetof(RasterStateBlock, clearDepth) == kRsClearDepth);
static_assert(offsetof(RasterStateBlock, spanCodeWord) == kRsSpanBinding);
static_assert(offsetof(RasterStateBlock, polygonLists) == kRsPolygonLists);
static_assert(offsetof(RasterStateBlock, textureStack) == kRsTextureStack);
static_assert(offsetof(RasterStateBlock, secondStack) == kRsSecondStack);
static_assert(offsetof(RasterStateBlock, projectionStack) == kRsProjectionStack);
static_assert(offsetof(RasterStateBlock, word9084) == kRsInterpreterStackTop);
static_assert(offsetof(RasterStateBlock, outlineMode) == kRsOutlineMode);
static_assert(offsetof(RasterStateBlock, wholePolygonMode) == kRsPipelineModes);
static_assert(offsetof(RasterStateBlock, pipelineFunctionWords) == kRsPipelineFunctions);
static_assert(offsetof(RasterStateBlock, word34740) == kRsWord34740);
static_assert(sizeof(RasterStateBlock) == kRasterStateSize);

inline constexpr int32_t kRecipTableSize = 4096;
inline constexpr int32_t kSqrtTableSize = 4096;
inline constexpr int32_t kCosTableSize = 257;

// The lookup tables, one block so that one region maps them all.
struct RasterTables {
    uint16_t recip[kRecipTableSize];
    int32_t recip4[kRecipTableSize];
    uint8_t recipShift[kRecipTableSize];
    uint16_t cos[kCosTableSize + 1];  // a quarter wave; one spare entry keeps words aligned
    int32_t sqrt[kSqrtTableSize];
};
