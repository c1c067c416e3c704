#include "game/shell/AnimTable.h"

#include <gtest/gtest.h>

#include <vector>

#include "engine/core/interface/InterfaceIds.h"
#include "game/level/GameUtils.h"
#include "game/level/GameWorld.h"
#include "game/shell/EngineService.h"
#include "tests/support/TestApp.h"
#include "tools/m3g/M3gAnimationEncoders.h"
#include "tools/m3g/M3gFileWriter.h"
#include "tools/samplepack/LevelScene.h"

namespace {

namespace C = LevelSceneCharacter;

class Clips : public ::testing::Test {
protected:
    Clips()
    {
        installEngineServices();
        const std::vector<uint8_t> file = sampleLevelScene();
        m_scene = getEngineService()->loadBytes(file.data(), uint32_t(file.size()));
        EngineRef found;
        if (m_scene)
            m_scene.table<IkwObject3DTable>().find(m_scene.get(), C::GroupId, found.out());
        m_hero = found.as(kIidNode);
    }

    EngineRef controller(uint32_t id)
    {
        EngineRef found;
        m_scene.table<IkwObject3DTable>().find(m_scene.get(), id, found.out());
        return found.as(kIidAnimationController);
    }

    TestApp m_app;
    EngineRef m_scene;
    EngineRef m_hero;
};

TEST_F(Clips, TheCharactersClipsCarryTheGamesNameHashes)
{
    EXPECT_EQ(uint32_t(GameUtils::nameHash("walk")), C::WalkId);
    EXPECT_EQ(uint32_t(GameUtils::nameHash("wave")), C::WaveId);
    EXPECT_EQ(uint32_t(GameUtils::nameHash("boy")), C::MeshId);
    EXPECT_EQ(uint32_t(GameUtils::transformId("hero")), C::GroupId);
}

// The world's load binds the level's table to the level scene without
// collecting: the scene's clips stay the engine's, running on its time. The
// models added to the level later lose their marked tracks.
TEST_F(Clips, TheLevelLoadBindsItsTableWithoutTakingTheScenesClips)
{
    ASSERT_TRUE(m_scene);
    GameWorld world;
    world.m_world = m_scene.share();
    world.m_loadStep = 1;
    EXPECT_EQ(world.loadStep(), 20);
    const AnimTable* table = world.m_levelClips;
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(table->m_scene, &world.m_world);
    EXPECT_EQ(table->m_switchOffAtEnd, 1);
    EXPECT_EQ(table->m_removeMarkedTracks, 1);
    EXPECT_EQ(table->findSlot(C::WalkId), -1);
    EXPECT_EQ(table->findSlot(C::WaveId), -1);
}

// Frame by frame: the table's position and state, the controller pinned at
// the world time, and the animated node where the clip shows.
TEST_F(Clips, PlayLoopStopAndSpeedPinTheControllerFrameByFrame)
{
    ASSERT_TRUE(m_scene && m_hero);
    AnimTable table(nullptr);
    table.bind(&m_scene, true);
    const int32_t walk = table.findSlot(C::WalkId);
    const int32_t wave = table.findSlot(C::WaveId);
    ASSERT_GE(walk, 0);
    ASSERT_GE(wave, 0);
    EXPECT_EQ(table.getLength(walk), C::WalkLength);
    EXPECT_EQ(table.getLength(wave), C::WaveLength);
    EXPECT_EQ(table.getState(walk), ClipState::Registered);
    // The level's spinning squares keep their unnamed controller.
    EXPECT_EQ(table.findSlot(0), -1);

    enum Op { Update, Once, Loop, Stop, Rewind, Speed, HoldEnds };
    const struct {
        Op op;
        int32_t time;  // Update: world time; Once/Loop: start
        float value;   // Update: step; Speed: speed
        int32_t position;
        uint8_t state;
        float x;       // -1: the clip is off at the world time
    } frames[] = {
        {Update, 10, 10, 0, ClipState::Finished, -1},
        {Once, 0, 0, 0, ClipState::PlayingOnce, 0},
        {Update, 110, 100, 100, ClipState::PlayingOnce, 2},
        {Update, 110, 100, 100, ClipState::PlayingOnce, 2}, // the same world time again
        {Speed, 0, 1.5f, 100, ClipState::PlayingOnce, 2},
        {Update, 443, 333, 599, ClipState::PlayingOnce, 10}, // 499.5 truncated
        {Update, 843, 400, -1, ClipState::Finished, -1},
        {Loop, 900, 0, 900, ClipState::Looping, 10},
        {Update, 1143, 300, 350, ClipState::Looping, 7},
        {Update, 3143, 2000, 350, ClipState::Looping, 7}, // three lengths on
        {Stop, 0, 0, 350, ClipState::PlayingOnce, 7},
        {Update, 3543, 400, 950, ClipState::PlayingOnce, 10},
        {Update, 3643, 100, -1, ClipState::Finished, -1},
        {Speed, 0, -1.0f, -1, ClipState::Finished, -1},
        {Once, 0, 0, 999, ClipState::PlayingOnce, 10},
        {Update, 4143, 500, 499, ClipState::PlayingOnce, 9.98f},
        {Rewind, 0, 0, 499, ClipState::Finished, -1},
        {Once, 400, 0, 599, ClipState::PlayingOnce, 10},
        {Update, 4843, 700, -1, ClipState::Finished, -1},
        // Held ends: the last pose stays, one past the last millisecond.
        {HoldEnds, 0, 0, -1, ClipState::Finished, -1},
        {Once, 100, 0, 899, ClipState::PlayingOnce, 10},
        {Update, 5843, 1000, 0, ClipState::Finished, 0},
        {Speed, 0, 1.0f, 0, ClipState::Finished, 0},
        {Once, 900, 0, 900, ClipState::PlayingOnce, 10},
        {Update, 5943, 100, C::WalkLength, ClipState::Finished, 10},
        {Loop, 0, 0, 0, ClipState::Looping, 0},
        {Update, 6043, 250, 250, ClipState::Looping, 5},
        {Rewind, 0, 0, 250, ClipState::Finished, 0},
        {Loop, 0, 0, 0, ClipState::Looping, 0},
        {Speed, 0, 0.0f, 0, ClipState::Looping, 0},
        {Update, 6143, 100, 0, ClipState::Looping, 0},
        // Speed 0 counts a start from the end, as a backward speed does.
        {Once, 0, 0, 999, ClipState::PlayingOnce, 10},
        {Speed, 0, -1.0f, 999, ClipState::PlayingOnce, 10},
        {Loop, 100, 0, 899, ClipState::Looping, 10},
        {Update, 7543, 1400, 499, ClipState::Looping, 9.98f}, // back past the start, by whole lengths
        // A start far below the clip wraps as the device's sums did.
        {Once, INT32_MIN, 0, INT32_MIN + 999, ClipState::PlayingOnce, 0},
        {Update, 7593, 50, 0, ClipState::Finished, 0},
    };
    int row = 0;
    for (const auto& f : frames) {
        switch (f.op) {
        case Update: table.update(f.time, int32_t(f.value)); break;
        case Once: table.play(walk, false, f.time); break;
        case Loop: table.play(walk, true, f.time); break;
        case Stop: table.stop(walk, false); break;
        case Rewind: table.stop(walk, true); break;
        case Speed: table.setSpeed(walk, f.value); break;
        case HoldEnds: table.m_switchOffAtEnd = 0; break;
        }
        EXPECT_EQ(table.getPosition(walk), f.position) << "row " << row;
        EXPECT_EQ(table.getState(walk), f.state) << "row " << row;
        const int32_t t = table.m_worldTime;
        EngineRef c = controller(C::WalkId);
        ASSERT_TRUE(c);
        const IkwAnimationControllerTable& api = c.table<IkwAnimationControllerTable>();
        int32_t start = 0, end = 0;
        api.getActiveIntervalStart(c.get(), &start);
        api.getActiveIntervalEnd(c.get(), &end);
        const bool active = f.x >= 0;
        EXPECT_EQ(start, active ? t : t - 1) << "row " << row;
        EXPECT_EQ(end, active ? t + 1 : t) << "row " << row;
        if (active) {
            float sequenceTime = -2;
            api.getPosition(c.get(), t, &sequenceTime);
            // Rewound with held ends, the controller sits at the start while
            // the slot keeps its position.
            const int32_t pinned = f.op == Rewind ? 0 : f.position;
            EXPECT_EQ(sequenceTime, float(pinned)) << "row " << row;
            int32_t validity = 0;
            m_scene.table<IkwObject3DTable>().animate(m_scene.get(), t, &validity);
            float xyz[3] = {};
            m_hero.table<IkwTransformableTable>().getTranslation(m_hero.get(), xyz);
            EXPECT_NEAR(xyz[0], f.x, 1e-4f) << "row " << row;
            EXPECT_EQ(xyz[2], C::Z) << "row " << row;
        }
        // The other clip stays as its first update left it.
        EXPECT_EQ(table.getState(wave), ClipState::Finished) << "row " << row;
        ++row;
    }
}

// The follower's weight follows the master's progress each update.
TEST_F(Clips, BlendWeightsFollowTheMastersProgress)
{
    AnimTable table(nullptr);
    table.bind(&m_scene, true);
    const int32_t walk = table.findSlot(C::WalkId);
    const int32_t wave = table.findSlot(C::WaveId);
    table.update(1, 1);
    table.play(walk, false, 0);
    table.play(wave, true, 0);
    const struct {
        uint8_t mode;
        int32_t time;
        float weight;
    } frames[] = {
        {BlendMode::Progress, 251, 0.25f},
        {BlendMode::InverseProgress, 501, 0.5f},
        {BlendMode::InverseProgress, 901, 0.1f},
        // The master runs off its end: -1 gives a weight the controller
        // refuses, so the last one stays.
        {BlendMode::Progress, 1301, 0.1f},
    };
    EngineRef c = controller(C::WaveId);
    ASSERT_TRUE(c);
    int32_t last = 1;
    for (const auto& f : frames) {
        table.setBlend(wave, f.mode, walk);
        table.update(f.time, f.time - last);
        last = f.time;
        float weight = -1;
        c.table<IkwAnimationControllerTable>().getWeight(c.get(), &weight);
        EXPECT_FLOAT_EQ(weight, f.weight) << f.time;
    }
}

TEST_F(Clips, SlotsOutsideTheTableAreIgnored)
{
    AnimTable table(nullptr);
    // Before a binding nothing is found and nothing advances.
    table.update(5, 5);
    table.play(0, true, 0);
    EXPECT_EQ(table.getState(0), 0);
    table.bind(&m_scene, true);
    for (const int32_t slot : {-1, AnimTable::kSlotCount, 1000}) {
        table.play(slot, true, 0);
        table.stop(slot, true);
        table.setSpeed(slot, 2.0f);
        table.setPosition(slot, 3, true);
        table.setBlend(slot, BlendMode::Progress, 0);
        table.applyBlendWeight(slot);
        EXPECT_EQ(table.getLength(slot), 0) << slot;
        EXPECT_EQ(table.getPosition(slot), 0) << slot;
        EXPECT_EQ(table.getSpeed(slot), 0.0f) << slot;
        EXPECT_EQ(table.getState(slot), 0) << slot;
    }
    EXPECT_EQ(table.getLength(AnimTable::kSlotCount - 1), 0);
}

// One group with tracks under many controllers: shared ids give one slot of
// the longest duration, a clip of no length lasts a millisecond, marked
// tracks are removed, and a full table drops the rest.
TEST(ClipCollection, SharedIdsMarkedTracksAndAFullTable)
{
    TestApp app;
    installEngineServices();
    M3gFileWriter w;
    w.beginSection(kM3gSchemeZlib);
    const auto track = [&](uint32_t id, uint32_t duration) {
        M3gAnimationControllerFields c;
        c.object.userId = int32_t(id);
        M3gKeyframeSequenceFields s;
        s.duration = duration;
        s.validRangeLast = 0;
        s.componentCount = 3;
        s.keyframes = {{0, {0, 0, 0}}};
        const uint32_t sequence = w.addObject(m3gKeyframeSequenceRecord(s));
        return w.addObject(m3gAnimationTrackRecord({{}, sequence, w.addObject(m3gAnimationControllerRecord(c)), 275}));
    };
    const auto nested = [&](uint32_t clip, std::vector<uint32_t> children) {
        M3gGroupFields n{{}, std::move(children)};
        n.node.transformable.object.animationTracks = {track(clip, 10)};
        return w.addObject(m3gGroupRecord(n));
    };
    M3gGroupFields g{{}, {nested(5000, {nested(5500, {})}), nested(6000, {})}};
    auto& tracks = g.node.transformable.object.animationTracks;
    // The engine lists the tracks of one property last added first.
    for (uint32_t id = 100 + AnimTable::kSlotCount - 4; id-- > 100;)
        tracks.push_back(track(id, 10));
    for (const uint32_t t : {track(9, 20), track(7, 700), track(AnimTable::kMarkedTrackId, 50), track(7, 300)})
        tracks.push_back(t);
    w.addObject(m3gGroupRecord(g));
    const std::vector<uint8_t> file = w.finish();
    EngineRef group = getEngineService()->loadBytes(file.data(), uint32_t(file.size()));
    ASSERT_TRUE(group);

    AnimTable table(nullptr);
    table.m_removeMarkedTracks = 1;
    table.bind(&group, true);
    EXPECT_EQ(table.findSlot(7), 0);
    EXPECT_EQ(table.getLength(0), 700);
    EXPECT_EQ(table.findSlot(9), 1);
    EXPECT_EQ(table.findSlot(AnimTable::kMarkedTrackId), -1);
    EXPECT_EQ(table.findSlot(100), 2);
    EXPECT_EQ(table.findSlot(5000), AnimTable::kSlotCount - 2);
    EXPECT_EQ(table.findSlot(5500), AnimTable::kSlotCount - 1);
    EXPECT_EQ(table.findSlot(6000), -1);
    EXPECT_EQ(table.findFreeSlot(), -1);
    uint32_t count = 0;
    group.table<IkwObject3DTable>().getAnimationTrackCount(group.get(), &count);
    EXPECT_EQ(count, AnimTable::kSlotCount - 1);

    // Re-binding with no holder keeps the scene and collects again.
    table.bind(nullptr, true);
    EXPECT_EQ(table.findSlot(7), 0);
    EXPECT_EQ(table.getState(0), ClipState::Registered);

    // A sequence made through the interface lasts no time until it is told
    // to; its clip lasts one millisecond, so a loop still wraps.
    EngineRef sequence = createEngineObject(kIidKeyframeSequence);
    EngineRef controller = createEngineObject(kIidAnimationController);
    EngineRef still = createEngineObject(kIidAnimationTrack);
    ASSERT_TRUE(sequence && controller && still);
    sequence.table<IkwKeyframeSequenceTable>().init(sequence.get(), 1, 3, 176);
    controller.table<IkwObject3DTable>().setUserID(controller.get(), 42);
    still.table<IkwAnimationTrackTable>().init(still.get(), sequence.get(), 275);
    still.table<IkwAnimationTrackTable>().setController(still.get(), controller.get());
    ASSERT_EQ(group.table<IkwObject3DTable>().addAnimationTrack(group.get(), still.get()), 0);
    table.bind(nullptr, true);
    const int32_t slot = table.findSlot(42);
    ASSERT_GE(slot, 0);
    EXPECT_EQ(table.getLength(slot), 1);
    table.play(slot, true, 0);
    table.update(25, 25);
    EXPECT_EQ(table.getPosition(slot), 0);
}

} // namespace
