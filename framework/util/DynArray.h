// Growable array of 32-bit values with result codes. Once it grows it keeps
// its capacity at least twice the count (and at least 10).
#pragma once

#include <cstdint>

#include "framework/services/HashedObject.h"

namespace DynArrayResult {
constexpr int Ok = 0;
constexpr int OutOfMemory = 2;
constexpr int BadSize = 3;
constexpr int BadIndex = 5;
constexpr int NotFound = 6;
} // namespace DynArrayResult

class DynArray : public HashedObject {
public:
    static constexpr uint32_t Type = 0x36034282;

    DynArray() : HashedObject(Type) {}
    ~DynArray() override { delete[] m_data; }

    // Exact: exactly n slots (0 frees them); values past them are dropped.
    // Else max(2n, 10) when that is more.
    int reserve(int32_t n, bool exact);
    int reserveChecked(int32_t n);
    int resize(int32_t n);
    int shrinkToFit() { return reserve(m_count, true); }

    int insertAt(int32_t i, uint32_t value);
    int append(uint32_t value) { return insertAt(m_count, value); }
    int removeAt(int32_t i, uint32_t* outValue);
    int removeValue(uint32_t value);
    int set(int32_t i, uint32_t value);
    int get(int32_t i, uint32_t* outValue) const;

    // -1 when absent.
    int32_t indexOf(uint32_t value) const { return indexOfFrom(0, value); }
    int32_t lastIndexOf(uint32_t value) const { return lastIndexOfFrom(m_count - 1, value); }
    int32_t indexOfFrom(int32_t start, uint32_t value) const;
    int32_t lastIndexOfFrom(int32_t start, uint32_t value) const;

    void clear() { m_count = 0; }
    bool isEmpty() const { return m_count == 0; }
    int32_t size() const { return m_count; }
    int32_t capacity() const { return m_capacity; }
    const uint32_t* data() const { return m_data; }

private:
    uint32_t* m_data = nullptr;
    int32_t m_count = 0;
    int32_t m_capacity = 0;
};
