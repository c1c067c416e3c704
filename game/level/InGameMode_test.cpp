// A headless game run: the sample pack, the platform's WinMain on a virtual
// clock, keys and taps fed through SDL, and the launch page as the main menu.
#include "game/level/InGameMode.h"

#include <SDL2/SDL.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <new>
#include <string>
#include <unistd.h>
#include <vector>

#include "engine/core/interface/InterfaceIds.h"
#include "framework/resources/ResourceManager.h"
#include "framework/resources/TypedResources.h"
#include "framework/streams/MemoryInputStream.h"
#include "game/level/GameLaunchPage.h"
#include "game/level/GameRunFixture.h"
#include "game/level/GameWorld.h"
#include "game/level/Level.h"
#include "game/level/MenuBackground.h"
#include "game/level/MenuEngine.h"
#include "game/shell/EngineService.h"
#include "game/shell/FlowManager.h"
#include "game/shell/GameApp.h"
#include "game/shell/ShellText.h"
#include "gfx2d/display/ScreenContext.h"
#include "gfx2d/display/Surface.h"
#include "platform/host/HostInstance.h"
#include "platform/host/HostRegistry.h"
#include "platform/host/HostTestDriver.h"
#include "platform/wince/GameHooks.h"
#include "platform/wince/PlatformServices.h"
#include "platform/wince/WinMain.h"
#include "tests/support/BuildFixture.h"
#include "tests/support/TestApp.h"
#include "tools/m3g/M3gFileWriter.h"
#include "tools/m3g/M3gImageEncoders.h"
#include "tools/samplepack/LevelScene.h"

