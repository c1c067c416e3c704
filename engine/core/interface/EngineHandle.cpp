// Handle records, their free and tracking lists, and the IkwUnknown entries.
#include "engine/core/interface/EngineHandle.h"

#include "engine/core/interface/InterfaceIds.h"
#include "engine/core/interface/InterfaceMetadata.h"
#include "engine/core/runtime/CkwRefCount.h"
#include "engine/core/runtime/EngineContext.h"
#include "engine/core/runtime/EngineAlloc.h"
#include "engine/core/runtime/Trap.h"

namespace {

InterfaceState g_state = {};

// The cached table of the object's interface; leaves 0x1000C for a class
// without one, or whose table no module installed.
const void* tableForClassL(int32_t classId)
{
    const InterfaceInfo* info = interfaceByClass(classId);
    if (info == nullptr || g_state.tableCache == nullptr)
        leave(kResultIllegalState);
    const void*& slot = g_state.tableCache[interfaceSlot(*info)];
    if (slot == nullptr)
        slot = interfaceTable(*info);
    if (slot == nullptr)
        leave(kResultIllegalState);
    return slot;
}

void unlinkTracked(EngineHandle* handle)
{
    for (EngineHandle** link = &g_state.trackedHandles; *link != nullptr; link = &(*link)->next)
        if (*link == handle) {
            *link = handle->next;
            return;
        }
}

} // namespace

InterfaceState& interfaceState() { return g_state; }

EngineResult wrapObject(CkwRefCount* object, EngineHandle** out)
{
    if (out == nullptr)
        leave(KErrNullArgument);
    *out = nullptr;
    if (object == nullptr)
        return 0;
    EngineHandle* record = nullptr;
    const int32_t code = engineTrap([&] {
        const void* table = tableForClassL(object->getClassId());
        if (g_state.freeHandles != nullptr) {
            record = g_state.freeHandles;
            g_state.freeHandles = record->next;
        } else {
            record = static_cast<EngineHandle*>(engineNewL(static_cast<uint32_t>(sizeof(EngineHandle))));
        }
        record->next = nullptr;
        if (g_state.trackHandles != 0) {
            record->next = g_state.trackedHandles;
            g_state.trackedHandles = record;
        }
        record->table = table;
        record->object = object;
        object->addRef();
        record->count = 1;
    });
    if (code == KErrNone) {
        if (EngineContext* context = engineContext())
            ++context->visits;
        *out = record;
        return 0;
    }
    // An interface whose table is not built says so rather than pass for a
    // lack of memory; classes without any interface answer 2 as well.
    const bool notBuilt = code == kResultIllegalState && interfaceByClass(object->getClassId()) != nullptr;
    if (object->refCount() == 0)
        delete object;
    return notBuilt ? kResultIllegalState : kResultNoMemory;
}

uint32_t unknownAddRef(EngineHandle* handle)
{
    // A dead handle waits on the free list without an object.
    if (handle->object == nullptr)
        return 0;
    handle->object->addRef();
    return ++handle->count;
}

uint32_t unknownRelease(EngineHandle* handle)
{
    // A dead handle holds nothing: releasing it again must not free twice.
    if (handle->count == 0)
        return 0;
    const uint32_t left = --handle->count;
    CkwRefCount* object = handle->object;
    if (left == 0) {
        if (g_state.trackHandles != 0)
            unlinkTracked(handle);
        handle->object = nullptr;
        handle->next = g_state.freeHandles;
        g_state.freeHandles = handle;
    }
    object->release();
    return left;
}

EngineResult unknownQueryInterface(EngineHandle* handle, uint32_t iid, EngineHandle** out)
{
    if (out == nullptr || handle == nullptr || handle->object == nullptr)
        return kResultNullPointer;
    *out = nullptr;
    if (iid != kIidUniversalA && iid != kIidUniversalB && !objectAccepts(*handle->object, iid))
        return kResultNotSupported;
    handle->object->addRef();
    ++handle->count;
    *out = handle;
    return 0;
}

void releaseAllHandles()
{
    while (EngineHandle* record = g_state.freeHandles) {
        g_state.freeHandles = record->next;
        engineFree(record);
    }
    if (g_state.trackHandles == 0)
        return;
    while (EngineHandle* record = g_state.trackedHandles) {
        g_state.trackedHandles = record->next;
        for (uint32_t i = record->count; i > 0; --i)
            record->object->release();
        engineFree(record);
    }
}
