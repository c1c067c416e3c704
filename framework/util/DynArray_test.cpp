#include "framework/util/DynArray.h"

#include <gtest/gtest.h>

using namespace DynArrayResult;

TEST(DynArray, GrowsToTenThenKeepsTwiceTheCount)
{
    DynArray a;
    EXPECT_EQ(a.capacity(), 0);
    ASSERT_EQ(a.append(1), Ok);
    EXPECT_EQ(a.capacity(), 10);
    for (uint32_t v = 2; v <= 5; ++v)
        a.append(v);
    EXPECT_EQ(a.capacity(), 10);
    ASSERT_EQ(a.append(6), Ok); // asks for 12 slots before it is full
    EXPECT_EQ(a.capacity(), 12);
    EXPECT_EQ(a.size(), 6);
    for (int32_t i = 0; i < 6; ++i) {
        uint32_t v = 0;
        ASSERT_EQ(a.get(i, &v), Ok);
        EXPECT_EQ(v, uint32_t(i + 1));
    }
    uint32_t last = 0;
    ASSERT_EQ(a.removeAt(5, &last), Ok);
    EXPECT_EQ(last, 6u);
    EXPECT_EQ(a.capacity(), 12);
}

TEST(DynArray, IndexChecksAndSearches)
{
    DynArray a;
    for (uint32_t v : {4u, 7u, 4u, 9u})
        a.append(v);
    uint32_t out = 77;
    const struct {
        int result;
        int expected;
    } checks[] = {
        {a.get(-1, &out), BadIndex}, {a.get(4, &out), BadIndex},      {a.set(4, 1), BadIndex},
        {a.insertAt(5, 1), BadIndex}, {a.removeAt(-1, &out), BadIndex}, {a.removeValue(5), NotFound},
        {a.reserveChecked(-1), BadSize},
    };
    for (const auto& c : checks)
        EXPECT_EQ(c.result, c.expected);
    EXPECT_EQ(out, 77u);
    EXPECT_EQ(a.indexOf(4), 0);
    EXPECT_EQ(a.lastIndexOf(4), 2);
    EXPECT_EQ(a.indexOfFrom(1, 4), 2);
    EXPECT_EQ(a.indexOfFrom(3, 4), -1);
    EXPECT_EQ(a.lastIndexOfFrom(1, 4), 0);
    EXPECT_EQ(a.lastIndexOfFrom(-1, 4), -1);
    EXPECT_EQ(a.indexOf(5), -1);
    ASSERT_EQ(a.insertAt(0, 1), Ok);
    ASSERT_EQ(a.removeValue(4), Ok);
    EXPECT_EQ(a.size(), 4);
    const uint32_t expected[] = {1, 7, 4, 9};
    for (int32_t i = 0; i < 4; ++i)
        EXPECT_EQ(a.data()[i], expected[i]);
    a.clear();
    EXPECT_TRUE(a.isEmpty());
    EXPECT_GT(a.capacity(), 0);
}

TEST(DynArray, ExactReserveShrinksAndRefusesHugeSizes)
{
    DynArray a;
    a.resize(3);
    EXPECT_EQ(a.capacity(), 10);
    EXPECT_EQ(a.data()[2], 0u);
    ASSERT_EQ(a.shrinkToFit(), Ok);
    EXPECT_EQ(a.capacity(), 3);
    EXPECT_EQ(a.reserve(0, true), Ok);
    EXPECT_EQ(a.capacity(), 0);
    EXPECT_EQ(a.data(), nullptr);
    ASSERT_EQ(a.append(8), Ok);
    EXPECT_EQ(a.size(), 1);
    EXPECT_EQ(a.data()[0], 8u);
    a.resize(3);
    EXPECT_EQ(a.reserve(0x20000000, false), OutOfMemory); // doubled: 2^30
    EXPECT_EQ(a.reserve(0x7fffffff, false), OutOfMemory); // doubling overflows 32 bits
    EXPECT_EQ(a.resize(0x40000000), OutOfMemory);
    EXPECT_EQ(a.size(), 3);
    a.clear();
    EXPECT_EQ(a.append(5), Ok);
    EXPECT_EQ(a.capacity(), 10);
}

// An exact reserve below the count drops the values past the new storage, so
// no index or search can reach beyond it.
TEST(DynArray, ExactShrinkBelowCountDropsTheValuesPastIt)
{
    const struct {
        int32_t slots;
        int32_t count;
    } cases[] = {{0, 0}, {2, 2}, {5, 5}, {7, 5}};
    for (const auto& c : cases) {
        DynArray a;
        for (uint32_t v = 1; v <= 5; ++v)
            a.append(v * 10);
        ASSERT_EQ(a.reserve(c.slots, true), Ok);
        EXPECT_EQ(a.capacity(), c.slots);
        ASSERT_EQ(a.size(), c.count) << c.slots;
        uint32_t out = 0;
        EXPECT_EQ(a.get(c.count, &out), BadIndex);
        EXPECT_EQ(a.set(c.count, 1), BadIndex);
        EXPECT_EQ(a.removeAt(c.count, &out), BadIndex);
        EXPECT_EQ(a.indexOf(50), c.count == 5 ? 4 : -1);
        EXPECT_EQ(a.lastIndexOf(10), c.count > 0 ? 0 : -1);
        for (int32_t i = 0; i < c.count; ++i) {
            ASSERT_EQ(a.get(i, &out), Ok);
            EXPECT_EQ(out, uint32_t(i + 1) * 10);
        }
        ASSERT_EQ(a.insertAt(c.count, 99), Ok);
        ASSERT_EQ(a.removeAt(0, &out), Ok);
        EXPECT_EQ(a.size(), c.count);
    }
}
