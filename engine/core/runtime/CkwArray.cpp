// Growth and reallocation of engine arrays. A reallocation allocates the new
// buffer before touching the old one, so a failure leaves the array as it was.
#include "engine/core/runtime/CkwArray.h"


#include "engine/core/port/Port.h"
#include "engine/core/runtime/EngineAlloc.h"
#include "engine/core/runtime/EngineContext.h"
#include "engine/core/runtime/EngineErrors.h"
#include "engine/core/runtime/Trap.h"

int32_t arrayGrowCapacity(int32_t need, int32_t current)
{
    if (need <= current)
        return current;
    if (need <= 2)
        return need;
    if (need <= 4)
        return 4;
    if (need <= 8)
        return 8;
    if (need <= 16)
        return 16;
    // Doubling past 2^30 would overflow: such a need gets the largest count,
    // so the growth stays geometric to the end.
    if (need > 0x40000000)
        return INT32_MAX;
    int32_t capacity = 32;
    while (capacity < need)
        capacity *= 2;
    return capacity;
}

CkwArrayBase::~CkwArrayBase()
{
    engineFree(m_data);
}

void CkwArrayBase::reallocate(int32_t newCapacity, int32_t keep)
{
    // A negative size reads as a huge unsigned one: memory that cannot be had.
    if (newCapacity < 0)
        leave(KErrNoMemory);
    void* buffer = nullptr;
    if (newCapacity != 0)
        buffer = engineNewL(static_cast<uint64_t>(newCapacity), m_elementSize);
    if (buffer != nullptr && keep > 0) {
        kwMemcpy(buffer, m_data, static_cast<size_t>(keep) * m_elementSize);
        if (EngineContext* context = engineContext())
            context->copiedBytes += static_cast<uint64_t>(keep) * m_elementSize;
    }
    engineFree(m_data);
    m_data = buffer;
    m_capacity = newCapacity;
}

void CkwArrayBase::setCount(int32_t n)
{
    if (n == m_count)
        return;
    if (n > m_capacity)
        reallocate(n, m_count);
    else if (n < 0)
        leave(KErrNoMemory);
    m_count = n;
}

int32_t CkwArrayBase::grownCapacity(int32_t need) const
{
    // Past what one allocation may hold the policy's count cannot be had,
    // but the need itself may: the array's limit is in bytes.
    const int64_t largest = (kLargestAllocation - 1) / m_elementSize;
    const int32_t grown = arrayGrowCapacity(need, m_capacity);
    return grown <= largest || need > largest ? grown : static_cast<int32_t>(largest);
}

void CkwArrayBase::setCountGrowing(int32_t n)
{
    if (n == m_count)
        return;
    if (n > m_capacity)
        reallocate(grownCapacity(n), m_count);
    else if (n < 0)
        leave(KErrNoMemory);
    m_count = n;
}

void CkwArrayBase::setCapacity(int32_t n)
{
    if (n == m_capacity)
        return;
    int32_t keep = n < m_count ? n : m_count;
    reallocate(n, keep);
    m_count = keep;
}

void CkwArrayBase::compress()
{
    if (m_count != m_capacity)
        reallocate(m_count, m_count);
}

void CkwArrayBase::reset()
{
    engineFree(m_data);
    m_data = nullptr;
    m_count = 0;
    m_capacity = 0;
}

void CkwArrayBase::growForAppend()
{
    if (m_count == INT32_MAX)
        leave(KErrNoMemory);
    reallocate(grownCapacity(m_count + 1), m_count);
}
