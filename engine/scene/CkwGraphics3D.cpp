// The render context: target binding and clipping, viewport, camera and light
// set, and the trapped hand-over of every clear and render call.
#include "engine/scene/CkwGraphics3D.h"

#include <algorithm>

#include "engine/core/runtime/CleanupStack.h"
#include "engine/core/runtime/Trap.h"
#include "engine/scene/CkwBackground.h"
#include "engine/scene/CkwCamera.h"
#include "engine/scene/CkwImage2D.h"
#include "engine/scene/CkwLight.h"
#include "engine/scene/CkwStageset.h"
#include "engine/scene/CkwWorld.h"
#include "engine/scene/SceneFieldHelpers.h"

namespace {

RendererCreator gRendererCreator = nullptr;


uint16_t* pixelAt(uint16_t* pixels, int32_t pitch, const CkwRect& r)
{
    if (r.width == 0 || pixels == nullptr)
        return nullptr;
    return reinterpret_cast<uint16_t*>(reinterpret_cast<uint8_t*>(pixels) + int64_t(r.y) * pitch + int64_t(r.x) * 2);
}

} // namespace

void installRendererCreator(RendererCreator creator) { gRendererCreator = creator; }

CkwRenderer* createRenderer()
{
    if (gRendererCreator == nullptr)
        leave(KErrIllegalState);
    return gRendererCreator();
}

CkwGraphics3D* CkwGraphics3D::create()
{
    auto* g = new CkwGraphics3D;
    pushL(g);
    g->m_renderer = createRenderer();
    popL(g);
    return g;
}

CkwGraphics3D::~CkwGraphics3D()
{
    delete m_renderer;
    replaceReference(m_targetImage, nullptr);
    if (m_camera != nullptr)
        m_camera->release();
    for (CkwNode* light : m_lights)
        if (light != nullptr)
            light->release();
}

void CkwGraphics3D::bindTarget(int32_t width, int32_t height, int32_t pitch, uint16_t* pixels)
{
    bindTargetMemory(width, height, pitch, pixels, 0, 0, width, height);
}

void CkwGraphics3D::bindTargetMemory(int32_t width, int32_t height, int32_t pitch, uint16_t* pixels, int32_t clipX,
                                     int32_t clipY, int32_t clipWidth, int32_t clipHeight)
{
    // The renderer writes W x H pixels through the pitch: a buffer that
    // cannot hold a row, or none at all, would be written out of bounds.
    if (pixels == nullptr || width < 1 || height < 1 || int64_t(pitch) < int64_t(width) * 2)
        leave(KErrIllegalArgument);
    replaceReference(m_targetImage, nullptr);
    m_originX = m_originY = 0;
    m_width = width;
    m_height = height;
    m_pitch = pitch;
    m_pixels = pixels;
    m_clip = {clipX, clipY, clipWidth, clipHeight};
    m_hasAlpha = 0;
    m_alphaPitch = 0;
    m_alphaPixels = nullptr;
    m_externalDepth = nullptr;
    m_clipRect = {0, 0, width, height};
    rectIntersect(m_clipRect, m_clip);
    m_clipPixels = pixelAt(pixels, pitch, m_clipRect);
    finishBinding();
}

bool CkwGraphics3D::canTarget(CkwImage2D& image)
{
    const int32_t format = image.getFormat();
    return image.isMutable() && (format == kImageFormatRgb || format == kImageFormatRgba) && !image.hasPalette()
        && image.getWidth() >= 1 && image.getWidth() <= kMaxViewport && image.getHeight() >= 1
        && image.getHeight() <= kMaxViewport && image.getPixels() != nullptr;
}

void CkwGraphics3D::bindImageTarget(CkwObject3D* object)
{
    if (object == nullptr) {
        forgetImageTarget();
        return;
    }
    if (!isImageClass(object->getClassId(), true))
        leave(KErrIllegalArgument);
    auto* image = static_cast<CkwImage2D*>(object);
    if (!canTarget(*image))
        leave(KErrIllegalArgument);
    replaceReference(m_targetImage, image);
    readImageTarget();
    m_clip = m_clipRect;
    finishBinding();
}

void CkwGraphics3D::forgetImageTarget()
{
    // The planes go with the image: nothing is drawn until the next binding.
    if (m_targetImage == nullptr)
        return;
    replaceReference(m_targetImage, nullptr);
    m_pixels = m_clipPixels = nullptr;
    m_alphaPixels = nullptr;
    m_externalDepth = nullptr;
    m_width = m_height = 0;
    m_clip = m_clipRect = {0, 0, 0, 0};
    m_renderer->bindTarget(this);
    updateViewportClip();
}

