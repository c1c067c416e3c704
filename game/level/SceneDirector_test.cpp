// The director's scripts on scenes written here and packed with their
// sounds: the arrest's timeline frame by frame, the lock scene's end, the
// level map's lock, the thieves' clip choice, the hideout's locks, the level
// end with its hi-five, and every script with each resource missing.
#include "game/level/SceneDirector.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <memory>
#include <set>
#include <utility>
#include <vector>

#include "engine/core/interface/InterfaceIds.h"
#include "framework/files/testing/MemoryFileSystem.h"
#include "framework/resources/ResourceManager.h"
#include "framework/resources/ResourcePack.h"
#include "game/level/GameUtils.h"
#include "game/level/GameWorld.h"
#include "game/level/Level.h"
#include "game/level/MenuEngine.h"
#include "game/level/SceneAssets.h"
#include "game/level/testing/LentDirector.h"
#include "game/shell/AnimCopy.h"
#include "game/shell/AnimTable.h"
#include "game/shell/EngineService.h"
#include "game/shell/SaveFiles.h"
#include "game/shell/testing/FakeSound.h"
#include "tests/support/TestApp.h"
#include "tools/m3g/M3gAnimationEncoders.h"
#include "tools/m3g/M3gFileWriter.h"
#include "tools/m3g/M3gStateEncoders.h"
#include "tools/pack/HostFiles.h"
#include "tools/pack/PackWriter.h"
#include "tools/pack/ResourceWriters.h"

namespace {

namespace R = DirectorResource;
namespace Q = DirectorCue;

constexpr uint32_t kLevelTenScene = 0x03000A0A;
constexpr uint32_t kHideoutScene = 0x03000A09;
constexpr uint32_t kEndScreen = 0x21ff0120;

// A clip played by a node's track: its controller's id is nameHash(name),
// or 0 (the engine's own world-time playback) without a name. The track
// moves the node along x by a unit a second.
struct Clip {
    const char* name;
    int32_t length;
};

// A node of a test scene, found by its name's transform id.
struct Node {
    const char* name = nullptr;
    std::vector<Node> children = {};
    std::vector<Clip> clips = {};
    std::array<float, 3> at = {0, 0, 0};
    std::array<float, 4> turn = {0, 0, 0, 1}; // degrees, axis
    bool camera = false;
};

class SceneFile {
public:
    SceneFile() { m_w.beginSection(kM3gSchemeZlib); }

    Bytes group(const Node& root)
    {
        add(root);
        return m_w.finish();
    }
    // A World with root's children and clips, seen by a camera of its own.
    Bytes world(const Node& root)
    {
        M3gWorldFields w;
        w.group = fields(root);
        w.activeCamera = add(Node{.camera = true});
        w.group.children.push_back(w.activeCamera);
        m_w.addObject(m3gWorldRecord(w));
        return m_w.finish();
    }

private:
    M3gGroupFields fields(const Node& n)
    {
        M3gGroupFields g;
        for (const Node& child : n.children)
            g.children.push_back(add(child));
        M3gObject3DFields& object = g.node.transformable.object;
        object.userId = n.name ? GameUtils::transformId(n.name) : 0;
        for (const Clip& c : n.clips) {
            M3gKeyframeSequenceFields s;
            s.componentCount = 3;
            s.duration = uint32_t(c.length);
            s.validRangeLast = 1;
            s.keyframes = {{0, {0, 0, 0}}, {c.length, {float(c.length) / 1000.0f, 0, 0}}};
            M3gAnimationControllerFields controller;
            controller.object.userId = c.name ? GameUtils::nameHash(c.name) : 0;
            object.animationTracks.push_back(m_w.addObject(m3gAnimationTrackRecord(
                {{}, m_w.addObject(m3gKeyframeSequenceRecord(s)), m_w.addObject(m3gAnimationControllerRecord(controller)),
                 275})));
        }
        M3gComponentTransform t;
        t.translation = n.at;
        t.orientationAngle = n.turn[0];
        t.orientationAxis = {n.turn[1], n.turn[2], n.turn[3]};
        g.node.transformable.components = t;
        return g;
    }
    uint32_t add(const Node& n)
    {
        if (!n.camera)
            return m_w.addObject(m3gGroupRecord(fields(n)));
        M3gCameraFields c;
        c.projection = 50;
        c.node.transformable.object.userId = n.name ? GameUtils::transformId(n.name) : 0;
        return m_w.addObject(m3gCameraRecord(c));
    }

