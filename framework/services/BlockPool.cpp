// Block pool with chained overflow pools.
#include "framework/services/BlockPool.h"

#include <new>

#include "framework/services/ServiceIds.h"

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
    BlockPool* chained = m_chained;
    m_chained = nullptr;
    if (chained) {
        chained->m_parent = nullptr;
        delete chained;
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

void* BlockPool::allocate()
{
    void* node = nullptr;
    if (m_freeCount > 0) {
        node = m_freeStack[--m_freeCount];
    } else if (m_block && m_bump < m_end) {
        node = m_bump;
        m_bump += m_nodeSize;
    }
    if (node) {
        setInUse(uint32_t((static_cast<uint8_t*>(node) - m_block) / m_nodeSize), true);
        return node;
    }
    if (m_chained)
        return m_chained->allocate();
    // A pool without a block of its own (no room for a node) does not chain.
    if (!m_grow || !m_block)
        return nullptr;
    BlockPool* chained = new (std::nothrow) BlockPool(m_nodesPerBlock, m_nodeSize, m_grow);
    if (!chained)
        return nullptr;
    if (!chained->m_block) {
        delete chained;
        return nullptr;
    }
    chained->m_parent = this;
    m_chained = chained;
    return chained->allocate();
}

void BlockPool::free(void* node)
{
    if (!node)
        return;
    if (!ownsNode(node)) {
        if (m_chained)
            m_chained->free(node);
        return;
    }
    const size_t offset = size_t(static_cast<uint8_t*>(node) - m_block);
    if (offset % m_nodeSize != 0 || static_cast<uint8_t*>(node) >= m_bump)
        return;
    const uint32_t index = uint32_t(offset / m_nodeSize);
    if (!isInUse(index))
        return;
    setInUse(index, false);
    m_freeStack[m_freeCount++] = node;
    if (m_parent && !m_chained && size_t(m_freeCount) * m_nodeSize == size_t(m_bump - m_block)) {
        m_parent->m_chained = nullptr;
        m_parent = nullptr;
        delete this;
    }
}
