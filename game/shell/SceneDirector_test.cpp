// The director's shared mark, its timing helpers and the special level's
// flight timings; a scene slot without a scene is skipped.
#include "game/shell/SceneDirector.h"

#include <gtest/gtest.h>

#include "game/shell/GameWorld.h"

namespace {

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
        int32_t clock;
        bool elapsed0;
        bool hold;
    };
    const Step steps[] = {{501, true, true}, {4165, true, true}, {4166, true, false}};
    for (const Step& s : steps) {
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

} // namespace
