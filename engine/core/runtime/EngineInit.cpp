// Engine start-up and shutdown: the context block, the trap stack, the
// cleanup stack, the shared identity matrix, the default transform and the
// object factory; at shutdown also what the installed modules made.
#include "engine/core/runtime/EngineContext.h"

#include <new>

#include "engine/core/factory/CkwObjectFactory.h"
#include "engine/core/runtime/CleanupStack.h"
#include "engine/core/runtime/EngineAlloc.h"
#include "engine/core/runtime/EngineModule.h"
#include "engine/core/runtime/Trap.h"
#include "engine/core/scene/CkwAlignRegistry.h"

namespace {

// Placement-constructs a plain engine block; null when there is no memory.
template <class T>
T* allocBlock()
{
    void* memory = engineAlloc(sizeof(T), 0);
    return memory != nullptr ? new (memory) T() : nullptr;
}

template <class T>
T* newBlockL()
{
    return new (engineNewL(static_cast<uint32_t>(sizeof(T)))) T();
}

template <class T>
void freeBlock(T*& block)
{
    if (block != nullptr) {
        block->~T();
        engineFree(block);
        block = nullptr;
    }
}

void createDefaultTransform(EngineContext& context)
{
    DefaultTransformBlock* block = newBlockL<DefaultTransformBlock>();
    block->translation[0] = block->translation[1] = block->translation[2] = 0.0f;
    block->scale[0] = block->scale[1] = block->scale[2] = 1.0f;
    block->orientation[0] = block->orientation[1] = block->orientation[2] = 0.0f;
    block->orientation[3] = 1.0f;
    block->generalMatrix = context.identityMatrix;
    block->matrix.setIdentity();
    context.defaultTransform = block;
}

} // namespace

int32_t engineInit()
{
    if (engineContext() != nullptr)
        return 0;
    EngineContext* context = allocBlock<EngineContext>();
    if (context == nullptr)
        return 0;
    context->reserved5 = -1;
    setEngineContext(context);

    context->trapStack = allocBlock<TrapStack>();
    context->cleanupStack = new (std::nothrow) CkwCleanupStackManager;
    context->markerBlock = static_cast<uint8_t*>(engineAlloc(1, 0));
    if (context->trapStack == nullptr || context->cleanupStack == nullptr
        || context->markerBlock == nullptr) {
        engineShutdown();
        return 0;
    }

    int32_t code = engineTrap([context] {
        context->identityMatrix = newBlockL<CkwMatrix>();
        createDefaultTransform(*context);
        createObjectFactory();
    });
    if (code != KErrNone) {
        engineShutdown();
        return 0;
    }
    return 1;
}

void engineShutdown()
{
    EngineContext* context = engineContext();
    if (context == nullptr)
        return;
    for (const EngineModule* module : engineModules())
        if (module->shutdown != nullptr)
            module->shutdown(*context);
    delete context->alignTargetManager;
    context->alignTargetManager = nullptr;
    destroyObjectFactory();
    freeBlock(context->identityMatrix);
    freeBlock(context->defaultTransform);
    delete context->cleanupStack;
    context->cleanupStack = nullptr;
    freeBlock(context->trapStack);
    engineFree(context->markerBlock);
    context->markerBlock = nullptr;
    setEngineContext(nullptr);
    context->~EngineContext();
    engineFree(context);
}

