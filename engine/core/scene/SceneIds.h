// Ids shared by the scene objects: the animation properties a track can
// target, the alignment targets of nodes and the validity that means "never
// changes". The values are the ones 3D files and the interface use.
#pragma once

#include <cstdint>

constexpr int32_t kPropertyAlpha = 256;
constexpr int32_t kPropertyAmbientColor = 257;
constexpr int32_t kPropertyColor = 258;
constexpr int32_t kPropertyCrop = 259;
constexpr int32_t kPropertyDensity = 260;
constexpr int32_t kPropertyDiffuseColor = 261;
constexpr int32_t kPropertyEmissiveColor = 262;
constexpr int32_t kPropertyFar = 263;
constexpr int32_t kPropertyFieldOfView = 264;
constexpr int32_t kPropertyIntensity = 265;
constexpr int32_t kPropertyMorphWeights = 266;
constexpr int32_t kPropertyNear = 267;
constexpr int32_t kPropertyOrientation = 268;
constexpr int32_t kPropertyPickability = 269;
constexpr int32_t kPropertyScale = 270;
constexpr int32_t kPropertyShininess = 271;
constexpr int32_t kPropertySpecularColor = 272;
constexpr int32_t kPropertySpotAngle = 273;
constexpr int32_t kPropertySpotExponent = 274;
constexpr int32_t kPropertyTranslation = 275;
constexpr int32_t kPropertyVisibility = 276;

constexpr int32_t kAlignNone = 144;
constexpr int32_t kAlignOrigin = 145;
constexpr int32_t kAlignXAxis = 146;
constexpr int32_t kAlignYAxis = 147;
constexpr int32_t kAlignZAxis = 148;

// Validity of an animation result in world time: nothing will change.
constexpr int32_t kValidityInfinite = 0x7FFFFFFF;
// The pass stamp that asks animate to begin a new animation pass.
constexpr uint32_t kNewAnimationPass = 0xFFFFFFFFu;

// The engine's float tolerance for "unchanged" and "zero".
constexpr float kSceneEpsilon = 1.5e-5f;
