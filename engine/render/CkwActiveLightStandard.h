// The renderer's lights for one frame: each active light turned into an
// eye-space record once per render call, bound to a material and scope once
// per submesh, and evaluated per lit vertex in 16.16 fixed point.
#pragma once

#include <algorithm>
#include <cstdint>

#include "engine/core/math/CkwFixedColor.h"
#include "engine/core/math/CkwMatrix.h"

class CkwLight;
class CkwMaterial;

// One lit vertex: eye position p and w, p / w being the position in 16.16
// scaled by 2^-exponent; the unit normal in 16.16; the colours the lights add
// into.
struct SkwLitVertex {
    int32_t position[3];
    int32_t w;
    int32_t exponent;
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
    // Eye-space position scaled by `scale` = 2^-exponent so its largest
    // component lies in 0.25..127, in 16.16 and as floats.
    int32_t position[3];
    float positionF[3];
    int32_t exponent;
    float scale;
    CkwFixedColor color;
    int32_t spotCos;
    int32_t spotExponent;
    // Per unit of the scaled position; the last two held to 32767.0.
    int32_t attConstant, attLinear, attQuadSqrt;
    float attenuation[3];      // constant, linear, sqrt(quadratic)
    uint8_t active;
    int32_t scope;
    int32_t backFacing;
    // The vertex scaling the record was last adapted to, and the reciprocal
    // and shift that take such a vertex into the record's scale.
    int32_t cachedW, cachedExponent, cachedReciprocal, cachedShift;

    // False when the light cannot contribute (zero intensity, no attenuation
    // term at all, or no finite position).
    bool setup(const CkwLight& light, const CkwMatrix& eyeMatrix);
    // Whether the record lights a submesh with this material and scope;
    // ambient records add into ambientSum instead.
    bool bind(const CkwMaterial* material, int32_t polygonFlags, int32_t meshScope, CkwFixedColor& ambientSum);
    // Adapts the record to the vertex's scaling when it changed. Runs for
    // every light of every lit vertex, so directional light, the common
    // case, is kept where the compiler can inline it.
    void evaluate(SkwLitVertex& vertex, bool back)
    {
        if (!applies)
            return;
        backFacing = back;
        if (evaluateKind != kKindDirectional) {
            evaluateAtPosition(vertex, back);
            return;
        }
        int32_t n[3];
        facingNormal(vertex, back, n);
        if (diffuseOn) {
            // The light travels against the normal: scaled by the negative
            // cosine, its part is taken away.
            const int32_t c = dot16(n, direction);
            if (c < 0)
                vertex.accumulator.subtract(scaledPart(color, c, vertex.diffuse));
        }
        if (specularOn) {
            const int32_t toLight[3] = {-direction[0], -direction[1], -direction[2]};
            addSpecular(vertex, n, toLight, vertex.position, 0x10000);
        }
    }

private:
    // Held to +-(2^31 - 1), so a cosine can be negated.
    static int32_t dot16(const int32_t* a, const int32_t* b)
    {
        const int64_t sum = int64_t{a[0]} * b[0] + int64_t{a[1]} * b[1] + int64_t{a[2]} * b[2];
        return static_cast<int32_t>(std::clamp<int64_t>(sum >> 16, -INT32_MAX, INT32_MAX));
    }
    // The light's colour scaled by a 16.16 factor, on the surface's.
    static CkwFixedColor scaledPart(CkwFixedColor color, int32_t factor, const CkwFixedColor& surface)
    {
        color.scaleFixed(factor);
        color.modulate(surface);
        return color;
    }
    static void facingNormal(const SkwLitVertex& v, bool back, int32_t* n)
    {
        for (int i = 0; i < 3; ++i)
            n[i] = back ? -v.normal[i] : v.normal[i];
    }
    // Omni and spot light.
    void evaluateAtPosition(SkwLitVertex& vertex, bool back);
    void adaptTo(const SkwLitVertex& vertex);
    void addSpecular(SkwLitVertex& vertex, const int32_t* n, const int32_t* toLight, const int32_t* eyePosition,
                     int32_t attenuation) const;
};

// x^n for 16.16 x in 0..1 and exponent n, by the lighting's piecewise
// approximation (exact at n = 0 and n = 1).
int32_t lightingPower(int32_t x, int32_t n);
