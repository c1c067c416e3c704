// The cleanup stack: objects under construction sit on it while a later step
// may leave, so a leave destroys them. Each trap opens one level; levels are
// kept after they close and reused by the next trap.
#pragma once

#include <cstdint>
#include <exception>

#include "engine/core/runtime/CkwArray.h"
#include "engine/core/runtime/CkwHeapObject.h"

// One level: the objects pushed since its trap was marked. The array always
// ends with one reserved null slot, the slot the next push fills, so the push
// stores its object before the only allocation that can leave.
class CkwCleanupStackInstance : public CkwHeapObject {
public:
    void open();
    void push(CkwHeapObject* object);
    void pop();
    // Destroys the objects, last pushed first; the array ends empty.
    void destroyObjects();
    // Objects on the level, the reserved slot not counted.
    int32_t objectCount() const;
    bool inUse() const { return m_inUse != 0; }
    void setInUse(bool inUse) { m_inUse = inUse ? 1 : 0; }

private:
    CkwArray<CkwHeapObject*> m_objects;
    uint32_t m_inUse = 0;
};

class CkwCleanupStackManager : public CkwHeapObject {
public:
    ~CkwCleanupStackManager() override;

    void push(CkwHeapObject* object);
    // Removes the top object of the current level without destroying it.
    void pop(CkwHeapObject* object);
    // Opens a new level, reusing a closed one when there is one.
    void mark();
    // Destroys the objects of the current level; the level stays open.
    void unwind();
    void unwindAndClose();

    int32_t openLevels() const { return static_cast<int32_t>(m_current); }
    int32_t allocatedLevels() const { return m_levels.count(); }
    // Objects on the current level (0 when no level is open).
    int32_t currentObjectCount() const;

private:
    CkwArray<CkwCleanupStackInstance*> m_levels;
    uint32_t m_current = 0;
    uint32_t m_consistent = 1; // 0 while mark is changing the levels
};

// The manager of the engine context; leaves -4 when there is no context.
CkwCleanupStackManager& cleanupStack();
void pushL(CkwHeapObject* object);
void popL(CkwHeapObject* object);

// Keeps an object on the cleanup stack while it is held. On the normal path
// its destruction pops and destroys the object, release() hands it on. While
// a leave unwinds, the cleanup stack owns the object and destroys it, so the
// pointer then does nothing.
template <class T>
class CkwCleanupPtr {
public:
    explicit CkwCleanupPtr(T* object) : m_object(object)
    {
        if (m_object != nullptr)
            pushL(static_cast<CkwHeapObject*>(m_object));
    }
    CkwCleanupPtr(const CkwCleanupPtr&) = delete;
    CkwCleanupPtr& operator=(const CkwCleanupPtr&) = delete;
    ~CkwCleanupPtr()
    {
        if (m_object == nullptr || std::uncaught_exceptions() > m_exceptions)
            return;
        popL(static_cast<CkwHeapObject*>(m_object));
        delete static_cast<CkwHeapObject*>(m_object);
    }

    T* get() const { return m_object; }
    T* operator->() const { return m_object; }
    T* release()
    {
        T* object = m_object;
        if (object != nullptr)
            popL(static_cast<CkwHeapObject*>(object));
        m_object = nullptr;
        return object;
    }

private:
    T* m_object;
    int m_exceptions = std::uncaught_exceptions();
};
