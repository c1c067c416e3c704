// Block pool with chained overflow pools.
#include "framework/services/BlockPool.h"

#include <algorithm>
#include <new>
#include <utility>

#include "framework/services/ServiceIds.h"
#include "framework/util/KeyIndex.h"

namespace {
// Nodes hold pointers: keep each one pointer-aligned whatever size is asked.
uint32_t alignedNodeSize(uint32_t size)
{
    const uint32_t align = alignof(void*);
    if (size == 0)
        size = 1;
    // 0 for a size that cannot be rounded up within 32 bits.
    return size > UINT32_MAX - (align - 1) ? 0 : (size + align - 1) / align * align;
}
} // namespace

// Blocks are found by where they start, counted in block lengths: no two
// blocks start in one such span, and a node's block starts in its own span
// or the one before.
struct BlockPool::ChainIndex {
    BlockPool* tail = nullptr;
    uint64_t pools = 0;  // overflow pools
    // Overflow pools with room, least deep first (a binary heap).
    std::unique_ptr<BlockPool*[]> queue;
    uint64_t queued = 0;
    uint64_t capacity = 0;
    uint64_t steps = 0;
    KeyIndex<BlockPool*, uint64_t> blocks;

    void place(uint64_t i, BlockPool* pool)
    {
        queue[i] = pool;
        pool->m_queued = int64_t(i);
    }
    void siftUp(uint64_t i)
    {
        for (; i > 0 && queue[(i - 1) / 2]->m_depth > queue[i]->m_depth; i = (i - 1) / 2) {
            ++steps;
            BlockPool* up = queue[(i - 1) / 2];
            place((i - 1) / 2, queue[i]);
            place(i, up);
        }
    }
    void siftDown(uint64_t i)
    {
        for (uint64_t child; (child = 2 * i + 1) < queued; i = child) {
            ++steps;
            if (child + 1 < queued && queue[child + 1]->m_depth < queue[child]->m_depth)
                ++child;
            if (queue[i]->m_depth <= queue[child]->m_depth)
                break;
            BlockPool* down = queue[i];
            place(i, queue[child]);
            place(child, down);
        }
    }
    void push(BlockPool* pool)
    {
        place(queued, pool);
        siftUp(queued++);
    }
    void removeAt(uint64_t i)
    {
        queue[i]->m_queued = -1;
        if (i == --queued)
            return;
        place(i, queue[queued]);
        siftUp(i);
        siftDown(uint64_t(queue[i]->m_queued));
    }
    bool reserveQueue(uint64_t n)
    {
        if (n <= capacity)
            return true;
        const uint64_t grown = capacity ? capacity * 2 : 8;
        std::unique_ptr<BlockPool*[]> bigger(new (std::nothrow) BlockPool*[grown]);
        if (!bigger)
            return false;
        std::copy_n(queue.get(), queued, bigger.get());
        queue = std::move(bigger);
        capacity = grown;
        return true;
    }
    static uint64_t spanOf(const void* at, const BlockPool* pool)
    {
        return reinterpret_cast<uintptr_t>(at) / (uint64_t(pool->m_nodesPerBlock) * pool->m_nodeSize);
    }
};

BlockPool::BlockPool(uint32_t nodesPerBlock, uint32_t nodeSize, bool grow)
    : HashedObject(TypeId::BlockPool), m_nodesPerBlock(nodesPerBlock),
      m_nodeSize(alignedNodeSize(nodeSize)), m_grow(grow)
{
    // No block at all rather than an empty one, which would chain empty pools without end.
    if (nodesPerBlock == 0 || m_nodeSize == 0)
        return;
    const size_t bytes = size_t(nodesPerBlock) * m_nodeSize;
    m_block = new (std::nothrow) uint8_t[bytes];
    m_freeStack = new (std::nothrow) void*[nodesPerBlock];
    m_inUse = new (std::nothrow) uint8_t[(nodesPerBlock + 7) / 8]();
    if (!m_block || !m_freeStack || !m_inUse) {
        delete[] m_block;
        delete[] m_freeStack;
        delete[] m_inUse;
        m_block = nullptr;
        m_freeStack = nullptr;
        m_inUse = nullptr;
        return;
    }
    m_bump = m_block;
    m_end = m_block + bytes;
}

BlockPool::~BlockPool()
{
    // The first pool owns the chain and takes it down from the tail, one
    // pool at a time, however long it is.
    if (m_index) {
        for (BlockPool* pool = m_index->tail; pool != this;) {
            BlockPool* parent = pool->m_parent;
            pool->m_parent = nullptr;
            pool->m_chained = nullptr;
            delete pool;
            pool = parent;
        }
        m_chained = nullptr;
    }
    if (m_parent && m_parent->m_chained == this)
        m_parent->m_chained = nullptr;
    delete[] m_block;
    delete[] m_freeStack;
    delete[] m_inUse;
}