namespace {

// Load steps still to run, seen after each world update.
std::vector<int32_t> g_loadSteps;
GameLaunchPage* g_launch = nullptr;

// The launch page, watched: it notes the load step after each update.
class WatchedLaunchPage : public GameLaunchPage {
public:
    WatchedLaunchPage() { g_launch = this; }
    ~WatchedLaunchPage() override { g_launch = nullptr; }
    int update(uint32_t ms) override
    {
        const int result = GameLaunchPage::update(ms);
        GameWorld* world = inGame() ? inGame()->world() : nullptr;
        if (world && (world->isLoading() || !g_loadSteps.empty()) && (g_loadSteps.empty() || g_loadSteps.back() != -1))
            g_loadSteps.push_back(world->m_loadStep);
        return result;
    }
};

GameMode* makeLaunch() { return new WatchedLaunchPage(); }

// The engine's objects count against the pack while they live, up to its
// budget; a scene's bytes and an outfit's colours are let go once taken.
void checkPackHoldsWhatTheEngineMakes(GameWorld* world)
{
    const LoadLedger& ledger = getResourceManager()->ledger();
    const uint32_t scene = levelSceneResource(world->m_levelIndex);
    const uint64_t before = ledger.held();
    {
        const EngineRef loaded = getEngineService()->loadObject(scene);
        EXPECT_GT(ledger.held(), before);
        EXPECT_EQ(getResourceManager()->held(scene), nullptr);
    }
    EXPECT_EQ(ledger.held(), before);
    // Colours and a text (cut at 65,535 characters) from resources held by another.
    const std::u16string units(kMaxPackTextLength + 5, u'a');
    MemoryInputStream stream;
    stream.open(units.data(), uint32_t(units.size() * 2));
    auto* data = new DataResource();
    ASSERT_EQ(data->createAndRegister(0x40000123, &stream, ResourceType::Data), ResourceResult::Loaded);
    stream.open(units.data(), uint32_t(units.size() * 2));
    auto* text = new TextResource();
    ASSERT_EQ(text->createAndRegister(0x40000124, &stream, ResourceType::Utf16Text), ResourceResult::Loaded);
    std::vector<uint16_t> colours(256);
    EXPECT_EQ(loadPaletteRgb565(colours.data(), 0x40000123, 0, true), 64);
    WideString copy(u"kept");
    loadTextResource(copy, 0x40000124);
    EXPECT_EQ(copy.length(), 4 + kMaxPackTextLength);
    EXPECT_EQ(data->refCount() + text->refCount(), 2u);
    const uint32_t registered[] = {0x40000123, 0x40000124, 0};
    getResourceManager()->releaseIds(registered);

    M3gImage2DFields picture{{}, 100, true, 4096, 4096, {}, {}};  // mutable RGBA
    M3gFileWriter writer;
    writer.addObject(m3gImage2DRecord(picture));
    const std::vector<uint8_t> file = writer.finish();
    std::vector<EngineRef> pictures;
    for (int i = 0; i < 3; ++i)
        if (EngineRef made = getEngineService()->loadBytes(file.data(), uint32_t(file.size())))
            pictures.push_back(std::move(made));
    EXPECT_EQ(pictures.size(), 2u) << "three take 144 MiB";
    pictures.clear();
    EXPECT_LT(ledger.held() - before, 256u) << "kept from the engine's first leave";
}

class GameRun : public LaunchRunFixture {
protected:
    GameRun() : LaunchRunFixture(makeLaunch) {}
    void SetUp() override
    {
        LaunchRunFixture::SetUp();
        g_loadSteps.clear();
    }
};

TEST_F(GameRun, SpecialLevelLoadsInTenTicksTakesKeysAndTapsAndReportsAMissingScene)
{
    // What the level had seen after each step of the script: keys held, the
    // last key pressed and released.
    struct Keys {
        uint32_t held;
        int32_t pressed;
        int32_t released;
        bool operator==(const Keys&) const = default;
    };
    std::vector<Keys> keys;
    std::vector<int32_t> percentages;
    // Frame pixels at the centre and two corners once the level runs.
    std::vector<uint16_t> frame;
    uint32_t frameWidth = 0, frameHeight = 0;
    uint32_t loadError[3] = {};
    std::vector<uint32_t> drawError;
    int phase = 0;
    uint32_t lastTick = 0;
    hostTestSetPumpHook([&] {
        const uint32_t tick = hostTestTimerMessageCount();
        GameWorld* world = g_launch && g_launch->inGame() ? g_launch->inGame()->world() : nullptr;
        if (tick == lastTick || !world)
            return;
        lastTick = tick;
        Level* level = world->m_level;
        if (phase > 0 && phase < 5 && level) {
            keys.push_back({level->m_keysHeld, level->m_lastPressed, level->m_lastReleased});
            level->m_lastPressed = level->m_lastReleased = -1;
        }
        switch (phase) {
        case 0:
            if (!level || world->isLoading())
                return;
            if (Surface* surface = getDisplay() ? getDisplay()->m_frameSurface : nullptr) {
                uint8_t* p = nullptr;
                int32_t pitch = 0;
                surface->getSize(&frameWidth, &frameHeight);
                if (surface->lock(&p, &pitch, 0, nullptr) && p && frameWidth > 8 && frameHeight > 8) {
                    for (const auto& [x, y] : {std::pair{frameWidth / 2, frameHeight / 2}, std::pair{4u, 4u},
                                               std::pair{frameWidth - 4, frameHeight / 4}})
                        frame.push_back(reinterpret_cast<const uint16_t*>(p + y * uint32_t(pitch))[x]);
                }
                surface->unlock();
            }
            hostTestPushKey(SDL_SCANCODE_UP, true);
            break;
        case 1:
            hostTestPushKey(SDL_SCANCODE_UP, false);
            break;
        case 2:
            hostTestPushKey(SDL_SCANCODE_5, true);
            hostTestPushKey(SDL_SCANCODE_5, false);
            break;
        case 3:
            hostTestPushMouseButton(true, 30, 40);
            hostTestPushMouseButton(false, 30, 40);
            break;
        case 4:
            checkPackHoldsWhatTheEngineMakes(world);
            // The same load run by hand, then one over a level without a scene.
            world->m_loadStep = 0;
            for (int i = 0; i < 10; ++i)
                percentages.push_back(world->loadStep());
            percentages.push_back(world->loadStep());
            world->m_levelIndex = 3;
            world->m_loadStep = 0;
            // Neither a missing resource nor one that is no 3D file loads.
            for (uint32_t id : {0x0300DEADu, 0x030001E4u})
                EXPECT_FALSE(getEngineService()->loadObject(id)) << std::hex << id;
            break;
        case 5:
            loadError[0] = world->m_menu->isOpen() ? world->m_menu->getScreenNameId() : 0;
            loadError[1] = uint32_t(world->m_menu->selection());
            loadError[2] = uint32_t(world->m_loadStep);
            EXPECT_EQ(world->m_level, nullptr);
            EXPECT_EQ(world->m_levelIndex, -1);
            world->m_levelIndex = LevelIndex::Special;
            world->m_loadStep = 0;
            break;
        case 6: {
            // A world the engine cannot draw (its camera taken elsewhere)
            // ends the level on the same screen.
            if (world->isLoading())
                return;
            const EngineRef elsewhere = createEngineObject(kIidCamera);
            tableOf<IkwWorldTable>(world->m_world.get()).setActiveCamera(world->m_world.get(), elsewhere.get());
            break;
        }
        case 7:
            // The frame after draws without its world; the update after that tells.
            if (world->m_level)
                return;
            drawError = {world->m_menu->isOpen() ? world->m_menu->getScreenNameId() : 0,
                         uint32_t(world->m_menu->selection()), world->m_level == nullptr};
            hostTestPushKey(SDL_SCANCODE_F4, true);
            break;
        default:
            return;
        }
        ++phase;
    });
    hostTestCloseAfterTicks(80);
    EXPECT_EQ(WinMain(nullptr, nullptr, nullptr, 0), 0);
    EXPECT_EQ(phase, 8);

    // The first update starts the load; ten updates later the level runs.
    const std::vector<int32_t> steps = {1, 2, 3, 4, 5, 6, 7, 8, 9, -1};
    EXPECT_EQ(g_loadSteps, steps);
    EXPECT_EQ(percentages, (std::vector<int32_t>{10, 20, 30, 40, 50, 60, 70, 80, 90, 100, 100}));
    const std::vector<Keys> expected = {
        {1u << 17, 17, -1},
        {0, -1, 17},
        // '5' is select through its own binding; its digit binding adds no key.
        {0, 21, 21},
        // In level ten every tap is select, and its release is not sent.
        {1u << 21, 21, -1},
    };
    EXPECT_EQ(keys, expected);
    // The level scene fills the screen: its camera was fitted to it.
    const auto rgb565 = [](uint32_t argb) {
        return uint16_t(((argb >> 8) & 0xF800) | ((argb >> 5) & 0x07E0) | ((argb >> 3) & 0x001F));
    };
    const uint16_t background = rgb565(LevelSceneLook::Background);
    EXPECT_EQ(frame, (std::vector<uint16_t>{rgb565(LevelSceneLook::CentreColour), background, background}))
        << frameWidth << "x" << frameHeight;
    EXPECT_EQ(loadError[0], ScreenId::LoadError);
    EXPECT_EQ(loadError[1], 0u);
    EXPECT_EQ(loadError[2], uint32_t(-1));
    EXPECT_EQ(drawError, (std::vector<uint32_t>{ScreenId::LoadError, uint32_t(LevelError::DrawFailed), 1}));
}

} // namespace

