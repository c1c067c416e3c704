// Ray picking against kit-built scenes: the nearest hit and its distance,
// texture coordinates and normal, culling, sprites with alpha, scope and
// pickability, viewport picks held against the camera's projection worked
// out here, and the failures a pick leaves with.
#include "engine/scene/CkwPick.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <optional>
#include <vector>

#include "engine/core/math/FloatBits.h"
#include "engine/core/testing/AllocationSweep.h"
#include "engine/scene/CkwCamera.h"
#include "engine/scene/CkwCompositingMode.h"
#include "engine/scene/CkwGraphics3D.h"
#include "engine/scene/CkwGroup.h"
#include "engine/scene/CkwLight.h"
#include "engine/scene/CkwPolygonMode.h"
#include "engine/scene/CkwRayIntersection.h"
#include "engine/scene/CkwSkinnedMesh.h"
#include "engine/scene/CkwSprite.h"
#include "engine/scene/CkwTexture2D.h"
#include "engine/scene/SceneTestKit.h"
#include "engine/scene/testing/SceneKit.h"

namespace {

class PickTest : public ::testing::Test, public SceneTest {
protected:
    CkwMesh* box(float halfSize, float x, float y, float z, CkwAppearance* appearance = nullptr)
    {
        CkwMesh* mesh = nullptr;
        EXPECT_EQ(trap([&] { mesh = hold(kitBox(halfSize, appearance != nullptr ? appearance : kitAppearance(~0u))); }),
                  KErrNone);
        mesh->setTranslation(x, y, z);
        return mesh;
    }
    // One implicit strip over the vertices given (xyz, 16-bit), positions
    // only, scaled by scale.
    CkwMesh* strip(const std::vector<int32_t>& positions, float scale, int32_t first = 0, int32_t length = -1)
    {
        CkwMesh* mesh = hold(new CkwMesh);
        const int32_t lengths[1] = {length >= 0 ? length : static_cast<int32_t>(positions.size()) / 3};
        EXPECT_EQ(trap([&] {
                      CkwVertexBuffer* buffer = hold(new CkwVertexBuffer);
                      buffer->setPositions(hold(kitVertexArray(3, 2, positions)), scale, 0, nullptr);
                      CkwTriangleStripArray* strips = hold(new CkwTriangleStripArray);
                      strips->initImplicit(first, 1, lengths);
                      mesh->initSingle(buffer, strips, hold(kitAppearance(~0u)));
                  }),
                  KErrNone);
        return mesh;
    }
    CkwGroup* groupOf(std::initializer_list<CkwNode*> children)
    {
        CkwGroup* g = group();
        for (CkwNode* child : children)
            EXPECT_EQ(trap([&] { g->addChild(child); }), KErrNone);
        return g;
    }

