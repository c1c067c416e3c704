// Screen context: clear values, the identification record, library start-up
// and shutdown, and the device-forwarding layer.
#include "gfx2d/display/ScreenContext.h"

#include <algorithm>
#include <new>

#include "framework/resources/ResourceManager.h"
#include "framework/services/ServiceAccessors.h"
#include "gfx2d/blit/BlitterRegistry.h"
#include "gfx2d/display/Surface.h"
#include "gfx2d/image/ImageResources.h"
#include "gfx2d/raster/RasterState.h"
#include "gfx2d/span/SpanIds.h"
#include "gfx2d/span/SpanProgramSet.h"

namespace {
// The id map of raster textures: bucket hint, nodes a block, grow.
constexpr uint32_t kIdMapBuckets = 100;
constexpr uint32_t kIdMapNodesPerBlock = 50;

uint32_t clampByte(int32_t v)
{
    return static_cast<uint32_t>(std::clamp(v >> 8, 0, 255));
}
} // namespace

uint32_t packColourBytes(uint32_t a, uint32_t r, uint32_t g, uint32_t b)
{
    return (a & 255) << 24 | (r & 255) << 16 | (g & 255) << 8 | (b & 255);
}

uint32_t channelByte(const int32_t* channels, uint32_t i)
{
    return i < 4 ? clampByte(channels[i]) : 0;
}

uint32_t packChannels(const int32_t* c)
{
    return packColourBytes(clampByte(c[0]), clampByte(c[1]), clampByte(c[2]), clampByte(c[3]));
}

void storeChannels(int32_t* out, int32_t a, int32_t r, int32_t g, int32_t b)
{
    out[0] = a;
    out[1] = r;
    out[2] = g;
    out[3] = b;
}

void channelsFromArgb(int32_t* out, uint32_t argb)
{
    uint32_t wide[4];
    pixelToArgb16(wide, PixelFormat::A8R8G8B8, &argb);
    for (int i = 0; i < 4; ++i)
        out[i] = static_cast<int32_t>(wide[i]);
}

ScreenService::~ScreenService()
{
    forgetCachedService(&AppBase::m_display, this);
}

ScreenContext::ScreenContext()
{
    m_pixelFormat = PixelFormat::X8R8G8B8;
}

ScreenContext::~ScreenContext()
{
    m_idMap.release();
    m_name.clear();
}

void ScreenContext::clear(uint32_t flags)
{
    if (m_renderTarget)
        m_renderTarget->clearPlanes(flags, m_clearChannels, m_clearDepth, m_clearStencil);
}

void ScreenContext::setClearColor(uint32_t argb)
{
    m_clearColor = argb;
    channelsFromArgb(m_clearChannels, argb);
}

void ScreenContext::setClearColorv(const int32_t* c)
{
    setClearColor4(c[0], c[1], c[2], c[3]);
}

void ScreenContext::setClearColor4(int32_t a, int32_t r, int32_t g, int32_t b)
{
    storeChannels(m_clearChannels, a, r, g, b);
    m_clearColor = packChannels(m_clearChannels);
}

void ScreenContext::setClearDepth(uint32_t)
{
    // This class's own clear always writes depth 0; devices take the value.
    m_clearDepth = 0;
}

const ScreenInfo* ScreenContext::getInfo(uint32_t kind)
{
    return kind == ScreenInfoKind::Library ? &m_info : nullptr;
}

const String* ScreenContext::getName(uint32_t kind)
{
    return kind == ScreenInfoKind::Library ? &m_name : nullptr;
}

int ScreenContext::init()
{
    // Init runs once per open; a second start-up begins from a clean slate.
    if (m_libraryReady)
        shutdown();
    m_raster.reset(new (std::nothrow) RasterState());
    ++m_rasterGeneration;
    if (m_raster)
        m_raster->init(kRasterPoolVertices);
    m_name.assign(kLibraryName);
    m_info.kind = ScreenInfoKind::Library;
    m_info.name = m_name.chars();
    std::copy(std::begin(kLibraryLimits), std::end(kLibraryLimits), m_info.limits);
    loadSpanPrograms();
    m_libraryReady = 1;
    if (!m_idMap.init(kIdMapBuckets, kIdMapNodesPerBlock, true))
        shutdown();
    return m_libraryReady;
}

