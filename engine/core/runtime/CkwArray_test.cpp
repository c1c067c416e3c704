// Engine arrays: the growth policy, exact and growing counts, capacity
// changes, and contents kept when an allocation fails.
#include "engine/core/runtime/CkwArray.h"

#include <gtest/gtest.h>

#include "engine/core/runtime/CkwStack.h"
#include "engine/core/runtime/EngineContext.h"
#include "engine/core/runtime/Trap.h"
#include "engine/core/testing/AllocationSweep.h"

namespace {

class CkwArrayTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        FailingAllocator::start(-1);
        ASSERT_EQ(engineInit(), 1);
    }
    void TearDown() override { engineShutdown(); }

private:
    FailingAllocHooks m_hooks;
};

TEST(ArrayGrowCapacity, FollowsTheGrowthTable)
{
    struct Case {
        int32_t need, current, expected;
    };
    const Case cases[] = {
        {3, 0, 4},     {17, 16, 32},   {33, 32, 64},   {100, 0, 128}, {5, 10, 10},
        {2, 0, 2},     {0, 0, 0},      {1, 0, 1},      {4, 0, 4},     {5, 0, 8},
        {8, 0, 8},     {9, 0, 16},     {16, 0, 16},    {32, 0, 32},   {1025, 0, 2048},
        {0x40000000, 0, 0x40000000},   {0x40000001, 0, INT32_MAX},    {INT32_MAX, 0, INT32_MAX},
        {0x40000001, 0x40000000, INT32_MAX},
    };
    for (const Case& c : cases)
        EXPECT_EQ(arrayGrowCapacity(c.need, c.current), c.expected) << c.need << ", " << c.current;
}

TEST_F(CkwArrayTest, CountCapacityAndCompressBehaveAsSpecified)
{
    EXPECT_EQ(engineTrap([] {
                  CkwArray<int32_t> exact;
                  exact.setCount(5);
                  EXPECT_EQ(exact.capacity(), 5);

                  CkwArray<int32_t> growing;
                  growing.setCountGrowing(5);
                  EXPECT_EQ(growing.capacity(), 8);
                  for (int i = 0; i < 5; ++i)
                      growing[i] = i * 10;

                  growing.setCapacity(2);
                  EXPECT_EQ(growing.count(), 2);
                  EXPECT_EQ(growing.capacity(), 2);
                  EXPECT_EQ(growing[0], 0);
                  EXPECT_EQ(growing[1], 10);

                  CkwArray<int32_t> loose;
                  for (int i = 0; i < 3; ++i)
                      loose.append(i + 7);
                  loose.setCapacity(8);
                  loose.compress();
                  EXPECT_EQ(loose.capacity(), 3);
                  EXPECT_EQ(loose[0], 7);
                  EXPECT_EQ(loose[2], 9);

                  int32_t* buffer = loose.data();
                  loose.setCount(0);
                  EXPECT_EQ(loose.capacity(), 3);
                  EXPECT_EQ(loose.data(), buffer);
              }),
              KErrNone);
}

TEST_F(CkwArrayTest, AppendGrowsByThePolicy)
{
    EXPECT_EQ(engineTrap([] {
                  CkwArray<int16_t> a;
                  const int32_t expected[] = {1, 2, 4, 4, 8, 8, 8, 8, 16};
                  for (int i = 0; i < 9; ++i) {
                      a.append(static_cast<int16_t>(i));
                      EXPECT_EQ(a.capacity(), expected[i]) << i;
                  }
                  for (int i = 0; i < 9; ++i)
                      EXPECT_EQ(a[i], i);
                  // What growth copies stays in proportion to what is appended.
                  uint64_t copied[2] = {};
                  for (int32_t n : {1 << 16, 1 << 17}) {
                      const uint64_t start = engineContext()->copiedBytes;
                      CkwArray<uint8_t> bytes;
                      for (int32_t i = 0; i < n; ++i)
                          bytes.append(1);
                      copied[n >> 17] = engineContext()->copiedBytes - start;
                  }
                  EXPECT_GT(copied[0], 0u);
                  EXPECT_LE(copied[1] * 10, copied[0] * 23);
              }),
              KErrNone);
}

TEST_F(CkwArrayTest, FailedGrowthLeavesNoMemoryAndKeepsTheContents)
{
    CkwArray<int32_t>* array = new CkwArray<int32_t>;
    for (int i = 0; i < 4; ++i)
        ASSERT_EQ(engineTrap([&] { array->append(i); }), KErrNone);
    FailingAllocator::failAfter(0);
    EXPECT_EQ(engineTrap([&] { array->append(99); }), KErrNoMemory);
    EXPECT_EQ(engineTrap([&] { array->setCount(1000); }), KErrNone); // the next one succeeds
    array->setCount(4);
    FailingAllocator::failAfter(0);
    EXPECT_EQ(engineTrap([&] { array->setCapacity(100); }), KErrNoMemory);
    EXPECT_EQ(array->count(), 4);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ((*array)[i], i);
    delete array;
}

TEST_F(CkwArrayTest, SizesThatCannotBeHadLeaveNoMemory)
{
    CkwArray<int64_t> a;
    EXPECT_EQ(engineTrap([&] { a.setCount(0x40000000); }), KErrNoMemory); // 8 GiB
    EXPECT_EQ(engineTrap([&] { a.setCount(-1); }), KErrNoMemory);
    EXPECT_EQ(engineTrap([&] { a.setCountGrowing(INT32_MAX); }), KErrNoMemory);
    EXPECT_EQ(a.count(), 0);
    EXPECT_EQ(a.capacity(), 0);
    // Doubling past what one allocation may hold asks for that much instead.
    CkwArray<int32_t> words;
    FailingAllocator::start(0);
    EXPECT_EQ(engineTrap([&] { words.setCountGrowing(0x10000001); }), KErrNoMemory);
    EXPECT_EQ(FailingAllocator::largest(), (kLargestAllocation - 1) / 4 * 4);
}

TEST_F(CkwArrayTest, EveryFailingAllocationDuringAppendsKeepsWhatWasAppended)
{
    // A hundred appends grow the array eight times, to 1, 2, 4, ... 128.
    const int64_t points = sweepAllocationFailures([] {
        CkwArray<int32_t> a;
        int appended = 0;
        const int32_t code = engineTrap([&] {
            for (int i = 0; i < 100; ++i) {
                a.append(i);
                ++appended;
            }
        });
        EXPECT_EQ(code, FailingAllocator::failed() ? KErrNoMemory : KErrNone);
        ASSERT_EQ(a.count(), appended);
        for (int i = 0; i < appended; ++i)
            EXPECT_EQ(a[i], i);
    });
    EXPECT_EQ(points, 8);
}

TEST_F(CkwArrayTest, StackPushesPopsAndReadsTheTop)
{
    EXPECT_EQ(engineTrap([] {
                  CkwStack<int32_t> stack;
                  stack.push(1);
                  stack.push(2);
                  EXPECT_EQ(stack.top(), 2);
                  stack.pop();
                  EXPECT_EQ(stack.top(), 1);
                  EXPECT_EQ(stack.count(), 1);
              }),
              KErrNone);
}

} // namespace
