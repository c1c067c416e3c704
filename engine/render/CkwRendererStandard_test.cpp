// The renderer against pictures: small scenes drawn through the render
// context, each compared with its golden and with a float reference computed
// here by casting a ray through every pixel.
#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <tuple>

#include <gtest/gtest.h>

#include "engine/render/CkwRendererStandard.h"
#include "engine/render/testing/RasterTestKit.h"
#include "engine/render/testing/RenderTestKit.h"
#include "engine/scene/CkwBackground.h"
#include "engine/scene/CkwFog.h"
#include "engine/scene/CkwRayIntersection.h"
#include "engine/scene/CkwSkinnedMesh.h"
#include "engine/scene/CkwStageset.h"
#include "engine/scene/CkwSprite.h"
#include "engine/scene/CkwGraphics3D.h"
#include "engine/core/math/CkwTransform.h"
#include "engine/core/scene/SceneIds.h"
#include "engine/scene/SceneTestKit.h"

namespace {

constexpr int32_t kW = 96, kH = 72;
constexpr float kFovy = 40.0f, kNear = 1.0f, kFar = 20.0f, kDistance = 5.0f;
constexpr float kPi = 3.14159265f;
// Against the float references: 5-bit channels lose up to 8/255 to RGB565, and
// blending and fixed-point lighting up to 2/255 more.
constexpr double kTolerance = 10.0 / 255.0;

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

// A pixel against its reference colour (above 1 taken as 1), channel by channel.
::testing::AssertionResult pixelNear(const Drawn& drawn, int32_t x, int32_t y, const Vec& color, double tolerance)
{
    const uint32_t p = drawn.rgb(x, y);
    const double actual[3] = {(p >> 16) / 255.0, ((p >> 8) & 255) / 255.0, (p & 255) / 255.0};
    const double expected[3] = {std::min(1.0, color.x), std::min(1.0, color.y), std::min(1.0, color.z)};
    for (int c = 0; c < 3; ++c)
        if (std::fabs(actual[c] - expected[c]) > tolerance)
            return ::testing::AssertionFailure() << "pixel " << x << "," << y << " channel " << c << ": "
                                                 << actual[c] * 255 << " against " << expected[c] * 255;
    return ::testing::AssertionSuccess();
}

// Compares every pixel whose reference is stable under a 1-pixel shift (away
// from edges and texel borders) with the reference colour, channel by channel.
// Fails on the first pixel off by more than the tolerance; else succeeds when
// at least minimum pixels were compared.
::testing::AssertionResult matchesReference(const Drawn& drawn,
                                            const std::function<bool(double, double, int64_t&, Vec&)>& reference,
                                            double tolerance, int32_t minimum)
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
            if (::testing::AssertionResult near = pixelNear(drawn, x, y, color, tolerance); !near)
                return near;
            ++compared;
        }
    if (compared < minimum)
        return ::testing::AssertionFailure() << "only " << compared << " pixels compared";
    return ::testing::AssertionSuccess();
}

} // namespace

