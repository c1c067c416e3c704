#include "framework/events/EventQueue.h"

#include <gtest/gtest.h>

TEST(EventQueue, TwentyFirstEventGrowsToFortySlotsAndKeepsAll)
{
    EventQueue queue;
    for (uint32_t i = 0; i < 20; ++i)
        ASSERT_EQ(queue.post(i, i * 2, i * 3), 1);
    EXPECT_EQ(queue.capacity(), 20u);
    ASSERT_EQ(queue.post(20, 40, 60), 1);
    EXPECT_EQ(queue.capacity(), 40u);
    ASSERT_EQ(queue.count(), 21u);
    for (uint32_t i = 0; i < 21; ++i) {
        Event e;
        queue.get(i, &e);
        EXPECT_EQ(e.id, i);
        EXPECT_EQ(e.arg1, i * 2);
        EXPECT_EQ(e.arg2, i * 3);
    }
}

TEST(EventQueue, ReadPastCountGivesZerosAndResetKeepsStorage)
{
    EventQueue queue;
    queue.post(7, 8, 9);
    Event e{1, 2, 3};
    queue.get(1, &e);
    EXPECT_EQ(e.id, 0u);
    EXPECT_EQ(e.arg1, 0u);
    EXPECT_EQ(e.arg2, 0u);
    queue.resetCount();
    EXPECT_EQ(queue.count(), 0u);
    EXPECT_EQ(queue.capacity(), 20u);
    queue.clear();
    EXPECT_EQ(queue.capacity(), 0u);
    EXPECT_EQ(queue.post(1, 1, 1), 1);
    EXPECT_EQ(queue.capacity(), 20u);
}
