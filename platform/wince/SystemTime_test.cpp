#include "platform/wince/SystemTime.h"

#include "platform/host/HostTime.h"

#include <gtest/gtest.h>

namespace {

struct SystemTimeTest : ::testing::Test {
    void TearDown() override { hostClockSetReal(); }
};

TEST_F(SystemTimeTest, UnixTimeCountsSecondsFrom1970)
{
    struct Case {
        int64_t unixMs;
        uint32_t seconds;
    };
    const Case cases[] = {
        { 10'000, 10 },              // 1970-01-01 00:00:10
        { 0, 0 },
        { 999, 0 },
        { 1'700'000'000'500, 1'700'000'000 },
    };
    for (const Case& c : cases) {
        hostClockSetVirtual(0, c.unixMs);
        EXPECT_EQ(getUnixTime(), c.seconds) << c.unixMs;
    }
}

TEST_F(SystemTimeTest, UnconvertibleSystemTimeGivesZero)
{
    // Before 1601 the system time has no file time.
    hostClockSetVirtual(0, -11'700'000'000'000);
    EXPECT_EQ(getUnixTime(), 0u);
}

TEST_F(SystemTimeTest, TickCountWrapsFromTheTopOfTheRange)
{
    hostClockSetVirtual(0xFFFFFFF0u, 0);
    EXPECT_EQ(getTickCount(), 0xFFFFFFF0u);
    hostClockAdvance(0x20);
    EXPECT_EQ(getTickCount(), 0x10u);
}

} // namespace
