// The installed modules. Registrars run before main, so the list is a plain
// array that needs no construction of its own.
#include "engine/core/runtime/EngineModule.h"

namespace {

const EngineModule* g_modules[kMaxEngineModules] = {};
uint32_t g_moduleCount = 0;

} // namespace

bool installEngineModule(const EngineModule& module)
{
    if (g_moduleCount == kMaxEngineModules)
        return false;
    g_modules[g_moduleCount++] = &module;
    return true;
}

std::span<const EngineModule* const> engineModules() { return {g_modules, g_moduleCount}; }
