// Intrusive reference count of engine objects: the release that brings the
// count from 1 to 0 destroys the object through its virtual destructor.
#pragma once

#include <cstdint>

#include "engine/core/runtime/CkwHeapObject.h"

class CkwRefCount : public CkwEngineAllocated {
public:
    CkwRefCount() = default;
    CkwRefCount(const CkwRefCount&) = delete;
    CkwRefCount& operator=(const CkwRefCount&) = delete;
    // Pure: a count is only ever a base beside CkwHeapObject, never a whole
    // object, so delete this always reaches the most derived destructor and
    // the compiler need not consider freeing at the base's own address.
    virtual ~CkwRefCount() = 0;

    virtual int32_t getClassId() const { return 0; }

    void addRef() { ++m_refCount; }
    // Returns the count left; 0 means the object is gone.
    int32_t release()
    {
        int32_t left = --m_refCount;
        if (left == 0)
            delete this;
        return left;
    }
    int32_t refCount() const { return m_refCount; }

private:
    int32_t m_refCount = 0;
};

inline CkwRefCount::~CkwRefCount() = default;

// Base of every object the factory makes: scene objects, transforms and ray
// intersections. The heap part comes first, so the cleanup stack and the
// reference count reach the same object.
class IkwSerializable : public CkwHeapObject, public CkwRefCount {
};
