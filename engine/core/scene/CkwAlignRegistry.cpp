// The registry's place in the engine context.
#include "engine/core/scene/CkwAlignRegistry.h"

#include "engine/core/runtime/EngineContext.h"
#include "engine/core/runtime/EngineErrors.h"
#include "engine/core/runtime/EngineModule.h"
#include "engine/core/runtime/Trap.h"

CkwAlignRegistry& CkwAlignRegistry::instance()
{
    EngineContext& context = engineContextL();
    if (context.alignTargetManager == nullptr) {
        for (const EngineModule* module : engineModules())
            if (module->createAlignRegistry != nullptr) {
                context.alignTargetManager = module->createAlignRegistry();
                break;
            }
        if (context.alignTargetManager == nullptr)
            leave(KErrIllegalState);
    }
    return *context.alignTargetManager;
}

CkwAlignRegistry* CkwAlignRegistry::existing()
{
    EngineContext* context = engineContext();
    return context != nullptr ? context->alignTargetManager : nullptr;
}
