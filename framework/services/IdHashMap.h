// Map from 32-bit ids to pointer-sized values: chained buckets whose nodes
// come from a block pool. It serves as the service registry and as the id
// table of other containers. Duplicate ids are allowed; the newest shadows.
#pragma once

#include <cstdint>

#include "framework/services/HashedObject.h"

class BlockPool;

struct IdHashNode {
    uint32_t key;
    void* value;
    IdHashNode* next;
};

// Smallest odd number >= n without an odd divisor from 3 up to its root.
uint32_t nextPrime(uint32_t n);

class IdHashMap : public HashedObject {
public:
    IdHashMap();
    ~IdHashMap() override;

    // 1 when the bucket array and the node pool could be made, else 0.
    int init(uint32_t bucketHint, uint32_t nodesPerBlock, bool grow);
    void release();

    // 0 when no node can be had (no buckets, or the pool is exhausted).
    int insert(uint32_t id, void* value);
    int insertByName(const char* name, void* value, uint32_t* outId);
    // Unlinks the newest node of the id.
    void remove(uint32_t id);
    // Unlinks the node that holds this very value under the id; 1 when found.
    int removeValue(uint32_t id, const void* value);
    void clear();
    // 1 and the value (when outValue is given) for a present id; else 0, outValue untouched.
    int find(uint32_t id, void** outValue = nullptr) const;

    IdHashNode* bucket(uint32_t i) const { return i < m_bucketCount ? m_buckets[i] : nullptr; }
    uint32_t bucketCount() const { return m_bucketCount; }
    // Any node, or null when the map is empty.
    IdHashNode* anyNode() const;

private:
    IdHashNode** chainOf(uint32_t id) const { return &m_buckets[id % m_bucketCount]; }
    void unlinkAndFree(IdHashNode** link);

    BlockPool* m_pool = nullptr;
    uint32_t m_bucketCount = 0;
    IdHashNode** m_buckets = nullptr;
};
