// The DirectDraw display device.
#include "platform/wince/DirectDrawDevice.h"

#include "gfx2d/image/PixelFormat.h"
#include "platform/wince/DirectDrawSurface.h"
#include "platform/wince/PlatformApp.h"

#include <algorithm>

DirectDrawDevice::DirectDrawDevice() = default;

DirectDrawDevice::~DirectDrawDevice()
{
    close();
}

int DirectDrawDevice::open()
{
    const auto* app = dynamic_cast<PlatformApp*>(getPlatformApp());
    m_displayMode = {};
    m_displayMode.dwSize = sizeof(DDSURFACEDESC);
    if (!SUCCEEDED(DirectDrawCreate(nullptr, &m_directDraw, nullptr))
        || !SUCCEEDED(m_directDraw->SetCooperativeLevel(app ? app->window() : nullptr, DDSCL_NORMAL))
        || !SUCCEEDED(m_directDraw->GetDisplayMode(&m_displayMode))) {
        close();
        return 0;
    }
    m_name.assign(kDirectDrawName);
    m_ready = 1;
    m_info.kind = ScreenInfoKind::Device;
    m_info.name = m_name.chars();
    std::fill(std::begin(m_info.limits), std::end(m_info.limits), kDirectDrawLimit);
    return 1;
}

void DirectDrawDevice::close()
{
    if (m_directDraw) {
        m_directDraw->Release();
        m_directDraw = nullptr;
    }
    m_renderTarget = nullptr;
    m_displayMode = {};
    m_name.clear();
    m_info = ScreenInfo{};
    m_ready = 0;
}

void DirectDrawDevice::clear(uint32_t flags)
{
    auto* target = dynamic_cast<DirectDrawSurface*>(m_renderTarget);
    if (!target || !target->primary() || !target->back())
        return;
    const RSBFormat format = target->getFormat();
    if (format == PixelFormat::R5G6B5 || format == PixelFormat::X8R8G8B8 || format == PixelFormat::A8R8G8B8) {
        DDBLTFX fx{ sizeof(DDBLTFX), 0 };
        convertPixel(PixelFormat::ArgbFixed, m_clearChannels, format, &fx.dwFillColor);
        if (format == PixelFormat::X8R8G8B8)
            fx.dwFillColor |= 0xFF000000u;
        target->back()->Blt(nullptr, nullptr, nullptr, DDBLT_COLORFILL | DDBLT_WAITNOTBUSY, &fx);
    }
    const uint32_t planes = flags & (SurfacePlanes::Depth | SurfacePlanes::Stencil);
    if (planes)
        target->clearPlanes(planes, m_clearChannels, m_clearDepth, m_clearStencil);
}

void DirectDrawDevice::present()
{
    const ScreenContext* display = getDisplay();
    auto* target = dynamic_cast<DirectDrawSurface*>(m_renderTarget);
    if (!target || !(target->flags() & SurfaceFlag::OtherMemory) || !display || display->m_frameSurface != target
        || !target->primary() || !target->back())
        return;
    target->primary()->Blt(nullptr, target->back(), nullptr, DDBLT_WAITNOTBUSY, nullptr);
}

void DirectDrawDevice::setClearColor(uint32_t argb)
{
    m_clearColor = argb;
    channelsFromArgb(m_clearChannels, argb);
}

void DirectDrawDevice::setClearColorv(const int32_t* c)
{
    setClearColor4(c[0], c[1], c[2], c[3]);
}

void DirectDrawDevice::setClearColor4(int32_t a, int32_t r, int32_t g, int32_t b)
{
    storeChannels(m_clearChannels, a, r, g, b);
    m_clearColor = packChannels(m_clearChannels);
}

const ScreenInfo* DirectDrawDevice::getInfo(uint32_t kind)
{
    return kind == ScreenInfoKind::Device ? &m_info : nullptr;
}

const String* DirectDrawDevice::getName(uint32_t kind)
{
    return kind == ScreenInfoKind::Device ? &m_name : nullptr;
}

DirectDrawDevice* displayDirectDraw()
{
    auto* display = dynamic_cast<DeviceScreenContext*>(getDisplay());
    return display ? dynamic_cast<DirectDrawDevice*>(display->device()) : nullptr;
}
