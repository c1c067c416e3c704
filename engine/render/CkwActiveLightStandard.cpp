// Per-vertex lighting in 16.16: directional, omni and spot lights with
// attenuation, spot cone and a specular term whose power is approximated
// piecewise, so no vertex needs a float or an exponential.
#include "engine/render/CkwActiveLightStandard.h"

#include <algorithm>
#include <bit>
#include <cmath>

#include "engine/core/math/CkwFixedVector3D.h"
#include "engine/core/math/FixedMath.h"
#include "engine/core/math/FloatBits.h"
#include "engine/scene/CkwLight.h"
#include "engine/scene/CkwMaterial.h"
#include "engine/scene/CkwPolygonMode.h"

namespace {

constexpr float kTinyFloat = 1.1754944e-38f;
constexpr int32_t kMinLength = 6;  // 16.16 floor of lengths and denominators
constexpr float kMaxCoefficient = 32767.0f;
constexpr int32_t kMinExponent = -126;

// Rounding half away from zero; NaN gives 0, and the ends stop at
// -(2^31 - 1) and 2^31 - 1, so every record value can be negated.
int32_t toFixed(float f)
{
    const double v = static_cast<double>(f) * 65536.0;
    return std::max(saturateToInt(v + (v < 0 ? -0.5 : 0.5)), -INT32_MAX);
}

int32_t saturate(int64_t v) { return static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX)); }

int32_t mul16(int64_t a, int64_t b) { return saturate((a * b) >> 16); }

// |v| in 16.16. v is brought by a power of two to 32..64 first, down or up,
// so a short vector keeps as many bits in its square as a long one.
int32_t length16(const int32_t* v)
{
    const int64_t m = std::max({std::abs(int64_t{v[0]}), std::abs(int64_t{v[1]}), std::abs(int64_t{v[2]})});
    if (m == 0)
        return 0;
    const int32_t shift = 42 - std::countl_zero(static_cast<uint64_t>(m));  // m >> shift in [2^21, 2^22)
    int64_t sum = 0;
    for (int i = 0; i < 3; ++i) {
        const int64_t c = shift >= 0 ? v[i] >> shift : int64_t{v[i]} << -shift;
        sum += c * c;
    }
    const int64_t root = fixedSqrt(static_cast<uint32_t>(sum >> 16));
    if (shift < 0)
        return static_cast<int32_t>((root + (int64_t{1} << (-shift - 1))) >> -shift);
    return static_cast<int32_t>(std::min<int64_t>(root << shift, INT32_MAX));
}

// The unit vector along (x, y, z) in 16.16; false when a component is not
// finite. A vector whose squares leave the float range is brought near
// length 1 by a power of two first.
bool unitFixed(float x, float y, float z, int32_t* out)
{
    if (!std::isfinite(x) || !std::isfinite(y) || !std::isfinite(z))
        return false;
    float squares = x * x + y * y + z * z;
    if (!std::isnormal(squares) && (x != 0.0f || y != 0.0f || z != 0.0f)) {
        const int shift = -std::ilogb(std::max({std::fabs(x), std::fabs(y), std::fabs(z)}));
        x = std::ldexp(x, shift);
        y = std::ldexp(y, shift);
        z = std::ldexp(z, shift);
        squares = x * x + y * y + z * z;
    }
    const float len = std::sqrt(squares);
    const float inv = len > 0.0f ? 1.0f / len : 0.0f;
    out[0] = toFixed(x * inv);
    out[1] = toFixed(y * inv);
    out[2] = toFixed(z * inv);
    return true;
}

} // namespace

int32_t lightingPower(int32_t x, int32_t n)
{
    if (x == 0)
        return n == 0 ? 0x10000 : 0;
    const int64_t x64 = x;
    auto lowPart = [&] { return static_cast<int32_t>(fixedDiv64((x64 + ((x64 * n) >> 16)) << 16, x64 + n)); };
    if (n <= 0x8000)
        return lowPart();
    const int64_t t = 0x10000 + ((int64_t{n >> 2} * (x64 - 0x10000)) >> 16);
    const int64_t b = t > 0 ? (t * ((t * x64) >> 16)) >> 16 : 0;
    if (n < 0x18000) {
        int64_t result = ((int64_t{0x18000 - n} * lowPart()) >> 16);
        if (t > 0)
            result += (int64_t{n - 0x8000} * b) >> 16;
        return static_cast<int32_t>(result);
    }
    return t > 0 && ((x64 * n) >> 16) > n - 0x40000 ? static_cast<int32_t>(b) : 0;
}

