// The engine context pointer and its accessors. Start-up and shutdown live in
// EngineInit.cpp.
#include "engine/core/runtime/EngineContext.h"

#include "engine/core/runtime/Trap.h"

namespace {

EngineContext* g_context = nullptr;

} // namespace

EngineContext* engineContext() { return g_context; }
void setEngineContext(EngineContext* context) { g_context = context; }

EngineContext& engineContextL()
{
    if (g_context == nullptr)
        leave(KErrNoMemory);
    return *g_context;
}

TrapStack* engineTrapStack() { return g_context != nullptr ? g_context->trapStack : nullptr; }

CkwCleanupStackManager* engineCleanupStack()
{
    return g_context != nullptr ? g_context->cleanupStack : nullptr;
}

uint8_t* engineMarkerBlock() { return g_context != nullptr ? g_context->markerBlock : nullptr; }
int32_t* engineWord13() { return g_context != nullptr ? &g_context->word13 : nullptr; }
int32_t* engineWord14() { return g_context != nullptr ? &g_context->word14 : nullptr; }

CkwMatrix& CkwMatrix::scratch()
{
    return engineContextL().scratchMatrix;
}