void ScreenContext::loadSpanPrograms()
{
    registerBlitters();
    // The classes the library's resources load as; surfaces decode images
    // and take palettes through them.
    registerImageResourceTypes();
    registerSurfaceResourceTypes();
    registerSpanProgramType();
    if (ResourceManager* manager = getResourceManager())
        loadSpanProgramSets(*manager);
}

void ScreenContext::shutdown()
{
    m_name.clear();
    m_info = ScreenInfo{};
    m_idMap.release();
    if (!m_raster) {
        m_libraryReady = 0;
        return;
    }
    // Id 0 (the list's spare entry) is never held, so only the sets are released.
    if (ResourceManager* manager = getResourceManager())
        for (const SpanSetIds& ids : kSpanSets)
            manager->releaseById(ids.set);
    m_raster->teardown();
    m_raster.reset();
    m_libraryReady = 0;
}

ScreenContext* getDisplay()
{
    return static_cast<ScreenContext*>(findOrCreateCachedService(kScreenContextServiceId, &AppBase::m_display));
}

Surface* DeviceScreenContext::getRenderTarget(uint32_t a, uint32_t b)
{
    // Until the platform attaches its device the library's own target serves.
    return m_device ? m_device->getRenderTarget(a, b) : m_renderTarget;
}

// Library surfaces (kind KindImage) are drawn here alone; the device never
// sees them.
bool DeviceScreenContext::targetStaysInLibrary(uint32_t a, uint32_t b)
{
    if (!m_device)
        return true;
    Surface* target = m_device->getRenderTarget(a, b);
    return target && (target->flags() & SurfaceFlag::KindImage);
}

void DeviceScreenContext::beginFrame(uint32_t a, uint32_t b)
{
    if (!targetStaysInLibrary(a, b))
        m_device->beginFrame(a, b);
}

void DeviceScreenContext::endFrame(uint32_t a, uint32_t b)
{
    if (!targetStaysInLibrary(a, b))
        m_device->endFrame(a, b);
}

void DeviceScreenContext::clear(uint32_t flags)
{
    Surface* target = m_device ? m_device->getRenderTarget(0, 0) : nullptr;
    if (!target)
        return;
    if (target->flags() & SurfaceFlag::KindImage) {
        ScreenContext::clear(flags);
        return;
    }
    m_device->clear(flags);
    // The device fills colour only; separate depth and stencil planes are ours.
    const uint32_t planes = flags & (SurfacePlanes::Depth | SurfacePlanes::Stencil);
    if ((target->flags() & SurfaceFlag::RasterTarget) && planes)
        ScreenContext::clear(planes);
}

void DeviceScreenContext::setClearColor(uint32_t argb)
{
    ScreenContext::setClearColor(argb);
    if (m_device)
        m_device->setClearColor(argb);
}

void DeviceScreenContext::setClearColorv(const int32_t* channels)
{
    ScreenContext::setClearColorv(channels);
    if (m_device)
        m_device->setClearColorv(channels);
}

void DeviceScreenContext::setClearColor4(int32_t a, int32_t r, int32_t g, int32_t b)
{
    ScreenContext::setClearColor4(a, r, g, b);
    if (m_device)
        m_device->setClearColor4(a, r, g, b);
}

void DeviceScreenContext::setClearDepth(uint32_t value)
{
    ScreenContext::setClearDepth(value);
    if (m_device)
        m_device->setClearDepth(value);
}

void DeviceScreenContext::setClearStencil(uint32_t value)
{
    ScreenContext::setClearStencil(value);
    if (m_device)
        m_device->setClearStencil(value);
}

const ScreenInfo* DeviceScreenContext::getInfo(uint32_t kind)
{
    if (kind == ScreenInfoKind::Device)
        return m_device ? m_device->getInfo(kind) : nullptr;
    return ScreenContext::getInfo(kind);
}

const String* DeviceScreenContext::getName(uint32_t kind)
{
    if (kind == ScreenInfoKind::Device)
        return m_device ? m_device->getName(kind) : nullptr;
    return ScreenContext::getName(kind);
}

void DeviceScreenContext::setRenderTarget(Surface* surface)
{
    ScreenContext::setRenderTarget(surface);
    if (m_device)
        m_device->setRenderTarget(surface);
}
