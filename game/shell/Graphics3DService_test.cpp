#include "game/shell/Graphics3DService.h"

#include <gtest/gtest.h>

#include <vector>

#include "engine/core/interface/InterfaceIds.h"
#include "framework/util/LoadLedger.h"
#include "game/shell/EngineService.h"
#include "tests/support/TestApp.h"
#include "tools/samplepack/LevelScene.h"

namespace {

uint16_t rgb565(uint32_t argb)
{
    return uint16_t(((argb >> 8) & 0xF800) | ((argb >> 5) & 0x07E0) | ((argb >> 3) & 0x001F));
}

class View : public ::testing::Test {
protected:
    View() { installEngineServices(); }

    EngineRef camera(float aspect, bool perspective)
    {
        EngineRef c = createEngineObject(kIidCamera);
        if (perspective)
            c.table<IkwCameraTable>().setPerspective(c.get(), 60.0f, aspect, 1.0f, 10.0f);
        return c;
    }

    TestApp m_app;
};

TEST_F(View, ViewportKeepsTheCameraAspectCentred)
{
    const struct {
        int32_t w, h;
        float aspect;
        bool perspective;
        Viewport expected;
    } cases[] = {
        {240, 320, 4.0f / 3.0f, true, {0, 70, 240, 180}},
        {320, 240, 4.0f / 3.0f, true, {0, 0, 320, 240}},
        {320, 200, 4.0f / 3.0f, true, {27, 0, 266, 200}},
        {241, 320, 1.0f, true, {0, 39, 241, 242}},
        {240, 320, 4.0f / 3.0f, false, {0, 0, 240, 320}},
        {240, 0, 4.0f / 3.0f, true, {0, 0, 240, 0}},
    };
    for (const auto& c : cases) {
        EngineRef cam = camera(c.aspect, c.perspective);
        EXPECT_EQ(Graphics3DService::fitViewport(c.w, c.h, cam.get()), c.expected) << c.w << "x" << c.h;
    }
    EXPECT_EQ(Graphics3DService::fitViewport(16, 8, nullptr), (Viewport{0, 0, 16, 8}));
}

TEST_F(View, LevelSceneDrawsItsBackgroundInsideTheViewportAndTheCentreSquareAtTheCentre)
{
    Graphics3DService* view = getGraphics3DService();
    ASSERT_TRUE(view && view->m_graphics);
    const std::vector<uint8_t> file = sampleLevelScene();
    EngineRef world = getEngineService()->loadBytes(file.data(), uint32_t(file.size())).as(kIidWorld);
    ASSERT_TRUE(world);
    EngineRef cam;
    ASSERT_EQ(world.table<IkwWorldTable>().getActiveCamera(world.get(), cam.out()), 0);

    constexpr int32_t w = 240, h = 320;
    constexpr uint16_t kUntouched = 0x1234;
    std::vector<uint16_t> pixels(size_t(w * h), kUntouched);
    const Viewport viewport = Graphics3DService::fitViewport(w, h, cam.get());
    ASSERT_EQ(viewport, (Viewport{0, 70, 240, 180}));
    // Releasing with nothing bound does nothing.
    view->releaseTarget();
    for (int32_t time : {0, 1000, 2500}) {
        int32_t validity = 0;
        ASSERT_EQ(world.table<IkwObject3DTable>().animate(world.get(), time, &validity), 0);
        ASSERT_TRUE(view->bindPixels(w, h, w * 2, pixels.data(), &viewport));
        EXPECT_EQ(view->m_graphics.table<IkwGraphics3DTable>().renderWorld(view->m_graphics.get(), world.get()), 0);
        view->releaseTarget();

        const auto at = [&](int32_t x, int32_t y) { return pixels[size_t(y * w + x)]; };
        EXPECT_EQ(at(120, 69), kUntouched) << time;
        EXPECT_EQ(at(120, 250), kUntouched) << time;
        EXPECT_EQ(at(0, 70), rgb565(LevelSceneLook::Background)) << time;
        EXPECT_EQ(at(239, 249), rgb565(LevelSceneLook::Background)) << time;
        EXPECT_EQ(at(120, 160), rgb565(LevelSceneLook::CentreColour)) << time;
    }
    EXPECT_FALSE(view->bindPixels(w, h, w * 2, nullptr, nullptr));

    // A display twice the size draws with a tenth of its depth buffer left
    // in the pack's ledger: the depth buffer is the display's, the triangles
    // the scene's.
    LoadLedger full(64 << 10);
    full.takeBlocks();
    std::vector<uint16_t> twice(size_t(4 * w * h));
    ASSERT_TRUE(view->bindPixels(2 * w, 2 * h, w * 4, twice.data(), nullptr));
    EXPECT_EQ(view->m_graphics.table<IkwGraphics3DTable>().renderWorld(view->m_graphics.get(), world.get()), 0);
    view->releaseTarget();
    EXPECT_EQ(twice[size_t(h * 2 * w + w)], rgb565(LevelSceneLook::CentreColour));
}

} // namespace
