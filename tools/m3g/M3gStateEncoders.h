// Encoders of the camera and light nodes and of the rendering-state objects:
// appearance, material, polygon and compositing modes, fog and background.
// Enumerations are the raw bytes the file holds, so tests can write values
// the loader must refuse.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "tools/m3g/M3gSceneEncoders.h"

inline constexpr uint8_t kM3gTypeAppearance = 3;
inline constexpr uint8_t kM3gTypeBackground = 4;
inline constexpr uint8_t kM3gTypeCamera = 5;
inline constexpr uint8_t kM3gTypeCompositingMode = 6;
inline constexpr uint8_t kM3gTypeFog = 7;
inline constexpr uint8_t kM3gTypePolygonMode = 8;
inline constexpr uint8_t kM3gTypeLight = 12;
inline constexpr uint8_t kM3gTypeMaterial = 13;

struct M3gCameraFields {
    M3gNodeFields node;
    uint8_t projection = 48; // GENERIC 48, PARALLEL 49, PERSPECTIVE 50
    // GENERIC only.
    std::array<float, 16> generalRowMajor = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    // The others: field of view (perspective) or height (parallel), then the rest.
    float fovyOrHeight = 60.0f;
    float aspectRatio = 1.0f;
    float near = 1.0f;
    float far = 100.0f;
};

struct M3gLightFields {
    M3gNodeFields node;
    float attenuationConstant = 1.0f;
    float attenuationLinear = 0.0f;
    float attenuationQuadratic = 0.0f;
    uint32_t color = 0xFFFFFF;
    uint8_t mode = 129; // AMBIENT 128 .. SPOT 131
    float intensity = 1.0f;
    float spotAngle = 45.0f;
    float spotExponent = 0.0f;
};

struct M3gAppearanceFields {
    M3gObject3DFields object;
    int8_t layer = 0;
    uint32_t compositingMode = 0;
    uint32_t fog = 0;
    uint32_t polygonMode = 0;
    uint32_t material = 0;
    std::vector<uint32_t> textures;
};

struct M3gMaterialFields {
    M3gObject3DFields object;
    uint32_t ambientColor = 0x333333;
    uint32_t diffuseColor = 0xFFCCCCCC; // with alpha
    uint32_t emissiveColor = 0;
    uint32_t specularColor = 0;
    float shininess = 0.0f;
    bool vertexColorTracking = false;
};

struct M3gPolygonModeFields {
    M3gObject3DFields object;
    uint8_t culling = 160;
    uint8_t shading = 165;
    uint8_t winding = 168;
    bool twoSidedLighting = false;
    bool localCameraLighting = false;
    bool perspectiveCorrection = false;
};

struct M3gCompositingModeFields {
    M3gObject3DFields object;
    bool depthTest = true;
    bool depthWrite = true;
    bool colorWrite = true;
    bool alphaWrite = true;
    uint8_t blending = 68;
    uint8_t alphaThreshold = 0; // in 255ths
    float depthOffsetFactor = 0.0f;
    float depthOffsetUnits = 0.0f;
};

struct M3gFogFields {
    M3gObject3DFields object;
    uint32_t color = 0;
    uint8_t mode = 81; // EXPONENTIAL 80 writes the density, LINEAR 81 near and far
    float density = 1.0f;
    float near = 0.0f;
    float far = 1.0f;
};

struct M3gBackgroundFields {
    M3gObject3DFields object;
    uint32_t color = 0; // with alpha
    uint32_t image = 0;
    uint8_t imageModeX = 32;
    uint8_t imageModeY = 32;
    std::array<int32_t, 4> crop = {0, 0, 0, 0}; // x, y, width, height
    bool depthClear = true;
    bool colorClear = true;
};

M3gRecord m3gCameraRecord(const M3gCameraFields& fields);
M3gRecord m3gLightRecord(const M3gLightFields& fields);
M3gRecord m3gAppearanceRecord(const M3gAppearanceFields& fields);
M3gRecord m3gMaterialRecord(const M3gMaterialFields& fields);
M3gRecord m3gPolygonModeRecord(const M3gPolygonModeFields& fields);
M3gRecord m3gCompositingModeRecord(const M3gCompositingModeFields& fields);
M3gRecord m3gFogRecord(const M3gFogFields& fields);
M3gRecord m3gBackgroundRecord(const M3gBackgroundFields& fields);
