// Handles: how engine objects leave the engine. wrapObject makes them (from
// a free list of dead records first), the three IkwUnknown entries count and
// query them, and with tracking on the root's last release gives back every
// count still held.
#pragma once

#include <cstdint>

#include "engine/core/interface/MethodTables.h"

// A handle to object (its reference-count part) in *out; a null object gives
// a null handle and 0. Returns 2 when no handle can be made, 0x1000C when the
// object's interface table is not built (an object nobody holds is then
// destroyed). Leaves -1302 for a null out pointer.
EngineResult wrapObject(CkwRefCount* object, EngineHandle** out);

uint32_t unknownAddRef(EngineHandle* handle);
// Releasing a dead handle (count 0) does nothing and returns 0.
uint32_t unknownRelease(EngineHandle* handle);
EngineResult unknownQueryInterface(EngineHandle* handle, uint32_t iid, EngineHandle** out);

// The process-wide state behind the root and the handles.
struct InterfaceState {
    EngineHandle* trackedHandles;
    const void** tableCache; // kInterfaceCount slots, made by initialize
    uint32_t initialised;
    void* root;
    uint32_t trackHandles;
    EngineHandle* freeHandles;
};
InterfaceState& interfaceState();

// Frees the free list and, with tracking on, gives back the tracked handles'
// counts and frees them. Part of the root's last release.
void releaseAllHandles();
