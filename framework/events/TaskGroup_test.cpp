#include "framework/events/TaskGroup.h"

#include "framework/events/FrameTicker.h"
#include "tests/support/TestApp.h"

#include <gtest/gtest.h>

namespace {

TickInfo fullFrame(int32_t stepSeconds)
{
    return TickInfo{TickerPhase::Full, 0, stepSeconds, nullptr};
}

TickInfo renderFrame()
{
    return TickInfo{TickerPhase::RenderOnly, 0, 0, nullptr};
}

struct CountingGroup : TaskGroup {
    void onFrame(uint32_t, const TickInfo&) override { ++frames; }
    int frames = 0;
};

struct CountingTask : Listener {
    int run(uint32_t, const TickInfo&) override { return ++runs; }
    int runs = 0;
};

TEST(TaskGroup, GetOrCreateChildFilesEachIdOnce)
{
    TestApp app;
    TaskGroup group;
    ASSERT_EQ(group.init(7, nullptr, nullptr, 8, true, 0), 1);
    TaskGroupChild* a = group.getOrCreateChild(0x10, 1, 5, 3);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(group.getOrCreateChild(0x10, 9, 9, 9), a);
    EXPECT_EQ(group.count(), 1u);
    EXPECT_EQ(a->m_group, &group);
    EXPECT_EQ(a->m_threshold, 5u);
    EXPECT_EQ(a->m_period, 1000u);
    EXPECT_EQ(a->m_scale, 100u);
    EXPECT_EQ(a->m_depth, 0u);
}

TEST(TaskGroup, GetOrCreateChildBeforeInitFilesNothing)
{
    TaskGroup group;
    EXPECT_EQ(group.getOrCreateChild(0x10, 0, 0, 0), nullptr);
    EXPECT_EQ(group.count(), 0u);
}

TEST(TaskGroup, SectionSamplesRatioAndHoldsAtThreshold)
{
    TestApp app;
    TaskGroup group;
    ASSERT_EQ(group.init(7, nullptr, nullptr, 8, true, 0), 1);
    TaskGroupChild* section = group.getOrCreateChild(0x10, 0, 5, 0);
    ASSERT_NE(section, nullptr);
    section->m_counter = 7;
    group.update(fullFrame(100));
    EXPECT_EQ(section->m_ratio, 0x11EB);
    EXPECT_EQ(section->m_lastCounter, 7u);
    EXPECT_EQ(section->m_counter, 0u);
    EXPECT_EQ(section->m_holdTimer, 1000);
    group.update(fullFrame(300)); // counts down, then samples a counter below threshold
    EXPECT_EQ(section->m_holdTimer, 700);
    EXPECT_EQ(section->m_ratio, 0);
    group.update(fullFrame(65536));
    EXPECT_EQ(section->m_holdTimer, 0);
}

TEST(TaskGroup, FullFramesMeasureRateOverItsPeriod)
{
    TestApp app;
    TaskGroup group;
    ASSERT_EQ(group.init(7, nullptr, nullptr, 8, true, 0), 1);
    group.m_counter = 3;
    group.update(fullFrame(0x8000));
    EXPECT_EQ(group.m_rate, 0);
    group.update(fullFrame(0x8000));
    EXPECT_EQ(group.m_rate, 0x30000);
    EXPECT_EQ(group.m_counter, 0u);
    EXPECT_EQ(group.m_rateTime, 0);
}

TEST(TaskGroup, RenderFramesFollowTheSwitches)
{
    TestApp app;
    auto* group = new CountingGroup();
    app.m_statsOverlay = group;
    ASSERT_EQ(group->init(7, nullptr, nullptr, 8, true, 0), 1);
    CountingTask task;
    group->insert(group->createEntry(1, &task, 0, DefaultPriority));

    struct Case {
        uint8_t a, b;
        int mode, frames, runs;
    };
    for (const Case& c : {Case{0, 0, 0, 0, 0}, Case{0, 1, 0, 0, 0}, Case{1, 0, 1, 1, 0}, Case{1, 1, 2, 1, 1}}) {
        setStatsOverlaySwitchA(c.a);
        setStatsOverlaySwitchB(c.b);
        EXPECT_EQ(getStatsOverlayMode(), c.mode);
        group->frames = 0;
        task.runs = 0;
        group->update(renderFrame());
        EXPECT_EQ(group->frames, c.frames);
        EXPECT_EQ(task.runs, c.runs);
    }
    group->update(fullFrame(100));
    EXPECT_EQ(task.runs, 2);
    group->erase(group->first());

    app.m_statsOverlay = nullptr;
    delete group;
    EXPECT_EQ(getStatsOverlayMode(), 0);
    setStatsOverlaySwitchA(1); // nothing to switch
}

TEST(TaskGroup, HandlerReceivesSubscribedEventsUntilDestroyed)
{
    TestApp app;
    static int calls = 0;
    calls = 0;
    const uint32_t ids[] = {0x5001, 0x5002, 0};
    TaskGroup group;
    ASSERT_EQ(group.init(7, [](Message&, CallbackHandler&) { return ++calls; }, ids, 8, true, 0), 1);
    app.dispatch(0x5001, 0, 0);
    app.dispatch(0x5002, 0, 0);
    app.dispatch(0x5003, 0, 0);
    EXPECT_EQ(calls, 2);
    group.destroy();
    app.dispatch(0x5001, 0, 0);
    EXPECT_EQ(calls, 2);
}

TEST(TaskGroup, HistoryKeepsNewestSectionsFirst)
{
    TestApp app;
    TaskGroup group;
    ASSERT_EQ(group.init(7, nullptr, nullptr, 8, true, 2), 1);
    TaskGroupChild* a = group.getOrCreateChild(1, 0, 0, 0);
    TaskGroupChild* b = group.getOrCreateChild(2, 0, 0, 0);
    TaskGroupChild* c = group.getOrCreateChild(3, 0, 0, 0);
    ASSERT_TRUE(a && b && c);
    EXPECT_EQ(group.m_history[0].id, 3u);
    EXPECT_EQ(group.m_history[0].section, c);
    EXPECT_EQ(group.m_history[1].id, 2u);
    EXPECT_EQ(group.m_history[1].section, b);
}

TEST(TaskGroup, NestedSectionsGoUnderTheParentAndDestroyCleanly)
{
    TestApp app;
    TaskGroup group;
    ASSERT_EQ(group.init(7, nullptr, nullptr, 8, true, 0), 1);
    TaskGroupChild* outer = group.getOrCreateChild(1, 0, 0, 0);
    group.m_parentSection = outer;
    TaskGroupChild* inner = group.getOrCreateChild(2, 0, 0, 0);
    ASSERT_NE(inner, nullptr);
    EXPECT_EQ(inner->m_parent, outer);
    EXPECT_EQ(inner->m_depth, 1u);
    EXPECT_EQ(outer->count(), 1u);
    EXPECT_EQ(group.count(), 1u);
    group.destroy(); // the sanitizer build catches a use after free here
    EXPECT_EQ(group.count(), 0u);
    group.destroy();
}

TEST(TaskGroup, FactoryMakesSections)
{
    TestApp app;
    TaskGroup group;
    ASSERT_EQ(group.init(7, nullptr, nullptr, 8, true, 0), 1);
    auto factory = [](uint32_t p1, uint32_t p2, uint32_t p3) -> TaskGroupChild* {
        return new TaskGroupChild(p1, p2, p3, 250);
    };
    TaskGroupChild* s = group.getOrCreateChild(9, 1, 2, 3, factory);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->m_period, 250u);
    EXPECT_EQ(group.getOrCreateChild(10, 0, 0, 0, [](uint32_t, uint32_t, uint32_t) -> TaskGroupChild* {
                  return nullptr;
              }),
              nullptr);
    EXPECT_EQ(group.count(), 1u);
}

} // namespace
