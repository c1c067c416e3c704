// Per-vertex lighting in fixed point against the float lighting equation
// evaluated here, for every kind of light, attenuation, cone and highlight.
#include <algorithm>
#include <cmath>

#include <gtest/gtest.h>

#include "engine/render/CkwActiveLightStandard.h"
#include "engine/render/testing/RenderTestKit.h"
#include "engine/scene/SceneTestKit.h"

namespace {

int32_t fixed(double v) { return static_cast<int32_t>(std::lround(v * 65536.0)); }

struct LightCase {
    const char* name;
    int32_t mode;
    float position[3];        // eye space, omni and spot
    float attenuation[3];
    float spotAngle;
    float vertex[3];
    float normal[3];          // unit
    uint32_t diffuse, specular;
    float shininess;
    double expected;          // red channel added, 0..1, from the float equation
    double tolerance;
    float spotExponent = 0;
    bool localCamera = false;
};

} // namespace

TEST(ActiveLight, EachKindAddsWhatTheFloatEquationGives)
{
    SceneTest test;
    const double c60 = std::cos(60 * M_PI / 180), s60 = std::sin(60 * M_PI / 180);
    const double s20 = std::sin(20 * M_PI / 180), c20 = std::cos(20 * M_PI / 180);
    const double spotDistance = std::sqrt(0.25 + 4.0);
    const LightCase cases[] = {
        // The light travels down -z onto a normal facing +z: the full colour.
        {"directional head-on", CkwLight::kDirectional, {}, {1, 0, 0}, 45, {0, 0, -3}, {0, 0, 1}, 0xFFFFFFFF, 0, 0, 1.0, 2 / 256.0},
        {"directional at 60 degrees", CkwLight::kDirectional, {}, {1, 0, 0}, 45, {0, 0, -3}, {float(s60), 0, float(c60)}, 0xFFFFFFFF, 0, 0, c60, 2 / 256.0},
        // Scaled by the negative cosine and taken away, as the fixed point
        // rounds it: 182 parts of 256 (the float equation gives 181.02).
        {"directional at 45 degrees", CkwLight::kDirectional, {}, {1, 0, 0}, 45, {0, 0, -3}, {float(M_SQRT1_2), 0, float(M_SQRT1_2)}, 0xFFFFFFFF, 0, 0, 182 / 256.0, 0},
        {"directional from behind", CkwLight::kDirectional, {}, {1, 0, 0}, 45, {0, 0, -3}, {0, 0, -1}, 0xFFFFFFFF, 0, 0, 0.0, 0},
        {"black material", CkwLight::kDirectional, {}, {1, 0, 0}, 45, {0, 0, -3}, {0, 0, 1}, 0xFF000000, 0, 0, 0.0, 0},
        // 1 / (1 + 0.5 d + 0.25 d^2) at d = 2.
        {"omni attenuated", CkwLight::kOmni, {0, 0, 2}, {1, 0.5f, 0.25f}, 45, {0, 0, 0}, {0, 0, 1}, 0xFFFFFFFF, 0, 0, 1.0 / 3.0, 2 / 256.0},
        {"spot inside the cone", CkwLight::kSpot, {0.5f, 0, 2}, {1, 0, 0}, 30, {0, 0, 0}, {0, 0, 1}, 0xFFFFFFFF, 0, 0, 2.0 / spotDistance, 2 / 256.0},
        {"spot outside the cone", CkwLight::kSpot, {2, 0, 2}, {1, 0, 0}, 30, {0, 0, 0}, {0, 0, 1}, 0xFFFFFFFF, 0, 0, 0.0, 0},
        // The cone's cosine to the 4th narrows the same spot, within the power's approximation.
        {"spot exponent", CkwLight::kSpot, {0.5f, 0, 2}, {1, 0, 0}, 30, {0, 0, 0}, {0, 0, 1}, 0xFFFFFFFF, 0, 0, std::pow(2.0 / spotDistance, 5), 8 / 256.0, 4},
        // Highlights: the half vector of a head-on light and viewer is the normal.
        {"highlight head-on", CkwLight::kDirectional, {}, {1, 0, 0}, 45, {0, 0, -3}, {0, 0, 1}, 0xFF000000, 0xFFFFFF, 16, 1.0, 2 / 256.0},
        {"highlight off axis", CkwLight::kDirectional, {}, {1, 0, 0}, 45, {0, 0, -3}, {float(s20), 0, float(c20)}, 0xFF000000, 0xFFFFFF, 2, c20 * c20, 4 / 256.0},
        // A local viewer sees the vertex at 45 degrees: the half vector
        // leans 22.5 degrees off the normal.
        {"highlight seen by a local viewer", CkwLight::kDirectional, {}, {1, 0, 0}, 45, {3, 0, -3}, {0, 0, 1}, 0xFF000000, 0xFFFFFF, 2, std::pow(std::cos(M_PI / 8), 2), 4 / 256.0, 0, true},
        // The vertex lies past the light's range: the record takes its scale,
        // and the attenuation with it.
        {"omni attenuated, vertex far past the light", CkwLight::kOmni, {0, 0, -10}, {1, 0.005f, 0}, 45, {0, 0, -200}, {0, 0, 1}, 0xFFFFFFFF, 0, 0, 1 / 1.95, 2 / 256.0},
        // Lights close to far vertices: the way to the light keeps its bits.
        {"omni 0.05 from a vertex 1000 out", CkwLight::kOmni, {0.0125f, 0, -999.95f}, {1, 0, 0}, 45, {0, 0, -1000}, {0, 0, 1}, 0xFFFFFFFF, 0, 0, 0.05 / std::hypot(0.05, 0.0125), 3 / 256.0},
        {"omni 1 from a vertex 20000 out", CkwLight::kOmni, {0.25f, 0, -19999}, {1, 0, 0}, 45, {0, 0, -20000}, {0, 0, 1}, 0xFFFFFFFF, 0, 0, 1 / std::hypot(1.0, 0.25), 3 / 256.0},
        {"omni 10 from a vertex 1e5 out", CkwLight::kOmni, {2.5f, 0, -99990}, {1, 0, 0}, 45, {0, 0, -1e5f}, {0, 0, 1}, 0xFFFFFFFF, 0, 0, 10 / std::hypot(10.0, 2.5), 3 / 256.0},
        // Doubling a denormal place up to 0.25 would take the scale past the float range.
        {"omni 1e-40 from the eye", CkwLight::kOmni, {1e-40f, 0, 0}, {1, 0, 0}, 45, {0, 0, -2}, {0, 0, 1}, 0xFFFFFFFF, 0, 0, 1.0, 2 / 256.0},
        {"omni 10 from a vertex 1e5 out, attenuated", CkwLight::kOmni, {2.5f, 0, -99990}, {1, 0.1f, 0}, 45, {0, 0, -1e5f}, {0, 0, 1}, 0xFFFFFFFF, 0, 0, 10 / std::hypot(10.0, 2.5) / (1 + 0.1 * std::hypot(10.0, 2.5)), 3 / 256.0},
    };
    for (const LightCase& c : cases) {
        SCOPED_TRACE(c.name);
        CkwLight* light = test.hold(renderkit::light(c.mode, 0xFFFFFF, 1.0f));
        light->setAttenuation(c.attenuation[0], c.attenuation[1], c.attenuation[2]);
        light->setSpotAngle(c.spotAngle);
        light->setSpotExponent(c.spotExponent);
        CkwMaterial* material = test.hold(renderkit::material(c.diffuse, 0));
        material->setColor(CkwMaterial::kSpecular, c.specular);
        material->setShininess(c.shininess);

        CkwMatrix eye; // by hand: translation() drops a place as small as a product can leave
        std::copy_n(c.position, 3, eye.m + 12);
        eye.classWord = kMatrixTranslation;
        CkwActiveLightStandard record{};
        ASSERT_TRUE(record.setup(*light, eye));
        CkwFixedColor ambient{};
        const int32_t flags = CkwPolygonMode::kDefaultBits | (c.localCamera ? CkwPolygonMode::kBitLocalCameraLighting : 0);
        record.bind(material, flags, -1, ambient);
        // As the eye-space cache hands it over: w 1.0, scaled by 2^-exponent below 128.
        SkwLitVertex v{};
        v.w = 0x10000;
        while (std::fabs(c.vertex[0]) + std::fabs(c.vertex[1]) + std::fabs(c.vertex[2]) >= std::ldexp(128.0, v.exponent))
            ++v.exponent;
        for (int i = 0; i < 3; ++i) {
            v.position[i] = fixed(std::ldexp(c.vertex[i], -v.exponent));
            v.normal[i] = fixed(c.normal[i]);
        }
        v.diffuse.setRgb(c.diffuse);
        v.specular.setRgb(c.specular);
        record.evaluate(v, false);
        EXPECT_NEAR(v.accumulator.red / 256.0, c.expected, c.tolerance);
        EXPECT_EQ(v.accumulator.red, v.accumulator.blue);
    }
}

TEST(ActiveLight, PowerIsExactAtTheEnds)
{
    const struct {
        int32_t x, n, expected;
    } cases[] = {
        {0, 0, 0x10000},       {0, 0x20000, 0},       {0x4000, 0, 0x10000},
        {0x10000, 0, 0x10000}, {0x10000, 0x80000, 0x10000},
    };
    for (const auto& c : cases)
        EXPECT_EQ(lightingPower(c.x, c.n), c.expected) << c.x << " ^ " << c.n;
}
