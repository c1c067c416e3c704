// The scripted scenes through the real program on the sample pack, and on
// the same pack without the scenes, models and clips they load: level ten's
// cast, music and end, the arrest, lock and level-map screens as the player
// sees them frame by frame until each ends, and the hideout's wall of locks.
#include "game/level/SceneDirector.h"

#include <SDL2/SDL.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "engine/core/interface/InterfaceIds.h"
#include "game/level/GameLaunchPage.h"
#include "game/level/GameRunFixture.h"
#include "game/level/GameUtils.h"
#include "game/level/GameWorld.h"
#include "game/level/InGameMode.h"
#include "game/level/Level.h"
#include "game/level/MenuEngine.h"
#include "game/level/testing/LentDirector.h"
#include "game/shell/AnimCopy.h"
#include "game/shell/AnimTable.h"
#include "game/shell/EngineService.h"
#include "game/shell/FlowManager.h"
#include "game/shell/GameApp.h"
#include "gfx2d/image/PixelFormat.h"
#include "platform/host/HostDirectDraw.h"
#include "platform/host/HostTestDriver.h"
#include "platform/wince/SoundDevice.h"
#include "platform/wince/WinMain.h"
#include "tools/pack/ResourceManifest.h"

namespace {

namespace R = DirectorResource;
constexpr uint32_t kHideoutScene = 0x03000A09;

GameMode* makeLaunch() { return new GameLaunchPage(); }

class ScenesRun : public LaunchRunFixture {
protected:
    ScenesRun() : LaunchRunFixture(makeLaunch) {}
};

GameWorld* runningWorld()
{
    GameApp* game = getGame();
    FlowManager* flow = game ? game->flowManager() : nullptr;
    auto* launch = flow ? dynamic_cast<GameLaunchPage*>(flow->activeMode()) : nullptr;
    return launch && launch->inGame() ? launch->inGame()->world() : nullptr;
}

// The sample pack as the build made it, less the entries of the ids.
std::vector<uint8_t> samplePackWithout(const std::set<uint32_t>& ids)
{
    const std::string folder = std::string(std::getenv("PF_BUILD_DIR")) + "/tools/samplepack/content";
    std::ifstream in(folder + "/pennyfall.manifest");
    std::string text, line;
    while (std::getline(in, line))
        if (line.rfind("0x", 0) != 0 || !ids.count(uint32_t(std::stoul(line, nullptr, 16))))
            text += line + "\n";
    PackManifest manifest;
    std::string error;
    std::vector<uint8_t> bytes;
    EXPECT_TRUE(parseResourceManifest(text, folder, manifest, error)) << error;
    EXPECT_TRUE(manifest.writer.build(manifest.form, bytes));
    return bytes;
}

// FNV-1a over the pixels: frames are compared by it.
uint64_t frameHash(const std::vector<uint32_t>& pixels)
{
    uint64_t h = 0xcbf29ce484222325u;
    for (uint32_t p : pixels)
        h = (h ^ p) * 0x100000001b3u;
    return h;
}

// One menu scene as the player saw it: each frame's hash by its time after
// the director's mark, and when the screen closed (-1: still open).
struct SceneRun {
    std::vector<std::pair<int32_t, uint64_t>> frames;
    int32_t closedAt = -1;
    // Frames whose bottom corner shows the scene's background colour.
    size_t backdropFrames = 0;

