// The engine root's life and the loading of 3D files from the pack.
#include "game/shell/EngineService.h"

#include <new>

#include "engine/core/interface/InterfaceIds.h"
#include "framework/resources/DataBlock.h"
#include "framework/resources/Resource.h"
#include "framework/resources/ResourceManager.h"
#include "framework/services/ServiceAccessors.h"
#include "framework/util/LoadLedger.h"
#include "game/shell/Graphics3DService.h"

namespace {

// The engine's memory is made from the pack's scenes: it counts against the
// pack while it lives, and past the pack's budget the engine is out of
// memory, so a scene of a few bytes cannot ask for hundreds of megabytes.
void* allocateFromPack(uint32_t size, uint32_t)
{
    return LoadLedger::allocateBlock(size);
}

void freeToPack(void* block)
{
    LoadLedger::freeBlock(block);
}

} // namespace

EngineService::EngineService() : Service(ServiceId::EngineService)
{
    IkwEngine* root = nullptr;
    // A failed build or start leaves no root at all, never a half-made one.
    if (initEngineApi(&root) != 0 || root == nullptr)
        return;
    if (ResourceManager* manager = getResourceManager())
        manager->ledger().takeBlocks();
    if (root->table->initialize(root, &allocateFromPack, &freeToPack) != 0) {
        root->table->release(root);
        return;
    }
    m_root = root;
}

EngineService::~EngineService()
{
    if (IkwEngine* root = m_root) {
        m_root = nullptr;
        root->table->release(root);
    }
}

EngineRef EngineService::loadBytes(const void* bytes, uint32_t size)
{
    if (!m_root || !bytes || size == 0)
        return {};
    EngineRef loader;
    if (m_root->table->createEngineObject(kIidLoader, loader.out()) != 0 || !loader)
        return {};
    const IkwLoaderTable& api = loader.table<IkwLoaderTable>();
    if (api.loadBuffer(loader.get(), size, bytes, nullptr) != 0)
        return {};
    uint32_t count = 0;
    api.getRootCount(loader.get(), &count);
    EngineRef root;
    for (uint32_t i = 0; i < count && !root; ++i) {
        if (api.getRoot(loader.get(), i, root.out()) != 0)
            return {};
    }
    return root;
}

EngineRef EngineService::loadObject(uint32_t resourceId)
{
    ResourceManager* manager = getResourceManager();
    Resource* resource = nullptr;
    if (!manager || !m_root)
        return {};
    manager->loadById(resourceId, &resource);
    // Only a byte block is a 3D file. The engine keeps nothing of the bytes,
    // so they are given back once it has made its objects.
    EngineRef object;
    if (resource && resource->m_typeId == ResourceClassId::Data && resource->payload()) {
        const auto* block = static_cast<const DataBlock*>(resource->payload());
        object = loadBytes(block->data(), block->size());
    }
    if (resource)
        manager->releaseRef(&resource);
    return object;
}

EngineService* getEngineService()
{
    return static_cast<EngineService*>(findOrCreateService(ServiceId::EngineService));
}

IkwEngine* getEngineRoot()
{
    EngineService* service = getEngineService();
    return service ? service->root() : nullptr;
}

EngineRef createEngineObject(uint32_t iid)
{
    EngineRef object;
    IkwEngine* root = getEngineRoot();
    if (root && root->table->createEngineObject(iid, object.out()) != 0)
        object.reset();
    return object;
}

EngineRef activeCamera(EngineHandle* world)
{
    EngineRef camera;
    if (world && tableOf<IkwWorldTable>(world).getActiveCamera(world, camera.out()) != 0)
        camera.reset();
    return camera;
}

void installEngineServices()
{
    setEngineServiceCreator([]() -> HashedObject* { return new (std::nothrow) EngineService(); });
    setGraphics3DServiceCreator(createGraphics3DService);
}
