// Root of every game-side object: a 32-bit type id and a virtual destructor,
// so owners can delete objects whose classes they do not know.
#pragma once

#include <cstdint>

class HashedObject {
public:
    explicit HashedObject(uint32_t typeId = 0) : m_typeId(typeId) {}
    virtual ~HashedObject() = default;

    HashedObject(const HashedObject&) = delete;
    HashedObject& operator=(const HashedObject&) = delete;

    uint32_t m_typeId;
};
