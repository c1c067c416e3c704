// The root object and its entries: start-up with the user's hooks, object
// creation by interface id, and the last release that shuts everything down.
#include "engine/core/interface/IkwEngine.h"


#include "engine/core/interface/EngineHandle.h"
#include "engine/core/interface/InterfaceMetadata.h"
#include "engine/core/port/Port.h"
#include "engine/core/runtime/CkwRefCount.h"
#include "engine/core/runtime/EngineContext.h"

namespace {

uint32_t rootAddRef(IkwEngine* root) { return ++root->refCount; }

uint32_t rootRelease(IkwEngine* root)
{
    if (--root->refCount != 0)
        return root->refCount;
    InterfaceState& state = interfaceState();
    if (state.initialised != 0) {
        releaseAllHandles();
        engineShutdown();
        // The tables are constant: the cache holds no memory of its own.
        engineFree(state.tableCache);
        state.tableCache = nullptr;
        state.initialised = 0;
    }
    state.root = nullptr;
    kwFree(root);
    return 0;
}

void getVersion(EngineVersion* out) { *out = {{2, 2, 0, 441, 0}}; }

void getPixelFormat(EnginePixelFormat* out) { *out = {16, 0xF800, 0x07E0, 0x001F, 11, 5, 0, 5, 6, 5}; }

EngineResult createEngineObject(uint32_t iid, EngineHandle** out)
{
    if (out == nullptr)
        return kResultNullPointer;
    if (interfaceState().initialised == 0)
        return kResultIllegalState;
    *out = nullptr;
    const InterfaceInfo* info = interfaceById(iid);
    if (info == nullptr || info->create == nullptr)
        return kResultBadArgument;
    return info->create(out);
}

uint32_t getObjectType(EngineHandle* handle)
{
    if (handle == nullptr || handle->object == nullptr)
        return 0;
    const InterfaceInfo* info = interfaceByClass(handle->object->getClassId());
    return info != nullptr ? info->iid : 0;
}

EngineResult initialize(IkwEngine*, EngineAllocHook alloc, EngineFreeHook free)
{
    InterfaceState& state = interfaceState();
    if (state.initialised != 0)
        return kResultIllegalState;
    setEngineAllocHooks(alloc, free);
    const uint32_t cacheSize = kInterfaceCount * sizeof(const void*);
    auto** cache = static_cast<const void**>(engineAlloc(cacheSize, 0));
    if (cache != nullptr) {
        kwMemset(cache, 0, cacheSize);
        if (engineInit() == 1) {
            state.tableCache = cache;
            state.initialised = 1;
            return 0;
        }
    }
    engineFree(cache);
    return kResultNoMemory;
}

uint32_t getRefCount(IkwEngine* root) { return root != nullptr ? root->refCount : 0; }

EngineResult setOption(uint32_t option)
{
    if (option == kOptionTrackHandles)
        interfaceState().trackHandles = 1;
    return 0;
}

constexpr IkwEngineTable kRootEntries = {&rootAddRef, &rootRelease,  &getVersion,  &getPixelFormat, &createEngineObject,
                                         &getObjectType, &initialize, &getRefCount, &setOption};

} // namespace

extern "C" EngineResult initEngineApi(IkwEngine** out)
{
    if (out == nullptr)
        return kResultBadArgument;
    *out = nullptr;
    // The root comes from malloc, never the hooks: they are installed later.
    auto* root = static_cast<IkwEngine*>(kwMalloc(sizeof(IkwEngine)));
    if (root == nullptr)
        return kResultNoMemory;
    root->refCount = 1;
    root->entries = kRootEntries;
    root->table = &root->entries;
    setEngineAllocHooks(nullptr, nullptr);
    InterfaceState& state = interfaceState();
    state = {};
    state.root = root;
    *out = root;
    return 0;
}
