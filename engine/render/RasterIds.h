// Codes the rasterizer shares with the scene classes that feed it: state flag
// bits, blending modes, texture functions, raster formats and wrap bits.
#pragma once

#include <cstdint>

// State and triangle flags.
constexpr int32_t kRasterColorWrite = 0x1;
constexpr int32_t kRasterShaded = 0x2;
constexpr int32_t kRasterTextured = 0x4;
constexpr int32_t kRasterAffine = 0x8;
constexpr int32_t kRasterDepthTest = 0x20;
constexpr int32_t kRasterDepthWrite = 0x40;
constexpr int32_t kRasterFog = 0x200;
constexpr int32_t kRasterClampColors = 0x400;
constexpr int32_t kRasterAlphaWrite = 0x800;

// Compositing-mode blending.
constexpr int32_t kBlendAlpha = 64;
constexpr int32_t kBlendAlphaAdd = 65;
constexpr int32_t kBlendModulate = 66;
constexpr int32_t kBlendModulateX2 = 67;
constexpr int32_t kBlendReplace = 68;

// Texture functions.
constexpr int32_t kFuncAdd = 224;
constexpr int32_t kFuncBlend = 225;
constexpr int32_t kFuncDecal = 226;
constexpr int32_t kFuncModulate = 227;
constexpr int32_t kFuncReplace = 228;

// Raster formats an image hands over; 95 marks a unit without usable texels.
constexpr int32_t kRasterFormatNone = 95;
constexpr int32_t kRasterFormatAlpha = 96;
constexpr int32_t kRasterFormatLuminance = 97;
constexpr int32_t kRasterFormatLuminanceAlpha = 98;
constexpr int32_t kRasterFormatRgb = 99;
constexpr int32_t kRasterFormatRgba = 100;

// Texture wrap modes and the unit's clamp bits.
constexpr int32_t kWrapClamp = 240;
constexpr int32_t kWrapRepeat = 241;
constexpr int32_t kWrapClampS = 0x80;
constexpr int32_t kWrapClampT = 0x100;

// Polygon-mode bits the rasterizer reads, and the word used without a mode.
constexpr int32_t kPolygonPerspective = 0x400;
constexpr int32_t kPolygonDefaultBits = 201;
