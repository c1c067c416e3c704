// The submesh pipeline at the edges of its number ranges: lights far away,
// geometry far larger than the view volume, and attenuation that would
// overflow; each against the answer a double-precision reference gives.
#include <cmath>
#include <vector>

#include <gtest/gtest.h>

#include "engine/render/testing/RasterTestKit.h"
#include "engine/render/testing/RenderTestKit.h"
#include "engine/scene/CkwBackground.h"
#include "engine/scene/CkwGraphics3D.h"
#include "engine/scene/SceneTestKit.h"

namespace {

constexpr int32_t kW = 120, kH = 90;
constexpr float kFovy = 40.0f;
constexpr uint32_t kSky = 0x0000FF, kGround = 0xFF0000;  // exact in RGB565

// 0xRRGGBB of an RGB565 pixel, each channel widened by bit replication.
uint32_t rgbOf565(uint16_t p)
{
    const uint32_t r = p >> 11, g = (p >> 5) & 63, b = p & 31;
    return (r << 3 | r >> 2) << 16 | (g << 2 | g >> 4) << 8 | (b << 3 | b >> 2);
}

// The world drawn once into a kW x kH target; empty when rendering left.
std::vector<uint32_t> draw(CkwWorld* world)
{
    RasterTarget target(kW, kH);
    CkwGraphics3D* g = nullptr;
    const int32_t code = engineTrap([&] {
        g = CkwGraphics3D::create();
        g->addRef();
        g->bindTarget(kW, kH, kW * 2, target.color.data());
        g->renderWorld(world);
    });
    if (g != nullptr)
        g->release();
    std::vector<uint32_t> out;
    if (code == 0)
        for (int32_t y = 0; y < kH; ++y)
            for (int32_t x = 0; x < kW; ++x)
                out.push_back(rgbOf565(target.at(x, y)));
    return out;
}

CkwWorld* worldWith(SceneTest& test, float near, float far, float x, float y, float z, uint32_t sky)
{
    CkwWorld* world = test.hold(renderkit::worldWithCamera(kFovy, float(kW) / kH, near, far, 0.0f));
    static_cast<CkwCamera*>(world->getActiveCamera())->setTranslation(x, y, z);
    auto* background = static_cast<CkwBackground*>(CkwBackground::create());
    background->setColor(0xFF000000 | sky);
    world->setBackground(background);
    return world;
}

// A white lit square facing the camera 5 units ahead, lit by an omni light
// on its axis `distance` units in front of it.
std::vector<uint32_t> omniLitSquare(float distance, const float* attenuation)
{
    SceneTest test;
    std::vector<uint32_t> pixels;
    EXPECT_EQ(SceneTest::trap([&] {
        using namespace renderkit;
        CkwWorld* world = worldWith(test, 1.0f, 10.0f, 0, 0, 5, 0);
        auto* appearance = static_cast<CkwAppearance*>(CkwAppearance::create());
        appearance->setMaterial(material(0xFFFFFFFF, 0));
        world->addChild(quad(1.0f, 0xFFFFFFFF, appearance));
        CkwLight* omni = light(CkwLight::kOmni, 0xFFFFFF, 1.0f);
        omni->setAttenuation(attenuation[0], attenuation[1], attenuation[2]);
        omni->setTranslation(0, 0, distance);
        world->addChild(omni);
        pixels = draw(world);
    }), 0);
    return pixels;
}

} // namespace

// Facing light reaches the square at full strength however far the light
// is; an attenuation whose square overflows 64 bits lights nothing.
TEST(SubmeshPipeline, OmniLightsKeepTheirPrecisionAndAttenuationAtAnyDistance)
{
    struct Case {
        float distance;
        float attenuation[3];
        uint32_t expected;
    };
    const Case cases[] = {
        {1000.0f, {1, 0, 0}, 0xFFFFFF},
        {20000.0f, {1, 0, 0}, 0xFFFFFF},
        {3.0e6f, {1, 0, 0}, 0xFFFFFF},
        {1000.0f, {1, 0, 10000}, 0x000000},
    };
    for (const Case& c : cases) {
        const std::vector<uint32_t> pixels = omniLitSquare(c.distance, c.attenuation);
        ASSERT_EQ(pixels.size(), size_t(kW * kH));
        EXPECT_EQ(pixels[kH / 2 * kW + kW / 2], c.expected) << "light " << c.distance << " away, quadratic "
                                                           << c.attenuation[2];
    }
}

// A floor far larger than the view volume is cut at the far plane where a
// ray cast in double precision leaves it; one too large for integer clip
// coordinates is not drawn at all rather than drawn wrong.
TEST(SubmeshPipeline, HugeGeometryIsCutAtTheFarPlaneOrSkippedWhole)
{
    for (const float half : {1.0e4f, 1.0e5f, 1.0e7f}) {
        SceneTest test;
        ASSERT_EQ(SceneTest::trap([&] {
            constexpr double kHeight = 10.0, kNear = 0.1, kFar = 100.0;
            CkwWorld* world = worldWith(test, float(kNear), float(kFar), 0, float(kHeight), 0, kSky);
            auto* look = static_cast<CkwAppearance*>(CkwAppearance::create());
            CkwMesh* floor = renderkit::quad(half, 0xFF000000 | kGround, look);
            renderkit::rotate(floor, -90, 1, 0, 0);
            world->addChild(floor);
            const std::vector<uint32_t> pixels = draw(world);
            ASSERT_EQ(pixels.size(), size_t(kW * kH));
            // Ground where the pixel's ray meets y = 0 within the far plane
            // (the camera looks down -z, so eye depth is the ray's -z).
            const double t = std::tan(kFovy * 3.14159265358979 / 360.0);
            auto ground = [&](double py) {
                const double dy = (1.0 - 2.0 * py / kH) * t;
                return dy < 0 && kHeight / -dy <= kFar;
            };
            int32_t wrong = 0, sky = 0;
            for (uint32_t p : pixels)
                sky += p == kSky;
            for (int32_t y = 0; y < kH; ++y)
                for (int32_t x = 0; x < kW; ++x) {
                    const bool expected = ground(y + 0.5);
                    // Rows the boundary passes through may go either way.
                    if (expected != ground(y - 0.5) || expected != ground(y + 1.5))
                        continue;
                    wrong += pixels[y * kW + x] != (expected ? kGround : kSky);
                }
            const bool skipped = half > 1.0e5f && sky == kW * kH;
            EXPECT_TRUE(wrong == 0 || skipped) << wrong << " pixels wrong, floor of half-size " << half;
        }), 0);
    }
    SceneTest test;
    ASSERT_EQ(SceneTest::trap([&] {
        CkwWorld* world = worldWith(test, 0.1f, 100.0f, 0, 0, 6, kSky);
        world->addChild(renderkit::quad(1.0e10f, 0xFF000000 | kGround, static_cast<CkwAppearance*>(CkwAppearance::create())));
        const std::vector<uint32_t> pixels = draw(world);
        ASSERT_EQ(pixels.size(), size_t(kW * kH));
        int32_t sky = 0;
        for (uint32_t p : pixels)
            sky += p == kSky;
        EXPECT_TRUE(sky == 0 || sky == kW * kH) << sky << " of " << kW * kH << " pixels show the sky";
    }), 0);
}
