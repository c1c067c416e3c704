// The renderer against pictures: small scenes drawn through the render
// context, each compared with its golden and with a float reference computed
// here by casting a ray through every pixel.
#include <cmath>
#include <functional>

#include <gtest/gtest.h>

#include "engine/render/CkwRendererStandard.h"
#include "engine/render/testing/RasterTestKit.h"
#include "engine/render/testing/RenderTestKit.h"
#include "engine/scene/CkwBackground.h"
#include "engine/scene/CkwFog.h"
#include "engine/scene/CkwGraphics3D.h"
#include "engine/scene/SceneTestKit.h"

namespace {

constexpr int32_t kW = 96, kH = 72;
constexpr float kFovy = 40.0f, kNear = 1.0f, kFar = 20.0f, kDistance = 5.0f;
constexpr float kPi = 3.14159265f;

struct Vec {
    double x, y, z;
    Vec operator+(const Vec& o) const { return {x + o.x, y + o.y, z + o.z}; }
    Vec operator-(const Vec& o) const { return {x - o.x, y - o.y, z - o.z}; }
    Vec operator*(double s) const { return {x * s, y * s, z * s}; }
    double dot(const Vec& o) const { return x * o.x + y * o.y + z * o.z; }
};

// Column c of a matrix's 3x3 part.
Vec column(const CkwMatrix& m, int c) { return {m.m[4 * c], m.m[4 * c + 1], m.m[4 * c + 2]}; }

// The eye ray through a pixel centre, in world space, from the test camera.
Vec rayDirection(double px, double py)
{
    const double t = std::tan(kFovy * kPi / 360.0);
    const double x = (2.0 * px / kW - 1.0) * t * kW / kH, y = (1.0 - 2.0 * py / kH) * t;
    return {x, y, -1.0};
}

struct Drawn {
    explicit Drawn(CkwWorld* world) : target(kW, kH)
    {
        code = engineTrap([&] {
            g = CkwGraphics3D::create();
            g->addRef();
            g->bindTarget(kW, kH, kW * 2, target.color.data());
            g->renderWorld(world);
        });
    }
    ~Drawn()
    {
        if (g != nullptr)
            g->release();
    }
    uint32_t rgb(int32_t x, int32_t y) const
    {
        const uint32_t p = target.at(x, y), r = p >> 11, gr = (p >> 5) & 63, b = p & 31;
        return (r << 3 | r >> 2) << 16 | (gr << 2 | gr >> 4) << 8 | (b << 3 | b >> 2);
    }
    RasterTarget target;
    CkwGraphics3D* g = nullptr;
    int32_t code = 0;
};

// Compares every pixel whose reference is stable under a 1-pixel shift (away
// from edges and texel borders) with the reference colour, channel by channel.
// Returns the number of pixels compared.
int32_t compareWithReference(const Drawn& drawn, const std::function<bool(double, double, int64_t&, Vec&)>& reference,
                             double tolerance)
{
    int32_t compared = 0;
    for (int32_t y = 1; y < kH - 1; ++y)
        for (int32_t x = 1; x < kW - 1; ++x) {
            int64_t id = 0;
            Vec color{};
            const bool hit = reference(x + 0.5, y + 0.5, id, color);
            bool stable = true;
            for (int32_t dy = -1; dy <= 1 && stable; ++dy)
                for (int32_t dx = -1; dx <= 1 && stable; ++dx) {
                    int64_t other = 0;
                    Vec unused{};
                    stable = reference(x + 0.5 + dx, y + 0.5 + dy, other, unused) == hit && other == id;
                }
            if (!stable)
                continue;
            const uint32_t p = drawn.rgb(x, y);
            const double actual[3] = {(p >> 16) / 255.0, ((p >> 8) & 255) / 255.0, (p & 255) / 255.0};
            const double expected[3] = {color.x, color.y, color.z};
            for (int c = 0; c < 3; ++c)
                EXPECT_NEAR(actual[c], std::min(1.0, expected[c]), tolerance) << "pixel " << x << "," << y << " channel " << c;
            ++compared;
        }
    return compared;
}

} // namespace