    // Different pictures shown from `from` up to `to` ms.
    size_t pictures(int32_t from, int32_t to) const
    {
        std::set<uint64_t> seen;
        for (const auto& [ms, hash] : frames)
            if (ms >= from && ms < to)
                seen.insert(hash);
        return seen.size();
    }
};

// The scene's clear colour; opaque black for none.
uint32_t background(const EngineRef& scene)
{
    EngineRef back;
    uint32_t argb = 0xFF000000u;
    if (scene && scene.table<IkwWorldTable>().getBackground(scene.get(), back.out()) == 0 && back)
        back.table<IkwBackgroundTable>().getColor(back.get(), &argb);
    return argb;
}

// What level ten showed of its cast.
struct CastSeen {
    bool thievesInTable = false;
    bool modelsUnderDummies = false;
    bool idleBreathing = false;
    bool music = false;
    bool companionAtEnd = false;
    int32_t walkClip = -2;
};

bool holdsMesh(GameWorld* world, const char* dummy, const char* mesh)
{
    const EngineRef node = world->m_utils->findNode(dummy);
    return node && findObject(node, uint32_t(GameUtils::nameHash(mesh)), kIidMesh);
}

// The heights of the wall's locks, lowest first.
std::vector<float> lockHeights(const EngineRef& wall)
{
    std::vector<float> heights;
    uint32_t count = 0;
    if (wall)
        wall.table<IkwGroupTable>().getChildCount(wall.get(), &count);
    for (uint32_t i = 0; i < count; ++i) {
        EngineRef lock;
        float at[3] = {};
        if (wall.table<IkwGroupTable>().getChild(wall.get(), i, lock.out()) == 0 && lock)
            lock.table<IkwTransformableTable>().getTranslation(lock.get(), at);
        heights.push_back(at[1]);
    }
    std::sort(heights.begin(), heights.end());
    return heights;
}

bool inTable(const Level* level, const LevelObject* object)
{
    for (int32_t i = 0; object && i < level->m_objects.firstFree(); ++i)
        if (level->m_objects.at(i) == object)
            return true;
    return false;
}

TEST_F(ScenesRun, LevelTenAndTheMenuScenesPlayFromThePackAndAreSkippedWithoutIt)
{
    constexpr uint32_t kScreens[] = {MenuScreen::Arrest, MenuScreen::LockScene, MenuScreen::LevelMap};
    constexpr uint32_t kSlots[] = {DirectorSlot::Arrest, DirectorSlot::Lock, DirectorSlot::LevelMap};
    // The level map stays until the player leaves it; the test leaves here.
    constexpr int32_t kMapWatchMs = 2500;
    constexpr int32_t kLevelFrames = 12;
    constexpr int32_t kOpenLevels = 3;
    // The platform's timer: a frame's step on the test's clock.
    constexpr int32_t kFrameMs = 30;
    for (const bool stripped : {false, true}) {
        SCOPED_TRACE(stripped ? "without the scenes" : "sample pack");
        if (stripped) {
            reinstall();
            launchAtOnce();
            const std::vector<uint8_t> pack =
                samplePackWithout({R::ArrestScene, R::PolicemanModel, R::PolicemanClips, R::LockScene, R::LevelMapScene,
                                   R::ThiefClips, R::ThiefClips2, R::GirlModel, R::BoyModel});
            ASSERT_FALSE(pack.empty());
            std::ofstream(m_folder + "/pennyfall.big", std::ios::binary)
                .write(reinterpret_cast<const char*>(pack.data()), std::streamsize(pack.size()));
        }
        // Until the world makes its own, the test lends it a director and a
        // progress before level ten places its cast.
        LentDirector lent;
        CastSeen cast;
        SceneRun scenes[3];
        std::vector<float> wallLeft, wallBuilt;
        int levelFrames = 0;
        size_t screen = 0;
        bool done = false;
        uint32_t lastTick = 0;
        hostTestSetPumpHook([&] {
            const uint32_t tick = hostTestTimerMessageCount();
            GameWorld* world = runningWorld();
            if (tick == lastTick || !world || done)
                return;
            lastTick = tick;
            // The progress takes the sound switch as it finds it.
            if (SoundService* sound = world->m_progress ? nullptr : getSound())
                sound->setSoundEnabled(1);
            lent.lendTo(*world);
            SceneDirector* d = world->m_director;
            if (world->isLoading() || !world->m_level)
                return;
            if (world->m_levelIndex == LevelIndex::Hideout) {
                wallLeft = lockHeights(world->m_utils->findNode("locks"));
                wallBuilt = lockHeights(findObject(getEngineService()->loadObject(kHideoutScene),
                                                   uint32_t(GameUtils::transformId("locks")), kIidGroup));
                lent.takeBack(*world);
                hostTestPushKey(SDL_SCANCODE_F4, true);
                done = true;
                return;
            }
            if (levelFrames < kLevelFrames) {
                if (++levelFrames < kLevelFrames)
                    return;
                const AnimTable* clips = world->m_levelClips;
                cast.thievesInTable = inTable(world->m_level, d->m_mainThief) && inTable(world->m_level, d->m_companion);
                cast.modelsUnderDummies = holdsMesh(world, "DummyBOY", "boy") && holdsMesh(world, "DummyGIRL", "girl_thief");
                // Far from the car, standing and carrying nothing: both breathe.
                cast.idleBreathing = clips && clips->getState(d->m_specialClips[2]) == ClipState::Looping &&
                                     clips->getState(d->m_specialClips[3]) == ClipState::Looping;
                cast.music = world->m_progress->isCuePlaying(DirectorCue::LevelTenMusic);
                cast.walkClip = d->m_specialClips[0];
                // The level's end: the companion joins at "girl_root".
                d->setupLevelEnd(world->m_utils->findNode("final_cam").get());
                cast.companionAtEnd = holdsMesh(world, "girl_root", "girl_thief");
                world->m_menu->setState(kScreens[0], 0, 0);
                return;
            }
            SceneRun& run = scenes[screen];
            const int32_t ms = world->getClock() - d->m_mark;
            if (world->menuOpen() && d->m_mark != -1) {
                const HostFrame& frame = hostLastFrame();
                run.frames.push_back({ms, frameHash(frame.pixels)});
                const uint32_t clear = background(world->m_sceneSlots[kSlots[screen]]);
                run.backdropFrames += frame.at(2, frame.height - 3) == rgb565(clear >> 16 & 0xFF, clear >> 8 & 0xFF, clear & 0xFF);
            }
            const bool watched = kScreens[screen] == MenuScreen::LevelMap && ms >= kMapWatchMs;
            if (world->menuOpen() && !watched)
                return;
            if (!world->menuOpen())
                run.closedAt = ms;
            if (++screen < std::size(kScreens)) {
                world->m_menu->setState(kScreens[screen], 0, 0);
                return;
            }
            // Then the hideout, with the first levels open.
            world->m_menu->close();
            for (int32_t k = 0; k < kOpenLevels; ++k)
                world->m_progress->record(k)->unlocked = 1;
            world->m_levelIndex = LevelIndex::Hideout;
            world->m_loadStep = 0;
        });
        hostTestCloseAfterTicks(1000);
        EXPECT_EQ(WinMain(nullptr, nullptr, nullptr, 0), 0);
        ASSERT_TRUE(done);

        // Level ten: the thieves are the level's objects, the music plays;
        // from the pack their models stand at their places and breathe.
        EXPECT_TRUE(cast.thievesInTable);
        EXPECT_TRUE(cast.music);
        EXPECT_EQ(cast.modelsUnderDummies, !stripped);
        EXPECT_EQ(cast.idleBreathing, !stripped);
        EXPECT_EQ(cast.walkClip >= 0, !stripped);
        EXPECT_EQ(cast.companionAtEnd, !stripped);

        // The hideout's wall keeps its lowest locks: the highest went for
        // the open levels, one each.
        ASSERT_EQ(wallBuilt.size(), 9u);
        EXPECT_EQ(wallLeft, std::vector<float>(wallBuilt.begin(), wallBuilt.end() - kOpenLevels));

        const SceneRun& arrest = scenes[0];
        const SceneRun& lock = scenes[1];
        const SceneRun& map = scenes[2];
        EXPECT_EQ(map.closedAt, -1) << "the level map waits for the player";
        if (stripped) {
            // Each script is skipped at its first frame; the map shows its
            // text alone, frame after frame.
            for (const SceneRun* skipped : {&arrest, &lock}) {
                EXPECT_NE(skipped->closedAt, -1);
                EXPECT_TRUE(skipped->frames.empty()) << "closed at its first frame";
            }
            EXPECT_EQ(map.pictures(0, kMapWatchMs), 1u);
            EXPECT_EQ(map.backdropFrames, map.frames.size()) << "black behind the text";
            EXPECT_GT(map.frames.size(), size_t(kMapWatchMs / 60));
            continue;
        }
        // The arrest: hidden for a second, then the policeman walks in, the
        // picture holds from 3666 ms and the menu moves on at 4666 ms.
        EXPECT_GE(arrest.closedAt, 4666);
        EXPECT_LT(arrest.closedAt, 4666 + kFrameMs);
        EXPECT_EQ(arrest.pictures(0, 1000), 1u);
        EXPECT_GT(arrest.pictures(1000, 3666), 10u);
        EXPECT_EQ(arrest.pictures(3700, 4666), 1u);
        // Each scene fills the screen behind the menu's text, the arrest's
        // also while its cast is hidden.
        for (const SceneRun* run : {&arrest, &lock, &map})
            EXPECT_EQ(run->backdropFrames, run->frames.size());
        // The lock comes off over its 1500 ms clip and the screen closes.
        EXPECT_GE(lock.closedAt, 1500);
        EXPECT_LT(lock.closedAt, 1500 + kFrameMs);
        EXPECT_GT(lock.pictures(0, 1500), 10u);
        // The map's lock opens, then turns.
        EXPECT_GT(map.pictures(0, kMapWatchMs), 10u);
    }
}

} // namespace