    M3gFileWriter m_w;
};

// The scenes and models the director loads; bare ones hold no named node
// and no clip.
std::vector<std::pair<uint32_t, Bytes>> scenes(bool bare)
{
    const auto scene = [bare](const Node& n) { return SceneFile().world(bare ? Node{} : n); };
    const auto model = [bare](const Node& n) { return SceneFile().group(bare ? Node{.children = {Node{}}} : n); };
    const Node diamond{.name = "diamond"};
    std::vector<Node> locks;
    for (const auto& [x, y] : std::vector<std::pair<float, float>>{
             {0, 5}, {0, 1}, {1, 3}, {2, 3}, {0, 9}, {0, 7}, {0, 2}, {0, 4}, {0, 6}, {0, 8}, {0, 10}})
        locks.push_back(Node{.name = "lock", .at = {x, y, 0}});
    locks.push_back(Node{.name = "bolt", .at = {0, 11, 0}});
    return {
        {kLevelTenScene, scene({.children = {{.name = "DummyBOY"}, {.name = "DummyGIRL", .at = {1, 0, 0}},
                                            {.name = "limo_dummy", .at = {20, 0, 0}}, {.name = "list"},
                                            {.name = "lock"}, {.name = "dust"}, {.name = "DummyMAFIA"},
                                            {.name = "final_cam", .children = {{.name = "end", .camera = true}}},
                                            {.children = {{.name = "boy_root", .at = {3, 0, 4}, .turn = {30, 0, 0, 1}}},
                                             .at = {1, 2, 3},
                                             .turn = {20, 0, 0, -1}},
                                            {.name = "girl_root"}}})},
        {kHideoutScene, scene({.children = {{.name = "locks", .children = locks}}})},
        {R::BoyModel, model({.children = {diamond}})},
        {R::GirlModel, model({.children = {diamond}})},
        {R::PolicemanModel, model({.children = {Node{}}})},
        {R::ThiefClips, model({.clips = {{"walk_boy_simple", 400}, {"walk_girl_simple", 400}, {"idle_breath", 300},
                                         {"diamond_car", 500}, {"diamond_wait", 300}}})},
        {R::ThiefClips2, model({.clips = {{"hi_five", 200}}})},
        {R::PolicemanClips, model({.clips = {{"idle_wait_man", 500}}})},
        {R::ArrestScene, scene({.children = {{.name = "policeman_root", .children = {Node{}}}, diamond,
                                             {.name = "marker", .clips = {{nullptr, 4000}}}}})},
        {R::LockScene, scene({.clips = {{"remove", 300}, {"lock", 200}}})},
        {R::LevelMapScene, scene({.children = {{.name = "DummyLevel"}, {.name = "DummyUnlocked"}},
                                  .clips = {{"openlock_start", 100}, {"openlock_rotate", 400},
                                            {"closedlock_start", 150}, {"closedlock_rotate", 400}}})},
    };
}

constexpr int32_t kCues[] = {Q::LevelTenMusic, Q::LevelTenJingle, Q::LevelTenJingle2, Q::Arrest,
                             Q::RemoveMusic,  Q::LockMusic,     Q::LockJingle,     Q::LockDone};

Bytes pack(uint32_t omitted, bool bare)
{
    PackWriter writer;
    writer.add(ResourceIds::ResourceTableEntry, ResourceType::Data, encodeResourceTable({}), true);
    for (auto& [id, bytes] : scenes(bare))
        if (id != omitted)
            writer.add(id, ResourceType::Data, std::move(bytes), true);
    for (int32_t cue : kCues)
        if (uint32_t(cue) != omitted)
            writer.add(uint32_t(cue), ResourceType::StoredSoundForms[0], Bytes(32, 1));
    Bytes out;
    EXPECT_TRUE(writer.build(PackIndexForm::Sorted, out));
    return out;
}

// A game world over the test pack, with a director and a progress of the
// test's own where the world makes none.
struct Stage {
    ResourcePack resources;
    TestApp app;
    MemoryFileSystem* fs = new MemoryFileSystem();
    FakeSound* sound = new FakeSound();
    LentDirector lent;
    std::unique_ptr<GameWorld> world;
    SceneDirector* director = nullptr;
    GameProgress* progress = nullptr;