void CkwGraphics3D::readImageTarget()
{
    CkwImage2D* image = m_targetImage;
    // First, as it alone can leave: a Stageset sizes its map to its image.
    m_externalDepth = image->getClassId() == kClassStageset ? static_cast<CkwStageset*>(image)->bindDepthTarget()
                                                             : nullptr;
    m_originX = m_originY = 0;
    m_hasAlpha = image->getFormat() == kImageFormatRgba;
    m_width = image->getWidth();
    m_height = image->getHeight();
    m_pitch = m_width * 2;
    m_pixels = reinterpret_cast<uint16_t*>(image->getPixels());
    m_alphaPitch = image->alphaPitch();
    m_alphaPixels = image->getAlphaPlane();
    m_clipRect = {0, 0, m_width, m_height};
    m_clipPixels = pixelAt(m_pixels, m_pitch, m_clipRect);
}

void CkwGraphics3D::refreshImageTarget()
{
    if (m_targetImage == nullptr)
        return;
    if (!canTarget(*m_targetImage))
        leave(KErrIllegalState);
    const uint16_t* pixels = m_pixels;
    const uint8_t* alpha = m_alphaPixels;
    const uint16_t* depth = m_externalDepth;
    const int32_t width = m_width, height = m_height;
    readImageTarget();
    if (m_pixels == pixels && m_alphaPixels == alpha && m_externalDepth == depth && m_width == width
        && m_height == height)
        return;
    m_clip = m_clipRect;
    m_renderer->bindTarget(this);
    updateViewportClip();
}

void CkwGraphics3D::finishBinding()
{
    const int32_t vw = std::clamp(m_clip.width, 1, kMaxViewport);
    const int32_t vh = std::clamp(m_clip.height, 1, kMaxViewport);
    m_depthBufferEnabled = 1;
    m_antialias = m_dither = m_trueColor = m_overwrite = 0;
    m_renderer->bindTarget(this);
    m_viewport = {m_clip.x, m_clip.y, vw, vh};
    updateViewportClip();
}

void CkwGraphics3D::updateViewportClip()
{
    m_scissor = m_clipRect;
    m_viewportVisible = rectIntersect(m_scissor, m_viewport) ? 1 : 0;
    if (m_viewportVisible == 0)
        return;
    m_viewportInClip = {m_viewport.x - m_clipRect.x, m_viewport.y - m_clipRect.y, m_viewport.width,
                        m_viewport.height};
    const bool same = m_scissor.x == m_viewport.x && m_scissor.y == m_viewport.y
                   && m_scissor.width == m_viewport.width && m_scissor.height == m_viewport.height;
    m_viewportClipped = same ? 0 : 1;
    m_renderer->setViewport(m_viewportInClip.x, m_viewportInClip.y, m_viewportInClip.width, m_viewportInClip.height);
}

void CkwGraphics3D::setTargetPixels(uint16_t* pixels)
{
    if (pixels == m_pixels)
        return;
    m_pixels = pixels;
    if (m_clipPixels != nullptr)
        m_clipPixels = pixelAt(pixels, m_pitch, m_clipRect);
    m_renderer->updateColorBuffer(this);
}

void CkwGraphics3D::setViewport(int32_t x, int32_t y, int32_t width, int32_t height)
{
    if (width < 1 || width > kMaxViewport || height < 1 || height > kMaxViewport)
        leave(KErrIllegalArgument);
    m_viewport = {x, y, width, height};
    updateViewportClip();
}

void CkwGraphics3D::setDepthBufferAndHints(bool enabled, uint32_t hints)
{
    m_depthBufferEnabled = enabled ? 1 : 0;
    m_antialias = (hints & kHintAntialias) != 0;
    m_dither = (hints & kHintDither) != 0;
    m_trueColor = (hints & kHintTrueColor) != 0;
    m_overwrite = (hints & kHintOverwrite) != 0;
    m_renderer->bindTarget(this);
}

uint32_t CkwGraphics3D::getHints() const
{
    return (m_antialias ? kHintAntialias : 0) | (m_dither ? kHintDither : 0) | (m_trueColor ? kHintTrueColor : 0)
         | (m_overwrite ? kHintOverwrite : 0);
}

void CkwGraphics3D::setCamera(CkwCamera* camera, const CkwMatrix* transform)
{
    replaceReference(m_camera, camera);
    if (transform == nullptr) {
        m_cameraTransform.setIdentity();
        return;
    }
    CkwMatrix inverse = *transform;
    if (!inverse.invert())
        leave(KErrArithmetic);
    m_cameraTransform = *transform;
}

