#include "game/level/Hud.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "engine/core/interface/InterfaceIds.h"
#include "game/level/GameWorld.h"
#include "game/level/Level.h"
#include "game/level/MenuEngine.h"
#include "game/shell/EngineService.h"
#include "game/shell/Graphics3DService.h"
#include "gfx2d/display/testing/TestScreen.h"
#include "tests/support/TestApp.h"
#include "tools/samplepack/LevelScene.h"

namespace {

constexpr uint16_t kUntouched = 0x1234;

uint16_t rgb565(uint32_t argb)
{
    return uint16_t(((argb >> 8) & 0xF800) | ((argb >> 5) & 0x07E0) | ((argb >> 3) & 0x001F));
}

class WorldView : public ::testing::Test {
protected:
    WorldView()
    {
        m_screen.init();
        EXPECT_TRUE(makeTarget(m_frame, 240, 320, PixelFormat::R5G6B5));
        int32_t error = LevelError::None;
        m_world.m_level = new Level(&m_world, error);
        m_world.m_levelIndex = LevelIndex::Special;
        m_world.m_menu->close();
        const std::vector<uint8_t> file = sampleLevelScene();
        m_world.m_world = getEngineService()->loadBytes(file.data(), uint32_t(file.size())).as(kIidWorld);
    }

    std::vector<uint16_t> drawFrame()
    {
        uint8_t* p = nullptr;
        int32_t pitch = 0;
        EXPECT_EQ(m_frame.lock(&p, &pitch, 0, nullptr), 1);
        EXPECT_EQ(pitch, 480);
        for (size_t i = 0; i < 240 * 320; ++i)
            std::memcpy(p + 2 * i, &kUntouched, 2);
        m_frame.unlock();
        m_world.draw();
        EXPECT_FALSE(m_frame.isLocked());
        m_frame.lock(&p, &pitch, 0, nullptr);
        std::vector<uint16_t> pixels(240 * 320);
        std::memcpy(pixels.data(), p, pixels.size() * 2);
        m_frame.unlock();
        return pixels;
    }

    struct Engine {
        Engine() { installEngineServices(); }
    } m_engine;
    TestApp m_app;
    TestScreen m_screen;
    MemorySurface m_frame;
    GameWorld m_world;
};

TEST_F(WorldView, TheWorldIsDrawnInsideTheCameraViewportOfTheFrame)
{
    ASSERT_TRUE(m_world.m_world);
    const uint16_t background = rgb565(LevelSceneLook::Background);
    const uint16_t centre = rgb565(LevelSceneLook::CentreColour);
    const struct {
        const char* what;
        bool fitCamera;
        int32_t clock;
        struct {
            int32_t x, y;
            uint16_t colour;
        } points[5];
    } cases[] = {
        {"the scene's 4:3 camera",
         false,
         0,
         {{120, 69, kUntouched}, {120, 250, kUntouched}, {0, 70, background}, {239, 249, background}, {120, 160, centre}}},
        {"fitted to the screen, later",
         true,
         2500,
         {{120, 0, background}, {0, 319, background}, {239, 70, background}, {120, 160, centre}, {60, 160, background}}},
    };
    for (const auto& c : cases) {
        if (c.fitCamera) {
            int32_t error = LevelError::None;
            m_world.m_level->createCamera(error);
            EXPECT_EQ(error, LevelError::None);
        }
        m_world.m_level->update(c.clock, 0);
        const std::vector<uint16_t> pixels = drawFrame();
        for (const auto& p : c.points)
            EXPECT_EQ(pixels[size_t(p.y * 240 + p.x)], p.colour) << c.what << " at " << p.x << "," << p.y;
    }
    // The buttons were laid out above the soft-key strip.
    EXPECT_EQ(m_world.m_leftButton.y, 320 - 20 - 48);
    EXPECT_EQ(m_world.m_rightButton.x, 240 - 48);

    // A frame surface the renderer cannot write is skipped, left unlocked.
    MemorySurface wide;
    ASSERT_TRUE(makeTarget(wide, 240, 320, PixelFormat::X8R8G8B8));
    EXPECT_FALSE(getGraphics3DService()->bindTarget(&wide, nullptr));
    EXPECT_FALSE(wide.isLocked());
}

} // namespace
