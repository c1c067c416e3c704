#include "game/level/GameWorld.h"

#include <gtest/gtest.h>

#include "engine/core/interface/InterfaceIds.h"
#include "engine/core/interface/MethodTables.h"
#include "framework/files/testing/MemoryFileSystem.h"
#include "game/level/Hud.h"
#include "game/level/Level.h"
#include "game/level/LevelObjects.h"
#include "game/level/MenuEngine.h"
#include "game/level/SceneDirector.h"
#include "game/shell/AnimTable.h"
#include "game/shell/EngineService.h"
#include "game/shell/SaveFiles.h"
#include "gfx2d/display/testing/TestScreen.h"
#include "tests/support/TestApp.h"

namespace {

class WorldClock : public ::testing::Test {
protected:
    WorldClock()
    {
        int32_t error = LevelError::None;
        // No pack here: the level runs without a scene.
        m_world.m_level = new Level(&m_world, error);
        m_world.m_levelIndex = 3;
        m_world.m_menu->close();
    }

    // The world's parts reach the engine as they are made.
    struct Engine {
        Engine() { installEngineServices(); }
    } m_engine;
    TestApp m_app;
    GameWorld m_world;
};

TEST_F(WorldClock, StepsAreCappedAndTimeUnderAMenuIsDropped)
{
    const struct {
        const char* what;
        int32_t elapsed;
        int frames;
        bool menuOpen;
        int32_t clock;
        int32_t lastClock;
    } steps[] = {
        {"a long stall moves the level 200 ms", 5000, 1, false, 200, 0},
        {"normal play", 30, 2, false, 260, 230},
        {"three seconds under a menu", 200, 15, true, 3260, 230},
        // The first frame after: back to the level time base, then on.
        {"the menu closed", 30, 1, false, 260, 230},
        {"a negative step counts as none", -40, 1, false, 260, 260},
    };
    for (const auto& s : steps) {
        if (s.menuOpen)
            m_world.m_menu->setState(0x21ff0100, 0, 0);
        else
            m_world.m_menu->close();
        for (int i = 0; i < s.frames; ++i)
            m_world.update(s.elapsed);
        EXPECT_EQ(m_world.m_clock, s.clock) << s.what;
        EXPECT_EQ(m_world.m_lastClock, s.lastClock) << s.what;
    }

    const struct {
        int32_t clock;
        uint8_t blink;
    } blinks[] = {{0, 0}, {150, 0}, {151, 1}, {299, 1}, {300, 0}, {451, 1}, {-151, 0}};
    for (const auto& b : blinks) {
        m_world.m_clock = m_world.m_lastClock = b.clock;
        m_world.update(0);
        EXPECT_EQ(m_world.m_hud->m_blink, b.blink) << b.clock;
    }
    m_world.m_clock = 360;
    m_world.update(0);
    EXPECT_NEAR(m_world.m_hud->m_pulse, -1.0f, 1e-6f);
}

// Without a level the first menu table follows the world clock, so the
// menu scene's clips run.
TEST_F(WorldClock, TheFirstMenuTableRunsWhenNoLevelDoes)
{
    delete m_world.m_level;
    m_world.m_level = nullptr;
    AnimTable* table = m_world.m_menuClips[0];
    ASSERT_NE(table, nullptr);
    m_world.m_clock = 100;
    m_world.update(30);
    EXPECT_EQ(m_world.m_clock, 130);
    EXPECT_EQ(table->m_worldTime, 130);
    EXPECT_EQ(table->m_timeStep, 30);
}

// Level time stands while the player holds a target or its first state
// flag in levels 0 to 8, never in the hideout or level ten, always under a
// menu; a shown ground halves the step and a spinning camera cuts it to a
// thirtieth, to at least 1 ms.
TEST_F(WorldClock, FrozenTimeAndTheGroundsSlowMotion)
{
    m_world.m_level->m_player = new Player(nullptr, &m_world);
    Player* player = m_world.m_level->m_player;
    const struct {
        int32_t level;
        uint8_t stateFlag;
        bool target;
        bool menuOpen;
        bool frozen;
    } frozen[] = {
        {3, 0, false, false, false}, {3, 1, false, false, true},  {8, 0, true, false, true},
        {9, 1, true, false, false},  {10, 1, true, false, false}, {9, 0, false, true, true},
    };
    m_world.m_clock = 700;
    m_world.m_lastClock = 600;
    for (const auto& f : frozen) {
        m_world.m_levelIndex = f.level;
        player->m_stateFlag = f.stateFlag;
        player->m_heldTarget = f.target ? createEngineObject(kIidGroup) : EngineRef();
        if (f.menuOpen)
            m_world.m_menu->setState(0x21ff0100, 0, 0);
        else
            m_world.m_menu->close();
        EXPECT_EQ(m_world.isTimeFrozen(), f.frozen) << f.level << " " << int(f.stateFlag) << " " << f.target;
        EXPECT_EQ(m_world.getLevelTime(), f.frozen ? 600 : 700) << f.level;
    }
    player->m_heldTarget.reset();
    player->m_stateFlag = 0;
    m_world.m_levelIndex = 3;
    m_world.m_menu->close();

    LevelObject* ground = new LevelObject(nullptr, &m_world);
    ground->m_node = createEngineObject(kIidGroup);
    m_world.m_level->m_ground = ground;
    LevelCamera* camera = m_world.m_level->m_camera = new LevelCamera(&m_world);
    const struct {
        bool shown;
        bool spinning;
        int32_t elapsed;
        int32_t advance;
        int32_t start;
    } steps[] = {{false, false, 30, 30, 1000}, {true, false, 30, 15, 1000}, {true, false, 3, 1, 1000},
                 {true, false, 1, 1, 1000}, {true, false, 0, 1, 1000}, {true, false, 900, 100, 1000},
                 {false, true, 20, 1, 1000}, {false, true, 900, 6, 1000}, {true, true, 90, 3, 1000},
                 // The clock wraps after 2^31 ms, as the device's did.
                 {false, false, 30, 30, INT32_MAX - 10}, {false, false, 30, 30, INT32_MIN + 20}};
    for (const auto& s : steps) {
        ground->m_node.table<IkwNodeTable>().setRenderingEnable(ground->m_node.get(), s.shown ? 1 : 0);
        camera->m_spinning = s.spinning ? 1 : 0;
        m_world.m_clock = s.start;
        m_world.m_lastClock = int32_t(uint32_t(s.start) - 100);
        m_world.update(s.elapsed);
        EXPECT_EQ(m_world.m_clock, int32_t(uint32_t(s.start) + uint32_t(s.advance))) << s.shown << s.spinning << s.elapsed;
    }
}

TEST_F(WorldClock, LevelEndsLeadToTheHideoutOrTheMenu)
{
    const struct {
        int32_t level;
        int32_t next;
        int32_t levelAfter;
        int32_t nextAfter;
        int32_t loadStep;
        uint32_t screen;
    } cases[] = {
        {3, -1, LevelIndex::Hideout, 3, 0, 0},
        {LevelIndex::Special, -1, kNoLevel, -1, -1, ScreenId::SpecialDone},
        {LevelIndex::Special, 4, LevelIndex::Hideout, 4, 0, 0},
        {LevelIndex::Hideout, 6, 6, 6, 0, ScreenId::Loading},
    };
    for (const auto& c : cases) {
        m_world.m_menu->close();
        m_world.m_menu->m_background.m_startClock = 7;
        m_world.m_levelIndex = c.level;
        m_world.m_nextLevel = c.next;
        m_world.m_loadStep = -1;
        EXPECT_EQ(m_world.checkLevelEnd(), 0);
        m_world.m_levelEndRequested = 1;
        EXPECT_EQ(m_world.checkLevelEnd(), 1);
        EXPECT_EQ(m_world.m_levelEndRequested, 0);
        EXPECT_EQ(m_world.m_level, nullptr);
        EXPECT_EQ(m_world.m_levelIndex, c.levelAfter) << c.level;
        EXPECT_EQ(m_world.m_nextLevel, c.nextAfter) << c.level;
        EXPECT_EQ(m_world.m_loadStep, c.loadStep) << c.level;
        EXPECT_EQ(m_world.m_menu->isOpen() ? m_world.m_menu->getScreenNameId() : 0u, c.screen) << c.level;
        EXPECT_EQ(m_world.m_inputSettings->m_speedMode, c.levelAfter == LevelIndex::Hideout ? 1 : 0) << c.level;
        // The menu's background starts over only when the menu takes over.
        EXPECT_EQ(m_world.m_menu->m_background.m_startClock, c.screen == ScreenId::SpecialDone ? -1 : 7) << c.level;
    }
    // Without a load running the load step reports 100 and changes nothing.
    m_world.m_loadStep = -1;
    EXPECT_EQ(m_world.loadStep(), 100);
    EXPECT_EQ(m_world.m_loadStep, -1);
}

TEST_F(WorldClock, StylusPressesBecomeKeysByScreenArea)
{
    TestScreen screen;
    screen.init();
    MemorySurface frame;
    ASSERT_TRUE(makeTarget(frame, 240, 320, PixelFormat::R5G6B5));
    m_world.m_level->m_player = new Player(nullptr, &m_world);
    const struct {
        int32_t x, y;
        int32_t level;
        int32_t singleAction;
        bool menuOpen;
        int32_t levelKey; // -1: none reached the level
        int32_t menuKey;
        int32_t released; // the key the release sends the level
    } cases[] = {
        {10, 301, 3, 0, false, 22, -1, -1},  // soft-key strip, left quarter
        {230, 301, 3, 0, false, 23, -1, -1},
        {10, 301, 3, 0, true, -1, 22, -1},   // the soft keys reach an open menu
        {120, 301, 3, 0, false, 21, -1, 21}, // the strip's middle falls through
        {10, 300, 3, 0, false, 19, -1, 19},  // one pixel above the strip
        {80, 100, 3, 0, false, 19, -1, 19},  // w/3 is the left third
        {160, 100, 3, 0, false, 21, -1, 21}, // 2w/3 the middle
        {161, 100, 3, 0, false, 20, -1, 20},
        {200, 100, 3, 1, false, 21, -1, 21}, // single action: every tap acts
        {200, 100, 9, 1, false, 20, -1, 20}, // but not in the hideout
        {10, 301, 10, 0, false, 21, -1, -1}, // level ten: always select, never released
        {10, 301, 10, 0, true, -1, 21, -1},
        {100, 100, 3, 0, true, -1, 21, -1},  // taps go to the open menu, which takes them as select
    };
    for (const auto& c : cases) {
        m_world.m_levelIndex = c.level;
        m_world.m_level->m_player->m_singleAction = c.singleAction;
        if (c.menuOpen)
            m_world.m_menu->setState(0x21ff0100, 0, 0);
        else
            m_world.m_menu->close();
        m_world.m_level->m_lastPressed = m_world.m_level->m_lastReleased = m_world.m_menu->m_lastKey = -1;
        m_world.onPointerPressed(c.x, c.y);
        EXPECT_EQ(m_world.m_level->m_lastPressed, c.levelKey) << c.x << "," << c.y << " level " << c.level;
        EXPECT_EQ(m_world.m_menu->m_lastKey, c.menuKey) << c.x << "," << c.y << " level " << c.level;
        m_world.onPointerReleased();
        EXPECT_EQ(m_world.m_level->m_lastReleased, c.released) << c.x << "," << c.y << " level " << c.level;
        EXPECT_EQ(m_world.m_stylusKey, -1);
    }
    // Once laid out, the arrow buttons answer even under an open menu.
    m_world.m_levelIndex = 3;
    m_world.m_hud->drawTopLayer(m_world.m_leftButton, m_world.m_rightButton);
    m_world.m_menu->setState(0x21ff0100, 0, 0);
    m_world.onPointerPressed(20, 260);
    EXPECT_EQ(m_world.m_level->m_lastPressed, 19);
    m_world.onPointerPressed(239, 299);
    EXPECT_EQ(m_world.m_level->m_lastPressed, 20);
}

// A level's end as the world runs it: the finish event, then the end the
// level asks for; the record and the saved game take what the run earned.
TEST(LevelRecords, TheLevelEndCountsCompletionsKeepsBestTimesAndOpensTheNextLevel)
{
    installEngineServices();
    TestApp app;
    auto* files = new MemoryFileSystem();
    app.m_fileSystem = files;
    const struct {
        const char* what;
        int32_t level;
        bool finished;
        int32_t time, money, completions, bestTime;
        int32_t completionsAfter, bestAfter;
        bool nextOpens;
    } cases[] = {
        {"in time", 2, true, 170000, 0, 0, 0, 1, 170000, true},
        {"late without all money", 2, true, 180001, 9000, 0, 0, 0, 180001, false},
        {"late with all money", 2, true, 200000, 10200, 0, 0, 1, 200000, true},
        {"slower than the best", 2, true, 175000, 0, 1, 160000, 2, 160000, true},
        {"ended without the finish", 2, false, 100000, 0, 0, 0, 0, 0, false},
        {"the last level opens none", 8, true, 100000, 0, 0, 0, 1, 100000, false},
    };
    for (const auto& c : cases) {
        files->files.clear();
        GameWorld world;
        int32_t error = LevelError::None;
        world.m_level = new Level(&world, error);
        world.m_level->m_player = new Player(nullptr, &world);
        world.m_levelIndex = c.level;
        world.m_menu->close();
        LevelRecord& r = world.m_progress->m_levels[c.level];
        r.money = c.money;
        r.completions = c.completions;
        r.bestTime = c.bestTime;
        world.m_clock = world.m_lastClock = c.time;
        if (c.finished)
            world.m_progress->checkLevelFinish(true);
        world.m_levelEndRequested = 1;
        world.update(30);

        EXPECT_EQ(world.m_levelIndex, LevelIndex::Hideout) << c.what;
        EXPECT_EQ(world.m_nextLevel, c.level) << c.what;
        EXPECT_EQ(r.completions, c.completionsAfter) << c.what;
        EXPECT_EQ(r.completed, c.completionsAfter > 0 ? 1 : 0) << c.what;
        EXPECT_EQ(r.bestTime, c.bestAfter) << c.what;
        EXPECT_EQ(world.m_progress->m_levels[c.level + 1].unlocked, c.nextOpens ? 1 : 0) << c.what;
        // What the saved game holds: the level's words start at 2 + 216 L.
        const auto& saved = files->files[u"/data/savegame.dat"];
        ASSERT_EQ(saved.size(), SaveFileLayout::SaveGameSize) << c.what;
        const auto word = [&](uint32_t w) { return int32_t(loadLe32(saved.data() + 8 + 4 * w)); };
        const uint32_t level = 2 + 216 * uint32_t(c.level);
        EXPECT_EQ(word(level + 4), c.finished ? c.completionsAfter : 0) << c.what;
        EXPECT_EQ(word(level + 5), c.finished ? c.bestAfter : 0) << c.what;
        EXPECT_EQ(word(level + 216), c.nextOpens ? 1 : 0) << c.what;

        // Back from the hideout into the level: a fresh attempt, the old
        // record kept aside, the level no longer new.
        r.newlyUnlocked = 1;
        world.m_levelIndex = LevelIndex::Hideout;
        world.m_loadStep = -1;
        world.m_levelEndRequested = 1;
        world.update(30);
        EXPECT_EQ(world.m_levelIndex, c.level) << c.what;
        EXPECT_EQ(world.m_progress->m_backupRecord.attemptTime, c.finished ? c.time : 0) << c.what;
        EXPECT_EQ(world.m_progress->m_backupRecord.newlyUnlocked, 1) << c.what;
        EXPECT_EQ(r.attemptTime, 0) << c.what;
        EXPECT_EQ(r.newlyUnlocked, 0) << c.what;
    }

    // The hideout's load ends at the director's start, the chase held off.
    GameWorld world;
    world.m_levelIndex = LevelIndex::Hideout;
    world.m_director->m_startClock = 1234;
    world.m_loadStep = 9;
    EXPECT_EQ(world.loadStep(), 100);
    EXPECT_EQ(world.m_clock, 1234);
    EXPECT_EQ(world.m_lastClock, 1234);
    EXPECT_EQ(world.m_progress->m_chaseGrace, 5000);

    // A completed level whose end the menu turned toward level ten.
    world.m_levelIndex = 3;
    world.m_progress->m_levels[3].completions = 1;
    world.m_menu->m_specialLevelRequest = 1;
    world.m_levelEndRequested = 1;
    world.update(30);
    EXPECT_EQ(world.m_levelIndex, LevelIndex::Special);
    EXPECT_EQ(world.m_nextLevel, 3);
    EXPECT_EQ(world.m_loadStep, 0);
    EXPECT_EQ(world.m_menu->m_specialLevelRequest, 0);
    EXPECT_EQ(world.m_menu->getScreenNameId(), ScreenId::Loading);
    app.m_fileSystem = nullptr;
    delete files;
}

} // namespace