TEST(RendererPictures, LitTexturedCube)
{
    SceneTest test;
    // Scene building pushes on the cleanup stack, so the test runs in a trap.
    ASSERT_EQ(SceneTest::trap([&] {
    using namespace renderkit;
    CkwWorld* world = test.hold(worldWithCamera(kFovy, float(kW) / kH, kNear, kFar, kDistance));
    auto* appearance = static_cast<CkwAppearance*>(CkwAppearance::create());
    appearance->setMaterial(material(0xFFFFFFFF, 0xFFFFFF));
    appearance->setTexture(0, texture(checkerImage(8, 4, 0xFFFFFF, 0x2080FF), kTextureFuncModulate));
    auto* polygon = static_cast<CkwPolygonMode*>(CkwPolygonMode::create());
    polygon->setPerspectiveCorrectionEnable(true);
    appearance->setPolygonMode(polygon);
    CkwMesh* cube = kitBox(1.0f, appearance);
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
        const int sign = dc[axis] < 0 ? 1 : -1;
        // The kit's faces, s along u and t against v: +X (y, z), -X (z, y),
        // +Y (z, x), -Y (x, z), +Z (x, y), -Z (y, x).
        static const int kFaceAxes[6][2] = {{1, 2}, {2, 1}, {2, 0}, {0, 2}, {0, 1}, {1, 0}};
        const Vec axes[3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
        const Vec n = axes[axis] * sign;
        const int* f = kFaceAxes[axis * 2 + (sign > 0 ? 0 : 1)];
        const Vec u = axes[f[0]], v = axes[f[1]];
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
    EXPECT_TRUE(matchesReference(drawn, reference, kTolerance, 800));
    }), 0);
}

namespace {

CkwAppearance* flatAppearance(CkwCompositingMode* mode = nullptr, CkwPolygonMode* polygon = nullptr)
{
    auto* a = static_cast<CkwAppearance*>(CkwAppearance::create());
    a->setCompositingMode(mode);
    a->setPolygonMode(polygon);
    return a;
}

CkwMesh* coloredQuad(float half, uint32_t argb, CkwAppearance* appearance, float x, float y, float z)
{
    CkwMesh* quad = renderkit::quad(half, argb, appearance);
    quad->setTranslation(x, y, z);
    return quad;
}

Vec rgbOf(uint32_t c) { return {((c >> 16) & 255) / 255.0, ((c >> 8) & 255) / 255.0, (c & 255) / 255.0}; }

// Where the eye ray of a pixel meets the plane z = planeZ (camera on +z).
Vec onPlaneZ(double px, double py, double planeZ)
{
    const Vec d = rayDirection(px, py);
    return Vec{0, 0, kDistance} + d * (kDistance - planeZ);
}

bool insideSquare(const Vec& p, double cx, double cy, double half)
{
    return std::fabs(p.x - cx) <= half && std::fabs(p.y - cy) <= half;
}

// A world with the test camera, held by test.
CkwWorld* testWorld(SceneTest& test)
{
    return test.hold(renderkit::worldWithCamera(kFovy, float(kW) / kH, kNear, kFar, kDistance));
}

CkwCompositingMode* blendingMode(int32_t blending)
{
    auto* mode = static_cast<CkwCompositingMode*>(CkwCompositingMode::create());
    mode->setBlending(blending);
    return mode;
}

// The nodes of the last render's queue in drawing order.
std::vector<CkwNode*> queueOrder(const Drawn& drawn)
{
    const auto& queue = static_cast<CkwRendererStandard*>(drawn.g->renderer())->queue();
    std::vector<CkwNode*> order;
    for (int32_t i = queue[0].next; i != 0; i = queue[i].next)
        order.push_back(queue[i].node);
    return order;
}

} // namespace

// A floor reaching behind the camera and past every screen edge: cut by the
// near and far planes and the edges with no gap along the cuts.
TEST(RendererPictures, NearPlaneAndScreenEdgeClipping)
{
    SceneTest test;
    // Scene building pushes on the cleanup stack, so the test runs in a trap.
    ASSERT_EQ(SceneTest::trap([&] {
    CkwWorld* world = testWorld(test);
    auto* background = static_cast<CkwBackground*>(CkwBackground::create());
    background->setColor(0xFF2040A0);
    world->setBackground(background);
    CkwMesh* floor = coloredQuad(50.0f, 0xFFE04040, flatAppearance(), 0, -1, 0);
    renderkit::rotate(floor, -90, 1, 0, 0);
    world->addChild(floor);

    Drawn drawn(world);
    ASSERT_EQ(drawn.code, 0);
    EXPECT_TRUE(matchesGolden("renderer_clipped_floor", drawn.target));
    auto reference = [&](double px, double py, int64_t& id, Vec& color) {
        const Vec d = rayDirection(px, py);
        const double t = d.y < 0 ? -2.0 / (2.0 * d.y) : -1.0;  // eye at y 0, floor at y -1
        const Vec hit = Vec{0, 0, kDistance} + d * t;
        id = t >= kNear && t <= kFar && std::fabs(hit.x) <= 50 && std::fabs(hit.z) <= 50;
        color = rgbOf(id ? 0xE04040 : 0x2040A0);
        return true;
    };
    EXPECT_TRUE(matchesReference(drawn, reference, kTolerance, kW * kH / 2));
    }), 0);
}

// Triangles reaching past one side of the view, a little or far, are cut at
// that side: what is drawn is their part on screen, as the reference finds it.
TEST(RendererPictures, TrianglesCrossingOneSideAreCutThere)
{
    const int32_t triangles[][6] = {{-1, -1, 6, 0, -1, 1}, {1, -1, 1, 1, -40, 0}, {-1, -1, 1, -1, 0, 9}};
    SceneTest test;
    ASSERT_EQ(SceneTest::trap([&] {
        for (const auto& v : triangles) {
            SCOPED_TRACE(v[4]);
            CkwWorld* world = testWorld(test);
            CkwMesh* triangle = coloredQuad(1.0f, 0xFFE04040, flatAppearance(), 0, 0, 0);
            triangle->getVertexBuffer()->setPositions(
                kitVertexArray(3, 2, {v[0], v[1], 0, v[2], v[3], 0, v[4], v[5], 0, v[4], v[5], 0}), 1.0f, 0, nullptr);
            world->addChild(triangle);
            Drawn drawn(world);
            ASSERT_EQ(drawn.code, 0);
            auto reference = [&](double px, double py, int64_t& id, Vec& color) {
                const Vec p = onPlaneZ(px, py, 0.0);
                id = 1;
                for (int i = 0, j = 2; i < 3; j = i++)  // left of every edge j -> i
                    id &= (v[2 * i] - v[2 * j]) * (p.y - v[2 * j + 1]) >= (v[2 * i + 1] - v[2 * j + 1]) * (p.x - v[2 * j]);
                color = id ? rgbOf(0xE04040) : Vec{0, 0, 0};
                return true;
            };
            EXPECT_TRUE(matchesReference(drawn, reference, kTolerance, kW * kH / 2));
        }
    }), 0);
}

// Two half-transparent squares queued near one first are drawn far one first
// over an opaque one; the queue holds them in that order.
TEST(RendererPictures, TransparentSquaresDrawFarToNear)
{
    SceneTest test;
    // Scene building pushes on the cleanup stack, so the test runs in a trap.
    ASSERT_EQ(SceneTest::trap([&] {
    CkwWorld* world = testWorld(test);
    CkwCompositingMode* blend = blendingMode(CkwCompositingMode::kAlpha);
    CkwMesh* nearSquare = coloredQuad(1.0f, 0x800000FF, flatAppearance(blend), 0.4f, 0.2f, 1.0f);
    CkwMesh* farSquare = coloredQuad(1.0f, 0x80FF0000, flatAppearance(blend), -0.4f, -0.2f, 0.0f);
    CkwMesh* opaque = coloredQuad(1.5f, 0xFF00FF00, flatAppearance(), 0.0f, 0.0f, -2.0f);
    world->addChild(nearSquare);
    world->addChild(farSquare);
    world->addChild(opaque);

    Drawn drawn(world);
    ASSERT_EQ(drawn.code, 0);
    EXPECT_TRUE(matchesGolden("renderer_transparency_order", drawn.target));
    EXPECT_EQ(queueOrder(drawn), (std::vector<CkwNode*>{opaque, farSquare, nearSquare}));

    const double a = 128.0 / 255.0;
    auto reference = [&](double px, double py, int64_t& id, Vec& color) {
        color = {0, 0, 0};
        id = 0;
        if (insideSquare(onPlaneZ(px, py, -2.0), 0.0, 0.0, 1.5)) {
            color = {0, 1, 0};
            id |= 1;
        }
        if (insideSquare(onPlaneZ(px, py, 0.0), -0.4, -0.2, 1.0)) {
            color = color * (1 - a) + Vec{1, 0, 0} * a;
            id |= 2;
        }
        if (insideSquare(onPlaneZ(px, py, 1.0), 0.4, 0.2, 1.0)) {
            color = color * (1 - a) + Vec{0, 0, 1} * a;
            id |= 4;
        }
        return true;
    };
    EXPECT_TRUE(matchesReference(drawn, reference, kTolerance, kW * kH / 2));
    }), 0);
}

// Left: a square turned away from the camera, drawn with both faces and
// two-sided lighting, so its back is lit through the negated normal. Right: an
// unlit square half way into linear fog.
TEST(RendererPictures, TwoSidedLightingAndFog)
{
    SceneTest test;
    // Scene building pushes on the cleanup stack, so the test runs in a trap.
    ASSERT_EQ(SceneTest::trap([&] {
    CkwWorld* world = testWorld(test);
    auto* twoSided = static_cast<CkwPolygonMode*>(CkwPolygonMode::create());
    twoSided->setCulling(CkwPolygonMode::kCullNone);
    twoSided->setTwoSidedLightingEnable(true);
    CkwAppearance* litBack = flatAppearance(nullptr, twoSided);
    litBack->setMaterial(renderkit::material(0xFFFFC040, 0x000000));
    CkwMesh* turned = coloredQuad(1.0f, 0xFFFFFFFF, litBack, -1.2f, 0.0f, -3.0f);
    renderkit::rotate(turned, 180, 0, 1, 0);
    auto* fog = static_cast<CkwFog*>(CkwFog::create());
    fog->setMode(CkwFog::kLinear);
    fog->setLinear(4.0f, 12.0f);
    fog->setColor(0xFFFFFF);
    CkwAppearance* fogged = flatAppearance();
    fogged->setFog(fog);
    world->addChild(turned);
    world->addChild(coloredQuad(1.0f, 0xFFFF0000, fogged, 1.2f, 0.0f, -3.0f));
    world->addChild(renderkit::light(CkwLight::kDirectional, 0xFFFFFF, 1.0f));

    Drawn drawn(world);
    ASSERT_EQ(drawn.code, 0);
    EXPECT_TRUE(matchesGolden("renderer_two_sided_fog", drawn.target));
    // The light travels down -z; the turned square's back faces +z.
    const double f = (kDistance + 3.0 - 4.0) / 8.0;
    auto reference = [&](double px, double py, int64_t& id, Vec& color) {
        const Vec p = onPlaneZ(px, py, -3.0);
        id = insideSquare(p, -1.2, 0, 1) ? 1 : insideSquare(p, 1.2, 0, 1) ? 2 : 0;
        color = id == 1 ? rgbOf(0xFFC040) : id == 2 ? Vec{1, 0, 0} * (1 - f) + Vec{1, 1, 1} * f : Vec{0, 0, 0};
        return true;
    };
    EXPECT_TRUE(matchesReference(drawn, reference, kTolerance, kW * kH / 2));
    }), 0);
}

// An 8x8 RGB image whose red grows along x and green along y, in steps of 32.
static CkwImage2D* gradientImage(uint8_t blue)
{
    std::vector<uint8_t> rgb;
    for (int32_t y = 0; y < 8; ++y)
        for (int32_t x = 0; x < 8; ++x)
            rgb.insert(rgb.end(), {uint8_t(x * 32), uint8_t(y * 32), blue});
    auto* image = static_cast<CkwImage2D*>(CkwImage2D::create());
    image->initWithData(kImageFormatRgb, 8, 8, static_cast<int32_t>(rgb.size()), rgb.data());
    return image;
}

// A background image cropped past its left edge (BORDER: the colour shows
// there) and repeated downwards from a crop that starts inside it.
TEST(RendererPictures, BackgroundImageCropBorderAndRepeat)
{
    SceneTest test;
    // Scene building pushes on the cleanup stack, so the test runs in a trap.
    ASSERT_EQ(SceneTest::trap([&] {
    CkwWorld* world = testWorld(test);
    CkwImage2D* image = gradientImage(200);
    auto* background = static_cast<CkwBackground*>(CkwBackground::create());
    background->setColor(0xFFFFFF00);
    background->setImage(image);
    background->setImageMode(CkwBackground::kBorder, CkwBackground::kRepeat);
    const float cx = -2.0f, cy = 3.0f, cw = 8.0f, ch = 12.0f;
    background->setCrop(cx, cy, cw, ch);
    world->setBackground(background);

    Drawn drawn(world);
    ASSERT_EQ(drawn.code, 0);
    EXPECT_TRUE(matchesGolden("renderer_background_crop", drawn.target));
    auto reference = [&](double px, double py, int64_t& id, Vec& color) {
        const double u = cx + (px - 0.5) * cw / kW, v = cy + (py - 0.5) * ch / kH;
        if (u < 0) {
            id = -1;
            color = rgbOf(0xFFFF00);
            return true;
        }
        const int32_t tx = int32_t(u), ty = int32_t(std::fmod(v, 8.0));
        id = tx + 8 * ty;
        color = {tx * 32 / 255.0, ty * 32 / 255.0, 200 / 255.0};
        return true;
    };
    EXPECT_TRUE(matchesReference(drawn, reference, kTolerance, kW * kH / 3));
    }), 0);
}

// Input that would divide by zero draws nothing and leaves the target sound:
// a camera with near equal to far (not even the background), a generic
// projection whose w is always 0, and a mesh scaled to a point.
TEST(RendererPictures, DegenerateCamerasAndMeshesDrawNothing)
{
    SceneTest test;
    ASSERT_EQ(SceneTest::trap([&] {
        auto* background = static_cast<CkwBackground*>(CkwBackground::create());
        background->setColor(0xFF00FF00);
        const struct {
            const char* name;
            float near, far;
            bool flatProjection;
            float meshScale;
            uint16_t corner, centre;
        } cases[] = {
            {"near equals far", 2.0f, 2.0f, false, 1.0f, 0x1234, 0x1234},
            {"projection without w", kNear, kFar, true, 1.0f, 0x07E0, 0x07E0},
            {"mesh scaled to a point", kNear, kFar, false, 0.0f, 0x07E0, 0x07E0},
            {"sound scene", kNear, kFar, false, 1.0f, 0x07E0, 0xF800},
        };
        for (const auto& c : cases) {
            SCOPED_TRACE(c.name);
            CkwWorld* world = test.hold(renderkit::worldWithCamera(kFovy, float(kW) / kH, c.near, c.far, kDistance));
            world->setBackground(background);
            if (c.flatProjection) {
                CkwTransform flat;
                const float rows[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1e-30f};
                flat.setMatrix(16, rows);
                static_cast<CkwCamera*>(world->getActiveCamera())->setGeneric(flat);
            }
            CkwMesh* square = coloredQuad(1.0f, 0xFFFF0000, flatAppearance(), 0, 0, 0);
            square->setScale(c.meshScale, c.meshScale, c.meshScale);
            world->addChild(square);
            RasterTarget target(kW, kH, 0x1234);
            CkwGraphics3D* g = test.hold(CkwGraphics3D::create());
            g->bindTarget(kW, kH, kW * 2, target.color.data());
            g->renderWorld(world);
            EXPECT_EQ(target.at(0, 0), c.corner);
            EXPECT_EQ(target.at(kW / 2, kH / 2), c.centre);
        }
    }), 0);
}

// An unscaled sprite shows its image pixel for pixel, centred on the
// projection of its origin.
TEST(RendererPictures, UnscaledSpriteShowsItsImagePixelForPixel)
{
    SceneTest test;
    ASSERT_EQ(SceneTest::trap([&] {
        CkwWorld* world = testWorld(test);
        CkwImage2D* image = gradientImage(255);
        auto* sprite = static_cast<CkwSprite*>(CkwSprite::create());
        sprite->setImage(image);
        sprite->setAppearance(static_cast<CkwAppearance*>(CkwAppearance::create()));
        world->addChild(sprite);
        Drawn drawn(world);
        ASSERT_EQ(drawn.code, 0);
        // The origin projects to the screen centre; the 8x8 quad starts 4 left and up.
        for (int32_t y = 0; y < 8; ++y)
            for (int32_t x = 0; x < 8; ++x)
                EXPECT_EQ(drawn.rgb(kW / 2 - 4 + x, kH / 2 - 4 + y) & 0xE0E0F8, uint32_t(x * 32 << 16 | y * 32 << 8 | 0xF8))
                    << x << "," << y;
        EXPECT_EQ(drawn.rgb(kW / 2 - 5, kH / 2), 0u);
        EXPECT_EQ(drawn.rgb(kW / 2 + 4, kH / 2), 0u);
    }), 0);
}

// A skinned square follows its bone: drawn exactly where a plain square moved
// as the bone is, whether the bone moved or not, and queued after the meshes
// of its skeleton. A binding past the vertices refuses the frame; a disabled
// skinned mesh hides its skeleton too. A top edge stored sixteen times as
// large and scaled back by a second bone draws the same perspective-textured
// square, and still draws with that edge carried off screen.
TEST(RendererPictures, SkinnedMeshDrawsPosedAfterItsSkeleton)
{
    SceneTest test;
    ASSERT_EQ(SceneTest::trap([&] {
        const struct {
            float shift, turn;
            int32_t boundCount, code;
            bool enabled = true, topBone = false;
        } cases[] = {{0.0f, 0.0f, 4, 0},       {2.0f, 0.0f, 4, 0},          {-1.5f, 30.0f, 4, 0},
                     {0.5f, 0.0f, 5, KErrIllegalState}, {0.0f, 0.0f, 4, 0, false}, {0.0f, 0.0f, 2, 0, true, true}};
        for (const auto& c : cases) {
            SCOPED_TRACE(c.shift);
            CkwAppearance* look = flatAppearance();
            if (c.topBone) {
                look->setTexture(0, renderkit::texture(renderkit::checkerImage(8, 4, 0xFFFFFF, 0x2080FF),
                                                       kTextureFuncReplace));
                auto* polygon = static_cast<CkwPolygonMode*>(CkwPolygonMode::create());
                polygon->setPerspectiveCorrectionEnable(true);
                look->setPolygonMode(polygon);
            }
            CkwWorld* plainWorld = testWorld(test);
            CkwMesh* plain = coloredQuad(1.0f, 0xFFE04040, look, c.shift, 0, 0);
            renderkit::rotate(plain, c.turn, 0, 0, 1);
            plainWorld->addChild(plain);
            Drawn expected(plainWorld);
            ASSERT_EQ(expected.code, 0);

            CkwWorld* world = testWorld(test);
            CkwMesh* rest = test.hold(renderkit::quad(1.0f, 0xFFE04040, look));
            CkwGroup* skeleton = test.group();
            CkwGroup* bone = test.group();
            skeleton->addChild(bone);
            // A far, small marker riding on the bone: queued ahead of the skin.
            CkwMesh* marker = coloredQuad(0.01f, 0xFF00FF00, flatAppearance(), 0, 0, -15);
            bone->addChild(marker);
            auto* skin = test.hold(new CkwSkinnedMesh);
            skin->initSingle(rest->getVertexBuffer(), rest->getIndexBuffer(0), rest->getAppearance(0), skeleton);
            skin->addTransform(bone, 1, 0, c.boundCount);
            CkwGroup* top = test.group();
            if (c.topBone) {
                const float zero[3] = {0, 0, 0};
                rest->getVertexBuffer()->setPositions(kitVertexArray(3, 2, {-1, -1, 0, 1, -1, 0, -16, 16, 0, 16, 16, 0}),
                                                      1.0f, 3, zero);
                skeleton->addChild(top);
                skin->addTransform(top, 1, 2, 2);
            }
            world->addChild(skin);
            skin->setRenderingEnable(c.enabled);
            Drawn atRest(world);
            ASSERT_EQ(atRest.code, c.code);
            if (c.code != 0)
                continue;
            EXPECT_EQ(queueOrder(atRest).empty(), !c.enabled);
            if (!c.enabled)
                continue;
            bone->setTranslation(c.shift, 0, 0);
            renderkit::rotate(bone, c.turn, 0, 0, 1);
            top->setScale(0.0625f, 0.0625f, 0.0625f);
            Drawn posed(world);
            ASSERT_EQ(posed.code, 0);
            int32_t differing = 0;
            for (int32_t y = 0; y < kH; ++y)
                for (int32_t x = 0; x < kW; ++x)
                    differing += (posed.rgb(x, y) & 0xF0F0F0) != (expected.rgb(x, y) & 0xF0F0F0);
            EXPECT_LE(differing, 2);
            // Picking meets the posed square where it is drawn.
            const double halfWidth = kDistance * std::tan(kFovy * kPi / 360.0) * kW / kH;
            for (const float at : {c.shift, c.shift - 1.5f}) {
                CkwRayIntersection hit;
                const bool picked = world->pickViewport(-1, float((at / halfWidth + 1) / 2), 0.5f,
                                                        *static_cast<CkwCamera*>(world->getActiveCamera()), &hit)
                                 && hit.getIntersected() == skin;
                const int32_t column = static_cast<int32_t>((at / halfWidth + 1) / 2 * kW);
                EXPECT_EQ(picked, posed.rgb(column, kH / 2) != 0) << at;
            }
            EXPECT_EQ(queueOrder(posed), (std::vector<CkwNode*>{marker, skin}));
            if (c.topBone) {
                // The top edge carried far above the screen still leaves the
                // square's lower part on screen.
                top->setTranslation(0, 1000, 0);
                Drawn stretched(world);
                EXPECT_NE(stretched.rgb(kW / 2 - 4, kH / 2 + 4), 0u);
            }
        }
    }), 0);
}

// A repeated Stageset background fills colour and depth alike from its image
// and map for any crop, wider than them (past 32 bits in 16.16), running
// backwards or starting outside: each pixel takes the texel at the crop
// position taken modulo the image, as a plain reference computes it. A crop
// that is not finite shows no image.
TEST(RendererPictures, StagesetBackgroundColourAndDepthWrapAlike)
{
    SceneTest test;
    ASSERT_EQ(SceneTest::trap([&] {
        constexpr int32_t iw = 16, ih = 8, tw = 32, th = 16;
        std::vector<uint8_t> data(iw * ih * 5);
        for (int32_t i = 0; i < iw * ih; ++i) {
            data[3 * i] = uint8_t(i << 4);
            data[3 * i + 1] = uint8_t(i >> 4 << 5);
            data[iw * ih * 3 + 2 * i] = uint8_t(1 + i);
        }
        const float inf = std::numeric_limits<float>::infinity();
        // The fifth value starts the viewport left of the target, which it
        // then reaches across.
        const float crops[][5] = {{0, 0, 5000, 8},  {16, 0, -16, 8}, {0, 8, 16, -8},  {3, -2, 16, 8}, {0, 0, 7, 300},
                                  {0, 0, 20000, 8}, {5, 0, 40000, 8}, {-16, 0, -16, 8}, {0, 0, 16, inf},
                                  {std::nanf(""), 0, 16, 8}, {0, 0, 16, 8, -7}};
        for (const auto& crop : crops) {
            SCOPED_TRACE(::testing::PrintToString(std::vector<float>(crop, crop + 5)));
            const int32_t vx = static_cast<int32_t>(crop[4]), vw = tw - vx;
            auto* map = test.hold(new CkwStageset);
            map->initWithData(iw, ih, static_cast<int32_t>(data.size()), data.data());
            CkwWorld* world = test.hold(renderkit::worldWithCamera(kFovy, 1.0f, kNear, kFar, kDistance));
            auto* background = static_cast<CkwBackground*>(CkwBackground::create());
            background->setImage(map);
            background->setImageMode(CkwBackground::kRepeat, CkwBackground::kRepeat);
            background->setCrop(crop[0], crop[1], crop[2], crop[3]);
            background->setDepthClearEnable(true);
            world->setBackground(background);
            auto* target = test.hold(new CkwStageset);
            target->initBlank(tw, th);
            CkwGraphics3D* g = test.hold(CkwGraphics3D::create());
            g->bindImageTarget(target);
            g->setViewport(vx, 0, vw, th);
            g->renderWorld(world);
            const uint16_t* source = map->getDepthMap();
            const auto* sourceColour = reinterpret_cast<const uint16_t*>(map->getPixels());
            const uint16_t* depth = target->getDepthMap();
            const auto* colour = reinterpret_cast<const uint16_t*>(target->getPixels());
            const bool shown = std::isfinite(crop[0] + crop[1] + crop[2] + crop[3]);
            const int64_t spanX = int64_t{iw} << 16, spanY = int64_t{ih} << 16;
            const int64_t stepX = shown ? static_cast<int64_t>(crop[2] * 65536.0 + 0.5) / vw : 0;
            const int64_t stepY = shown ? static_cast<int64_t>(crop[3] * 65536.0 + 0.5) / th : 0;
            const auto wrap = [](int64_t v, int64_t span) { return (v % span + span) % span; };
            int32_t mismatches = 0;
            for (int32_t y = 0; y < th; ++y)
                for (int32_t x = 0; x < tw; ++x) {
                    const int64_t u = shown ? wrap(static_cast<int64_t>(crop[0] * 65536.0 + 0.5) + (x - vx) * stepX, spanX) >> 16 : 0;
                    const int64_t v = shown ? wrap(static_cast<int64_t>(crop[1] * 65536.0 + 0.5) + y * stepY, spanY) >> 16 : 0;
                    mismatches += depth[y * tw + x] != (shown ? source[v * iw + u] : 0xFFFF);
                    mismatches += colour[y * tw + x] != (shown ? sourceColour[v * iw + u] : 0);
                }
            EXPECT_EQ(mismatches, 0);
        }
    }), 0);
}

// Sprites are cut to the viewport, their crop to the image, and fogged by
// their distance: no pixel changes outside the viewport, a crop part past
// the image draws only the part inside it, where that part lies in the crop,
// one wholly past it draws nothing, and a sprite at the far end of linear fog
// shows the fog colour.
TEST(RendererPictures, SpritesAreCutToViewportAndImageAndFogged)
{
    SceneTest test;
    ASSERT_EQ(SceneTest::trap([&] {
        constexpr int32_t tw = 120, th = 90;
        constexpr uint16_t sentinel = 0x1234;
        const CkwRect viewport{30, 20, 60, 50};
        const struct {
            const char* name;
            float x, y, z;
            bool scaled;
            int32_t crop[4];
            bool fogged;
            int32_t drawn;  // sprite pixels inside the viewport; -1 some
            int32_t firstX; // the leftmost of them; the unmoved quad spans 52..67
            bool close = false; // 100 units wide, before a perspective eye with near 0.01
            bool stripes = false; // a row of black and red texels
            float aspect = 60.0f / 50.0f;
        } cases[] = {
            {"left edge", -30, 0, 0, false, {0, 0, 16, 16}, false, 8 * 16, 30},
            {"top edge", 0, 25, 0, false, {0, 0, 16, 16}, false, 16 * 8, 52},
            {"scaled at the left edge", -30, 0, 0, true, {0, 0, 16, 16}, false, -1, 30},
            {"mirrored at the left edge", -30, 0, 0, false, {0, 0, -16, 16}, false, 8 * 16, 30},
            {"crop half past the image", 0, 0, 0, false, {8, 0, 16, 16}, false, 8 * 16, 52},
            {"crop half before the image", 0, 0, 0, false, {-8, 0, 16, 16}, false, 8 * 16, 60},
            {"mirrored crop half before the image", 0, 0, 0, false, {-8, 0, -16, 16}, false, 8 * 16, 52},
            {"crop a length right", 0, 0, 0, false, {16, 0, 16, 16}, false, 0, -1},
            {"crop two lengths right", 0, 0, 0, false, {32, 0, 16, 16}, false, 0, -1},
            {"crop a length left", 0, 0, 0, false, {-16, 0, 16, 16}, false, 0, -1},
            {"crop a length down", 0, 0, 0, false, {0, 16, 16, 16}, false, 0, -1},
            {"mirrored crop past the image", 0, 0, 0, false, {24, 0, -16, 16}, false, 0, -1},
            {"at the far end of the fog", 0, 0, -3, false, {0, 0, 16, 16}, true, 16 * 16, 52},
            {"at an infinite x", std::numeric_limits<float>::infinity(), 0, 0, false, {0, 0, 16, 16}, false, 0, -1},
            // Infinite x scale x 0 is NaN: the place is nowhere, its depth fine.
            {"before an eye stretching x past floats", 0, 0, 0, false, {0, 0, 16, 16}, false, 0, -1, false, false, 1e-41f},
            {"0.2 before the eye", 0, 0, 4.8f, true, {0, 0, 16, 16}, false, 60 * 50, 30, true},
            {"0.02 before the eye", 0, 0, 4.98f, true, {0, 0, 16, 16}, false, 60 * 50, 30, true},
            // Pixel i reads texel (i + 1/2) x 12 / 16: black, red, red, black...
            {"texel centres of 12 over 16", 0, 0, 0, true, {0, 0, 12, 1}, false, 8 * 16, 53, false, true},
        };
        for (const auto& c : cases) {
            SCOPED_TRACE(c.name);
            auto* world = test.hold(static_cast<CkwWorld*>(CkwWorld::create()));
            auto* camera = static_cast<CkwCamera*>(CkwCamera::create());
            // One unit is one pixel of the viewport.
            camera->setParallel(50.0f, c.aspect, 1.0f, 20.0f);
            if (c.close)
                camera->setPerspective(60.0f, 60.0f / 50.0f, 0.01f, 20.0f);
            camera->setTranslation(0, 0, 5);
            world->addChild(camera);
            world->setActiveCamera(camera);
            auto* sprite = static_cast<CkwSprite*>(CkwSprite::create());
            CkwImage2D* image = renderkit::checkerImage(16, 2, 0xFF0000, 0x00FF00);
            if (c.stripes) { // a palette image: the quad is drawn as one, exactly
                const uint8_t columns[12] = {0, 1, 0, 1, 0, 1, 0, 1, 0, 1, 0, 1}, palette[6] = {0, 0, 0, 255};
                image->initPalettized(kImageFormatRgb, 12, 1, 12, columns, 6, palette);
            }
            sprite->setImage(image);
            sprite->setCrop(c.crop[0], c.crop[1], c.crop[2], c.crop[3]);
            sprite->setScaled(c.scaled);
            if (c.scaled)
                sprite->setScale(c.close ? 100 : 16, c.close ? 100 : 16, 16);
            sprite->setTranslation(c.x, c.y, c.z);
            auto* appearance = static_cast<CkwAppearance*>(CkwAppearance::create());
            if (c.fogged) {
                auto* fog = static_cast<CkwFog*>(CkwFog::create());
                fog->setMode(CkwFog::kLinear);
                fog->setLinear(0.0f, 8.0f);
                fog->setColor(0x0000FF);
                appearance->setFog(fog);
            }
            sprite->setAppearance(appearance);
            world->addChild(sprite);
            RasterTarget target(tw, th, sentinel);
            CkwGraphics3D* g = test.hold(CkwGraphics3D::create());
            g->bindTarget(tw, th, tw * 2, target.color.data());
            g->setViewport(viewport.x, viewport.y, viewport.width, viewport.height);
            g->renderWorld(world);
            int32_t outside = 0, drawn = 0, fogColoured = 0, firstX = -1;
            for (int32_t y = 0; y < th; ++y)
                for (int32_t x = 0; x < tw; ++x) {
                    const bool inside = x >= viewport.x && x < viewport.x + viewport.width && y >= viewport.y
                                     && y < viewport.y + viewport.height;
                    const uint16_t p = target.at(x, y);
                    outside += !inside && p != sentinel;
                    drawn += inside && p != 0;
                    fogColoured += p == 0x001F;
                    if (inside && p != 0 && (firstX < 0 || x < firstX))
                        firstX = x;
                }
            EXPECT_EQ(outside, 0);
            EXPECT_EQ(firstX, c.firstX);
            if (c.drawn < 0)
                EXPECT_GT(drawn, 0);
            else
                EXPECT_EQ(drawn, c.drawn);
            EXPECT_EQ(fogColoured, c.fogged ? c.drawn : 0);
        }
    }), 0);
}

// The queue orders by layer (negative ones first), then opaque before
// transparent, transparent far to near, and keeps queueing order among equal
// keys: the same order as a stable sort on (layer, transparent, -distance).
// Two opaque meshes, or more than a sort takes in one run, keep traversal
// order: coplanar squares show the one queued last.
TEST(RendererPictures, QueueOrdersByLayerTransparencyAndDistance)
{
    const struct {
        int32_t layer;
        bool transparent;
        float z;
    } meshes[] = {{0, false, 0}, {2, true, -3}, {-1, true, 1}, {0, true, -4}, {0, true, 2}, {-63, false, 0},
                  {63, false, 1}, {0, false, -1}, {2, true, -3}, {-1, false, 2}, {0, true, -4}, {1, false, 0}};
    SceneTest test;
    ASSERT_EQ(SceneTest::trap([&] {
        CkwWorld* world = testWorld(test);
        CkwCompositingMode* blend = blendingMode(CkwCompositingMode::kAlphaAdd);
        struct Entry {
            int32_t layer, transparent;
            float distance;
            CkwNode* node;
        };
        std::vector<Entry> expected;
        for (const auto& m : meshes) {
            CkwAppearance* appearance = flatAppearance(m.transparent ? blend : nullptr);
            appearance->setLayer(m.layer);
            CkwMesh* mesh = coloredQuad(0.5f, 0xFF808080, appearance, 0, 0, m.z);
            world->addChild(mesh);
            expected.push_back({m.layer, m.transparent, m.transparent ? kDistance - m.z : 0.0f, mesh});
        }
        std::stable_sort(expected.begin(), expected.end(), [](const Entry& a, const Entry& b) {
            return std::tie(a.layer, a.transparent, b.distance) < std::tie(b.layer, b.transparent, a.distance);
        });
        Drawn drawn(world);
        ASSERT_EQ(drawn.code, 0);
        std::vector<CkwNode*> reference;
        for (const Entry& e : expected)
            reference.push_back(e.node);
        EXPECT_EQ(queueOrder(drawn), reference);
        for (int32_t count : {2, 40}) {
            CkwWorld* coplanar = testWorld(test);
            for (int32_t i = 0; i < count; ++i) {
                const uint32_t colour = i == count - 1 ? 0xFFFFFFFF : 0xFF000000 | 0xFF << (8 * (i % 3));
                coplanar->addChild(coloredQuad(0.5f, colour, flatAppearance(), 0, 0, 0));
            }
            Drawn drawnCoplanar(coplanar);
            ASSERT_EQ(drawnCoplanar.code, 0);
            EXPECT_EQ(drawnCoplanar.rgb(kW / 2, kH / 2), 0xFFFFFFu) << count;
        }
    }), 0);
}

// One node over an opaque square behind it, at the centre against the
// formulas: a node's alpha factor multiplies down nested groups and makes
// ALPHA blending transparent (queued after the square, drawn at a quarter),
// as an RGBA texture does; a faded RGBA sprite modulates its texels by it, a disabled group hides its
// subtree, a NaN alpha (animation tracks summing to +inf and -inf) hides it,
// ADD clamps before ALPHA blends, MODULATE_X2 doubles an untextured
// product.
TEST(RendererPictures, NodesOverASquareFollowAlphaTextureFunctionsAndBlendings)
{
    constexpr int32_t kAlpha = CkwCompositingMode::kAlpha;
    const struct {
        const char* name;
        float alpha;  // of each of two nested groups
        bool enabled, sprite;
        uint32_t colour, texel;  // texel 0: untextured
        int32_t function, blending;
        uint32_t behind;
        Vec expected;
        const char* order;  // n the node, b the square behind
    } cases[] = {
        {"opaque", 1, true, false, 0xFFFF0000, 0, 0, kAlpha, 0xFF00FF00, {1, 0, 0}, "nb"},
        {"half in half", 0.5f, true, false, 0xFFFF0000, 0, 0, kAlpha, 0xFF00FF00, {0.25, 0.75, 0}, "bn"},
        {"faded white sprite", 0.5f, true, true, 0, 0, 0, kAlpha, 0xFF00FF00, {0.25, 1, 0.25}, "bn"},
        {"group disabled", 1, false, false, 0xFFFF0000, 0, 0, kAlpha, 0xFF00FF00, {0, 1, 0}, "b"},
        {"NaN alpha", std::nanf(""), true, false, 0xFFFF0000, 0, 0, kAlpha, 0xFF00FF00, {0, 1, 0}, "bn"},
        {"NaN alpha sprite", std::nanf(""), true, true, 0, 0, 0, kAlpha, 0xFF00FF00, {0, 1, 0}, "bn"},
        {"ADD then ALPHA", 1, true, false, 0x80C04080, 0x80C0C0, kTextureFuncAdd, kAlpha, 0xFF0000FF, {0.5, 0.5, 1}, "bn"},
        {"RGBA texture", 1, true, false, 0xFFFFFFFF, 0x80FF0000, kTextureFuncReplace, kAlpha, 0xFF00FF00, {0.5, 0.5, 0}, "bn"},
        {"untextured MODULATE_X2", 1, true, false, 0xFFC0FF40, 0, 0, CkwCompositingMode::kModulateX2, 0xFF8040C0,
         {2 * 0.75 * 0.5, 2 * 1.0 * 0.25, 2 * 0.25 * 0.75}, "bn"},
    };
    SceneTest test;
    ASSERT_EQ(SceneTest::trap([&] {
        for (const auto& c : cases) {
            SCOPED_TRACE(c.name);
            CkwAppearance* appearance = flatAppearance(blendingMode(c.blending));
            if (c.texel != 0) {
                CkwImage2D* image = renderkit::checkerImage(2, 1, c.texel, c.texel);
                const uint8_t rgba[4] = {uint8_t(c.texel >> 16), uint8_t(c.texel >> 8), uint8_t(c.texel), uint8_t(c.texel >> 24)};
                if (c.texel >> 24 != 0) // an alpha byte: an RGBA image of that texel
                    image->initWithData(kImageFormatRgba, 1, 1, 4, rgba);
                appearance->setTexture(0, renderkit::texture(image, c.function));
            }
            CkwNode* node = nullptr;
            if (c.sprite) {
                const std::vector<uint8_t> white(8 * 8 * 4, 0xFF);
                auto* image = static_cast<CkwImage2D*>(CkwImage2D::create());
                image->initWithData(kImageFormatRgba, 8, 8, static_cast<int32_t>(white.size()), white.data());
                auto* sprite = static_cast<CkwSprite*>(CkwSprite::create());
                sprite->setImage(image);
                sprite->setAppearance(appearance);
                node = sprite;
            } else {
                node = coloredQuad(1.0f, c.colour, appearance, 0, 0, 0);
            }
            CkwGroup* outer = test.group();
            CkwGroup* inner = test.group();
            outer->applyAnimatedProperty(kPropertyAlpha, 1, &c.alpha);
            inner->applyAnimatedProperty(kPropertyAlpha, 1, &c.alpha);
            inner->setRenderingEnable(c.enabled);
            inner->addChild(node);
            outer->addChild(inner);
            CkwWorld* world = testWorld(test);
            world->addChild(outer);
            CkwMesh* behind = coloredQuad(2.0f, c.behind, flatAppearance(), 0, 0, -2);
            world->addChild(behind);
            Drawn drawn(world);
            ASSERT_EQ(drawn.code, 0);
            std::vector<CkwNode*> order;
            for (const char* o = c.order; *o != 0; ++o)
                order.push_back(*o == 'n' ? node : behind);
            EXPECT_EQ(queueOrder(drawn), order);
            EXPECT_TRUE(pixelNear(drawn, kW / 2, kH / 2, c.expected, kTolerance));
        }
    }), 0);
}

// The depth range maps the view volume onto the depth buffer: a square at a
// known distance lands at near + (far - near) x its depth, the span on the
// 16.16 scale where 1.0 is 65536 and the near offset where it is 4095 x 16,
// whatever the order of near and far. No bit is lost on the way: the buffer
// holds the whole part of the exact value.
TEST(RendererPictures, DepthRangeMapsOntoTheDepthBuffer)
{
    SceneTest test;
    ASSERT_EQ(SceneTest::trap([&] {
        const float ranges[][2] = {{0, 1}, {0.25f, 0.75f}, {0.6f, 0.2f}, {1, 1}, {0, 0}};
        const double ndcZ = (kFar + kNear) / (kFar - kNear) - 2.0 * kFar * kNear / ((kFar - kNear) * kDistance);
        for (const auto& range : ranges) {
            SCOPED_TRACE(range[0] * 10 + range[1]);
            CkwWorld* world = testWorld(test);
            world->addChild(coloredQuad(1.0f, 0xFFFF0000, flatAppearance(), 0, 0, 0));
            auto* target = test.hold(new CkwStageset);
            target->initBlank(kW, kH);
            CkwGraphics3D* g = test.hold(CkwGraphics3D::create());
            g->bindImageTarget(target);
            g->setDepthRange(range[0], range[1]);
            g->renderWorld(world);
            const double span = static_cast<int32_t>((range[1] - range[0]) * 65536.0 + 0.5);
            const double expected = range[0] * 4095.0 * 16.0 + span * (ndcZ + 1) / 2;
            EXPECT_EQ(target->getDepthMap()[kH / 2 * kW + kW / 2], std::floor(expected));
        }
    }), 0);
}

// BORDER crops at the image's exact edges: a crop on the image shows only
// image, one starting at its width (mirrored or not) or ending at 0 (or of
// width 0) only the colour, and one half off shows the image on exactly the
// half that covers it.
TEST(RendererPictures, BorderCropsAtTheImageEdges)
{
    SceneTest test;
    ASSERT_EQ(SceneTest::trap([&] {
        constexpr int32_t tw = 32, th = 16;
        const struct {
            float crop[4];
            int32_t imageColumns;  // from the left; negative: from the right
            bool rows = false;     // counted from the top instead
        } cases[] = {{{0, 0, 8, 8}, tw}, {{8, 0, 8, 8}, 0}, {{-8, 0, 8, 8}, 0}, {{0, 0, 0, 8}, 0},
                     {{4, 0, 8, 8}, tw / 2}, {{-4, 0, 8, 8}, -tw / 2}, {{8, 0, -8, 8}, 0}, {{0, 4, 8, 8}, th / 2, true}};
        for (const auto& c : cases) {
            SCOPED_TRACE(c.crop[0] * 10 + c.crop[2]);
            CkwWorld* world = test.hold(renderkit::worldWithCamera(kFovy, float(tw) / th, kNear, kFar, kDistance));
            auto* background = static_cast<CkwBackground*>(CkwBackground::create());
            background->setColor(0xFFFFFF00);
            background->setImage(gradientImage(200));
            background->setCrop(c.crop[0], c.crop[1], c.crop[2], c.crop[3]);
            world->setBackground(background);
            RasterTarget target(tw, th, 0x1234);
            CkwGraphics3D* g = test.hold(CkwGraphics3D::create());
            g->bindTarget(tw, th, tw * 2, target.color.data());
            g->renderWorld(world);
            int32_t wrong = 0;
            for (int32_t y = 0; y < th; ++y)
                for (int32_t x = 0; x < tw; ++x) {
                    const int32_t at = c.rows ? y : x;
                    const bool image = c.imageColumns >= 0 ? at < c.imageColumns : at >= tw + c.imageColumns;
                    wrong += (target.at(x, y) == 0xFFE0) == image;
                }
            EXPECT_EQ(wrong, 0);
        }
    }), 0);
}