bool CkwActiveLightStandard::setup(const CkwLight& light, const CkwMatrix& eyeMatrix)
{
    *this = CkwActiveLightStandard{};
    const int32_t mode = light.getMode();
    const float kc = light.getConstantAttenuation(), kl = light.getLinearAttenuation();
    const float kq = light.getQuadraticAttenuation();
    const bool anyAttenuation = std::fabs(kc) >= kTinyFloat || std::fabs(kl) >= kTinyFloat || std::fabs(kq) >= kTinyFloat;
    if (!(std::fabs(light.getIntensity()) >= kTinyFloat) || !(mode == CkwLight::kAmbient || anyAttenuation))
        return false;
    diffuseOn = mode != CkwLight::kAmbient;
    color.setRgb(light.getColor() & 0xFFFFFF);
    color.scale(light.getIntensity());
    scope = light.getScope();
    scale = 1.0f;

    const float* e = eyeMatrix.m;
    // A light whose axis or place is not finite (an axis scaled to
    // infinity, say) lights nothing.
    if ((mode == CkwLight::kDirectional || mode == CkwLight::kSpot) && !unitFixed(-e[8], -e[9], -e[10], direction))
        return false;
    if (mode == CkwLight::kOmni || mode == CkwLight::kSpot) {
        float w = 1.0f;
        if ((eyeMatrix.classWord & kMatrixBitAffine) == 0)
            w = e[15];
        for (int i = 0; i < 3; ++i) {
            positionF[i] = e[12 + i] / w;
            if (!std::isfinite(positionF[i]))
                return false;
        }
        float m = std::max({std::fabs(positionF[0]), std::fabs(positionF[1]), std::fabs(positionF[2])});
        // A power-of-two range keeps distant lights as precise as near ones.
        // A denormal place stops where the scale would leave the float range.
        for (; m > 127.0f; m *= 0.5f, scale *= 0.5f)
            ++exponent;
        for (; m > 0.0f && m < 0.25f && exponent > kMinExponent; m *= 2.0f, scale *= 2.0f)
            --exponent;
        for (int i = 0; i < 3; ++i) {
            if (exponent != 0)
                positionF[i] *= scale;
            position[i] = toFixed(positionF[i]);
        }
    }
    switch (mode) {
    case CkwLight::kDirectional:
        evaluateKind = kKindDirectional;
        break;
    case CkwLight::kOmni:
        evaluateKind = kKindOmni;
        break;
    case CkwLight::kSpot:
        evaluateKind = kKindSpot;
        spotCos = toFixed(std::cos(light.getSpotAngle() * 0.017453292f));
        spotExponent = toFixed(light.getSpotExponent());
        break;
    default:
        ambientOnly = 1;
        break;
    }
    active = 1;
    attenuation[0] = kc;
    attenuation[1] = kl;
    attenuation[2] = kq;
    if (kc == 1.0f && kl == 0.0f && kq == 0.0f)
        return true;
    attenuationOn = 1;
    if (kq != 0.0f)
        attenuation[2] = std::sqrt(kq);
    attConstant = toFixed(kc);
    attLinear = toFixed(std::min(kl / scale, kMaxCoefficient));
    attQuadSqrt = toFixed(std::min(attenuation[2] / scale, kMaxCoefficient));
    return true;
}

bool CkwActiveLightStandard::bind(const CkwMaterial* material, int32_t flags, int32_t meshScope,
                                  CkwFixedColor& ambientSum)
{
    applies = 0;
    if ((scope & meshScope) == 0)
        return false;
    if (ambientOnly) {
        ambientSum.add(color);
        return false;
    }
    if (material == nullptr)
        return false;
    diffuseOn = (material->getColor(CkwMaterial::kDiffuse) & 0xFFFFFF) != 0;
    specularOn = (material->getColor(CkwMaterial::kSpecular) & 0xFFFFFF) != 0;
    if (!diffuseOn && !specularOn)
        return false;
    applies = 1;
    polygonFlags = flags;
    if (specularOn)
        specularExponent = toFixed(material->getShininess()) >> 1;
    return true;
}