namespace {

// Every play action to the world key it presses or releases, with and
// without the digit mode, straight through the mode.
TEST(InGameKeys, ActionsBecomeWorldKeysByTheTable)
{
    installEngineServices();
    TestApp app;
    InGameMode mode;
    GameWorld* world = mode.world();
    ASSERT_NE(world, nullptr);
    int32_t error = LevelError::None;
    world->m_level = new Level(world, error);
    world->m_levelIndex = 3;
    world->m_menu->close();
    const struct {
        uint32_t id;
        bool digits;
        int32_t pressed; // -1: none
        int32_t released;
    } cases[] = {
        {0x20174fb7, false, 17, -1}, {0x172ebf3e, false, 18, -1}, {0x172e3434, false, 19, -1},
        {0x71fd83f5, false, 20, -1}, {0x172e9965, false, 21, -1}, {0x5f61a84a, false, 22, -1},
        {0x71ff1054, false, 23, -1}, {0x51938a16, false, -1, 17}, {0xb38b1e4f, false, -1, 18},
        {0xb38b9545, false, -1, 19}, {0x38a794f0, false, -1, 20}, {0xb38b3814, false, -1, 21},
        {0x117e0f7f, false, 1, -1},  {0x117e0f7e, false, 2, -1},  {0x117e0f7c, false, 4, -1},
        {0x117e0f78, false, 8, -1},  {0x117e0f76, false, 10, -1},
        // The pad's arrows: digits in digit mode, else moves.
        {0x117e0f7d, false, 17, -1}, {0x117e0f7d, true, 3, -1},   {0x117e0f7b, false, 19, -1},
        {0x117e0f7b, true, 5, -1},   {0x117e0f7a, false, -1, -1}, {0x117e0f7a, true, 6, -1},
        {0x117e0f79, false, 20, -1}, {0x117e0f79, true, 7, -1},   {0x117e0f77, false, 18, -1},
        {0x117e0f77, true, 9, -1},   {0x117e0f73, false, -1, 17}, {0x117e0f73, true, -1, 3},
        {0x117e0f71, false, -1, 19}, {0x117e0f71, true, -1, 5},   {0x117e0f70, false, -1, 21},
        {0x117e0f70, true, -1, 6},   {0x117e0f6f, false, -1, 20}, {0x117e0f6f, true, -1, 7},
        {0x117e0f6d, false, -1, 18}, {0x117e0f6d, true, -1, 9},
        // Back to the level's menu: the right soft key.
        {0xad174cef, false, 23, -1},
    };
    for (const auto& c : cases) {
        world->m_cheatsEnabled = c.digits ? 1 : 0;
        world->m_level->m_lastPressed = world->m_level->m_lastReleased = -1;
        EXPECT_EQ(mode.handleEvent(c.id, 0, 0), 1) << std::hex << c.id;
        EXPECT_EQ(world->m_level->m_lastPressed, c.pressed) << std::hex << c.id << " digits " << c.digits;
        EXPECT_EQ(world->m_level->m_lastReleased, c.released) << std::hex << c.id << " digits " << c.digits;
    }
    // The keys and the tap held when the input is let go of (a pause, the focus away) are released.
    world->m_level->m_player = new Player(nullptr, world);
    mode.handleEvent(PointerEventId::StylusDown, 0, 0);
    mode.handleEvent(InputEventId::InputWipe, 0, 0);
    EXPECT_EQ(world->m_stylusKey, -1);
    EXPECT_EQ(world->m_level->m_keysHeld, 0u);
    EXPECT_EQ(mode.handleEvent(0x0badf00d, 0, 0), 0);
    EXPECT_EQ(mode.handleEvent(0x0173eaf6, 0, 0), 1);
    EXPECT_EQ(world->m_quitRequested, 1);
}

} // namespace
