#include "framework/services/BlockPool.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <new>
#include <vector>

#include "framework/services/TrackedBlockPool.h"
#include "tests/support/AllocationWatch.h"

TEST(BlockPool, TwentyFirstNodeComesFromChainedPoolThatVanishesWhenFreed)
{
    BlockPool pool(20, 16, true);
    std::vector<void*> nodes;
    for (int i = 0; i < 20; ++i) {
        nodes.push_back(pool.allocate());
        ASSERT_TRUE(pool.ownsNode(nodes.back()));
    }
    EXPECT_EQ(pool.chained(), nullptr);
    void* extra = pool.allocate();
    ASSERT_NE(extra, nullptr);
    EXPECT_FALSE(pool.ownsNode(extra));
    ASSERT_NE(pool.chained(), nullptr);
    EXPECT_TRUE(pool.chained()->ownsNode(extra));
    EXPECT_EQ(pool.chained()->parent(), &pool);

    pool.free(extra);
    EXPECT_EQ(pool.chained(), nullptr);
    for (void* n : nodes)
        pool.free(n);
    EXPECT_EQ(pool.freeCount(), 20u);
}

TEST(BlockPool, PoolsWithoutRoomForANodeYieldNullEvenWhenGrowing)
{
    const struct {
        uint32_t nodes;
        uint32_t size;
    } cases[] = {{0, 16}, {4, UINT32_MAX}, {4, UINT32_MAX - 3}};
    for (const auto& c : cases) {
        BlockPool pool(c.nodes, c.size, true);
        EXPECT_EQ(pool.allocate(), nullptr) << c.nodes << " " << c.size;
        EXPECT_EQ(pool.chained(), nullptr);
    }
}

TEST(BlockPool, FreedNodesAreReusedLastFreedFirst)
{
    BlockPool pool(4, 8, false);
    void* a = pool.allocate();
    void* b = pool.allocate();
    pool.free(a);
    pool.free(b);
    EXPECT_EQ(pool.allocate(), b);
    EXPECT_EQ(pool.allocate(), a);
}

TEST(BlockPool, ExhaustedPoolWithoutGrowthYieldsNull)
{
    BlockPool pool(2, 8, false);
    EXPECT_NE(pool.allocate(), nullptr);
    EXPECT_NE(pool.allocate(), nullptr);
    EXPECT_EQ(pool.allocate(), nullptr);
}

TEST(BlockPool, ForeignAndRepeatedFreesAreIgnored)
{
    BlockPool pool(4, 8, false);
    void* a = pool.allocate();
    void* b = pool.allocate();
    int foreign = 0;
    pool.free(&foreign);
    pool.free(nullptr);
    pool.free(static_cast<char*>(a) + 1); // not a node boundary
    EXPECT_EQ(pool.freeCount(), 0u);
    pool.free(a);
    pool.free(a);
    EXPECT_EQ(pool.freeCount(), 1u);
    // Never handed out: past the bump pointer.
    pool.free(static_cast<char*>(b) + pool.nodeSize());
    EXPECT_EQ(pool.freeCount(), 1u);
    EXPECT_EQ(pool.allocate(), a);
    EXPECT_NE(pool.allocate(), a);
}

