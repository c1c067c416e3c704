// The game's door to the 3D engine: the service that builds the engine's root
// interface once and turns a pack resource into a loaded engine object.
#pragma once

#include <cstdint>

#include "engine/core/interface/IkwEngine.h"
#include "framework/services/Service.h"
#include "game/shell/EngineRef.h"

// Projection kinds a camera reports.
namespace CameraProjection {
constexpr uint32_t None = 0;
constexpr uint32_t Generic = 48;
constexpr uint32_t Parallel = 49;
constexpr uint32_t Perspective = 50;
} // namespace CameraProjection

class EngineService : public Service {
public:
    EngineService();
    ~EngineService() override;

    // The first root object of the resource's 3D file with one count for
    // the caller; empty when the resource, the loader or the file fails.
    EngineRef loadObject(uint32_t resourceId);
    // The same over bytes already in memory.
    EngineRef loadBytes(const void* bytes, uint32_t size);

    IkwEngine* root() const { return m_root; }

private:
    IkwEngine* m_root = nullptr;
};

// The engine root, creating the service when it is missing; null without one.
IkwEngine* getEngineRoot();
EngineService* getEngineService();
// A new engine object of the interface through the root; empty on failure.
EngineRef createEngineObject(uint32_t iid);
// The world's active camera; empty without a world or a camera.
EngineRef activeCamera(EngineHandle* world);

// Puts the creators of the engine and 3D view services in place.
void installEngineServices();
