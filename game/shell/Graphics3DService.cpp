// Binding display pixels to the engine's render context, and the viewport
// that fits the camera.
#include "game/shell/Graphics3DService.h"

#include <new>

#include "engine/core/interface/InterfaceIds.h"
#include "framework/services/ServiceAccessors.h"
#include "framework/util/LoadLedger.h"
#include "game/shell/EngineService.h"
#include "gfx2d/display/ScreenContext.h"
#include "gfx2d/display/Surface.h"
#include "gfx2d/image/PixelFormat.h"

Graphics3DService::Graphics3DService() : Service(ServiceId::Graphics3DService)
{
    // Our count on the root keeps the engine up until the context is gone,
    // whichever service the registry deletes first.
    if ((m_root = getEngineRoot()))
        m_root->table->addRef(m_root);
    m_graphics = createEngineObject(kIidGraphics3D);
}

Graphics3DService::~Graphics3DService()
{
    releaseTarget();
    m_graphics.reset();
    if (m_root)
        m_root->table->release(m_root);
}

bool Graphics3DService::bindPixels(uint32_t width, uint32_t height, uint32_t pitch, void* pixels,
                                   const Viewport* viewport)
{
    if (!m_graphics || !pixels)
        return false;
    m_viewport = viewport ? *viewport : Viewport{0, 0, int16_t(width), int16_t(height)};
    // The depth buffer the engine sizes to the target is the display's:
    // counted against the pack, a bigger screen would leave a pack that fits
    // on a smaller one without the room to draw.
    const UncountedBlocks display;
    const EngineResult result = m_graphics.table<IkwGraphics3DTable>().bindBufferClipped(
        m_graphics.get(), width, height, pitch, pixels, m_viewport.x, m_viewport.y, m_viewport.width,
        m_viewport.height);
    m_boundPixels = result == 0 ? 1 : 0;
    return m_boundPixels != 0;
}

bool Graphics3DService::bindTarget(Surface* surface, const Viewport* viewport)
{
    uint32_t width = 0;
    uint32_t height = 0;
    if (!m_graphics || !surface || !surface->getSize(&width, &height)
        || surface->getFormat() != PixelFormat::R5G6B5)
        return false;
    uint8_t* pixels = nullptr;
    int32_t pitch = 0;
    if (!surface->lock(&pixels, &pitch, 0, nullptr) || !pixels || pitch <= 0) {
        if (surface->isLocked())
            surface->unlock();
        return false;
    }
    m_surface = surface;
    if (!bindPixels(width, height, uint32_t(pitch), pixels, viewport)) {
        releaseTarget();
        return false;
    }
    return true;
}

void Graphics3DService::releaseTarget()
{
    if (!m_graphics)
        return;
    const IkwGraphics3DTable& api = m_graphics.table<IkwGraphics3DTable>();
    if (m_boundPixels) {
        api.releaseTarget(m_graphics.get());
        m_boundPixels = 0;
    }
    if (Surface* surface = m_surface) {
        m_surface = nullptr;
        surface->unlock();
    } else if (m_boundImage) {
        api.bindImage(m_graphics.get(), nullptr);
        m_boundImage = 0;
    }
}

Viewport Graphics3DService::fitViewport(int32_t width, int32_t height, EngineHandle* camera)
{
    const Viewport whole{0, 0, int16_t(width), int16_t(height)};
    float p[4] = {};
    uint32_t kind = CameraProjection::None;
    if (!camera || height <= 0
        || tableOf<IkwCameraTable>(camera).getProjectionParameters(camera, 4, p, &kind) != 0)
        return whole;
    const float aspect = p[1];
    // A generic projection has no aspect ratio; a bad one fits nothing.
    if (kind == CameraProjection::None || kind == CameraProjection::Generic || !(aspect > 0.0f))
        return whole;
    const float screen = float(width) / float(height);
    if (screen < aspect) {
        const int16_t y = int16_t((height - int32_t(float(width) / aspect)) / 2);
        return {0, y, int16_t(width), int16_t(height - 2 * y)};
    }
    const int16_t x = int16_t((width - int32_t(float(height) * aspect)) / 2);
    return {x, 0, int16_t(width - 2 * x), int16_t(height)};
}

Viewport Graphics3DService::fitViewportToCamera(EngineHandle* camera)
{
    return fitViewport(getScreenWidth(), getScreenHeight(), camera);
}

Graphics3DService* getGraphics3DService()
{
    return static_cast<Graphics3DService*>(findOrCreateService(ServiceId::Graphics3DService));
}

HashedObject* createGraphics3DService()
{
    return new (std::nothrow) Graphics3DService();
}

namespace {

void frameSize(uint32_t& width, uint32_t& height)
{
    width = height = 0;
    ScreenContext* display = getDisplay();
    Surface* frame = display ? display->m_frameSurface : nullptr;
    if (display && !frame)
        frame = display->getRenderTarget(0, 0);
    if (frame)
        frame->getSize(&width, &height);
}

} // namespace

int32_t getScreenWidth()
{
    uint32_t w, h;
    frameSize(w, h);
    return int32_t(w);
}

int32_t getScreenHeight()
{
    uint32_t w, h;
    frameSize(w, h);
    return int32_t(h);
}
