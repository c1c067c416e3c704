// Engine allocation through the user's hooks, falling back to malloc and free.
#include "engine/core/runtime/EngineAlloc.h"

#include <utility>

#include "engine/core/port/Port.h"
#include "engine/core/runtime/CkwHeapObject.h"
#include "engine/core/runtime/Trap.h"

namespace {

EngineAllocHook g_allocHook = nullptr;
EngineFreeHook g_freeHook = nullptr;
uint64_t g_allocatedBytes = 0;
uint64_t* g_allowance = nullptr;

} // namespace

void setEngineAllocHooks(EngineAllocHook alloc, EngineFreeHook free)
{
    g_allocHook = alloc;
    g_freeHook = free;
}

EngineAllocHook engineAllocHook() { return g_allocHook; }
EngineFreeHook engineFreeHook() { return g_freeHook; }

void* engineAlloc(uint32_t size, uint32_t flags)
{
    if (size >= kLargestAllocation || (g_allowance != nullptr && size > *g_allowance))
        return nullptr;
    void* p = g_allocHook != nullptr ? g_allocHook(size, flags) : kwMalloc(size);
    if (p != nullptr) {
        g_allocatedBytes += size;
        if (g_allowance != nullptr)
            *g_allowance -= size;
    }
    return p;
}

uint64_t engineAllocatedBytes() { return g_allocatedBytes; }

uint64_t* setEngineAllocAllowance(uint64_t* allowance) { return std::exchange(g_allowance, allowance); }

void engineFree(void* p)
{
    if (p == nullptr)
        return;
    if (g_freeHook != nullptr)
        g_freeHook(p);
    else
        kwFree(p);
}

void* engineNewL(uint32_t size)
{
    return leaveIfNull(engineAlloc(size, 0));
}

void* engineNewL(uint64_t count, uint64_t elementSize)
{
    if (elementSize != 0 && count > UINT32_MAX / elementSize)
        leaveNoMemory();
    return engineNewL(static_cast<uint32_t>(count * elementSize));
}

void leaveNoMemory()
{
    leave(KErrNoMemory);
}

namespace {

uint32_t requestSize(std::size_t size)
{
    // A size past 32 bits cannot be had; ask for one engineAlloc refuses.
    return size > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(size);
}

} // namespace

void* CkwEngineAllocated::operator new(std::size_t size)
{
    return engineNewL(requestSize(size));
}

void* CkwEngineAllocated::operator new[](std::size_t size)
{
    return engineNewL(requestSize(size));
}

void* CkwEngineAllocated::operator new(std::size_t size, const std::nothrow_t&) noexcept
{
    return engineAlloc(requestSize(size), 0);
}

void CkwEngineAllocated::operator delete(void* p) noexcept { engineFree(p); }
void CkwEngineAllocated::operator delete[](void* p) noexcept { engineFree(p); }
void CkwEngineAllocated::operator delete(void* p, const std::nothrow_t&) noexcept { engineFree(p); }
