// The render context: target binding with its clip and viewport, refusals of
// unusable targets and viewports, the light set and camera, and the checks
// made before rendering.
#include <algorithm>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "engine/render/testing/RenderTestKit.h"
#include "engine/scene/CkwBackground.h"
#include "engine/scene/CkwGraphics3D.h"
#include "engine/scene/CkwStageset.h"
#include "engine/scene/SceneTestKit.h"

namespace {

struct Context {
    SceneTest test;
    CkwGraphics3D* g = nullptr;
    std::vector<uint16_t> pixels = std::vector<uint16_t>(2048 * 240);
    Context()
    {
        EXPECT_EQ(SceneTest::trap([&] { g = CkwGraphics3D::create(); }), 0);
        test.hold(g);
    }
    int32_t trap(const std::function<void()>& body) { return SceneTest::trap(body); }
};

bool operator==(const CkwRect& a, const CkwRect& b)
{
    return a.x == b.x && a.y == b.y && a.width == b.width && a.height == b.height;
}

} // namespace

TEST(Graphics3D, BindingSetsClipViewportAndScissor)
{
    const struct {
        const char* name;
        int32_t width, height, pitch, clip[4], viewport[4];
        int32_t code;
        CkwRect clipRect, expectViewport, scissor;
        uint8_t clipped;
        int64_t clipOffset;  // first clipped pixel from the buffer start, -1 none
    } cases[] = {
        {"whole buffer", 320, 240, 640, {0, 0, 320, 240}, {}, 0, {0, 0, 320, 240}, {0, 0, 320, 240}, {0, 0, 320, 240}, 0, 0},
        {"wide buffer caps the viewport", 2048, 100, 4096, {0, 0, 2048, 100}, {}, 0, {0, 0, 2048, 100}, {0, 0, 1024, 100}, {0, 0, 1024, 100}, 0, 0},
        {"clip outside the buffer", 320, 240, 640, {400, 10, 50, 50}, {}, 0, {0, 0, 0, 0}, {400, 10, 50, 50}, {0, 0, 0, 0}, 0, -1},
        {"clip inside", 320, 240, 640, {10, 20, 100, 50}, {}, 0, {10, 20, 100, 50}, {10, 20, 100, 50}, {10, 20, 100, 50}, 0, 20 * 320 + 10},
        {"viewport half outside", 320, 240, 640, {0, 0, 320, 240}, {-60, 200, 120, 80}, 0, {0, 0, 320, 240}, {-60, 200, 120, 80}, {0, 200, 60, 40}, 1, 0},
        {"viewport of 1024 accepted", 320, 240, 640, {0, 0, 320, 240}, {0, 0, 1024, 1}, 0, {0, 0, 320, 240}, {0, 0, 1024, 1}, {0, 0, 320, 1}, 1, 0},
        {"viewport width 0 refused", 320, 240, 640, {0, 0, 320, 240}, {0, 0, 0, 10}, KErrIllegalArgument, {0, 0, 320, 240}, {0, 0, 320, 240}, {0, 0, 320, 240}, 0, 0},
        {"viewport width 1025 refused", 320, 240, 640, {0, 0, 320, 240}, {0, 0, 1025, 10}, KErrIllegalArgument, {0, 0, 320, 240}, {0, 0, 320, 240}, {0, 0, 320, 240}, 0, 0},
        // A pitch too short for a row would let the renderer write past rows.
        {"short pitch refused", 320, 240, 638, {0, 0, 320, 240}, {}, KErrIllegalArgument, {}, {}, {}, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Context ctx;
        int32_t code = ctx.trap([&] {
            ctx.g->bindTargetMemory(c.width, c.height, c.pitch, ctx.pixels.data(), c.clip[0], c.clip[1], c.clip[2], c.clip[3]);
        });
        if (code == 0 && c.viewport[3] != 0)
            code = ctx.trap([&] { ctx.g->setViewport(c.viewport[0], c.viewport[1], c.viewport[2], c.viewport[3]); });
        EXPECT_EQ(code, c.code);
        if (c.pitch < 2 * c.width)
            continue;
        EXPECT_TRUE(ctx.g->m_clipRect == c.clipRect);
        EXPECT_TRUE(ctx.g->m_viewport == c.expectViewport);
        EXPECT_TRUE(ctx.g->m_scissor == c.scissor);
        EXPECT_EQ(ctx.g->m_viewportClipped, c.clipped);
        EXPECT_EQ(ctx.g->m_clipPixels, c.clipOffset < 0 ? nullptr : ctx.pixels.data() + c.clipOffset);
    }
    Context ctx;
    EXPECT_EQ(ctx.trap([&] { ctx.g->bindTarget(16, 16, 32, nullptr); }), KErrIllegalArgument);
}

TEST(Graphics3D, LightsCameraAndRenderChecks)
{
    Context ctx;
    SceneTest& test = ctx.test;
    ASSERT_EQ(ctx.trap([&] { ctx.g->bindTarget(32, 24, 64, ctx.pixels.data()); }), 0);
    CkwLight* a = test.hold(renderkit::light(CkwLight::kOmni, 0xFFFFFF, 1));
    CkwLight* b = test.hold(renderkit::light(CkwLight::kAmbient, 0xFFFFFF, 1));
    const CkwMatrix moved = CkwMatrix::translation(1, 2, 3);
    EXPECT_EQ(ctx.g->addLight(a, nullptr), 0);
    EXPECT_EQ(ctx.g->addLight(b, &moved), 1);
    CkwMatrix out;
    EXPECT_EQ(ctx.g->getLight(1, &out), b);
    EXPECT_TRUE(out.equals(moved));
    EXPECT_EQ(ctx.trap([&] { ctx.g->setLight(2, a, nullptr); }), KErrIndexOutOfRange);
    EXPECT_EQ(ctx.trap([&] { ctx.g->getLight(-1, nullptr); }), KErrIndexOutOfRange);
    ctx.g->resetLights();
    EXPECT_EQ(ctx.g->getLightCount(), 0);

    // Rendering without a camera, and a node that cannot be drawn.
    CkwMesh* mesh = nullptr;
    ASSERT_EQ(ctx.trap([&] { mesh = test.hold(kitBox(1.0f)); }), 0);
    EXPECT_EQ(ctx.trap([&] { ctx.g->renderNode(mesh, nullptr); }), KErrIllegalState);
    auto* camera = test.hold(static_cast<CkwCamera*>(CkwCamera::create()));
    CkwMatrix singular = CkwMatrix::scaling(0, 1, 1);
    EXPECT_EQ(ctx.trap([&] { ctx.g->setCamera(camera, &singular); }), KErrArithmetic);
    EXPECT_EQ(ctx.g->getCamera(nullptr), camera);
    EXPECT_EQ(ctx.trap([&] { ctx.g->renderNode(camera, nullptr); }), KErrIllegalArgument);
    // Immediate drawing needs strips to walk.
    EXPECT_EQ(ctx.trap([&] {
        auto* appearance = test.hold(static_cast<CkwAppearance*>(CkwAppearance::create()));
        ctx.g->renderImmediate(mesh->getVertexBuffer(), nullptr, appearance, nullptr, -1);
    }), KErrNullArgument);

    // A world's camera must lie in it; its enabled lights become the set.
    CkwWorld* world = test.hold(renderkit::worldWithCamera(60, 1, 1, 10, 5));
    world->addChild(renderkit::light(CkwLight::kDirectional, 0xFFFFFF, 1));
    CkwLight* off = renderkit::light(CkwLight::kDirectional, 0xFFFFFF, 1);
    off->setRenderingEnable(false);
    world->addChild(off);
    EXPECT_EQ(ctx.trap([&] { ctx.g->renderWorld(world); }), 0);
    EXPECT_EQ(ctx.g->getLightCount(), 1);
    CkwNode* worldCamera = static_cast<CkwNode*>(world->getActiveCamera());
    worldCamera->addRef();
    worldCamera->detach();
    EXPECT_EQ(ctx.trap([&] { ctx.g->renderWorld(world); }), KErrIllegalState);
    worldCamera->release();

    // A background image must have the target's format.
    auto* background = test.hold(static_cast<CkwBackground*>(CkwBackground::create()));
    auto* rgba = static_cast<CkwImage2D*>(CkwImage2D::create());
    rgba->initBlank(kImageFormatRgba, 4, 4, false);
    background->setImage(rgba);
    EXPECT_EQ(ctx.trap([&] { ctx.g->clear(background); }), KErrIllegalArgument);

    const int32_t properties[] = {0, 0, 0, 0, 1, 1, 256, 1024, 1024, 1024, 2, 2, 1024, 1024};
    for (int32_t key = 0; key < CkwGraphics3D::kPropertyCount; ++key)
        EXPECT_EQ(CkwGraphics3D::getProperty(key), properties[key]) << key;
}

// Overlaps are counted in whole pixels: a clip or viewport that shares no
// pixel with the target is invisible; a visible viewport is kept relative to
// the clip origin. A Stageset target brings its depth map as the depth buffer;
// the context holds it until the next binding (binding no image ends it) and
// follows it when it is laid out anew, and refuses to render into it once it
// cannot be a target.
TEST(Graphics3D, EmptyOverlapsAreInvisibleAndStagesetsBringTheirDepth)
{
    const struct {
        const char* name;
        int32_t clip[4], viewport[4];
        CkwRect scissor, inClip;
        uint8_t visible;
    } cases[] = {
        {"zero-size clip", {10, 10, 0, 0}, {}, {0, 0, 0, 0}, {0, 0, 0, 0}, 0},
        {"viewport just past the right edge", {0, 0, 32, 32}, {32, 0, 8, 8}, {0, 0, 0, 0}, {0, 0, 32, 32}, 0},
        {"viewport sharing one column", {0, 0, 32, 32}, {31, 0, 8, 8}, {31, 0, 1, 8}, {31, 0, 8, 8}, 1},
        {"viewport inside an offset clip", {4, 6, 20, 20}, {10, 10, 5, 5}, {10, 10, 5, 5}, {6, 4, 5, 5}, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Context ctx;
        ASSERT_EQ(ctx.trap([&] {
            ctx.g->bindTargetMemory(32, 32, 64, ctx.pixels.data(), c.clip[0], c.clip[1], c.clip[2], c.clip[3]);
            if (c.viewport[2] != 0)
                ctx.g->setViewport(c.viewport[0], c.viewport[1], c.viewport[2], c.viewport[3]);
        }), 0);
        EXPECT_TRUE(ctx.g->m_scissor == c.scissor);
        EXPECT_TRUE(ctx.g->m_viewportInClip == c.inClip);
        EXPECT_EQ(ctx.g->m_viewportVisible, c.visible);
    }

    Context ctx;
    auto* stageset = new CkwStageset;
    stageset->addRef();
    ASSERT_EQ(ctx.trap([&] {
        stageset->initBlank(8, 4);
        ctx.g->bindImageTarget(stageset);
    }), 0);
    EXPECT_FALSE(stageset->isDepthMapUnconverted());
    stageset->release();
    CkwWorld* world = ctx.test.hold(renderkit::worldWithCamera(60, 1, 1, 10, 5));
    auto* background = static_cast<CkwBackground*>(CkwBackground::create());
    background->setColor(0xFF0000FF);
    world->setBackground(background);
    for (int32_t size : {0, 512}) {
        ASSERT_EQ(ctx.trap([&] {
            if (size != 0)
                stageset->initBlank(size, size);
            ctx.g->renderWorld(world);
        }), 0);
        EXPECT_EQ(reinterpret_cast<uint16_t*>(stageset->getPixels())[0], 0x001F);
        EXPECT_EQ(ctx.g->m_externalDepth, stageset->getDepthMap());
    }
    stageset->setPaletteSize(16);
    EXPECT_EQ(ctx.trap([&] { ctx.g->renderWorld(world); }), KErrIllegalState);
    // Binding no image gives the held one back and leaves nothing to draw into.
    stageset->addRef();
    ASSERT_EQ(ctx.trap([&] { ctx.g->bindImageTarget(nullptr); }), 0);
    EXPECT_EQ(stageset->refCount(), 1);
    stageset->release();
    EXPECT_EQ(ctx.trap([&] { ctx.g->renderWorld(world); }), 0);
    EXPECT_EQ(ctx.g->m_clipPixels, nullptr);
}


// A render into a bound image draws what a fresh context bound to the image as
// it stands draws with the same viewport and depth range: after a viewport set
// while it missed the image and the image grown, then after random re-layouts,
// resizes, palettes, rebindings, viewports and depth ranges.
TEST(Graphics3D, ABoundImageRendersAsAFreshContextDoes)
{
    Context ctx;
    auto* image = ctx.test.hold(new CkwStageset);
    CkwWorld* world = ctx.test.hold(renderkit::worldWithCamera(60, 4.0f / 3.0f, 1, 10, 5));
    ASSERT_EQ(ctx.trap([&] {
        for (const float z : {0.0f, -1.0f}) { // crossing in depth: the depth range shows in colour
            CkwMesh* square = renderkit::quad(0.6f, z == 0 ? 0xFFFF0000 : 0xFF00FF00,
                                              static_cast<CkwAppearance*>(CkwAppearance::create()));
            square->setTranslation(0.3f * z, 0, z);
            world->addChild(square);
        }
        image->initBlank(40, 30);
        ctx.g->bindImageTarget(image);
        ctx.g->setViewport(50, 0, 80, 60);
        image->initBlank(160, 120);
    }), 0);
    const auto render = [&](CkwGraphics3D* g) { // a palette image cannot be drawn into
        uint8_t* pixels = image->getPixels();
        const int32_t bytes = image->hasPalette() ? 0 : image->getWidth() * image->getHeight() * 2;
        std::fill_n(pixels, bytes, 0x55);
        g->renderWorld(world);
        return std::vector<uint8_t>(pixels, pixels + bytes);
    };
    std::mt19937 random(56);
    const auto below = [&](int32_t n) { return static_cast<int32_t>(random() % n); };
    int32_t differing = 0;
    for (int32_t step = 0; step < 1500; ++step) {
        const int32_t w = 1 + below(160), h = 1 + below(120);
        ASSERT_EQ(ctx.trap([&] {
            switch (step == 0 ? -1 : below(6)) {
            case 0: ctx.g->setViewport(below(220) - 60, below(180) - 60, 1 + below(200), 1 + below(160)); break;
            case 1: image->initBlank(w, h); break;
            case 2: image->resize(w, h); break;
            case 3: image->setPaletteSize(16); break;
            case 4: if (!image->hasPalette()) ctx.g->bindImageTarget(image); break;
            case 5: ctx.g->setDepthRange(below(5) / 4.0f, below(5) / 4.0f); break;
            }
        }), 0);
        std::vector<uint8_t> kept, fresh;
        EXPECT_EQ(ctx.trap([&] {
            kept = render(ctx.g);
            CkwGraphics3D* f = ctx.test.hold(CkwGraphics3D::create());
            f->bindImageTarget(image);
            f->setViewport(ctx.g->m_viewport.x, ctx.g->m_viewport.y, ctx.g->m_viewport.width, ctx.g->m_viewport.height);
            f->setDepthRange(ctx.g->m_depthNear, ctx.g->m_depthFar);
            fresh = render(f);
        }), image->hasPalette() ? KErrIllegalState : 0);
        differing += kept != fresh;
    }
    EXPECT_EQ(differing, 0);
}
