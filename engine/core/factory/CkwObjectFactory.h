// The object factory: one creator per class id, filled once when the engine
// starts. The 3D file parser and the interface's object creation make every
// scene object through it.
#pragma once

#include <cstdint>

#include "engine/core/factory/ClassIds.h"
#include "engine/core/runtime/CkwHeapObject.h"
#include "engine/core/runtime/CkwRefCount.h"

// Allocates and constructs an empty object of its class with reference count
// 0; leaves -4 when memory runs out.
using CkwObjectCreator = IkwSerializable* (*)();

class CkwObjectFactory : public CkwHeapObject {
public:
    static constexpr int32_t kSlotCount = kClassLastTableSlot + 2; // 0..34 and 255

    CkwObjectFactory();
    ~CkwObjectFactory() override;

    // A new object of the class, or null for an id without a creator.
    IkwSerializable* create(int32_t classId) const;
    // Ids above 34 other than 255, and negative ids, are ignored.
    void registerCreator(int32_t classId, CkwObjectCreator creator);
    bool hasCreator(int32_t classId) const;

private:
    static int32_t slotOf(int32_t classId);

    CkwObjectCreator m_creators[kSlotCount];
};

// Makes the factory of the engine context and fills it (leaves -4).
void createObjectFactory();
// Deletes the context's factory and clears the field.
void destroyObjectFactory();
// Clears slot 0, registers the core's own classes, then every installed
// module's.
void initLoaderTypes(CkwObjectFactory& factory);