TEST(BlockPool, MiddleOverflowPoolStaysWhileItHasAChain)
{
    BlockPool pool(1, 8, true);
    void* a = pool.allocate();
    void* b = pool.allocate(); // first overflow
    void* c = pool.allocate(); // overflow of the overflow
    BlockPool* first = pool.chained();
    ASSERT_NE(first, nullptr);
    ASSERT_NE(first->chained(), nullptr);
    pool.free(b);
    EXPECT_EQ(pool.chained(), first);
    pool.free(c);
    EXPECT_EQ(first->chained(), nullptr);
    pool.free(a);

    // Memory that runs out at any allocation of a chain's growth, its index's
    // and queue's among them: null, and the chain still hands out and takes
    // back every node.
    for (size_t failAt = 1, more = 1; more; ++failAt) {
        BlockPool chain(1, 8, true);
        std::vector<void*> nodes;
        nodes.reserve(12);
        {
            AllocationWatch watch(SIZE_MAX, failAt);
            for (void* n; nodes.size() < 12 && (n = chain.allocate()) != nullptr;)
                nodes.push_back(n);
            more = watch.requests() >= failAt;
        }
        while (nodes.size() < 12)
            nodes.push_back(chain.allocate());
        std::sort(nodes.begin(), nodes.end());
        EXPECT_TRUE(nodes[0] != nullptr && std::adjacent_find(nodes.begin(), nodes.end()) == nodes.end()) << failAt;
        for (void* n : nodes)
            chain.free(n);
        EXPECT_EQ(chain.freeCount(), 1u) << failAt;
        for (void*& n : nodes)
            EXPECT_NE(n = chain.allocate(), nullptr) << failAt;
    }
}

// Twice the nodes cost at most 2.3 times the counted steps, whatever order
// (node j * stride % n j-th) they come back in; a freed node goes out again as
// a walk down the chain would hand it: the first pool with room, its last freed.
TEST(BlockPool, StepsStayInProportionToTheNodes)
{
    const struct { uint32_t perBlock, stride; } rows[] = {{20, 1}, {20, UINT32_MAX}, {1, 1}, {1, UINT32_MAX}, {7, 7919}};
    for (const auto& row : rows) {
        uint64_t steps[2] = {};
        // The pools with room are a heap: sizes where its log barely grows.
        for (uint32_t k = 0, n = 16384; k < 2; ++k, n *= 2) {
            BlockPool pool(row.perBlock, 24, true);
            std::vector<void*> nodes(n);
            std::vector<uint32_t> freed;
            std::generate(nodes.begin(), nodes.end(), [&] { return pool.allocate(); });
            // The last node stays out, so no pool goes.
            for (uint32_t j = 0, i; j < n / 2; ++j)
                if ((i = j * row.stride % n) != n - 1) {
                    pool.free(nodes[i]);
                    freed.push_back(i);
                }
            std::reverse(freed.begin(), freed.end()); // newest first
            std::stable_sort(freed.begin(), freed.end(), [&](uint32_t a, uint32_t b) { return a / row.perBlock < b / row.perBlock; });
            for (uint32_t i : freed)
                ASSERT_EQ(pool.allocate(), nodes[i]) << i;
            for (uint32_t j = 0; j < n; ++j)
                pool.free(nodes[j * row.stride % n]);
            steps[k] = pool.probes();
        }
        EXPECT_LE(steps[1] * 10, steps[0] * 23) << row.perBlock << " " << row.stride << ": " << steps[0] << " then " << steps[1];
    }
}

namespace {
struct Counted : HashedObject {
    explicit Counted(int* live) : m_live(live) { ++*m_live; }
    ~Counted() override { --*m_live; }
    int* m_live;
};
} // namespace

TEST(TrackedBlockPool, DestroyAllRunsEveryDestructorAndReturnsNodes)
{
    int live = 0;
    TrackedBlockPool pool(7, 4, sizeof(Counted), true);
    std::vector<void*> nodes;
    for (int i = 0; i < 6; ++i) {
        void* node = pool.allocate();
        ASSERT_NE(node, nullptr);
        new (node) Counted(&live);
        nodes.push_back(node);
    }
    EXPECT_EQ(live, 6);
    EXPECT_EQ(pool.trackedCount(), 6u);
    static_cast<Counted*>(nodes[0])->~Counted();
    pool.free(nodes[0]);
    EXPECT_EQ(pool.trackedCount(), 5u);
    pool.free(nodes[0]); // no longer tracked: ignored
    pool.destroyAll();
    EXPECT_EQ(live, 0);
    EXPECT_EQ(pool.trackedCount(), 0u);
    EXPECT_EQ(pool.chained(), nullptr);
}
