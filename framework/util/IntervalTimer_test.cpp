#include "framework/util/IntervalTimer.h"

#include <gtest/gtest.h>

#include <climits>

namespace {

TEST(IntervalTimer, CountsExpiriesPerStep)
{
    struct Case {
        int32_t delay;
        bool repeat;
        int32_t elapsed;
        uint32_t expiries;
        int32_t remaining;
        bool running;
    };
    const Case cases[] = {
        {100, true, 250, 2, 50, true},   // 100 - 250 = -150, +100, +100
        {100, true, 99, 0, 1, true},
        {100, true, 100, 1, 100, true},
        {100, true, 1000, 10, 100, true},
        {100, false, 250, 1, -150, false},
        {0, true, 1, 1, -1, false},      // a zero period cannot repeat
        {-5, true, 0, 1, -5, false},
        {1, true, INT32_MAX, uint32_t(INT32_MAX), 1, true},
    };
    for (const Case& c : cases) {
        IntervalTimer t;
        t.start(c.delay, c.repeat);
        EXPECT_EQ(t.update(c.elapsed), c.expiries) << c.delay << " " << c.elapsed;
        EXPECT_EQ(t.remaining(), c.remaining) << c.delay << " " << c.elapsed;
        EXPECT_EQ(t.isRunning(), c.running) << c.delay << " " << c.elapsed;
    }
}

TEST(IntervalTimer, StoppedAndOneShotTimersStayQuiet)
{
    IntervalTimer t;
    EXPECT_EQ(t.update(1000), 0u);
    t.start(50, false);
    EXPECT_EQ(t.update(60), 1u);
    EXPECT_EQ(t.update(60), 0u);
    t.start(0, true);
    EXPECT_EQ(t.update(0), 1u);
    EXPECT_EQ(t.update(0), 0u);
    t.start(10, true);
    t.stop();
    EXPECT_EQ(t.update(100), 0u);
}

} // namespace
