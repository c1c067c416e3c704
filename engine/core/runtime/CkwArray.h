// The engine's growable array. Everything the engine sizes from its input
// lives in one, so its memory goes through the engine's allocation functions
// and a failed growth leaves -4 with the old contents intact.
#pragma once

#include <cstdint>
#include <type_traits>

#include "engine/core/runtime/CkwHeapObject.h"

// The capacity to grow to for a need: exact up to 2, then 4, 8, 16, 32 and
// doubling, INT32_MAX past 2^30; never less than current.
int32_t arrayGrowCapacity(int32_t need, int32_t current);

class CkwArrayBase : public CkwHeapObject {
public:
    explicit CkwArrayBase(uint32_t elementSize) : m_elementSize(elementSize) {}
    ~CkwArrayBase() override;

    int32_t count() const { return m_count; }
    int32_t capacity() const { return m_capacity; }
    bool isEmpty() const { return m_count == 0; }

    // Grows to exactly n when n exceeds the capacity. Never frees.
    void setCount(int32_t n);
    // Grows by the growth policy when n exceeds the capacity.
    void setCountGrowing(int32_t n);
    // Reallocates to exactly n slots, keeping the first min(n, count) elements.
    void setCapacity(int32_t n);
    // Shrinks the capacity to the count.
    void compress();
    // Frees the buffer; count and capacity become 0.
    void reset();

    // Replaces the buffer by one of newCapacity elements holding the first
    // keep elements. The count is left to the caller. Leaves -4 (array
    // unchanged) when memory cannot be had.
    void reallocate(int32_t newCapacity, int32_t keep);

protected:
    // The growth policy's capacity for need, held to what one allocation of
    // these elements may take.
    int32_t grownCapacity(int32_t need) const;
    // Slow path of append: makes room for one more element.
    void growForAppend();

    void* m_data = nullptr;
    int32_t m_count = 0;
    int32_t m_capacity = 0;
    uint32_t m_elementSize;
};

// Elements are plain values (pointers, vectors, matrices): they are moved with
// memmove and never constructed or destroyed.
template <class T>
class CkwArray : public CkwArrayBase {
    static_assert(std::is_trivially_copyable_v<T>, "CkwArray holds plain values only");

public:
    CkwArray() : CkwArrayBase(sizeof(T)) {}

    T* data() { return static_cast<T*>(m_data); }
    const T* data() const { return static_cast<const T*>(m_data); }
    // No bounds check: callers index within count.
    T* at(int32_t i) { return data() + i; }
    const T* at(int32_t i) const { return data() + i; }
    T& operator[](int32_t i) { return data()[i]; }
    const T& operator[](int32_t i) const { return data()[i]; }
    T* begin() { return data(); }
    T* end() { return data() + m_count; }
    const T* begin() const { return data(); }
    const T* end() const { return data() + m_count; }

    void append(const T& element)
    {
        if (m_count == m_capacity) {
            T copy = element; // element may live in the buffer being replaced
            growForAppend();
            data()[m_count++] = copy;
            return;
        }
        data()[m_count++] = element;
    }
    T& last() { return data()[m_count - 1]; }
};
