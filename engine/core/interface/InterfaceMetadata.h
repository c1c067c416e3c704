// One row per concrete interface: its id, table, entry count, the engine
// classes behind it, the ids queryInterface accepts and its creator. Object
// creation, getObjectType, queryInterface and wrapObject all read this table.
#pragma once

#include <cstdint>
#include <span>

#include "engine/core/interface/InterfaceIds.h"
#include "engine/core/interface/MethodTables.h"

// Makes a new object of the interface and wraps it into *out.
using InterfaceCreator = EngineResult (*)(EngineHandle** out);

struct InterfaceInfo {
    uint32_t iid;
    const void* table;     // the core's own; null for the tables modules install
    uint32_t entryCount;
    int32_t classIds[3];   // 0 ends the list
    uint32_t accepts[5];   // 0 ends the list
    InterfaceCreator create;
};

std::span<const InterfaceInfo> interfaceMetadata();
// The render context is no factory object; the scene library installs its maker.
void installGraphics3DCreator(InterfaceCreator creator);
// The row of a concrete interface id, or null (abstract and unknown ids).
const InterfaceInfo* interfaceById(uint32_t iid);
// The row whose classes hold classId, or null for a class without interface.
const InterfaceInfo* interfaceByClass(int32_t classId);
// Whether an object of this class may be used as interface iid: the ids its
// row accepts (the universal ids are not interfaces).
bool objectAccepts(const CkwRefCount& object, uint32_t iid);
// The row's table: its own, else the first installed one of its entry count;
// null while no module provides it.
const void* interfaceTable(const InterfaceInfo& info);
// The row's slot in the method-table cache.
uint32_t interfaceSlot(const InterfaceInfo& info);
