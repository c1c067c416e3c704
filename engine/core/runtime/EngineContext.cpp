// Engine start-up and shutdown: the context block, the trap stack, the
// cleanup stack, the shared identity matrix, the default transform and the
// object factory.
#include "engine/core/runtime/EngineContext.h"

#include <new>

#include "engine/core/factory/CkwObjectFactory.h"
#include "engine/core/runtime/CleanupStack.h"
#include "engine/core/runtime/EngineAlloc.h"
#include "engine/core/runtime/SceneSeams.h"
#include "engine/core/runtime/Trap.h"

namespace {

EngineContext* g_context = nullptr;

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
    block->sharedIdentity = context.identityMatrix;
    block->matrix.setIdentity();
    context.defaultTransform = block;
}

} // namespace

EngineContext* engineContext() { return g_context; }
void setEngineContext(EngineContext* context) { g_context = context; }

EngineContext& engineContextL()
{
    if (g_context == nullptr)
        leave(KErrNoMemory);
    return *g_context;
}

int32_t engineInit()
{
    if (g_context != nullptr)
        return 0;
    EngineContext* context = allocBlock<EngineContext>();
    if (context == nullptr)
        return 0;
    context->reserved5 = -1;
    g_context = context;

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
    EngineContext* context = g_context;
    if (context == nullptr)
        return;
    releaseSharedRayIntersection();
    releasePickData();
    releaseAlignTargetManager();
    destroyObjectFactory();
    freeBlock(context->identityMatrix);
    freeBlock(context->defaultTransform);
    delete context->cleanupStack;
    context->cleanupStack = nullptr;
    freeBlock(context->trapStack);
    engineFree(context->markerBlock);
    context->markerBlock = nullptr;
    g_context = nullptr;
    context->~EngineContext();
    engineFree(context);
}

TrapStack* engineTrapStack() { return g_context != nullptr ? g_context->trapStack : nullptr; }

CkwCleanupStackManager* engineCleanupStack()
{
    return g_context != nullptr ? g_context->cleanupStack : nullptr;
}

uint8_t* engineMarkerBlock() { return g_context != nullptr ? g_context->markerBlock : nullptr; }
int32_t* engineWord13() { return g_context != nullptr ? &g_context->word13 : nullptr; }
int32_t* engineWord14() { return g_context != nullptr ? &g_context->word14 : nullptr; }
