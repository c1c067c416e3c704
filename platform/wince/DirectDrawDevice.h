// The display device: DirectDraw opened on the platform application's
// window. It clears the frame surface with a colour-fill blit and presents it
// with one blit onto the primary surface (stretching when the frame is drawn
// at half size); there is no page flip.
#pragma once

#include "framework/strings/String.h"
#include "gfx2d/display/ScreenContext.h"
#include "platform/host/HostDirectDraw.h"

#include <cstdint>

inline constexpr char kDirectDrawName[] = "DirectDraw";
inline constexpr uint32_t kDirectDrawLimit = 2048;

class DirectDrawDevice : public ScreenInterface {
public:
    DirectDrawDevice();
    ~DirectDrawDevice() override;

    // init: DirectDraw, the cooperative level and the display mode; 1 when
    // all three were had, else 0 and closed.
    int open() override;
    void close() override;
    Surface* getRenderTarget(uint32_t, uint32_t) override { return m_renderTarget; }
    void beginFrame(uint32_t, uint32_t) override {}
    void endFrame(uint32_t, uint32_t) override {}
    void clear(uint32_t flags) override;
    void present() override;
    void setClearColor(uint32_t argb) override;
    void setClearColorv(const int32_t* channels) override;
    void setClearColor4(int32_t a, int32_t r, int32_t g, int32_t b) override;
    void setClearDepth(uint32_t value) override { m_clearDepth = value; }
    void setClearStencil(uint32_t value) override { m_clearStencil = value; }
    const ScreenInfo* getInfo(uint32_t kind) override;
    const String* getName(uint32_t kind) override;
    void setRenderTarget(Surface* surface) override { m_renderTarget = surface; }

    IDirectDraw* directDraw() const { return m_directDraw; }
    const DDSURFACEDESC& displayMode() const { return m_displayMode; }
    uint32_t ready() const { return m_ready; }
    uint32_t clearColor() const { return m_clearColor; }

private:
    Surface* m_renderTarget = nullptr;
    uint32_t m_clearColor = 0;
    int32_t m_clearChannels[4] = {};
    uint32_t m_clearDepth = 0;
    uint32_t m_clearStencil = 0;
    uint32_t m_ready = 0;
    ScreenInfo m_info;
    String m_name;
    IDirectDraw* m_directDraw = nullptr;
    DDSURFACEDESC m_displayMode = {};
};

// The display's device when it is the DirectDraw one, else null.
DirectDrawDevice* displayDirectDraw();
