// Fixed-size node allocator: one block carved by a bump pointer, a free stack
// for reuse, and (when allowed to grow) a chain of overflow pools that delete
// themselves once every node they handed out has come back. The first pool
// keeps the chain's pools with room in order of depth, and its blocks by
// address, so a node costs the same however long the chain grows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "framework/services/HashedObject.h"

class BlockPool : public HashedObject {
public:
    BlockPool(uint32_t nodesPerBlock, uint32_t nodeSize, bool grow);
    ~BlockPool() override;

    // Null when the pool is exhausted and may not grow, or memory runs out.
    virtual void* allocate();
    // Null, a node this chain never handed out and a node already free are ignored.
    virtual void free(void* node);

    uint32_t nodesPerBlock() const { return m_nodesPerBlock; }
    uint32_t nodeSize() const { return m_nodeSize; }
    uint32_t freeCount() const { return m_freeCount; }
    BlockPool* chained() const { return m_chained; }
    BlockPool* parent() const { return m_parent; }
    bool ownsNode(const void* node) const;
    // Pools, heap places and index slots looked at so far: the work tests count.
    uint64_t probes() const;

private:
    struct ChainIndex;

    bool isInUse(uint32_t index) const;
    void setInUse(uint32_t index, bool used);
    bool hasRoom() const { return m_freeCount > 0 || m_bump < m_end; }
    void* takeNode();
    // 1 when the node was one of this pool's, in use, and is now free.
    bool takeBack(void* node);
    BlockPool* grow();
    void dropTail(BlockPool* tail);
    BlockPool* ownerOf(const void* node);

    BlockPool* m_parent = nullptr;
    BlockPool* m_chained = nullptr;
    uint8_t* m_block = nullptr;
    void** m_freeStack = nullptr;
    uint32_t m_freeCount = 0;
    uint32_t m_nodesPerBlock;
    uint32_t m_nodeSize;
    uint8_t* m_bump = nullptr;
    uint8_t* m_end = nullptr;
    bool m_grow;
    // One bit per node: catches a second free of the same node.
    uint8_t* m_inUse = nullptr;
    // The pool that heads the chain; the others hand their calls to it.
    BlockPool* m_first = this;
    // Place in the chain (0 for the first pool) and in the first pool's
    // queue of pools with room (-1 when not queued).
    uint32_t m_depth = 0;
    int64_t m_queued = -1;
    // The first pool's, made when it first chains.
    std::unique_ptr<ChainIndex> m_index;
    uint64_t m_steps = 0;
};
