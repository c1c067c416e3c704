// Screen contexts for tests: the library's base with the platform's three
// operations stubbed, and an off-screen target to draw into.
#pragma once

#include <cstdint>
#include <cstring>

#include "gfx2d/display/ScreenContext.h"
#include "gfx2d/display/Surface.h"

class TestScreen : public DeviceScreenContext {
public:
    int open() override { return 1; }
    void close() override {}
    void present() override { ++m_presents; }
    void attachDevice(ScreenInterface* device) { m_device = device; }

    uint32_t m_presents = 0;
};

// A width x height X8R8G8B8 memory surface made current.
inline int makeTarget(MemorySurface& target, uint32_t width, uint32_t height,
                      RSBFormat format = PixelFormat::X8R8G8B8)
{
    const SurfaceAttribute list[] = {
        {SurfaceKey::Width, width}, {SurfaceKey::Height, height}, {SurfaceKey::Format0, format}, {SurfaceKey::End, 0}};
    if (!target.init(list))
        return 0;
    target.makeCurrent();
    return 1;
}

// The surface's X8R8G8B8 pixels, rows top first.
inline const uint32_t* targetPixels(Surface& s)
{
    uint8_t* p = nullptr;
    int32_t pitch = 0;
    s.lock(&p, &pitch, 0, nullptr);
    s.unlock();
    return reinterpret_cast<const uint32_t*>(p);
}
