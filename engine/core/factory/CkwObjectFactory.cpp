// The object factory: a fixed table of creators, 0..34 by class id and one
// slot for the external reference (255).
#include "engine/core/factory/CkwObjectFactory.h"

#include "engine/core/runtime/EngineContext.h"
#include "engine/core/loader/CkwHeaderObject.h"
#include "engine/core/math/CkwTransform.h"
#include "engine/core/runtime/EngineModule.h"

CkwObjectFactory::CkwObjectFactory()
{
    for (CkwObjectCreator& creator : m_creators)
        creator = nullptr;
}

CkwObjectFactory::~CkwObjectFactory()
{
    for (CkwObjectCreator& creator : m_creators)
        creator = nullptr;
}

int32_t CkwObjectFactory::slotOf(int32_t classId)
{
    if (classId >= 0 && classId <= kClassLastTableSlot)
        return classId;
    if (classId == kClassExternalReference)
        return kSlotCount - 1;
    return -1;
}

IkwSerializable* CkwObjectFactory::create(int32_t classId) const
{
    int32_t slot = slotOf(classId);
    if (slot < 0 || m_creators[slot] == nullptr)
        return nullptr;
    return m_creators[slot]();
}

void CkwObjectFactory::registerCreator(int32_t classId, CkwObjectCreator creator)
{
    int32_t slot = slotOf(classId);
    if (slot >= 0)
        m_creators[slot] = creator;
}

bool CkwObjectFactory::hasCreator(int32_t classId) const
{
    int32_t slot = slotOf(classId);
    return slot >= 0 && m_creators[slot] != nullptr;
}

void createObjectFactory()
{
    EngineContext& context = engineContextL();
    context.factory = new CkwObjectFactory;
    initLoaderTypes(*context.factory);
}

void destroyObjectFactory()
{
    EngineContext* context = engineContext();
    if (context == nullptr)
        return;
    delete context->factory;
    context->factory = nullptr;
}

void initLoaderTypes(CkwObjectFactory& factory)
{
    factory.registerCreator(kClassHeader, nullptr);
    factory.registerCreator(kClassTransform, &CkwTransform::create);
    factory.registerCreator(kClassExternalReference, &CkwXREF::create);
    for (const EngineModule* module : engineModules())
        if (module->registerTypes != nullptr)
            module->registerTypes(factory);
}