bool BlockPool::ownsNode(const void* node) const
{
    const uint8_t* p = static_cast<const uint8_t*>(node);
    return m_block && p >= m_block && p < m_end;
}

uint64_t BlockPool::probes() const
{
    return m_steps + (m_index ? m_index->steps + m_index->blocks.probes() : 0);
}

bool BlockPool::isInUse(uint32_t index) const
{
    return (m_inUse[index >> 3] >> (index & 7)) & 1;
}

void BlockPool::setInUse(uint32_t index, bool used)
{
    const uint8_t bit = uint8_t(1u << (index & 7));
    if (used)
        m_inUse[index >> 3] |= bit;
    else
        m_inUse[index >> 3] &= uint8_t(~bit);
}

void* BlockPool::takeNode()
{
    void* node = nullptr;
    if (m_freeCount > 0) {
        node = m_freeStack[--m_freeCount];
    } else {
        node = m_bump;
        m_bump += m_nodeSize;
    }
    setInUse(uint32_t((static_cast<uint8_t*>(node) - m_block) / m_nodeSize), true);
    return node;
}

BlockPool* BlockPool::grow()
{
    if (!m_index) {
        m_index.reset(new (std::nothrow) ChainIndex());
        if (!m_index)
            return nullptr;
        m_index->tail = this;
    }
    if (!m_index->reserveQueue(m_index->pools + 1))
        return nullptr;
    BlockPool* pool = new (std::nothrow) BlockPool(m_nodesPerBlock, m_nodeSize, m_grow);
    if (!pool)
        return nullptr;
    if (!pool->m_block || !m_index->blocks.claim(ChainIndex::spanOf(pool->m_block, pool), pool)) {
        delete pool;
        return nullptr;
    }
    BlockPool* tail = m_index->tail;
    pool->m_parent = tail;
    pool->m_first = this;
    pool->m_depth = tail->m_depth + 1;
    tail->m_chained = pool;
    m_index->tail = pool;
    ++m_index->pools;
    m_index->push(pool);
    return pool;
}

void* BlockPool::allocate()
{
    if (m_first != this)
        return m_first->allocate();
    ++m_steps;
    // This pool first, then the least deep overflow pool with room: the
    // node a walk down the chain would meet first.
    if (m_block && hasRoom())
        return takeNode();
    if (!m_index || m_index->queued == 0) {
        // A pool without a block of its own (no room for a node) does not chain.
        if (!m_grow || !m_block || !grow())
            return nullptr;
    }
    BlockPool* pool = m_index->queue[0];
    void* node = pool->takeNode();
    if (!pool->hasRoom())
        m_index->removeAt(0);
    return node;
}

BlockPool* BlockPool::ownerOf(const void* node)
{
    if (ownsNode(node))
        return this;
    if (!m_index)
        return nullptr;
    const uint64_t span = ChainIndex::spanOf(node, this);
    for (uint64_t back = 0; back < 2 && back <= span; ++back) {
        BlockPool* const* pool = m_index->blocks.find(span - back);
        if (pool && (*pool)->ownsNode(node))
            return *pool;
    }
    return nullptr;
}

bool BlockPool::takeBack(void* node)
{
    const size_t offset = size_t(static_cast<uint8_t*>(node) - m_block);
    if (offset % m_nodeSize != 0 || static_cast<uint8_t*>(node) >= m_bump)
        return false;
    const uint32_t index = uint32_t(offset / m_nodeSize);
    if (!isInUse(index))
        return false;
    setInUse(index, false);
    m_freeStack[m_freeCount++] = node;
    return true;
}

void BlockPool::dropTail(BlockPool* tail)
{
    m_index->blocks.erase(ChainIndex::spanOf(tail->m_block, tail));
    if (tail->m_queued >= 0)
        m_index->removeAt(uint64_t(tail->m_queued));
    tail->m_parent->m_chained = nullptr;
    m_index->tail = tail->m_parent;
    --m_index->pools;
    tail->m_parent = nullptr;
    delete tail;
}

void BlockPool::free(void* node)
{
    if (!node)
        return;
    if (m_first != this)
        return m_first->free(node);
    ++m_steps;
    BlockPool* pool = ownerOf(node);
    if (!pool || !pool->takeBack(node))
        return;
    if (pool == this)
        return;
    if (pool->m_queued < 0)
        m_index->push(pool);
    // The last overflow pool goes once every node it handed out is back.
    if (!pool->m_chained && size_t(pool->m_freeCount) * m_nodeSize == size_t(pool->m_bump - pool->m_block))
        dropTail(pool);
}
