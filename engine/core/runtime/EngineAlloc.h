// The engine's allocation functions. All engine memory goes through them, and
// through the hooks the engine's user installs, so that a test can make any
// single allocation fail.
#pragma once

#include <cstdint>

using EngineAllocHook = void* (*)(uint32_t size, uint32_t flags);
using EngineFreeHook = void (*)(void* p);

// Installs the hooks; a null hook means the standard malloc or free.
void setEngineAllocHooks(EngineAllocHook alloc, EngineFreeHook free);
EngineAllocHook engineAllocHook();
EngineFreeHook engineFreeHook();

// Null when no memory is left. Requests of kLargestAllocation bytes (2 GiB)
// or more are refused outright:
// the engine was made for 32-bit devices and never needs them, and a size that
// big only comes from a corrupt count.
constexpr uint32_t kLargestAllocation = 0x7FFFFFFF;
void* engineAlloc(uint32_t size, uint32_t flags = 0);
// Every byte engineAlloc has handed out since the process started, freed or
// not: what a piece of work made is the difference across it.
uint64_t engineAllocatedBytes();
// While an allowance is installed, engineAlloc takes what it hands out off it
// and refuses a request past what is left, as memory that ran out, before
// any hook sees it: a load reading a record installs what its ledger has
// left, so nothing a record makes grows past the ledger first. Null removes
// it; returns the one installed before.
uint64_t* setEngineAllocAllowance(uint64_t* allowance);
// Releases memory from engineAlloc; null is ignored.
void engineFree(void* p);
// engineAlloc that leaves with -4 when no memory is left.
void* engineNewL(uint32_t size);
// A byte size computed from a count: sizes of 2^32 bytes or more leave -4.
void* engineNewL(uint64_t count, uint64_t elementSize);

template <class T>
T* leaveIfNull(T* p);

void leaveNoMemory [[noreturn]] ();

template <class T>
T* leaveIfNull(T* p)
{
    if (p == nullptr)
        leaveNoMemory();
    return p;
}