TEST(RendererPictures, LitTexturedCube)
{
    SceneTest test;
    using namespace renderkit;
    CkwWorld* world = test.hold(worldWithCamera(kFovy, float(kW) / kH, kNear, kFar, kDistance));
    auto* appearance = static_cast<CkwAppearance*>(CkwAppearance::create());
    appearance->setMaterial(material(0xFFFFFFFF, 0xFFFFFF));
    appearance->setTexture(0, texture(checkerImage(8, 4, 0xFFFFFF, 0x2080FF), kTextureFuncModulate));
    auto* polygon = static_cast<CkwPolygonMode*>(CkwPolygonMode::create());
    polygon->setPerspectiveCorrectionEnable(true);
    appearance->setPolygonMode(polygon);
    CkwMesh* cube = buildMesh(boxData(1.0f), appearance);
    rotate(cube, 30, 0, 1, 0);
    rotate(cube, 25, 1, 0, 0);
    world->addChild(cube);
    world->addChild(light(CkwLight::kAmbient, 0x333333, 1.0f));
    CkwLight* sun = light(CkwLight::kDirectional, 0xFFFFFF, 1.0f);
    rotate(sun, -35, 0, 1, 0);
    rotate(sun, -30, 1, 0, 0);
    world->addChild(sun);

    Drawn drawn(world);
    ASSERT_EQ(drawn.code, 0);
    EXPECT_TRUE(matchesGolden("renderer_lit_cube", drawn.target));

    // Per face the lighting is constant: ambient plus the directional term.
    const CkwMatrix& r = cube->getWorldTransform();
    const Vec travel = column(sun->getWorldTransform(), 2) * -1.0;
    const Vec eye{0, 0, kDistance};
    auto reference = [&](double px, double py, int64_t& id, Vec& color) {
        const Vec dw = rayDirection(px, py);
        // Into the cube's frame (orthonormal: the transpose inverts it).
        const Vec o{eye.dot(column(r, 0)), eye.dot(column(r, 1)), eye.dot(column(r, 2))};
        const Vec d{dw.dot(column(r, 0)), dw.dot(column(r, 1)), dw.dot(column(r, 2))};
        double tNear = -1e30, tFar = 1e30;
        int axis = -1;
        const double oc[3] = {o.x, o.y, o.z}, dc[3] = {d.x, d.y, d.z};
        for (int a = 0; a < 3; ++a) {
            const double t0 = (-1 - oc[a]) / dc[a], t1 = (1 - oc[a]) / dc[a];
            const double lo = std::min(t0, t1), hi = std::max(t0, t1);
            if (lo > tNear) {
                tNear = lo;
                axis = a;
            }
            tFar = std::min(tFar, hi);
        }
        if (tNear > tFar || tNear < 0)
            return false;
        const Vec hit = o + d * tNear;
        const double hc[3] = {hit.x, hit.y, hit.z};
        const int sign = dc[axis] < 0 ? 1 : -1;
        Vec n{0, 0, 0}, u{0, 0, 0}, v{0, 0, 0};
        if (axis == 0) {
            n = {double(sign), 0, 0};
            u = {0, 0, -double(sign)};
            v = {0, 1, 0};
        } else if (axis == 1) {
            n = {0, double(sign), 0};
            u = {1, 0, 0};
            v = {0, 0, -double(sign)};
        } else {
            n = {0, 0, double(sign)};
            u = {double(sign), 0, 0};
            v = {0, 1, 0};
        }
        (void)hc;
        const double s = (hit.dot(u) + 1) / 2, t = (1 - hit.dot(v)) / 2;
        const int tx = std::clamp(int(s * 8), 0, 7), ty = std::clamp(int(t * 8), 0, 7);
        const bool white = ((tx / 2) + (ty / 2)) % 2 == 0;
        const Vec texel = white ? Vec{1, 1, 1} : Vec{0x20 / 255.0, 0x80 / 255.0, 1};
        const Vec worldNormal = column(r, 0) * n.x + column(r, 1) * n.y + column(r, 2) * n.z;
        const double light = 0.2 + std::max(0.0, -worldNormal.dot(travel));
        color = texel * std::min(1.0, light);
        id = axis * 2 + (sign > 0) + 8 * (tx / 2 + 4 * (ty / 2));
        return true;
    };
    EXPECT_GT(compareWithReference(drawn, reference, 10.0 / 255.0), 800);
}
