// Tracked block pool.
#include "framework/services/TrackedBlockPool.h"

TrackedBlockPool::TrackedBlockPool(uint32_t bucketHint, uint32_t nodesPerBlock, uint32_t nodeSize, bool grow)
    : BlockPool(nodesPerBlock, nodeSize, grow)
{
    m_table.init(bucketHint, nodesPerBlock, grow);
}

TrackedBlockPool::~TrackedBlockPool()
{
    TrackedBlockPool::destroyAll();
    m_table.release();
}

void* TrackedBlockPool::allocate()
{
    void* node = BlockPool::allocate();
    // A node the table cannot record could never be freed or destroyed: give it back.
    if (node && !m_table.insert(keyOf(node), node)) {
        BlockPool::free(node);
        return nullptr;
    }
    return node;
}

void TrackedBlockPool::free(void* node)
{
    if (!node)
        return;
    // Only nodes this pool handed out; keys are truncated addresses, so match the node itself.
    if (m_table.removeValue(keyOf(node), node))
        BlockPool::free(node);
}

void TrackedBlockPool::destroyAll()
{
    // Destroy first, leaving the table alone; then give every node back.
    for (uint32_t i = 0; i < m_table.bucketCount(); ++i) {
        for (IdHashNode* n = m_table.bucket(i); n; n = n->next) {
            if (n->value)
                static_cast<HashedObject*>(n->value)->~HashedObject();
        }
    }
    while (IdHashNode* n = m_table.anyNode()) {
        void* node = n->value;
        m_table.removeValue(n->key, node);
        BlockPool::free(node);
    }
}

uint32_t TrackedBlockPool::trackedCount() const
{
    uint32_t count = 0;
    for (uint32_t i = 0; i < m_table.bucketCount(); ++i) {
        for (IdHashNode* n = m_table.bucket(i); n; n = n->next)
            ++count;
    }
    return count;
}