CkwCamera* CkwGraphics3D::getCamera(CkwMatrix* transform) const
{
    if (transform != nullptr)
        *transform = m_cameraTransform;
    return m_camera;
}

int32_t CkwGraphics3D::addLight(CkwNode* light, const CkwMatrix* transform)
{
    m_lightTransforms.append(transform != nullptr ? *transform : CkwMatrix());
    m_lights.append(light);
    if (light != nullptr)
        light->addRef();
    return m_lights.count() - 1;
}

void CkwGraphics3D::setLight(int32_t index, CkwNode* light, const CkwMatrix* transform)
{
    if (index < 0 || index >= m_lights.count())
        leave(KErrIndexOutOfRange);
    replaceReference(m_lights[index], light);
    m_lightTransforms[index] = (light != nullptr && transform != nullptr) ? *transform : CkwMatrix();
}

CkwNode* CkwGraphics3D::getLight(int32_t index, CkwMatrix* transform) const
{
    if (index < 0 || index >= m_lights.count())
        leave(KErrIndexOutOfRange);
    if (transform != nullptr)
        *transform = m_lightTransforms[index];
    return m_lights[index];
}

void CkwGraphics3D::resetLights()
{
    for (CkwNode* light : m_lights)
        if (light != nullptr)
            light->release();
    m_lights.setCount(0);
    m_lightTransforms.setCount(0);
}

template <class Body>
void CkwGraphics3D::trapped(Body&& body)
{
    const int32_t code = engineTrap(body);
    if (code != KErrNone) {
        m_renderer->resetCaches();
        leave(code);
    }
}

void CkwGraphics3D::clear(CkwBackground* background)
{
    refreshImageTarget();
    if (background != nullptr && background->getImage() != nullptr) {
        const int32_t expected = m_hasAlpha ? kImageFormatRgba : kImageFormatRgb;
        if (static_cast<CkwImage2D*>(background->getImage())->getFormat() != expected)
            leave(KErrIllegalArgument);
    }
    trapped([&] { m_renderer->clearBackground(background, nullptr); });
}

void CkwGraphics3D::renderWorld(CkwWorld* world)
{
    auto* camera = static_cast<CkwCamera*>(world->getActiveCamera());
    if (camera == nullptr || !camera->isDescendantOf(world))
        leave(KErrIllegalState);
    refreshImageTarget();
    trapped([&] {
        const CkwArray<CkwNode*>& lights = world->getLights();
        resetLights();
        m_lights.setCount(lights.count());
        m_lightTransforms.setCount(lights.count());
        for (int32_t i = 0; i < lights.count(); ++i) {
            m_lights[i] = lights[i];
            lights[i]->addRef();
            m_lightTransforms[i].setIdentity();
            lights[i]->getTransformTo(world, m_lightTransforms[i]);
        }
        replaceReference(m_camera, camera);
        camera->getTransformTo(world, m_cameraTransform);
        m_renderer->renderWorld(world);
    });
}

void CkwGraphics3D::requireCamera() const
{
    if (m_camera == nullptr)
        leave(KErrIllegalState);
}

void CkwGraphics3D::handCameraAndLights()
{
    if (m_camera != nullptr)
        m_renderer->setCamera(m_camera, &m_cameraTransform);
    m_renderer->setLights(m_lights.count(), m_lights.data(), m_lightTransforms.data());
}

void CkwGraphics3D::renderNode(CkwNode* node, const CkwMatrix* transform)
{
    requireCamera();
    switch (node->getClassId()) {
    case kClassMesh:
    case kClassMorphingMesh:
    case kClassSkinnedMesh:
    case kClassGroup:
    case kClassSprite:
    case kClassWorld:
        break;
    default:
        leave(KErrIllegalArgument);
    }
    refreshImageTarget();
    trapped([&] {
        handCameraAndLights();
        m_renderer->renderNode(node, transform);
    });
}

void CkwGraphics3D::renderImmediate(CkwVertexBuffer* vertexBuffer, CkwIndexBuffer* indexBuffer,
                                    CkwAppearance* appearance, const CkwMatrix* transform, int32_t scope)
{
    requireCamera();
    refreshImageTarget();
    trapped([&] {
        handCameraAndLights();
        m_renderer->renderImmediate(vertexBuffer, indexBuffer, appearance, transform, scope);
    });
}

int32_t CkwGraphics3D::getProperty(int32_t key)
{
    static constexpr int32_t kProperties[kPropertyCount] = {0, 0, 0, 0, 1, 1, 256, 1024, 1024, 1024, 2, 2, 1024, 1024};
    return key >= 0 && key < kPropertyCount ? kProperties[key] : 0;
}