    struct Pick {
        int32_t code = KErrNone;
        bool hit = false;
        CkwRayIntersection* result = nullptr;
    };
    Pick pickRay(CkwGroup& g, const std::vector<float>& ray, int32_t scope = -1)
    {
        Pick p;
        p.result = hold(new CkwRayIntersection);
        p.code = trap([&] { p.hit = g.pickRay(scope, ray.data(), ray.data() + 3, p.result); });
        return p;
    }
    Pick pickViewport(CkwGroup& g, float x, float y, CkwCamera& camera, int32_t scope = -1)
    {
        Pick p;
        p.result = hold(new CkwRayIntersection);
        p.code = trap([&] { p.hit = g.pickViewport(scope, x, y, camera, p.result); });
        return p;
    }
};

TEST_F(PickTest, NearestHitAlongARay)
{
    CkwMesh* near = box(1.0f, 0, 0, 0);
    CkwMesh* twin = box(1.0f, 0, 0, 0);
    CkwMesh* far = box(1.0f, 4, 0, -4);
    far->setScale(2, 2, 2);
    // A square of two-component positions (a file's), the plane z = 0.
    CkwMesh* flat = strip({-1, -1, 0, 1, -1, 0, -1, 1, 0, 1, 1, 0}, 1);
    const float zero[3] = {};
    ASSERT_EQ(trap([&] {
                  flat->getVertexBuffer()->takePositions(hold(kitVertexArray(2, 1, {-1, -1, 1, -1, -1, 1, 1, 1})), 1,
                                                         zero, KErrCorruptData);
              }),
              KErrNone);
    flat->setTranslation(-4, 0, -3);
    // The far box comes first and the twin, at exactly the near box's
    // distance, last: order decides only between equal distances.
    CkwGroup* g = groupOf({far, near, twin, flat});
    g->setTranslation(0, 0, 100); // the group's own transform is not the ray's
    const float oy = 0.37f * 1.1f + 0.21f;
    const struct {
        const char* what;
        std::vector<float> ray;
        CkwNode* node;
        float distance;
    } cases[] = {
        {"front face", {0.5f, 0.25f, 10, 0, 0, -1}, near, 9},
        {"distance in direction lengths", {0.5f, 0.25f, 10, 0, 0, -2}, near, 4.5f},
        {"on the edge two triangles share", {0.25f, -0.25f, 10, 0, 0, -1}, near, 9},
        // Rounding leaves this one just outside both triangles but for the tolerance.
        {"on the shared edge, slanting", {1.1f, oy, 10, -0.6138f - 1.1f, 0.6138f - oy, -9}, near, 1},
        {"from the side", {10, 0.5f, 0.5f, -1, 0, 0}, near, 9},
        {"through the scaled far box", {4, 1.5f, 10, 0, 0, -1}, far, 12},
        {"a square of two components", {-4.5f, 0.5f, 10, 0, 0, -1}, flat, 13},
        {"beside everything", {1.5f, 0, 10, 0, 0, -1}, nullptr, 0},
        {"pointing away", {0, 0, 10, 0, 0, 1}, nullptr, 0},
    };
    for (const auto& c : cases) {
        const Pick p = pickRay(*g, c.ray);
        ASSERT_EQ(p.code, KErrNone) << c.what;
        EXPECT_EQ(p.hit, c.node != nullptr) << c.what;
        if (c.node == nullptr) {
            EXPECT_EQ(p.result->getIntersected(), nullptr) << c.what; // a miss leaves the result alone
            continue;
        }
        EXPECT_EQ(p.result->getIntersected(), c.node) << c.what;
        EXPECT_EQ(p.result->getSubmeshIndex(), 0) << c.what;
        EXPECT_NEAR(p.result->getDistance(), c.distance, 1e-5f) << c.what;
        float ray[6];
        p.result->getRay(6, ray);
        EXPECT_EQ(std::vector<float>(ray, ray + 6), c.ray) << c.what;
    }
    EXPECT_EQ(CkwRayIntersection::shared().getIntersected(), nullptr); // the scratch record lets go
}

TEST_F(PickTest, TextureCoordinatesAndNormalAtTheHit)
{
    CkwAppearance* textured = nullptr;
    CkwImage2D* image = hold(new CkwImage2D);
    const uint8_t pixels[12] = {};
    CkwTexture2D* texture = hold(new CkwTexture2D);
    ASSERT_EQ(trap([&] {
                  textured = hold(kitAppearance(~0u));
                  image->initWithData(kImageFormatRgb, 2, 2, 12, pixels);
                  texture->setImage(image);
                  textured->setTexture(0, texture);
              }),
              KErrNone);
    // s = 2 s0 + 0.25, t = 2 t0 + 0.5 over the box's own s0 = (x + 1) / 2,
    // t0 = (1 - y) / 2 on its front face.
    texture->setTranslation(0.25f, 0.5f, 0);
    texture->setScale(2, 2, 1);
    // A triangle without normals, counter-clockwise seen from +z.
    CkwMesh* flat = strip({0, 0, 0, 100, 0, 0, 0, 100, 0}, 0.01f);
    flat->setTranslation(0, 0, -10);
    // A box beside it whose coordinates are scaled by 0.5, then moved by (0.5, 0.25).
    CkwMesh* biased = box(2.0f, 10, 0, 0, textured);
    CkwVertexBuffer* coords = biased->getVertexBuffer();
    const float bias[2] = {0.5f, 0.25f};
    ASSERT_EQ(trap([&] { coords->setTexCoords(0, coords->getTexCoords(0), 0.5f, 2, bias); }), KErrNone);
    CkwGroup* g = groupOf({box(2.0f, 0, 0, 0, textured), flat, biased});
    const struct {
        const char* what;
        std::vector<float> ray;
        float s, t;
        float normal[3];
    } cases[] = {
        {"front face", {1.0f, 0.5f, 10, 0, 0, -1}, 1.75f, 1.25f, {0, 0, 1}},
        {"right face", {10, -1.0f, 1.0f, -1, 0, 0}, 0.75f, 1.0f, {1, 0, 0}},
        {"scaled and biased coordinates", {11.0f, 0.5f, 10, 0, 0, -1}, 2 * (0.5f * 0.75f + 0.5f) + 0.25f,
         2 * (0.5f * 0.375f + 0.25f) + 0.5f, {0, 0, 1}},
        {"face normal of the front side", {0.25f, 0.25f, -5, 0, 0, -1}, 0, 0, {0, 0, 1}},
    };
    for (const auto& c : cases) {
        const Pick p = pickRay(*g, c.ray);
        ASSERT_TRUE(p.hit) << c.what;
        EXPECT_NEAR(p.result->getTextureS(0), c.s, 1e-5f) << c.what;
        EXPECT_NEAR(p.result->getTextureT(0), c.t, 1e-5f) << c.what;
        EXPECT_EQ(p.result->getTextureS(1), 0.0f) << c.what;
        for (int i = 0; i < 3; ++i)
            EXPECT_NEAR(p.result->getNormal()[i], c.normal[i], 1e-5f) << c.what << " " << i;
    }

    // A sphere's normals are interpolated from its vertices: near the
    // surface normal of the true sphere at the hit.
    CkwMesh* sphere = nullptr;
    ASSERT_EQ(trap([&] { sphere = hold(kitSphere(32, 1.0f, kitAppearance(~0u))); }), KErrNone);
    CkwGroup* round = groupOf({sphere});
    const Pick p = pickRay(*round, {0.3f, 0.4f, 10, 0, 0, -1});
    ASSERT_TRUE(p.hit);
    const float z = std::sqrt(1.0f - 0.25f);
    EXPECT_NEAR(p.result->getDistance(), 10 - z, 1e-2f); // the facets lie inside the sphere
    const float expected[3] = {0.3f, 0.4f, z};
    for (int i = 0; i < 3; ++i)
        EXPECT_NEAR(p.result->getNormal()[i], expected[i], 2e-2f) << i;
    EXPECT_NEAR(std::hypot(p.result->getNormal()[0], p.result->getNormal()[1], p.result->getNormal()[2]), 1.0f, 1e-5f);
}

TEST_F(PickTest, CullingDecidesWhichFacesAreHit)
{
    // Outside the box looking at its front face, and inside it looking at
    // the back of the far face.
    const std::vector<float> outside = {0.5f, 0.25f, 10, 0, 0, -1};
    const std::vector<float> inside = {0.5f, 0.25f, 0, 0, 0, -1};
    constexpr float kMiss = -1;
    const struct {
        const char* what;
        int32_t culling, winding; // 0: no polygon mode
        float outsideDistance, insideDistance;
    } cases[] = {
        {"no polygon mode culls back faces", 0, 0, 9, kMiss},
        {"cull back", CkwPolygonMode::kCullBack, CkwPolygonMode::kWindingCcw, 9, kMiss},
        {"cull front", CkwPolygonMode::kCullFront, CkwPolygonMode::kWindingCcw, 11, 1},
        {"cull none", CkwPolygonMode::kCullNone, CkwPolygonMode::kWindingCcw, 9, 1},
        {"clockwise turns the faces", CkwPolygonMode::kCullBack, CkwPolygonMode::kWindingCw, 11, 1},
    };
    for (const auto& c : cases) {
        CkwAppearance* appearance = nullptr;
        ASSERT_EQ(trap([&] { appearance = hold(kitAppearance(~0u)); }), KErrNone);
        if (c.culling != 0) {
            CkwPolygonMode* mode = hold(new CkwPolygonMode);
            mode->setCulling(c.culling);
            mode->setWinding(c.winding);
            appearance->setPolygonMode(mode);
        }
        CkwGroup* g = groupOf({box(1.0f, 0, 0, 0, appearance)});
        for (const auto& [ray, distance] : {std::pair{outside, c.outsideDistance}, std::pair{inside, c.insideDistance}}) {
            const Pick p = pickRay(*g, ray);
            ASSERT_EQ(p.code, KErrNone);
            EXPECT_EQ(p.hit, distance != kMiss) << c.what << " from z " << ray[2];
            if (p.hit) {
                EXPECT_NEAR(p.result->getDistance(), distance, 1e-5f) << c.what << " from z " << ray[2];
            }
        }
    }
}

TEST_F(PickTest, ScopeAndPickabilityHideNodes)
{
    const struct {
        const char* what;
        int32_t pickScope;
        bool nearPickable, innerPickable;
        int32_t expected; // 0 none, 1 the near box, 2 the far one
    } cases[] = {
        {"scopes share a bit", 3, true, true, 1},
        {"near box outside the scope", 1, true, true, 2},
        {"neither in scope", 4, true, true, 0},
        {"near box not pickable", -1, false, true, 2},
        {"group above it not pickable", -1, true, false, 2},
    };
    for (const auto& c : cases) {
        CkwMesh* nearBox = box(1.0f, 0, 0, 0);
        CkwMesh* farBox = box(1.0f, 0, 0, -4);
        nearBox->setScope(2);
        farBox->setScope(1);
        nearBox->setPickingEnable(c.nearPickable);
        CkwGroup* inner = groupOf({nearBox});
        inner->setPickingEnable(c.innerPickable);
        CkwGroup* g = groupOf({inner, farBox});
        const Pick p = pickRay(*g, {0, 0, 10, 0, 0, -1}, c.pickScope);
        CkwNode* expected = c.expected == 0 ? nullptr : c.expected == 1 ? nearBox : farBox;
        EXPECT_EQ(p.hit, expected != nullptr) << c.what;
        EXPECT_EQ(p.result->getIntersected(), expected) << c.what;
    }
}

// The camera's ray through each point of a grid worked out from its field of
// view, met with the box's slabs, against the viewport pick.
TEST_F(PickTest, ViewportPickFollowsTheCamerasProjection)
{
    const float aspect = 4.0f / 3.0f;
    const float boxAt[3] = {0.3f, -0.2f, 0.0f};
    CkwMesh* mesh = box(1.0f, boxAt[0], boxAt[1], boxAt[2]);
    CkwWorld* w = nullptr;
    ASSERT_EQ(trap([&] { w = hold(kitLitWorld(mesh, 5.0f, aspect)); }), KErrNone);
    auto* camera = static_cast<CkwCamera*>(w->getActiveCamera());
    const double tanHalf = std::tan(30.0 * std::acos(-1.0) / 180.0);
    int hits = 0;
    for (int row = 0; row < 12; ++row) {
        for (int col = 0; col < 16; ++col) {
            const float x = (col + 0.5f) / 16;
            const float y = (row + 0.5f) / 12;
            // World ray: eye (0, 0, 5) + k d with d.z = -1.
            const double d[3] = {(2.0 * x - 1) * tanHalf * aspect, (1 - 2.0 * y) * tanHalf, -1};
            const double eye[3] = {0, 0, 5};
            double enter = 0, leaveAt = 1e30;
            for (int i = 0; i < 3; ++i) {
                const double a = (boxAt[i] - 1 - eye[i]) / d[i];
                const double b = (boxAt[i] + 1 - eye[i]) / d[i];
                enter = std::max(enter, std::min(a, b));
                leaveAt = std::min(leaveAt, std::max(a, b));
            }
            const bool expectHit = enter < leaveAt;
            if (std::fabs(enter - leaveAt) < 1e-3)
                continue; // grazing an edge: either answer is right
            const Pick p = pickViewport(*w, x, y, *camera);
            ASSERT_EQ(p.code, KErrNone);
            ASSERT_EQ(p.hit, expectHit) << x << ", " << y;
            if (!expectHit)
                continue;
            ++hits;
            // The distance runs from the near plane (k = 0.1) to the far (k = 100).
            EXPECT_NEAR(p.result->getDistance(), (enter - 0.1) / 99.9, 2e-5) << x << ", " << y;
        }
    }
    EXPECT_GT(hits, 8);
    // The centre casts along the view axis, from the near plane to the far.
    const Pick centre = pickViewport(*w, 0.5f, 0.5f, *camera);
    float ray[6];
    centre.result->getRay(6, ray);
    const float expectedRay[6] = {0, 0, 4.9f, 0, 0, -99.9f};
    for (int i = 0; i < 6; ++i)
        EXPECT_NEAR(ray[i], expectedRay[i], 5e-3f) << i;
    // Past 66,667 units the far point's w falls below the plain division's threshold.
    camera->setPerspective(60.0f, aspect, 1.0f, 1e5f);
    const Pick far = pickViewport(*w, 0.5f, 0.5f, *camera);
    ASSERT_TRUE(far.hit);
    EXPECT_NEAR(far.result->getDistance(), 3.0 / 99999, 1e-7);
}

// What the renderer draws at a pixel is what a pick through its centre hits:
// a red box in front of a blue one, over the cleared background.
TEST_F(PickTest, ViewportPickHitsWhatTheRendererDrawsAtThePixel)
{
    constexpr int32_t kW = 64, kH = 48;
    CkwMesh* red = box(1.0f, -0.8f, 0.3f, 0);
    CkwMesh* blue = box(1.5f, 1.0f, -0.4f, -3);
    CkwAppearance* appearances[2] = {};
    CkwWorld* w = nullptr;
    std::vector<uint16_t> pixels(size_t(kW) * kH, 0);
    ASSERT_EQ(trap([&] {
                  appearances[0] = hold(kitAppearance(0xFFFF0000));
                  appearances[1] = hold(kitAppearance(0xFF0000FF));
                  red->setAppearance(0, appearances[0]);
                  blue->setAppearance(0, appearances[1]);
                  w = hold(kitLitWorld(red, 5.0f, float(kW) / kH));
                  w->addChild(blue);
                  // Side faces get the ambient share, so no drawn face is black.
                  CkwLight* ambient = hold(new CkwLight);
                  ambient->setMode(CkwLight::kAmbient);
                  ambient->setColor(0x808080);
                  w->addChild(ambient);
                  CkwGraphics3D* g = hold(CkwGraphics3D::create());
                  g->bindTarget(kW, kH, kW * 2, pixels.data());
                  g->renderWorld(w);
              }),
              KErrNone);
    // 0 background, 1 red, 2 blue, by the stronger of the two channels.
    auto drawn = [&](int32_t x, int32_t y) {
        const uint16_t p = pixels[size_t(y) * kW + x];
        const int32_t r = p >> 11, b = p & 31;
        return r + b < 2 ? 0 : r > b ? 1 : 2;
    };
    auto* camera = static_cast<CkwCamera*>(w->getActiveCamera());
    int32_t counts[3] = {};
    for (int32_t y = 1; y < kH - 1; ++y) {
        for (int32_t x = 1; x < kW - 1; ++x) {
            const int32_t kind = drawn(x, y);
            bool inside = true; // edge pixels may be either
            for (int32_t dy = -1; dy <= 1; ++dy)
                for (int32_t dx = -1; dx <= 1; ++dx)
                    inside = inside && drawn(x + dx, y + dy) == kind;
            if (!inside)
                continue;
            const Pick p = pickViewport(*w, (x + 0.5f) / kW, (y + 0.5f) / kH, *camera);
            ASSERT_EQ(p.code, KErrNone);
            CkwNode* expected = kind == 0 ? nullptr : kind == 1 ? static_cast<CkwNode*>(red) : blue;
            ASSERT_EQ(p.result->getIntersected(), expected) << x << ", " << y;
            ++counts[kind];
        }
    }
    for (int32_t count : counts)
        EXPECT_GT(count, 50);
}

// A skinned mesh is picked from its skinned positions, then its skeleton is
// walked in the mesh's coordinates: the bones' transforms apply, the
// skeleton's own does not. The skinned positions follow every write to the
// source's positions, its scale and bias, and the bones, each before the pick.
TEST_F(PickTest, SkinnedMeshesArePickedWithTheirSkeleton)
{
    CkwMesh* source = box(1, 0, 0, 0);
    CkwMesh* onBone = box(1, 0, 0, 0);
    CkwSkinnedMesh* skinned = hold(new CkwSkinnedMesh);
    CkwGroup* skeleton = group();
    CkwGroup* bone = groupOf({onBone});
    skeleton->setTranslation(100, 0, 0);
    bone->setTranslation(0, 3, 0);
    ASSERT_EQ(trap([&] {
                  skeleton->addChild(bone);
                  skinned->initSingle(source->getVertexBuffer(), source->getIndexBuffer(0), source->getAppearance(0),
                                      skeleton);
                  skinned->addTransform(bone, 1, 0, 24);
              }),
              KErrNone);
    skinned->setTranslation(0, 0, -2);
    CkwGroup* g = groupOf({skinned});
    CkwVertexBuffer& vertices = *source->getVertexBuffer();
    CkwVertexArray& positions = *vertices.getPositions();
    const float down[3] = {0, 0, -1};
    const struct {
        float y;
        CkwNode* node;
        float distance;
        std::function<void()> change;
    } cases[] = {{0, skinned, 11, [] {}},
                 {3, onBone, 11, [] {}},
                 {-3, nullptr, 0, [] {}},
                 {0, skinned, 10, [&] { vertices.setPositions(&positions, 2, 0, nullptr); }},
                 {0, skinned, 11, [&] { vertices.setPositions(&positions, 2, 3, down); }},
                 {0, skinned, 13, [&] { for (int32_t v = 0; v < 24; ++v) positions.setElement(v, 2, positions.getElement(v, 2) - 1); }},
                 {0, skinned, 12, [&] { bone->setTranslation(0, 3, 1); }}};
    for (const auto& c : cases) {
        ASSERT_EQ(trap(c.change), KErrNone);
        const Pick p = pickRay(*g, {0.5f, c.y, 10, 0, 0, -1});
        ASSERT_EQ(p.code, KErrNone) << c.y;
        EXPECT_EQ(p.result->getIntersected(), c.node) << c.y;
        if (c.node != nullptr) {
            EXPECT_NEAR(p.result->getDistance(), c.distance, 1e-4) << c.y;
        }
    }
}

TEST_F(PickTest, SpritesAreHitThroughTheViewportWhereOpaque)
{
    // 2 x 2 RGBA: the left column transparent, the right opaque.
    const uint8_t rgba[16] = {9, 9, 9, 0, 9, 9, 9, 255, 9, 9, 9, 0, 9, 9, 9, 255};
    CkwImage2D* image = hold(new CkwImage2D);
    ASSERT_EQ(trap([&] { image->initWithData(kImageFormatRgba, 2, 2, 16, rgba); }), KErrNone);
    // Half of the camera-space width of the sprite over the distance, in
    // device units: the sprite spans -k..k at the centre of the view.
    const double k = 0.5 / (5.0 * std::tan(30.0 * std::acos(-1.0) / 180.0));
    const double depth = (5.0 - 0.1) / (100.0 - 0.1);
    const struct {
        const char* what;
        float x, y, threshold;
        bool scaled;
        float spriteZ;
        bool hit;
        int32_t cropX = 0;
        float tall = 1;  // the sprite's y scale
        // The camera and the sprite under a group this far off and turned,
        // so that the camera lies off its axes, below a chain of groups each
        // a little turned: what they share cancels.
        float far = 0;
        int32_t chain = 0;
    } cases[] = {
        {"opaque half", 0.55f, 0.5f, 0.5f, true, 0, true},
        {"transparent half", 0.45f, 0.5f, 0.5f, true, 0, false},
        {"transparent half without a threshold", 0.45f, 0.25f * 0.5f + 0.4f, 0, true, 0, true},
        {"beside it", 0.7f, 0.5f, 0, true, 0, false},
        {"unscaled", 0.55f, 0.5f, 0, false, 0, false},
        {"behind the camera", 0.55f, 0.5f, 0, true, 6, false},
        // Where the crop leaves the image nothing is drawn, nor hit.
        {"crop wholly past the image", 0.55f, 0.5f, 0, true, 0, false, 2},
        {"crop half before the image, outside it", 0.45f, 0.5f, 0, true, 0, false, -1},
        {"crop half before the image, on it", 0.55f, 0.5f, 0, true, 0, true, -1},
        {"twice as tall, near its top", 0.55f, float(0.5 - 0.75 * k), 0, true, 0, true, 0, 2},
        {"both 1e7 away", 0.55f, 0.5f, 0.5f, true, 0, true, 0, 1, 1e7f},
        {"both 1e8 away", 0.45f, 0.55f, 0, true, 0, true, 0, 1, 1e8f},
        {"both 200 turned groups down, 1e5 away", 0.55f, 0.45f, 0, true, 0, true, 0, 1, 1e5f, 200},
    };
    for (const auto& c : cases) {
        CkwSprite* sprite = hold(new CkwSprite);
        CkwAppearance* appearance = hold(new CkwAppearance);
        CkwCompositingMode* mode = hold(new CkwCompositingMode);
        mode->setAlphaThreshold(c.threshold);
        appearance->setCompositingMode(mode);
        sprite->setImage(image);
        sprite->setCrop(c.cropX, 0, 2, 2);
        sprite->setAppearance(appearance);
        sprite->setScaled(c.scaled);
        sprite->setTranslation(0, 0, c.spriteZ);
        sprite->setScale(1, c.tall, 1);
        CkwWorld* w = nullptr;
        ASSERT_EQ(trap([&] { w = hold(kitLitWorld(sprite, 5.0f, 1.0f)); }), KErrNone);
        CkwCamera* camera = hold(static_cast<CkwCamera*>(w->getActiveCamera()));
        if (c.far != 0) {
            CkwGroup* inner = groupOf({});
            const float aside[4] = {0, 0.258819f, 0, 0.965926f};
            inner->setTranslation(c.far, c.far / 2, -c.far / 4);
            inner->setOrientation(aside);
            w->addChild(inner);
            const float turn[4] = {0.00116f, 0.00174f, 0.0058f, 0.99998f};
            for (int32_t i = 0; i < c.chain; ++i) {
                CkwGroup* below = groupOf({});
                below->setTranslation(0.01f, 0.003f, 0);
                below->setOrientation(turn);
                inner->addChild(below);
                inner = below;
            }
            for (CkwNode* moved : {static_cast<CkwNode*>(camera), static_cast<CkwNode*>(sprite)}) {
                w->removeChild(moved);
                inner->addChild(moved);
            }
        }
        const Pick p = pickViewport(*w, c.x, c.y, *camera);
        ASSERT_EQ(p.code, KErrNone) << c.what;
        ASSERT_EQ(p.hit, c.hit) << c.what;
        if (!c.hit)
            continue;
        EXPECT_EQ(p.result->getIntersected(), sprite);
        EXPECT_NEAR(p.result->getDistance(), depth, 1e-5) << c.what;
        // The point's place across the sprite, in 16.16 steps.
        const double s = ((2.0 * c.x - 1) + k) / (2 * k) + c.cropX / 2.0;
        const double t = (c.tall * k - (1 - 2.0 * c.y)) / (2 * c.tall * k);
        EXPECT_NEAR(p.result->getTextureS(0), s, 2.0 / 65536) << c.what;
        EXPECT_NEAR(p.result->getTextureT(0), t, 2.0 / 65536) << c.what;
        EXPECT_EQ(p.result->getNormal()[2], 1.0f);
    }
    // A ray along the same line never hits a sprite.
    CkwSprite* sprite = hold(new CkwSprite);
    sprite->setImage(image);
    sprite->setAppearance(hold(new CkwAppearance));
    sprite->setScaled(true);
    EXPECT_FALSE(pickRay(*groupOf({sprite}), {0, 0, 5, 0, 0, -1}).hit);
}

TEST_F(PickTest, FaultsLeaveWithTheirCodes)
{
    const std::vector<float> down = {0.2f, 0.3f, 10, 0, 0, -1};
    CkwCamera* stranger = hold(new CkwCamera);
    const struct {
        const char* what;
        std::function<Pick()> pick;
        int32_t code;
    } cases[] = {
        {"zero direction", [&] { return pickRay(*groupOf({box(1, 0, 0, 0)}), {0, 0, 10, 0, 0, 1e-6f}); },
         KErrIllegalArgument},
        {"mesh of scale 0", [&] { return pickRay(*groupOf({strip({-9, -9, 0, 9, -9, 0, -9, 9, 0}, 0.0f)}), down); },
         KErrNone},
        {"degenerate triangle", [&] { return pickRay(*groupOf({strip({0, 0, 0, 5, 5, 0, 10, 10, 0}, 0.1f)}), down); },
         KErrNone},
        {"index past the vertices",
         [&] { return pickRay(*groupOf({strip({-9, -9, 0, 9, -9, 0, -9, 9, 0}, 0.1f, 1, 3)}), down); },
         KErrIllegalState},
        {"no positions",
         [&] {
             CkwMesh* mesh = strip({-9, -9, 0, 9, -9, 0, -9, 9, 0}, 0.1f);
             mesh->getVertexBuffer()->setPositions(nullptr, 1, 0, nullptr);
             return pickRay(*groupOf({mesh}), down);
         },
         KErrIllegalState},
        {"singular child transform",
         [&] {
             CkwMesh* mesh = box(1, 0, 0, 0);
             mesh->setScale(0, 1, 1);
             return pickRay(*groupOf({mesh}), down);
         },
         KErrArithmetic},
        {"camera outside the tree", [&] { return pickViewport(*groupOf({box(1, 0, 0, 0)}), 0.5f, 0.5f, *stranger); },
         KErrIllegalState},
        {"near and far together",
         [&] {
             CkwCamera* camera = hold(new CkwCamera);
             camera->setPerspective(60, 1, 1, 1);
             return pickViewport(*groupOf({camera}), 0.5f, 0.5f, *camera);
         },
         KErrArithmetic},
        {"singular projection",
         [&] {
             CkwCamera* camera = hold(new CkwCamera);
             camera->setParallel(1e30f, 1e30f, 0, 1);
             return pickViewport(*groupOf({camera}), 0.5f, 0.5f, *camera);
         },
         KErrIllegalState},
    };
    for (const auto& c : cases) {
        const Pick p = c.pick();
        EXPECT_EQ(p.code, c.code) << c.what;
        EXPECT_FALSE(p.hit) << c.what;
        EXPECT_EQ(CkwRayIntersection::shared().getIntersected(), nullptr) << c.what;
    }

    // A failure after a hit was found leaves the result as it was and the
    // scratch record without the node.
    CkwMesh* hitFirst = box(1, 0, 0, 0);
    CkwMesh* broken = strip({-9, -9, 0, 9, -9, 0, -9, 9, 0}, 0.1f, 1, 3);
    broken->setTranslation(0, 0, -5);
    const Pick p = pickRay(*groupOf({hitFirst, broken}), down);
    EXPECT_EQ(p.code, KErrIllegalState);
    EXPECT_EQ(p.result->getIntersected(), nullptr);
    EXPECT_EQ(CkwRayIntersection::shared().getIntersected(), nullptr);
    EXPECT_EQ(hitFirst->refCount(), 2); // the test's and the group's
}

TEST_F(PickTest, DeepScenesAreWalkedWithoutRecursion)
{
    // Far deeper than the call stack would take a frame a level; built from
    // the bottom up so each group joins as a root.
    constexpr int kDepth = 50000;
    CkwNode* below = box(1, 0, 0, 0);
    for (int level = 0; level < kDepth; ++level) {
        CkwGroup* g = new CkwGroup;
        g->addChild(below);
        g->setTranslation(0, 0, -1.0f / 1024); // sums exactly in float
        below = g;
    }
    CkwGroup* top = hold(static_cast<CkwGroup*>(below));
    const Pick p = pickRay(*top, {0, 0, 100, 0, 0, -1});
    ASSERT_EQ(p.code, KErrNone);
    ASSERT_TRUE(p.hit);
    // The top group's own translation is not the ray's.
    EXPECT_EQ(p.result->getDistance(), 100 - 1 + (kDepth - 1) / 1024.0f);
}

TEST_F(PickTest, EveryFailedAllocationLeavesNoMemoryAndNothingHeld)
{
    // Ten groups deep, so the ray stack grows several times on the way down.
    CkwNode* below = box(1, 0, 0, 0);
    CkwNode* bottom = below;
    for (int level = 0; level < 10; ++level) {
        CkwGroup* g = groupOf({below});
        g->setTranslation(0, 0, -0.5f);
        below = g;
    }
    CkwWorld* w = nullptr;
    ASSERT_EQ(trap([&] { w = hold(kitLitWorld(below, 10.0f, 1.0f)); }), KErrNone);
    auto* camera = static_cast<CkwCamera*>(w->getActiveCamera());
    CkwRayIntersection* result = hold(new CkwRayIntersection);
    auto scenario = [&](bool hooked) {
        std::optional<FailingAllocHooks> hooks;
        if (hooked)
            hooks.emplace();
        bool hit = false;
        const int32_t code = trap([&] { hit = w->pickViewport(-1, 0.5f, 0.5f, *camera, result); });
        EXPECT_TRUE(code == KErrNone || code == KErrNoMemory) << code;
        EngineContext& context = *engineContext();
        EXPECT_TRUE(context.rayIntersection == nullptr || context.rayIntersection->getIntersected() == nullptr);
        // The pick state goes with each run, so the next one makes it again.
        releasePickData(context);
        CkwRayIntersection::releaseShared(context);
        return code == KErrNone && hit && result->getIntersected() == bottom;
    };
    // An unhooked run first leaves the cleanup stack the room it keeps.
    ASSERT_TRUE(scenario(false));
    EXPECT_GE(sweepAllocationFailures([&] { return scenario(true); }), 5);
}

} // namespace
