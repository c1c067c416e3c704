// Cleanup levels and their manager. Levels outlive their traps and are reused,
// so a trap normally costs no allocation.
#include "engine/core/runtime/CleanupStack.h"

#include "engine/core/runtime/EngineContext.h"
#include "engine/core/runtime/Trap.h"

void CkwCleanupStackInstance::open()
{
    m_objects.append(nullptr);
    m_inUse = 1;
}

void CkwCleanupStackInstance::push(CkwHeapObject* object)
{
    // The object is in place before the growth that may leave, so a failed
    // push still destroys it when the stack unwinds.
    m_objects.last() = object;
    m_objects.append(nullptr);
}

void CkwCleanupStackInstance::pop()
{
    m_objects.setCount(m_objects.count() - 1);
    m_objects.last() = nullptr;
}

void CkwCleanupStackInstance::destroyObjects()
{
    while (!m_objects.isEmpty()) {
        CkwHeapObject* object = m_objects.last();
        // Drop the entry first: the destructor must not see itself on the stack.
        m_objects.setCount(m_objects.count() - 1);
        delete object;
    }
}

int32_t CkwCleanupStackInstance::objectCount() const
{
    return m_objects.count() > 0 ? m_objects.count() - 1 : 0;
}

CkwCleanupStackManager::~CkwCleanupStackManager()
{
    for (CkwCleanupStackInstance* level : m_levels)
        delete level;
}

void CkwCleanupStackManager::push(CkwHeapObject* object)
{
    // Without an open level nothing would destroy the object on a leave.
    if (m_current == 0)
        engineFatal("cleanup stack push outside a trap");
    m_levels[static_cast<int32_t>(m_current) - 1]->push(object);
}

void CkwCleanupStackManager::pop(CkwHeapObject*)
{
    // An unmatched pop would write below the level's array.
    if (m_current == 0 || m_levels[static_cast<int32_t>(m_current) - 1]->objectCount() == 0)
        engineFatal("cleanup stack pop without a push");
    m_levels[static_cast<int32_t>(m_current) - 1]->pop();
}

void CkwCleanupStackManager::mark()
{
    m_consistent = 0;
    int32_t index = static_cast<int32_t>(m_current);
    if (index == m_levels.count())
        m_levels.append(nullptr);
    // A slot left null by a failed allocation is filled on the next mark.
    if (m_levels[index] == nullptr)
        m_levels[index] = new CkwCleanupStackInstance;
    ++m_current;
    m_consistent = 1;
    m_levels[static_cast<int32_t>(m_current) - 1]->open();
}

void CkwCleanupStackManager::unwind()
{
    if (m_consistent == 0 || m_current == 0) {
        m_consistent = 1;
        return;
    }
    int32_t index = static_cast<int32_t>(m_current) - 1;
    CkwCleanupStackInstance* level = m_levels[index];
    if (level == nullptr) {
        --m_current;
    } else if (level->inUse()) {
        level->destroyObjects();
    } else {
        delete level;
        m_levels[index] = nullptr;
        --m_current;
    }
    m_consistent = 1;
}

void CkwCleanupStackManager::unwindAndClose()
{
    unwind();
    if (m_current > 0)
        --m_current;
}

int32_t CkwCleanupStackManager::currentObjectCount() const
{
    if (m_current == 0)
        return 0;
    const CkwCleanupStackInstance* level = m_levels[static_cast<int32_t>(m_current) - 1];
    return level != nullptr ? level->objectCount() : 0;
}

CkwCleanupStackManager& cleanupStack()
{
    CkwCleanupStackManager* manager = engineCleanupStack();
    if (manager == nullptr)
        leave(KErrNoMemory);
    return *manager;
}

void pushL(CkwHeapObject* object) { cleanupStack().push(object); }
void popL(CkwHeapObject* object) { cleanupStack().pop(object); }
