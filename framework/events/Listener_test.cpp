#include "framework/events/Listener.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace {
// Records every run it is given.
struct RecordingListener : Listener {
    explicit RecordingListener(int* destroyed = nullptr) : m_destroyed(destroyed) {}
    ~RecordingListener() override
    {
        if (m_destroyed)
            ++*m_destroyed;
    }
    int run(uint32_t amount, const TickInfo&) override
    {
        amounts.push_back(amount);
        return 0;
    }
    std::vector<uint32_t> amounts;
    int* m_destroyed;
};

TickInfo frameOf(int32_t stepSeconds, uint32_t phase = 0)
{
    TickInfo tick;
    tick.phase = phase;
    tick.stepSeconds = stepSeconds;
    tick.stepMs = int32_t((int64_t(stepSeconds) * 1000) >> 16);
    return tick;
}
} // namespace

TEST(Listener, RunsWhenTheAccumulatedStepReachesThePeriod)
{
    const struct {
        int32_t period;
        int32_t step;
        uint32_t remaining;
        int frames;
        std::vector<uint32_t> amounts;
        uint32_t remainingAfter;
        int lastResult;
    } cases[] = {
        // half a second in quarter-second frames: every second frame, with the period
        {0x8000, 0x4000, RunForever, 4, {0x8000, 0x8000}, RunForever, 0},
        // no period: every frame
        {0, 0x4000, RunForever, 3, {0, 0, 0}, RunForever, 0},
        // two runs left: they run out and the listener reports it
        {0, 0x10000, 2, 4, {0, 0}, 0, 1},
        // none left: never runs
        {0, 0x10000, 0, 2, {}, 0, 1},
        // a period the step overshoots still runs once and starts again from 0
        {0x6000, 0x4000, RunForever, 3, {0x6000}, RunForever, 0},
    };
    for (const auto& c : cases) {
        RecordingListener listener;
        listener.m_period = c.period;
        listener.m_remainingRuns = c.remaining;
        int result = -1;
        for (int i = 0; i < c.frames; ++i)
            result = listener.update(frameOf(c.step));
        EXPECT_EQ(listener.amounts, c.amounts) << c.period << " " << c.step << " " << c.remaining;
        EXPECT_EQ(listener.m_remainingRuns, c.remainingAfter);
        EXPECT_EQ(result, c.lastResult);
        EXPECT_EQ(listener.m_running, 0);
    }
}

TEST(Listener, RenderOnlyFrameRunsWithOneWhateverThePeriod)
{
    RecordingListener listener;
    listener.m_period = 0x7fffffff;
    listener.m_remainingRuns = 3;
    EXPECT_EQ(listener.update(frameOf(0, 1)), 0);
    EXPECT_EQ(listener.update(frameOf(0x1000, 1)), 0);
    EXPECT_EQ(listener.amounts, (std::vector<uint32_t>{1, 1}));
    EXPECT_EQ(listener.m_remainingRuns, 1u);
    EXPECT_EQ(listener.m_accumulated, 0);
}

TEST(Listener, AutoDeletingListenerDeletesItselfWhenItsRunsAreDone)
{
    int destroyed = 0;
    auto* once = new RecordingListener(&destroyed);
    once->m_remainingRuns = 1;
    once->m_autoDelete = 1;
    EXPECT_EQ(once->update(frameOf(0)), 2);
    EXPECT_EQ(destroyed, 1);

    // Not yet due: it stays.
    auto* later = new RecordingListener(&destroyed);
    later->m_remainingRuns = 1;
    later->m_autoDelete = 1;
    later->m_period = 0x10000;
    EXPECT_EQ(later->update(frameOf(0x8000)), 0);
    EXPECT_EQ(destroyed, 1);
    EXPECT_EQ(later->update(frameOf(0x8000)), 2);
    EXPECT_EQ(destroyed, 2);
}

// A period at the top of the range: the accumulated time saturates instead of
// wrapping to a negative value that would never reach it.
TEST(Listener, AccumulatedTimeSaturatesAtTheTopOfTheRange)
{
    RecordingListener listener;
    listener.m_period = INT32_MAX;
    for (int i = 0; i < 0x8000 + 8; ++i)
        listener.update(frameOf(0x10000));
    EXPECT_EQ(listener.amounts, (std::vector<uint32_t>{uint32_t(INT32_MAX)}));
    EXPECT_GE(listener.m_accumulated, 0);
}