void CkwActiveLightStandard::adaptTo(const SkwLitVertex& v)
{
    int32_t k = exponent - v.exponent;
    int32_t w = v.w;
    while (w > 0x30000) {
        w >>= 2;
        k += 2;
    }
    if (k < 0) {
        // The vertex lies farther out than the light's range: the record
        // takes the vertex's scale.
        const float factor = std::ldexp(1.0f, k);
        scale *= factor;
        exponent -= k;
        for (int i = 0; i < 3; ++i) {
            positionF[i] *= factor;
            position[i] = toFixed(positionF[i]);
        }
        if (attenuationOn) {
            attLinear = toFixed(std::min(attenuation[1] / scale, kMaxCoefficient));
            attQuadSqrt = toFixed(std::min(attenuation[2] / scale, kMaxCoefficient));
        }
        k = 0;
    }
    cachedW = v.w;
    cachedExponent = v.exponent;
    cachedReciprocal = fixedReciprocal32(std::max(w, 1));
    cachedShift = std::min(16 + k, 63);
}

void CkwActiveLightStandard::evaluateAtPosition(SkwLitVertex& v, bool back)
{
    int32_t n[3];
    facingNormal(v, back, n);
    if (!diffuseOn && !specularOn)
        return;
    if (v.w != cachedW || v.exponent != cachedExponent)
        adaptTo(v);
    // The vertex in the record's scale, and the way to the light.
    int32_t p[3], l[3];
    for (int i = 0; i < 3; ++i) {
        p[i] = saturate((int64_t{v.position[i]} * cachedReciprocal) >> cachedShift);
        l[i] = saturate(int64_t{position[i]} - p[i]);
    }
    const int32_t c = dot16(n, l);
    if (c < 1)
        return;
    const int32_t d = length16(l);
    if (d < kMinLength)
        return;
    const int32_t r = fixedReciprocal32(d);
    int32_t att = 0x10000;
    if (attenuationOn) {
        // Past 2^24 the square alone exceeds any 16.16 denominator.
        const int64_t q = std::min<int64_t>((int64_t{d} * attQuadSqrt) >> 16, int64_t{1} << 24);
        const int64_t denominator = int64_t{attConstant} + ((int64_t{d} * attLinear) >> 16) + ((q * q) >> 16);
        att = fixedReciprocal32(static_cast<int32_t>(std::clamp<int64_t>(denominator, kMinLength, INT32_MAX)));
    }
    // The unit vector to the light: its cosines keep their bits however
    // short L is.
    const int32_t unit[3] = {mul16(l[0], r), mul16(l[1], r), mul16(l[2], r)};
    if (evaluateKind == kKindSpot) {
        const int32_t s = -dot16(direction, unit);
        if (!(s > spotCos && d >= 1))
            return;
        if (spotExponent > 0)
            att = mul16(lightingPower(s, spotExponent), att);
    }
    if (diffuseOn)
        v.accumulator.add(scaledPart(color, mul16(dot16(n, unit), att), v.diffuse));
    if (specularOn)
        addSpecular(v, n, unit, p, att);
}

void CkwActiveLightStandard::addSpecular(SkwLitVertex& v, const int32_t* n, const int32_t* toLight,
                                         const int32_t* eyePosition, int32_t attenuation) const
{
    int32_t eye[3] = {0, 0, -0x10000};
    if (polygonFlags & CkwPolygonMode::kBitLocalCameraLighting) {
        // Only the direction counts, so any scale of the position does.
        CkwFixedVector3D e{eyePosition[0], eyePosition[1], eyePosition[2]};
        if (e.x != 0 || e.y != 0 || e.z != 0) {
            CkwFixedVector3D::normalize(e);
            eye[0] = e.x;
            eye[1] = e.y;
            eye[2] = e.z;
        }
    }
    const int32_t h[3] = {toLight[0] - eye[0], toLight[1] - eye[1], toLight[2] - eye[2]};
    const int32_t cosine = dot16(n, h);
    if (cosine < 1)
        return;
    const int32_t q = std::max(dot16(h, h), kMinLength);
    const int64_t hh = int64_t{cosine} * cosine;
    if ((((int64_t{specularExponent} + 0x10000) * (hh >> 16)) >> 16) <= ((int64_t{q} * (specularExponent - 0x30000)) >> 16))
        return;
    const int32_t x = static_cast<int32_t>(std::min<int64_t>(fixedDiv64(hh, q), 0x10000));
    int32_t p = lightingPower(x, specularExponent);
    if (attenuation != 0x10000)
        p = mul16(p, attenuation);
    if (p >= 1)
        v.accumulator.add(scaledPart(color, p, v.specular));
}
