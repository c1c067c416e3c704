// Surfaces from the resource pack: a description resource's pairs read,
// resource ids turned into streams, palettes and shared surfaces, and the
// resource types that make memory surfaces.
#include "gfx2d/display/Surface.h"

#include <algorithm>
#include <new>
#include <optional>

#include "framework/events/HandlerList.h"
#include "framework/resources/PackEntryStream.h"
#include "framework/resources/PackFormat.h"
#include "framework/resources/ResourceManager.h"
#include "framework/resources/ResourcePack.h"
#include "framework/resources/ResourceTypes.h"
#include "framework/services/AppBase.h"
#include "framework/util/LoadLedger.h"
#include "gfx2d/image/ImageResources.h"
#include "gfx2d/image/Palette.h"

namespace {

constexpr uint32_t kDescriptionTags[] = {ResourceType::DeviceSurfaceForBoth,    ResourceType::MemorySurface,
                                         ResourceType::DeviceSurface,           ResourceType::MemorySurfaceForLibrary,
                                         ResourceType::DeviceSurfaceForLibrary, ResourceType::DeviceSurfaceForDevice};

// The one open pack: where the event dispatcher holds it, else the resource
// manager's.
ResourcePack* findResourcePack()
{
    HandlerEntry* entry = nullptr;
    if (HandlerList* dispatcher = getEventDispatcher())
        if (dispatcher->find(kResourcePackTypeId, kResourcePackKey, &entry) && entry && entry->m_payload)
            return static_cast<ResourcePack*>(entry->m_payload);
    ResourceManager* manager = getResourceManager();
    return manager ? manager->pack() : nullptr;
}

// The surface resources being loaded, innermost last. A description that
// shares one of them (itself, or one that shares it in turn) would load
// without end, and a chain of loads may run no deeper than a chain of
// sharers.
struct LoadingSurfaces {
    uint32_t ids[kMaxShareDepth] = {};
    uint32_t count = 0;

    bool has(uint32_t id) const { return std::find(ids, ids + count, id) != ids + count; }
};
LoadingSurfaces g_loading;

class LoadingMark {
public:
    explicit LoadingMark(uint32_t id) : m_entered(g_loading.count < kMaxShareDepth && !g_loading.has(id))
    {
        if (m_entered)
            g_loading.ids[g_loading.count++] = id;
    }
    ~LoadingMark()
    {
        if (m_entered)
            --g_loading.count;
    }
    LoadingMark(const LoadingMark&) = delete;
    LoadingMark& operator=(const LoadingMark&) = delete;
    bool entered() const { return m_entered; }

private:
    bool m_entered;
};

// What one surface load, with every description nested in it, asks of the
// manager. Each resource it names is loaded once however often and however
// deep it is named: what the load takes stays held until the outermost load
// ends. A resource refused where it is named (too deep, being loaded, past
// the cap) is tried again each time it is named, each try spending one of the
// loads counted against their allowance.
class SharedLoads {
public:
    // The loaded resource of id, with a reference for the caller, or null.
    Resource* take(ResourceManager* manager, uint32_t id)
    {
        Resource* r = nullptr;
        if (manager == nullptr || id == 0)
            return nullptr;
        const bool loaded = manager->findLoaded(id, nullptr);
        if (loaded || m_loads < kMaxSurfaceLoads) {
            m_loads += loaded ? 0 : 1;
            manager->loadById(id, &r);
        } else {
            // The loads around this one may have spent the cap: the refusal
            // is this place's, as one too deep in a chain of sharers is.
            LoadScope::refuseHere();
        }
        return r;
    }
    // Gives a reference back; one that would free its resource is kept
    // until the load ends, so the resource is there if named again.
    void giveBack(ResourceManager* manager, Resource*& r)
    {
        if (manager && r) {
            if (r->refCount() > 1 || m_keptCount == kMaxSurfaceLoads)
                manager->releaseRef(&r);
            else
                m_kept[m_keptCount++] = r;
        }
        r = nullptr;
    }
    void end(ResourceManager* manager)
    {
        for (uint32_t i = 0; i < m_keptCount; ++i)
            manager->releaseRef(&m_kept[i]);
        m_keptCount = 0;
    }

private:
    uint32_t m_loads = 0;
    Resource* m_kept[kMaxSurfaceLoads] = {};
    uint32_t m_keptCount = 0;
};
SharedLoads* g_shared = nullptr;

// The outermost surface load opens the shared loads and, when no load of the
// manager runs around it, a load of its own to count its bytes.
class OutermostLoad {
public:
    explicit OutermostLoad(ResourceManager* manager) : m_manager(manager)
    {
        if (g_shared != nullptr)
            return;
        if (!LoadScope::active())
            m_scope.emplace(nullptr);
        g_shared = &m_shared.emplace();
    }
    ~OutermostLoad()
    {
        if (!m_shared)
            return;
        m_shared->end(m_manager);
        g_shared = nullptr;
    }
    OutermostLoad(const OutermostLoad&) = delete;
    OutermostLoad& operator=(const OutermostLoad&) = delete;

private:
    ResourceManager* m_manager;
    std::optional<LoadScope> m_scope;
    std::optional<SharedLoads> m_shared;
};

} // namespace

