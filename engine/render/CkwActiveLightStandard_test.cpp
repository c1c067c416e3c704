// Per-vertex lighting in fixed point against the float lighting equation
// evaluated here, for every kind of light, attenuation, cone and highlight.
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

        CkwActiveLightStandard record{};
        ASSERT_TRUE(record.setup(*light, CkwMatrix::translation(c.position[0], c.position[1], c.position[2])));
        CkwFixedColor ambient{};
        record.bind(material, static_cast<int32_t>(CkwPolygonMode::kDefaultBits), -1, ambient);
        SkwLitVertex v{};
        v.w = 0x10000;
        for (int i = 0; i < 3; ++i) {
            v.position[i] = fixed(c.vertex[i]);
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
