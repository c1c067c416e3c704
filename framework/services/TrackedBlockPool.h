// A block pool that remembers every node it hands out, so that all objects
// placed in it can be destroyed at once.
#pragma once

#include "framework/services/BlockPool.h"
#include "framework/services/IdHashMap.h"

class TrackedBlockPool : public BlockPool {
public:
    TrackedBlockPool(uint32_t bucketHint, uint32_t nodesPerBlock, uint32_t nodeSize, bool grow);
    ~TrackedBlockPool() override;

    void* allocate() override;
    void free(void* node) override;
    // Runs the destructor of every object placed in a node (constructed there
    // in place), then gives all nodes back. The objects' destructors must not
    // free their own nodes.
    virtual void destroyAll();

    uint32_t trackedCount() const;

private:
    static uint32_t keyOf(const void* node) { return uint32_t(reinterpret_cast<uintptr_t>(node)); }

    IdHashMap m_table;
};
