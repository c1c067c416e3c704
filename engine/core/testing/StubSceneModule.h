// Stand-in for the scene library's module, linked by the engine core's tests
// (library engine_core_stubs).
#pragma once

#include <cstdint>

#include "engine/core/runtime/CkwRefCount.h"

// What the stand-in creators make: an empty object answering its class id.
class StubSceneObject : public IkwSerializable {
public:
    explicit StubSceneObject(int32_t classId) : m_classId(classId) {}
    int32_t getClassId() const override { return m_classId; }

private:
    int32_t m_classId;
};

// How often engineShutdown ran the stand-in module's shutdown.
int32_t& stubShutdowns();
