#include "framework/services/BlockPool.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <new>
#include <random>
#include <vector>

#include "framework/services/TrackedBlockPool.h"

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
}

// Twice the nodes cost at most 2.3 times the counted steps, whatever the
// block size and the order nodes come back in.
TEST(BlockPool, StepsStayInProportionToTheNodes)
{
    const struct {
        uint32_t perBlock;
        int order;  // 0 as handed out, 1 newest first, 2 every other one, then all again
    } rows[] = {{20, 0}, {20, 1}, {1, 0}, {1, 1}, {7, 2}};
    for (const auto& row : rows) {
        uint64_t steps[2] = {};
        for (uint32_t k = 0; k < 2; ++k) {
            const uint32_t n = 4096u << k;
            BlockPool pool(row.perBlock, 24, true);
            std::vector<void*> nodes;
            for (uint32_t i = 0; i < n; ++i)
                nodes.push_back(pool.allocate());
            if (row.order == 1)
                std::reverse(nodes.begin(), nodes.end());
            for (uint32_t i = 0; row.order == 2 && i < n; i += 2)
                pool.free(nodes[i]);
            for (uint32_t i = 0; row.order == 2 && i < n; i += 2)
                ASSERT_NE(nodes[i] = pool.allocate(), nullptr);
            for (void* node : nodes)
                pool.free(node);
            steps[k] = pool.probes();
        }
        EXPECT_LE(steps[1] * 10, steps[0] * 23) << row.perBlock << " " << row.order << ": " << steps[0] << " then " << steps[1];
    }
}

// Over random allocations and frees, every node is the one a walk down the
// chain would hand out: the first pool with room, its last freed node, else
// its next unused one; a chain's last pool goes once all its nodes are back.
TEST(BlockPool, HandsOutWhatAWalkDownTheChainWould)
{
    std::mt19937 random(61);
    for (uint32_t perBlock : {1u, 3u, 20u}) {
        BlockPool pool(perBlock, 8, true);
        struct Model {
            std::vector<void*> freed;
            uint32_t used = 0;
        };
        std::vector<Model> chain(1);
        std::map<void*, size_t> owner;  // live nodes
        for (int step = 0; step < 20000; ++step) {
            if (owner.empty() || random() % 5 < 3) {
                size_t d = 0;
                while (d < chain.size() && chain[d].freed.empty() && chain[d].used == perBlock)
                    ++d;
                if (d == chain.size())
                    chain.emplace_back();
                void* node = pool.allocate();
                if (!chain[d].freed.empty()) {
                    ASSERT_EQ(node, chain[d].freed.back()) << step;
                    chain[d].freed.pop_back();
                } else {
                    ++chain[d].used;
                }
                ASSERT_TRUE(owner.emplace(node, d).second) << step;
                const BlockPool* at = &pool;
                for (size_t i = 0; i < d; ++i)
                    at = at->chained();
                ASSERT_TRUE(at->ownsNode(node)) << step;
            } else {
                auto it = std::next(owner.begin(), random() % owner.size());
                const size_t d = it->second;
                pool.free(it->first);
                pool.free(it->first);  // a second free is ignored
                chain[d].freed.push_back(it->first);
                owner.erase(it);
                if (d > 0 && d + 1 == chain.size() && chain[d].freed.size() == chain[d].used)
                    chain.pop_back();
            }
            size_t length = 0;
            for (const BlockPool* at = &pool; at; at = at->chained())
                ++length;
            ASSERT_EQ(length, chain.size()) << step;
        }
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
