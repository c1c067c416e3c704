// Fuzz inputs for the loader over the real scene classes: an engine made
// through the public entry point with nothing replaced, so every record of a
// fuzz input reaches the class that reads it.
#pragma once

#include "engine/core/interface/IkwEngine.h"
#include "engine/core/loader/LoaderFuzzInput.h"

class SceneEngine {
public:
    // Hooks, when given, take the engine's allocations (to count them).
    explicit SceneEngine(EngineAllocHook alloc = nullptr, EngineFreeHook free = nullptr)
    {
        initEngineApi(&m_root);
        m_ready = m_root->table->initialize(m_root, alloc, free) == 0;
    }
    ~SceneEngine() { m_root->table->release(m_root); }
    SceneEngine(const SceneEngine&) = delete;
    SceneEngine& operator=(const SceneEngine&) = delete;

    bool ready() const { return m_ready; }
    const IkwEngineTable& api() const { return *m_root->table; }

private:
    IkwEngine* m_root = nullptr;
    bool m_ready = false;
};