void SurfaceBase::releaseSourceResource()
{
    Resource* r = m_sourceResource;
    m_sourceResource = nullptr;
    // The manager may have deleted it outright since (deleteAll, deleteById):
    // only a resource it still holds under that id is ours to give back.
    ResourceManager* manager = r ? getResourceManager() : nullptr;
    if (manager && manager->held(m_sourceResourceId) == r)
        manager->releaseRef(&r);
    m_sourceResourceId = 0;
}

int SurfaceBase::load(InputStream& stream, uint32_t tag)
{
    const uint32_t available = stream.available();
    if (available == 0 || std::find(std::begin(kDescriptionTags), std::end(kDescriptionTags), tag) ==
                              std::end(kDescriptionTags))
        return 0;
    const uint32_t n = available / 8;
    // The list and the pairs the load appends must fit: longer descriptions
    // are refused rather than reported loaded with nothing set up.
    if (n > kMaxSurfacePairs)
        return 0;
    SurfaceAttribute list[kMaxSurfacePairs + 3] = {};
    uint32_t count = 0;
    bool zeroFormat = false, failed = false;
    uint32_t decoderTag = 0, classId = 0;
    bool tagKept = false, classKept = false;
    PackEntryStream entryStream;
    // Kept only once init succeeds: init releases whatever the surface held.
    PaletteSlot loadedPalette;
    Resource* sourceResource = nullptr;
    ResourceManager* manager = getResourceManager();
    const OutermostLoad outermost(manager);
    SharedLoads& shared = *g_shared;
    for (uint32_t i = 0; i < n; ++i) {
        const uint32_t key = stream.readU32();
        uintptr_t value = stream.readU32();
        switch (key) {
        case SurfaceKey::Format0:
            if (value == 0xFFFFFFFF)
                value = 0;
            else if (value == 0)
                zeroFormat = true;
            break;
        case SurfaceKey::Stream: {
            ResourcePack* pack = findResourcePack();
            const uint32_t id = uint32_t(value);
            value = 0;
            // The id is resolved once, to the entry its bytes and type come from.
            const int32_t entry = pack ? pack->entryOf(id) : -1;
            if (entry >= 0 && entryStream.openEntry(pack, entry, id, 1)) {
                value = reinterpret_cast<uintptr_t>(static_cast<InputStream*>(&entryStream));
                decoderTag = pack->typeOfEntry(entry);
                tagKept = true;
            } else {
                failed = true;
            }
            break;
        }
        case SurfaceKey::Palette: {
            // Copied into a full table that the surface owns: decoders and blit
            // loops index 256 entries whatever the resource held.
            Resource* r = shared.take(manager, uint32_t(value));
            value = 0;
            if (r && r->m_typeId == ResourceClassId::Palette) {
                const ::Palette* p = static_cast<PaletteResource*>(r)->palette();
                loadedPalette.reset(LoadScope::charge(kPaletteEntries * 4)
                                        ? new (std::nothrow) uint32_t[kPaletteEntries]()
                                        : nullptr);
                if (loadedPalette && p && p->colours())
                    std::copy_n(p->colours(), std::min(p->count(), kPaletteEntries), loadedPalette.get());
                value = reinterpret_cast<uintptr_t>(loadedPalette.get());
            }
            shared.giveBack(manager, r);
            break;
        }
        case SurfaceKey::Source: {
            const uint32_t id = manager ? manager->resolveId(uint32_t(value)) : 0;
            value = 0;
            // Init shares the last source named.
            shared.giveBack(manager, sourceResource);
            // A surface being loaded is not looked up again: the lookup would
            // load it anew, or reload the very surface this load fills. Named
            // outside this chain it may load: the refusal is this place's.
            if (!g_loading.has(id))
                sourceResource = shared.take(manager, id);
            else
                LoadScope::refuseHere();
            if (sourceResource && sourceResource->m_typeId == ResourceClassId::Surface) {
                Surface* source = static_cast<SurfaceResource*>(sourceResource)->surface();
                value = reinterpret_cast<uintptr_t>(source);
                classId = source ? source->m_typeId : 0;
                classKept = true;
            } else {
                shared.giveBack(manager, sourceResource);
            }
            break;
        }
        default: break;
        }
        list[count++] = SurfaceAttribute{key, value};
    }
    if (stream.hasError())
        failed = true;
    if (zeroFormat)
        list[count++] = SurfaceAttribute{SurfaceKey::KeepPalettes, 1};
    bool sourceListed = false;
    for (uint32_t i = 0; i < count; ++i)
        sourceListed = sourceListed || list[i].key == SurfaceKey::Source;
    if (tagKept && classKept)
        failed = true;
    else if (tagKept && !sourceListed)
        list[count++] = SurfaceAttribute{SurfaceKey::DecoderTag, decoderTag};
    else if (classKept)
        list[count++] = SurfaceAttribute{SurfaceKey::SourceClass, classId};
    list[count] = SurfaceAttribute{SurfaceKey::End, 0};
    const int result = failed ? 0 : init(list);
    if (result) {
        // The shared surface stays held for as long as this one shows it.
        m_loadedPalette = std::move(loadedPalette);
        m_sourceResource = sourceResource;
        m_sourceResourceId = sourceResource ? sourceResource->id() : 0;
    } else {
        releaseAll();
        shared.giveBack(manager, sourceResource);
    }
    entryStream.reset();
    return result;
}

uint32_t SurfaceResource::memorySize() const
{
    // What this surface holds: every plane and palette of its own; a
    // sharer's source is counted by its own resource.
    const Surface* s = surface();
    return s ? uint32_t(std::min<uint64_t>(static_cast<const SurfaceBase*>(s)->heldBytes(), UINT32_MAX)) : 0;
}

HashedObject* SurfaceResource::makePayload()
{
    return new (std::nothrow) MemorySurface();
}

int SurfaceResource::loadPayload(InputStream& stream, uint32_t tag)
{
    Surface* s = surface();
    const LoadingMark mark(id());
    // Too deep in a chain of sharers, or already being loaded: refused here,
    // not for its bytes.
    if (!mark.entered())
        LoadScope::refuseHere();
    return s && mark.entered() ? s->load(stream, tag) : 0;
}

int registerSurfaceResourceTypes()
{
    return registerResourceType(ResourceType::MemorySurface, makeResource<SurfaceResource>) &&
           registerResourceType(ResourceType::MemorySurfaceForLibrary, makeResource<SurfaceResource>);
}
