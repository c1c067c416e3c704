// Root of the engine's heap classes. Every engine object is allocated through
// the engine's allocation functions (so tests can fail any allocation) and
// anything that can sit on the cleanup stack is a CkwHeapObject.
#pragma once

#include <cstddef>
#include <new>

// Gives a class the engine's operator new and delete. Shared by CkwHeapObject
// and CkwRefCount; the members are static, so a class deriving from both sees
// one unambiguous set.
class CkwEngineAllocated {
public:
    // Leaves with -4 when no memory is left.
    static void* operator new(std::size_t size);
    static void* operator new[](std::size_t size);
    // The no-leave form: null when no memory is left.
    static void* operator new(std::size_t size, const std::nothrow_t&) noexcept;
    static void operator delete(void* p) noexcept;
    static void operator delete[](void* p) noexcept;
    static void operator delete(void* p, const std::nothrow_t&) noexcept;
};

class CkwHeapObject : public CkwEngineAllocated {
public:
    CkwHeapObject() = default;
    CkwHeapObject(const CkwHeapObject&) = delete;
    CkwHeapObject& operator=(const CkwHeapObject&) = delete;
    virtual ~CkwHeapObject() = default;
};
