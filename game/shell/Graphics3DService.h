// The 3D view service: it owns the engine's render context and binds a
// display surface to it for one 3D pass, with a viewport that keeps the
// camera's aspect ratio.
#pragma once

#include <cstdint>

#include "framework/services/Service.h"
#include "game/shell/EngineRef.h"

class HashedObject;
class Surface;

struct Viewport {
    int16_t x = 0, y = 0, width = 0, height = 0;
    bool operator==(const Viewport&) const = default;
};

class Graphics3DService : public Service {
public:
    Graphics3DService();
    ~Graphics3DService() override;

    // Binds 16-bit pixels of width x height (the display's) as the target,
    // drawing inside the viewport (the whole target without one); what the
    // engine makes for them counts against no pack. False when the context
    // refuses them; nothing is bound then.
    bool bindPixels(uint32_t width, uint32_t height, uint32_t pitch, void* pixels, const Viewport* viewport);
    // Locks a 16-bit RGB 5-6-5 surface and binds its pixels; false (nothing
    // locked or bound: skip the pass) for any other surface or a lock that
    // gives no address.
    bool bindTarget(Surface* surface, const Viewport* viewport);
    void releaseTarget();

    // The largest centred viewport of a width x height target with the
    // camera's aspect ratio; the whole target for a camera without one.
    static Viewport fitViewport(int32_t width, int32_t height, EngineHandle* camera);
    // The same over the display's current render target.
    static Viewport fitViewportToCamera(EngineHandle* camera);

    EngineRef m_graphics;
    uint32_t m_boundImage = 0;
    uint8_t m_boundPixels = 0;
    Surface* m_surface = nullptr;
    Viewport m_viewport;

private:
    struct IkwEngine* m_root = nullptr;
};

Graphics3DService* getGraphics3DService();

// The display's frame surface size; 0 before there is a display.
int32_t getScreenWidth();
int32_t getScreenHeight();
HashedObject* createGraphics3DService();
