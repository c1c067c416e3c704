// Chained hash map over a block pool.
#include "framework/services/IdHashMap.h"

#include <new>

#include "framework/services/BlockPool.h"
#include "framework/services/ServiceIds.h"
#include "framework/strings/NameHash.h"

uint32_t nextPrime(uint32_t n)
{
    uint32_t candidate = (n & 1) ? n : n + 1;
    for (;; candidate += 2) {
        bool prime = true;
        for (uint64_t d = 3; d * d <= candidate; d += 2) {
            if (candidate % d == 0) {
                prime = false;
                break;
            }
        }
        if (prime)
            return candidate;
    }
}

IdHashMap::IdHashMap() : HashedObject(TypeId::IdHashMap) {}

IdHashMap::~IdHashMap()
{
    release();
}

int IdHashMap::init(uint32_t bucketHint, uint32_t nodesPerBlock, bool grow)
{
    release();
    const uint32_t count = nextPrime(bucketHint);
    m_buckets = new (std::nothrow) IdHashNode*[count]();
    m_pool = new (std::nothrow) BlockPool(nodesPerBlock, sizeof(IdHashNode), grow);
    if (!m_buckets || !m_pool) {
        release();
        return 0;
    }
    m_bucketCount = count;
    return 1;
}

void IdHashMap::release()
{
    delete[] m_buckets;
    m_buckets = nullptr;
    m_bucketCount = 0;
    delete m_pool;
    m_pool = nullptr;
}

int IdHashMap::insert(uint32_t id, void* value)
{
    if (m_bucketCount == 0)
        return 0;
    IdHashNode* node = static_cast<IdHashNode*>(m_pool->allocate());
    if (!node)
        return 0;
    IdHashNode** head = chainOf(id);
    node->key = id;
    node->value = value;
    node->next = *head;
    *head = node;
    return 1;
}

int IdHashMap::insertByName(const char* name, void* value, uint32_t* outId)
{
    const uint32_t id = hashName(name);
    if (outId)
        *outId = id;
    return insert(id, value);
}

void IdHashMap::unlinkAndFree(IdHashNode** link)
{
    IdHashNode* node = *link;
    *link = node->next;
    m_pool->free(node);
}

void IdHashMap::remove(uint32_t id)
{
    if (m_bucketCount == 0)
        return;
    for (IdHashNode** link = chainOf(id); *link; link = &(*link)->next) {
        if ((*link)->key == id) {
            unlinkAndFree(link);
            return;
        }
    }
}

int IdHashMap::removeValue(uint32_t id, const void* value)
{
    if (m_bucketCount == 0)
        return 0;
    for (IdHashNode** link = chainOf(id); *link; link = &(*link)->next) {
        if ((*link)->key == id && (*link)->value == value) {
            unlinkAndFree(link);
            return 1;
        }
    }
    return 0;
}

void IdHashMap::clear()
{
    for (uint32_t i = 0; i < m_bucketCount; ++i) {
        while (m_buckets[i])
            unlinkAndFree(&m_buckets[i]);
    }
}

int IdHashMap::find(uint32_t id, void** outValue) const
{
    if (m_bucketCount == 0)
        return 0;
    for (const IdHashNode* node = *chainOf(id); node; node = node->next) {
        if (node->key == id) {
            if (outValue)
                *outValue = node->value;
            return 1;
        }
    }
    return 0;
}

IdHashNode* IdHashMap::anyNode() const
{
    for (uint32_t i = 0; i < m_bucketCount; ++i) {
        if (m_buckets[i])
            return m_buckets[i];
    }
    return nullptr;
}
