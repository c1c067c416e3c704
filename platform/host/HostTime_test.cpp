#include "platform/host/HostTime.h"

#include "platform/host/LastError.h"

#include <gtest/gtest.h>

namespace {

struct ClockReset : ::testing::Test {
    void TearDown() override { hostClockSetReal(); }
};

using HostTime = ClockReset;

uint64_t ticksOf(const FILETIME& ft)
{
    return (uint64_t(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
}

TEST_F(HostTime, VirtualTickCounterWrapsAtThirtyTwoBits)
{
    hostClockSetVirtual(0xFFFFFFF0u, 0);
    EXPECT_EQ(GetTickCount(), 0xFFFFFFF0u);
    hostClockAdvance(0x10);
    EXPECT_EQ(GetTickCount(), 0u);
    hostClockAdvance(30);
    EXPECT_EQ(GetTickCount(), 30u);
    // Differences across the wrap stay right in unsigned arithmetic.
    EXPECT_EQ(GetTickCount() - 0xFFFFFFF0u, 46u);
}

TEST_F(HostTime, RealTickCounterStartsFromTheOffset)
{
    hostClockSetReal(0xFFFFFFF0u);
    const DWORD first = GetTickCount();
    EXPECT_GE(first - 0xFFFFFFF0u, 0u);
    EXPECT_LT(DWORD(first - 0xFFFFFFF0u), 60000u);
    EXPECT_LT(DWORD(GetTickCount() - first), 60000u);
}

TEST_F(HostTime, VirtualSystemTimeAdvancesWithTheTicks)
{
    hostClockSetVirtual(0, 10'000);
    SYSTEMTIME st{};
    GetSystemTime(&st);
    EXPECT_EQ(st.wYear, 1970);
    EXPECT_EQ(st.wMonth, 1);
    EXPECT_EQ(st.wDay, 1);
    EXPECT_EQ(st.wDayOfWeek, 4); // a Thursday
    EXPECT_EQ(st.wSecond, 10);
    hostClockAdvance(86'400'000 + 1'500);
    GetSystemTime(&st);
    EXPECT_EQ(st.wDay, 2);
    EXPECT_EQ(st.wSecond, 11);
    EXPECT_EQ(st.wMilliseconds, 500);
}

TEST_F(HostTime, SystemTimeToFileTimeCountsFrom1601)
{
    struct Case {
        SYSTEMTIME time;
        uint64_t ticks;
    };
    const Case cases[] = {
        { { 1601, 1, 0, 1, 0, 0, 0, 0 }, 0 },
        { { 1601, 1, 0, 1, 0, 0, 0, 1 }, 10'000 },
        { { 1970, 1, 0, 1, 0, 0, 0, 0 }, 116'444'736'000'000'000ull },
        { { 1970, 1, 0, 1, 0, 0, 10, 0 }, 116'444'736'100'000'000ull },
        { { 2000, 2, 0, 29, 12, 0, 0, 0 }, 125'962'992'000'000'000ull },
    };
    for (const Case& c : cases) {
        FILETIME ft{};
        ASSERT_TRUE(SystemTimeToFileTime(&c.time, &ft)) << c.time.wYear;
        EXPECT_EQ(ticksOf(ft), c.ticks) << c.time.wYear;
    }
}

TEST_F(HostTime, SystemTimeToFileTimeRefusesFieldsOutOfRange)
{
    const SYSTEMTIME bad[] = {
        { 1600, 12, 0, 31, 0, 0, 0, 0 },
        { 2001, 2, 0, 29, 0, 0, 0, 0 },
        { 2000, 13, 0, 1, 0, 0, 0, 0 },
        { 2000, 1, 0, 0, 0, 0, 0, 0 },
        { 2000, 1, 0, 1, 24, 0, 0, 0 },
        { 2000, 1, 0, 1, 0, 60, 0, 0 },
        { 2000, 1, 0, 1, 0, 0, 60, 0 },
        { 2000, 1, 0, 1, 0, 0, 0, 1000 },
    };
    for (const SYSTEMTIME& st : bad) {
        FILETIME ft{ 0x1234, 0x5678 };
        SetLastError(0);
        EXPECT_FALSE(SystemTimeToFileTime(&st, &ft));
        EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
        EXPECT_EQ(ft.dwLowDateTime, 0x1234u);
        EXPECT_EQ(ft.dwHighDateTime, 0x5678u);
    }
}

} // namespace
