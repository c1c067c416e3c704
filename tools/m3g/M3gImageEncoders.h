// Encoders of the image records: Image2D (10), Texture2D (17), Sprite (18) and
// the engine's own PlasmaImage (23), Stageset (24) and CompressedImage2D (25).
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "tools/m3g/M3gSceneEncoders.h"

inline constexpr uint8_t kM3gTypeImage2D = 10;
inline constexpr uint8_t kM3gTypeTexture2D = 17;
inline constexpr uint8_t kM3gTypeSprite = 18;
inline constexpr uint8_t kM3gTypePlasmaImage = 23;
inline constexpr uint8_t kM3gTypeStageset = 24;
inline constexpr uint8_t kM3gTypeCompressedImage2D = 25;

struct M3gImage2DFields {
    M3gObject3DFields object;
    uint8_t format = 99; // RGB
    bool isMutable = false;
    uint32_t width = 1;
    uint32_t height = 1;
    // Immutable images only: a palette (empty for a direct image) and pixels.
    std::vector<uint8_t> palette;
    std::vector<uint8_t> pixels;
};

struct M3gTexture2DFields {
    M3gTransformableFields transformable;
    uint32_t image = 0;
    uint32_t blendColor = 0; // 0x..RRGGBB
    uint8_t blending = 227;  // MODULATE
    uint8_t wrappingS = 241; // REPEAT
    uint8_t wrappingT = 241;
    uint8_t levelFilter = 208; // BASE_LEVEL
    uint8_t imageFilter = 210; // NEAREST
};

struct M3gSpriteFields {
    M3gNodeFields node;
    uint32_t image = 0;
    uint32_t appearance = 0;
    bool scaled = false;
    std::array<int32_t, 4> crop = {0, 0, 0, 0}; // x, y, width, height
};

struct M3gWarpMapFields {
    bool smooth = false;
    std::vector<std::array<float, 2>> knots; // x, y
};

struct M3gPlasmaFields {
    M3gObject3DFields object;
    uint32_t seed = 0x31417926;
    uint8_t widthExponent = 7;
    uint8_t heightExponent = 7;
    int32_t detailDepth = 0;
    float turbulence = 0.0f;
    uint8_t cellMode = 1;
    uint8_t cellWidthExponent = 4;
    uint8_t cellHeightExponent = 4;
    std::array<uint32_t, 4> colours = {0x000000, 0xFFFFFF, 0xCDCDCD, 0x4DB3FF};
    // Only non-zero weights are written, each behind its bit of the mask.
    std::array<float, 16> weightsA = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1.0f, 0, 0, 0};
    std::array<float, 16> weightsB = {0, 0, 0, 0, 0, 1.0f, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    std::array<M3gWarpMapFields, 4> warpMaps = {
        M3gWarpMapFields{}, M3gWarpMapFields{}, M3gWarpMapFields{false, {{0, 0}, {1, 1}}},
        M3gWarpMapFields{false, {{0, 0}, {1, 1}}}};
};

struct M3gStagesetFields {
    M3gImage2DFields image;
    float depthOffset = 0.0f;
    float depthScale = 1.0f;
    std::vector<uint16_t> depth; // immutable stagesets: width x height values
};

struct M3gCompressedImageFields {
    M3gObject3DFields object;
    int32_t format = 99;
    int32_t width = 1;
    int32_t height = 1;
    std::vector<std::vector<uint8_t>> levels; // level 0 first; more than one writes the mipmap flag
};

void m3gWriteImage2D(M3gRecordWriter& out, const M3gImage2DFields& fields);
inline void m3gWriteCommon(M3gRecordWriter& out, const M3gImage2DFields& fields) { m3gWriteImage2D(out, fields); }

M3gRecord m3gImage2DRecord(const M3gImage2DFields& fields);
M3gRecord m3gTexture2DRecord(const M3gTexture2DFields& fields);
M3gRecord m3gSpriteRecord(const M3gSpriteFields& fields);
M3gRecord m3gPlasmaRecord(const M3gPlasmaFields& fields);
M3gRecord m3gStagesetRecord(const M3gStagesetFields& fields);
M3gRecord m3gCompressedImageRecord(const M3gCompressedImageFields& fields);
