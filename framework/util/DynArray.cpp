// Growable array of 32-bit values.
#include "framework/util/DynArray.h"

#include <cstring>
#include <new>

namespace {
// Sizes from 2^30 slots up are refused: their byte count overflows 32 bits.
constexpr int64_t MaxSlots = int64_t(1) << 30;
constexpr int64_t MinGrowth = 10;
} // namespace

int DynArray::reserve(int32_t n, bool exact)
{
    if (n < 0)
        return DynArrayResult::BadSize;
    if (exact && n == 0) {
        delete[] m_data;
        m_data = nullptr;
        m_capacity = 0;
        m_count = 0;
        return DynArrayResult::Ok;
    }
    int64_t target = n;
    if (!exact) {
        target = int64_t(n) * 2;
        if (target < MinGrowth)
            target = MinGrowth;
        if (target <= m_capacity)
            return DynArrayResult::Ok;
    }
    if (target >= MaxSlots)
        return DynArrayResult::OutOfMemory;
    uint32_t* data = new (std::nothrow) uint32_t[size_t(target)];
    if (!data)
        return DynArrayResult::OutOfMemory;
    const int64_t keep = m_count < target ? m_count : target;
    if (keep > 0)
        std::memcpy(data, m_data, size_t(keep) * sizeof(uint32_t));
    std::memset(data + keep, 0, size_t(target - keep) * sizeof(uint32_t));
    delete[] m_data;
    m_data = data;
    m_capacity = int32_t(target);
    // Values an exact shrink cut off are gone: the count never runs past the storage.
    m_count = int32_t(keep);
    return DynArrayResult::Ok;
}

int DynArray::reserveChecked(int32_t n)
{
    return n < 0 ? DynArrayResult::BadSize : reserve(n, false);
}

int DynArray::resize(int32_t n)
{
    if (n < 0)
        return DynArrayResult::BadSize;
    if (const int result = reserve(n, false); result != DynArrayResult::Ok)
        return result;
    m_count = n;
    return DynArrayResult::Ok;
}

int DynArray::insertAt(int32_t i, uint32_t value)
{
    if (i < 0 || i > m_count)
        return DynArrayResult::BadIndex;
    if (m_count == INT32_MAX)
        return DynArrayResult::OutOfMemory;
    if (const int result = reserve(m_count + 1, false); result != DynArrayResult::Ok)
        return result;
    std::memmove(m_data + i + 1, m_data + i, size_t(m_count - i) * sizeof(uint32_t));
    m_data[i] = value;
    ++m_count;
    return DynArrayResult::Ok;
}

int DynArray::removeAt(int32_t i, uint32_t* outValue)
{
    if (i < 0 || i >= m_count)
        return DynArrayResult::BadIndex;
    if (outValue)
        *outValue = m_data[i];
    std::memmove(m_data + i, m_data + i + 1, size_t(m_count - i - 1) * sizeof(uint32_t));
    // Never shrinks: a not-exact reserve only grows.
    reserve(m_count - 1, false);
    --m_count;
    return DynArrayResult::Ok;
}

int DynArray::removeValue(uint32_t value)
{
    const int32_t i = indexOf(value);
    return i < 0 ? DynArrayResult::NotFound : removeAt(i, nullptr);
}

int DynArray::set(int32_t i, uint32_t value)
{
    if (i < 0 || i >= m_count)
        return DynArrayResult::BadIndex;
    m_data[i] = value;
    return DynArrayResult::Ok;
}

int DynArray::get(int32_t i, uint32_t* outValue) const
{
    if (i < 0 || i >= m_count)
        return DynArrayResult::BadIndex;
    if (outValue)
        *outValue = m_data[i];
    return DynArrayResult::Ok;
}

int32_t DynArray::indexOfFrom(int32_t start, uint32_t value) const
{
    if (start < 0)
        start = 0;
    for (int32_t i = start; i < m_count; ++i) {
        if (m_data[i] == value)
            return i;
    }
    return -1;
}

int32_t DynArray::lastIndexOfFrom(int32_t start, uint32_t value) const
{
    if (start >= m_count)
        start = m_count - 1;
    for (int32_t i = start; i >= 0; --i) {
        if (m_data[i] == value)
            return i;
    }
    return -1;
}
