// A short list of 32-bit ids read from a resource: a u16 count, then the values.
#pragma once

#include <cstdint>
#include <memory>

#include "framework/resources/ResourceIds.h"
#include "framework/services/HashedObject.h"

class InputStream;

class IdList : public HashedObject {
public:
    IdList() : HashedObject(ResourceClassId::IdListPayload) {}

    // 1 when the count and all its values were there.
    int read(InputStream& stream);
    // Value i; 0 when i is not below the count.
    uint32_t get(uint32_t i) const { return i < m_count ? m_values[i] : 0; }
    uint32_t count() const { return m_count; }
    void clear();

private:
    uint32_t m_count = 0;
    std::unique_ptr<uint32_t[]> m_values;
};
