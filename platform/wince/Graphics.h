// The program's display context: it starts the 2D library, opens the
// DirectDraw display device, draws every frame into one frame surface and
// presents it onto the screen. Also the factories through which the library
// and the framework get the platform's display objects.
#pragma once

#include "gfx2d/display/ScreenContext.h"

#include <cstdint>

class CallbackHandler;
class Message;

class Graphics : public DeviceScreenContext {
public:
    ~Graphics() override;

    // 1 when the device and the frame surface are up (the library may have
    // failed); else 0 with everything undone.
    int open() override;
    void close() override;
    // A frame surface lost in a failed rebuild is tried again here, so
    // nothing is drawn until there is a surface to draw into.
    void beginFrame(uint32_t a, uint32_t b) override;
    void present() override;

    static int onEvent(Message& message, CallbackHandler& handler);

private:
    // The frame surface (re)built from its attribute list and made current.
    int buildFrameSurface();
};

// A new display context; null without memory. Installed as the display's
// service creator.
HashedObject* createGraphics();
// A new drawing context; null without memory. Installed as the drawing
// context's service creator.
HashedObject* createDrawContext();

namespace SurfaceKind {
constexpr uint32_t Display = 1;
constexpr uint32_t Memory = 2;
} // namespace SurfaceKind

// kind 2: a memory surface (variant 0, modes other than 2 and 3); any other
// kind: a DirectDraw surface (variant 1) while the display's device is the
// DirectDraw one. Null for anything else or without memory.
class Surface;
Surface* createSurface(uint32_t kind, uint32_t variant, uint32_t mode);

// Puts the display and drawing-context creators in place.
void installDisplayCreators();
