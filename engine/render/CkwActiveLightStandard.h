// The renderer's lights for one frame: each active light turned into an
// eye-space record once per render call, bound to a material and scope once
// per submesh, and evaluated per lit vertex in 16.16 fixed point.
#pragma once

#include <cstdint>

#include "engine/core/math/CkwFixedColor.h"
#include "engine/core/math/CkwMatrix.h"

class CkwLight;
class CkwMaterial;

// One lit vertex: eye position and unit normal in 16.16, and the colours the
// lights add into.
struct SkwLitVertex {
    int32_t position[3];
    int32_t normal[3];
    CkwFixedColor accumulator;
    CkwFixedColor diffuse;
    CkwFixedColor specular;
};

struct CkwActiveLightStandard {
    enum Kind : uint8_t { kKindNone, kKindDirectional, kKindOmni, kKindSpot };

    Kind evaluateKind;
    uint8_t diffuseOn;
    uint8_t specularOn;
    uint8_t ambientOnly;
    uint8_t applies;
    uint8_t attenuationOn;
    int32_t specularExponent;  // half the shininess, 16.16
    int32_t polygonFlags;
    int32_t direction[3];      // the way the light travels, unit, eye space
    int32_t position[3];
    CkwFixedColor color;
    int32_t spotCos;
    int32_t spotExponent;
    int32_t attConstant, attLinear, attQuadSqrt;
    int32_t scope;

    // False when the light cannot contribute (zero intensity, or no
    // attenuation term at all).
    bool setup(const CkwLight& light, const CkwMatrix& eyeMatrix);
    // Whether the record lights a submesh with this material and scope;
    // ambient records add into ambientSum instead.
    bool bind(const CkwMaterial* material, int32_t polygonFlags, int32_t meshScope, CkwFixedColor& ambientSum);
    void evaluate(SkwLitVertex& vertex, bool backFacing) const;

private:
    void addSpecular(SkwLitVertex& vertex, const int32_t* n, const int32_t* toLight, int32_t attenuation) const;
};

// x^n for 16.16 x in 0..1 and exponent n, by the lighting's piecewise
// approximation (exact at n = 0 and n = 1).
int32_t lightingPower(int32_t x, int32_t n);