    explicit Stage(uint32_t omitted = 0, bool bare = false)
    {
        auto* manager = new ResourceManager();
        app.m_fileSystem = fs;
        app.m_resourceManager = manager;
        app.m_soundDevice = sound;
        installSaveFileCreators();
        installEngineServices();
        EXPECT_EQ(resources.openFile(new MemoryFile(pack(omitted, bare))), 1);
        EXPECT_EQ(manager->openTable(&resources, 64, 16, true), 1);
        world = std::make_unique<GameWorld>();
        lent.lendTo(*world);
        director = world->m_director;
        progress = world->m_progress;
    }
    ~Stage()
    {
        lent.takeBack(*world);
        world.reset();
        app.m_fileSystem = nullptr;
        delete fs;
    }

    // Loads the level in its ten steps; false when it failed.
    bool load(int32_t level)
    {
        world->m_levelIndex = level;
        world->m_loadStep = 0;
        for (int i = 0; i < 10; ++i)
            world->loadStep();
        return world->m_level != nullptr;
    }
    // One frame of the open menu at the clock; the jingle that started in it.
    int32_t menuFrame(int32_t clock)
    {
        sound->playing.clear(); // every sound has played out
        progress->updateAudio();
        world->m_clock = clock;
        world->m_menu->update(30);
        return progress->m_jingle.cue;
    }
    EngineRef node(const EngineRef& root, const char* name) const
    {
        return findObject(root, uint32_t(GameUtils::transformId(name)), kIidNode);
    }
    static bool attached(const EngineRef& node)
    {
        EngineRef parent;
        return node && node.table<IkwNodeTable>().getParent(node.get(), parent.out()) == 0 && parent;
    }
    static float x(const EngineRef& node)
    {
        float at[3] = {-1, -1, -1};
        if (node)
            node.table<IkwTransformableTable>().getTranslation(node.get(), at);
        return at[0];
    }
};

TEST(SceneDirector, TimingHelpersShareOneMarkAndEmptySlotsAreSkipped)
{
    GameWorld world;
    SceneDirector director(&world);
    world.m_clock = 500;
    EXPECT_FALSE(director.hasElapsed(-1));
    EXPECT_EQ(director.m_mark, 500); // the first helper marks even when false
    EXPECT_FALSE(director.hasElapsed(0));
    EXPECT_FALSE(director.isHoldActive());
    struct Step {
        int32_t mark;
        int32_t clock;
        bool elapsed0;
        bool hold;
    };
    // The first: 201 ms across the clock's wrap.
    const Step steps[] = {{INT32_MAX - 100, INT32_MIN + 100, true, true}, {500, 501, true, true},
                          {500, 4165, true, true}, {500, 4166, true, false}};
    for (const Step& s : steps) {
        director.m_mark = s.mark;
        world.m_clock = s.clock;
        EXPECT_EQ(director.hasElapsed(0), s.elapsed0) << s.clock;
        EXPECT_EQ(director.isHoldActive(), s.hold) << s.clock;
    }
    // A cue fires once, on the first frame past its time.
    int32_t cue = 3666;
    EXPECT_FALSE(director.fireCue(cue));
    world.m_clock = 4167;
    EXPECT_TRUE(director.fireCue(cue));
    EXPECT_EQ(cue, -1);
    EXPECT_FALSE(director.fireCue(cue));
    // Every slot empty or out of range: nothing to animate, nothing breaks.
    director.m_mark = -1;
    for (int32_t slot : {-1, 3, 6, 7, int32_t(GameWorld::kSceneSlotCount)})
        director.animateScene(slot);
    EXPECT_EQ(director.m_mark, 4167);
}

TEST(SceneDirector, IntroTimingsFollowTheVisit)
{
    struct Case {
        int32_t nextLevel, completed, duration;
        int32_t start, newDuration, unit, jingle, jingle2, cameraMark, startClock;
    };
    const Case cases[] = {
        {-1, 0, 3000, 77, 800, 2, 500, 620, -1, 0},
        {4, 9, 3000, 0, 2400, 2, 120, -1, 360, 1600},
        {4, 3, 4499, 0, 1500, 2, 120, -1, -1, 1000},
        {4, 3, 1000, 0, 0, 0, 0, -1, -1, 0},
    };
    for (const Case& c : cases) {
        GameWorld world;
        world.m_nextLevel = c.nextLevel;
        SceneDirector director(&world);
        director.m_mark = 12;
        int32_t start = 77;
        int32_t duration = c.duration;
        EXPECT_EQ(director.planIntroTimings(&start, &duration, c.completed), -1);
        EXPECT_EQ(start, c.start);
        EXPECT_EQ(duration, c.newDuration);
        EXPECT_EQ(director.m_timeUnit, c.unit);
        EXPECT_EQ(director.m_jingleAt, c.jingle);
        EXPECT_EQ(director.m_jingle2At, c.jingle2);
        EXPECT_EQ(director.m_cameraMark, c.cameraMark);
        EXPECT_EQ(director.m_startClock, c.startClock);
        EXPECT_EQ(director.m_mark, -1);
    }
}

TEST(SceneDirector, ArrestShowsAtOneSecondHoldsAt2666AndPressesSelectFrom4666)
{
    Stage stage;
    GameWorld& world = *stage.world;
    world.m_menu->setState(MenuScreen::Arrest, 0, 0);
    const EngineRef& scene = world.m_sceneSlots[DirectorSlot::Arrest];
    AnimTable& clips = *world.m_menuClips[3];
    const int32_t wait = int32_t(GameUtils::nameHash("idle_wait_man")) + 1;
    const struct {
        int32_t clock;
        bool shown;
        int32_t jingle;
        float marker; // the scene's time in seconds; -1 when not animated
        uint8_t waitState;
        int32_t key;
    } frames[] = {
        {10000, false, -1, -1, 0, -1},
        {10999, false, -1, -1, 0, -1},
        {11000, true, -1, 0.0f, ClipState::Registered, -1},
        {11030, true, Q::Arrest, 0.03f, ClipState::Finished, -1},
        {11999, true, -1, 0.999f, ClipState::Finished, -1},
        {12000, true, -1, 1.0f, ClipState::Looping, -1},
        {13665, true, -1, 2.665f, ClipState::Looping, -1},
        {13666, true, -1, 2.666f, ClipState::Looping, -1},
        {14665, true, -1, 2.666f, ClipState::Looping, -1},
        {14666, true, -1, 2.666f, ClipState::Looping, WorldKey::Select},
    };
    for (const auto& f : frames) {
        SCOPED_TRACE(f.clock);
        EXPECT_EQ(stage.menuFrame(f.clock), f.jingle);
        ASSERT_TRUE(scene);
        uint8_t shown = 0;
        scene.table<IkwNodeTable>().isRenderingEnabled(scene.get(), &shown);
        EXPECT_EQ(shown != 0, f.shown);
        if (f.marker >= 0) {
            EXPECT_NEAR(Stage::x(stage.node(scene, "marker")), f.marker, 1e-4);
        }
        EXPECT_EQ(clips.getState(clips.findSlot(uint32_t(wait))), f.waitState);
        EXPECT_EQ(world.m_menu->m_lastKey, f.key);
    }
    EXPECT_FALSE(stage.node(scene, "diamond"));
    EXPECT_FALSE(world.m_menu->isOpen());
}

TEST(SceneDirector, LockSceneEndsWithItsClipThenJinglesAndClosesTheMenu)
{
    const struct {
        uint8_t completed;
        uint8_t removeLock;
        int32_t music;
        int32_t jingleClock; // the lock jingle's frame, -1 for none
        int32_t closeClock;
    } cases[] = {
        {0, 1, Q::RemoveMusic, 5090, 5300},
        {1, 0, Q::LockMusic, -1, 5210},
    };
    for (const auto& c : cases) {
        Stage stage;
        GameWorld& world = *stage.world;
        world.m_levelIndex = 4;
        stage.progress->record(4)->completed = c.completed;
        int32_t error = LevelError::None;
        world.m_level = new Level(&world, error);
        stage.director->m_timeUnit = 2;
        world.m_menu->setState(MenuScreen::LockScene, 0, 0);
        EXPECT_EQ(stage.director->m_removeLock, c.removeLock);
        for (int32_t clock = 5000; clock <= c.closeClock; clock += 30) {
            SCOPED_TRACE(clock);
            ASSERT_TRUE(world.m_menu->isOpen());
            const int32_t jingle = stage.menuFrame(clock);
            EXPECT_EQ(stage.progress->m_music.cue, c.music);
            EXPECT_EQ(jingle, clock == c.jingleClock ? Q::LockJingle : clock == c.closeClock ? Q::LockDone : -1);
        }
        EXPECT_FALSE(world.m_menu->isOpen());
        EXPECT_EQ(stage.director->playLockScene(), ClipState::Finished);
    }
}

TEST(SceneDirector, LevelMapOpensTheLockOfAnUnlockedNextLevelOnly)
{
    const struct {
        int32_t level;
        bool nextUnlocked;
        bool open;
    } cases[] = {{3, true, true}, {3, false, false}, {LevelIndex::Special, true, false}};
    for (const auto& c : cases) {
        Stage stage;
        GameWorld& world = *stage.world;
        world.m_levelIndex = c.level;
        for (int32_t k = 0; k < int32_t(LevelIndex::Records); ++k)
            stage.progress->record(k)->unlocked = c.nextUnlocked;
        world.m_menu->setState(MenuScreen::LevelMap, 0, 0);
        AnimTable& clips = *world.m_menuClips[1];
        const int32_t length = c.open ? 100 : 150;
        for (int32_t clock = 1000; clock <= 1000 + length + 30; clock += 30) {
            stage.menuFrame(clock);
            const int32_t* slots = stage.director->m_mapLockClips;
            const uint8_t rotate = clock - 1000 > length ? ClipState::Looping : ClipState::Finished;
            EXPECT_EQ(clips.getState(slots[c.open ? 1 : 3]), clock == 1000 ? ClipState::Registered : rotate) << clock;
            EXPECT_EQ(clips.getState(slots[c.open ? 0 : 2]) == ClipState::PlayingOnce, clock - 1000 < length) << clock;
        }
        EXPECT_TRUE(stage.director->m_levelNode && stage.director->m_unlockedNode);
    }
}

TEST(SceneDirector, ThievesChooseTheirClipsByTheCarTheDiamondAndTheirPace)
{
    Stage stage;
    stage.director->m_carryingDiamond = 1; // left from an earlier visit
    ASSERT_TRUE(stage.load(LevelIndex::Special));
    GameWorld& world = *stage.world;
    SceneDirector& d = *stage.director;
    EXPECT_EQ(d.m_carryingDiamond, 0);
    for (int32_t i = 0; i < SceneDirector::kHideoutObjects; ++i)
        EXPECT_TRUE(world.m_level->m_objects.at(i)) << i;
    ASSERT_TRUE(d.m_mainThief && d.m_companion && d.m_limo);
    EXPECT_EQ(d.m_mainThief->m_modelResourceId, R::BoyModel);
    AnimTable& clips = *world.m_levelClips;
    EXPECT_EQ(d.m_specialClips[1], clips.findSlot(uint32_t(GameUtils::nameHash("walk_girl_simple")) + 1));
    for (int32_t slot : d.m_specialClips)
        ASSERT_GE(slot, 0);
    const EngineRef diamond = stage.node(d.m_mainThief->m_model, "diamond");
    ASSERT_TRUE(diamond);
    d.updateSpecialLevel();
    EXPECT_EQ(stage.progress->m_music.cue, Q::LevelTenMusic);

    // The companion walks on, far from the car: it never changes its clip.
    d.m_companion->m_moved = 1;
    clips.play(d.m_specialClips[1], true, 0);
    enum Kind { Walk = 0, Idle = 2, Car = 4, Wait = 6, None = -1 };
    const struct {
        bool carrying, nearCar, moving, carMoving;
        Kind before;   // the clip playing before, looping except the car's
        Kind after;    // the clip playing after
        bool carryingAfter, diamondKept;
    } rows[] = {
        {true, true, false, false, None, Car, false, true},
        {true, true, false, false, Car, Car, true, true},
        {false, true, true, false, Walk, Walk, false, true},
        {false, true, false, false, Idle, Idle, false, true},
        {false, false, false, false, None, Idle, false, false},
        {true, false, false, false, Walk, Wait, true, true},
        {false, false, false, false, Wait, Wait, false, true},
        {false, false, true, false, None, Walk, false, false},
        {true, false, true, false, Idle, Walk, true, true},
        {true, false, true, false, Walk, Walk, true, true},
        {true, true, false, true, None, Wait, true, true},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(&r - rows);
        if (!Stage::attached(diamond))
            d.m_mainThief->m_model.table<IkwGroupTable>().addChild(d.m_mainThief->m_model.get(), diamond.get());
        for (int32_t k = 0; k < 8; k += 2)
            clips.stop(d.m_specialClips[k], true);
        if (r.before != None)
            clips.play(d.m_specialClips[r.before], r.before != Car, 0);
        const float at[3] = {r.nearCar ? 17.0f : 10.0f, 0, 0};
        d.m_mainThief->m_node.table<IkwTransformableTable>().setTranslation(d.m_mainThief->m_node.get(), at);
        d.m_mainThief->m_moved = r.moving;
        d.m_limo->m_moved = r.carMoving;
        d.m_carryingDiamond = r.carrying;
        d.updateSpecialLevel();
        for (int32_t k = 0; k < 8; k += 2) {
            const uint8_t playing = k == Car ? ClipState::PlayingOnce : ClipState::Looping;
            EXPECT_EQ(clips.getState(d.m_specialClips[k]) == playing, k == r.after) << k;
        }
        EXPECT_EQ(d.m_carryingDiamond != 0, r.carryingAfter);
        EXPECT_EQ(Stage::attached(diamond), r.diamondKept);
        EXPECT_EQ(clips.getState(d.m_specialClips[1]), ClipState::Looping);
    }

    // The scene takes seven free entries inside the table, or none.
    LevelObjectTable table;
    table.put(3, new LevelObject(nullptr, &world));
    for (int32_t first : {-1, 0, LevelObjectTable::kCapacity - 6}) {
        d.setupHideout(&table, first);
        EXPECT_FALSE(d.m_mainThief || d.m_companion || d.m_limo) << first;
    }
    EXPECT_EQ(table.firstFree(), 4);
}

TEST(SceneDirector, HideoutLocksGoHighestFirstForEveryUnlockedRecord)
{
    const struct {
        std::set<int32_t> unlocked;
        std::set<std::pair<float, float>> left; // (x, y) of the children left
    } cases[] = {
        // Ties: the lock collected later sorts first, so level 7 takes the
        // first one at height 3; records 9 and 10 take the two lowest.
        {{0, 7, 9, 10}, {{2, 3}, {0, 4}, {0, 5}, {0, 6}, {0, 7}, {0, 8}, {0, 9}, {0, 11}}},
        {{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10}, {{0, 11}}},
    };
    for (const auto& c : cases) {
        Stage stage;
        for (int32_t k : c.unlocked)
            stage.progress->record(k)->unlocked = 1;
        ASSERT_TRUE(stage.load(LevelIndex::Hideout));
        const EngineRef locks = stage.node(stage.world->m_world, "locks").as(kIidGroup);
        std::set<std::pair<float, float>> left;
        uint32_t n = 0;
        locks.table<IkwGroupTable>().getChildCount(locks.get(), &n);
        for (uint32_t i = 0; i < n; ++i) {
            EngineRef child;
            locks.table<IkwGroupTable>().getChild(locks.get(), i, child.out());
            float at[3];
            child.table<IkwTransformableTable>().getTranslation(child.get(), at);
            left.insert({at[0], at[1]});
        }
        EXPECT_EQ(left, c.left);
    }
}

TEST(SceneDirector, LevelEndPlacesTheCompanionAndEndsAfterTheHiFive)
{
    Stage stage;
    ASSERT_TRUE(stage.load(LevelIndex::Special));
    GameWorld& world = *stage.world;
    Level& level = *world.m_level;
    const EngineRef body = createEngineObject(kIidGroup);
    level.m_player = new Player(body.get(), &world);
    level.m_player->m_model = loadGroupResource(R::ThiefClips2);
    const EngineRef finalCam = world.m_utils->findNode("final_cam");
    stage.director->setupLevelEnd(finalCam.get());
    const Player& player = *level.m_player;
    ASSERT_TRUE(player.m_targetPosition);
    // boy_root's place and heading within its turned parent.
    float boyRoot[3];
    world.m_utils->getWorldPosition(world.m_utils->findNode("boy_root").get(), boyRoot);
    for (int i = 0; i < 3; ++i)
        EXPECT_FLOAT_EQ(player.m_targetPosition[i], boyRoot[i]);
    const float turn = 20.0f * 3.14159265f / 180.0f;
    EXPECT_NEAR(boyRoot[0], 1 + 3 * std::cos(turn), 1e-4);
    EXPECT_NEAR(boyRoot[1], 2 - 3 * std::sin(turn), 1e-4);
    EXPECT_NEAR(boyRoot[2], 7, 1e-4);
    EXPECT_NEAR(player.m_heading, 30.0f - 20.0f, 1e-3);
    EXPECT_EQ(player.m_animationState, PlayerAnimation::HiFive);
    EngineRef camera;
    uint32_t cameraId = 0;
    world.m_world.table<IkwWorldTable>().getActiveCamera(world.m_world.get(), camera.out());
    if (camera)
        camera.table<IkwObject3DTable>().getUserID(camera.get(), &cameraId);
    EXPECT_EQ(cameraId, uint32_t(GameUtils::transformId("end")));
    const EngineRef girlRoot = world.m_utils->findNode("girl_root");
    uint32_t children = 0;
    girlRoot.table<IkwGroupTable>().getChildCount(girlRoot.get(), &children);
    EXPECT_EQ(children, 1u);
    EXPECT_FALSE(stage.node(girlRoot, "diamond"));

    // The hi-five (200 ms) plays on the level clock; then the end screen.
    int32_t frames = 0;
    while (!world.menuOpen() && frames < 20) {
        world.update(30);
        ++frames;
    }
    EXPECT_EQ(frames, 8);
    EXPECT_EQ(world.m_menu->getScreenNameId(), kEndScreen);
    EXPECT_EQ(stage.director->m_hiFiveCount, 2);
}

// Every script with each of its resources missing, or with scenes that hold
// no named node and no clip: nothing breaks and every scene comes to its end.
TEST(SceneDirector, EveryScriptEndsWithAnyResourceMissing)
{
    std::vector<std::pair<uint32_t, bool>> rows = {{0, false}, {0, true}};
    for (const auto& [id, bytes] : scenes(false))
        rows.push_back({id, false});
    for (int32_t cue : kCues)
        rows.push_back({uint32_t(cue), false});
    for (const auto& [omitted, bare] : rows) {
        SCOPED_TRACE(testing::Message() << std::hex << omitted << (bare ? " bare" : ""));
        Stage stage(omitted, bare);
        GameWorld& world = *stage.world;
        stage.load(LevelIndex::Hideout);
        const bool levelTen = stage.load(LevelIndex::Special);
        EXPECT_EQ(levelTen, omitted != kLevelTenScene);
        if (levelTen) {
            world.m_level->m_player = new Player(createEngineObject(kIidGroup).get(), &world);
            for (int i = 0; i < 5; ++i)
                world.update(30);
            stage.director->setupLevelEnd(world.m_utils->findNode("final_cam").get());
            for (int i = 0; i < 20 && !world.menuOpen(); ++i)
                world.update(30);
            EXPECT_EQ(world.m_menu->getScreenNameId(), kEndScreen);
        }
        const uint32_t screens[] = {MenuScreen::Arrest, MenuScreen::LockScene, MenuScreen::LevelMap};
        for (uint32_t screen : screens) {
            world.m_menu->setState(screen, 0, 0);
            for (int32_t clock = 20000; clock < 25000 && world.m_menu->isOpen(); clock += 30)
                stage.menuFrame(clock);
            EXPECT_EQ(world.m_menu->isOpen(), screen == MenuScreen::LevelMap) << std::hex << screen;
        }
        EXPECT_EQ(bool(world.m_sceneSlots[DirectorSlot::LevelMap]), omitted != R::LevelMapScene);
    }
}

} // namespace
