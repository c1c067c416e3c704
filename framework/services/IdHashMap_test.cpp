#include "framework/services/IdHashMap.h"

#include <gtest/gtest.h>

#include "framework/strings/NameHash.h"

TEST(IdHashMap, NextPrimeSkipsOddComposites)
{
    const struct {
        uint32_t n, prime;
    } cases[] = {{1, 1}, {2, 3}, {3, 3}, {9, 11}, {20, 23}, {23, 23}, {24, 29}, {25, 29}, {120, 127}};
    for (const auto& c : cases)
        EXPECT_EQ(nextPrime(c.n), c.prime) << c.n;
}

TEST(IdHashMap, InitRoundsBucketsUpToPrime)
{
    IdHashMap map;
    ASSERT_EQ(map.init(20, 20, true), 1);
    EXPECT_EQ(map.bucketCount(), 23u);
    map.release();
    EXPECT_EQ(map.bucketCount(), 0u);
}

TEST(IdHashMap, FindOfAbsentIdLeavesOutValueUntouched)
{
    IdHashMap map;
    ASSERT_EQ(map.init(5, 4, true), 1);
    int a = 0;
    ASSERT_EQ(map.insert(7, &a), 1);
    void* out = &map;
    EXPECT_EQ(map.find(8, &out), 0);
    EXPECT_EQ(out, &map);
    EXPECT_EQ(map.find(7, nullptr), 1);
    EXPECT_EQ(map.find(7, &out), 1);
    EXPECT_EQ(out, &a);
}

TEST(IdHashMap, CollidingIdsShareABucketAndStayApart)
{
    IdHashMap map;
    ASSERT_EQ(map.init(5, 4, true), 1);
    int a = 0, b = 0;
    map.insert(3, &a);
    map.insert(3 + 5, &b); // same bucket of 5
    void* out = nullptr;
    EXPECT_EQ(map.find(3, &out), 1);
    EXPECT_EQ(out, &a);
    EXPECT_EQ(map.find(8, &out), 1);
    EXPECT_EQ(out, &b);
    map.remove(3);
    EXPECT_EQ(map.find(3, nullptr), 0);
    EXPECT_EQ(map.find(8, nullptr), 1);
}

TEST(IdHashMap, RemoveTakesNewestDuplicateAndRemoveValueTakesThatOne)
{
    IdHashMap map;
    ASSERT_EQ(map.init(20, 20, true), 1);
    int older = 0, newer = 0;
    map.insert(42, &older);
    map.insert(42, &newer);
    void* out = nullptr;
    ASSERT_EQ(map.find(42, &out), 1);
    EXPECT_EQ(out, &newer);

    // Removing the older by value keeps the newer.
    EXPECT_EQ(map.removeValue(42, &older), 1);
    ASSERT_EQ(map.find(42, &out), 1);
    EXPECT_EQ(out, &newer);
    EXPECT_EQ(map.removeValue(42, &older), 0);

    map.insert(42, &older);
    map.remove(42); // newest: &older
    ASSERT_EQ(map.find(42, &out), 1);
    EXPECT_EQ(out, &newer);
    map.remove(42);
    map.remove(42); // absent: nothing happens
    EXPECT_EQ(map.find(42, nullptr), 0);
    EXPECT_EQ(map.anyNode(), nullptr);
}

TEST(IdHashMap, MapWithoutBucketsRefusesSafely)
{
    IdHashMap map; // never initialised: no buckets
    int a = 0;
    EXPECT_EQ(map.insert(1, &a), 0);
    EXPECT_EQ(map.find(1, nullptr), 0);
    map.remove(1);
    EXPECT_EQ(map.removeValue(1, &a), 0);
    map.clear();
    EXPECT_EQ(map.bucket(0), nullptr);
}

TEST(IdHashMap, InsertFailsWhenPoolCannotGrow)
{
    IdHashMap map;
    ASSERT_EQ(map.init(3, 2, false), 1);
    int a = 0;
    EXPECT_EQ(map.insert(1, &a), 1);
    EXPECT_EQ(map.insert(2, &a), 1);
    EXPECT_EQ(map.insert(3, &a), 0);
    EXPECT_EQ(map.find(3, nullptr), 0);
    map.remove(1);
    EXPECT_EQ(map.insert(3, &a), 1);
}

TEST(IdHashMap, ClearEmptiesEveryBucketAndNodesAreReused)
{
    IdHashMap map;
    ASSERT_EQ(map.init(7, 4, true), 1);
    int a = 0;
    for (uint32_t id = 0; id < 30; ++id)
        ASSERT_EQ(map.insert(id, &a), 1);
    map.clear();
    for (uint32_t i = 0; i < map.bucketCount(); ++i)
        EXPECT_EQ(map.bucket(i), nullptr);
    for (uint32_t id = 0; id < 30; ++id)
        ASSERT_EQ(map.insert(id, &a), 1);
    uint32_t count = 0;
    for (uint32_t i = 0; i < map.bucketCount(); ++i)
        for (IdHashNode* n = map.bucket(i); n; n = n->next)
            ++count;
    EXPECT_EQ(count, 30u);
}

TEST(IdHashMap, InsertByNameKeysByNameHash)
{
    IdHashMap map;
    ASSERT_EQ(map.init(20, 20, true), 1);
    int a = 0;
    uint32_t id = 0;
    ASSERT_EQ(map.insertByName("a", &a, &id), 1);
    EXPECT_EQ(id, 0x71u);
    EXPECT_EQ(id, hashName("a"));
    EXPECT_EQ(map.find(0x71, nullptr), 1);
}
