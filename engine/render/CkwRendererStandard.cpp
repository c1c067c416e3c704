// The renderer's frame: target binding, camera set-up, background clear, the
// render queue (layer, then opaque before transparent, transparent far to
// near) and sprites. The submesh pipeline is in SubmeshPipeline.cpp.
#include "engine/render/CkwRendererStandard.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "engine/core/math/FixedMath.h"
#include "engine/core/math/FloatBits.h"
#include "engine/core/runtime/CleanupStack.h"
#include "engine/core/runtime/Trap.h"
#include "engine/render/RenderImages.h"
#include "engine/scene/CkwAppearance.h"
#include "engine/scene/CkwBackground.h"
#include "engine/scene/CkwCamera.h"
#include "engine/scene/CkwCompositingMode.h"
#include "engine/scene/CkwFog.h"
#include "engine/scene/CkwGraphics3D.h"
#include "engine/scene/CkwLight.h"
#include "engine/scene/CkwMaterial.h"
#include "engine/scene/CkwMesh.h"
#include "engine/scene/CkwSkinnedMesh.h"
#include "engine/scene/CkwSprite.h"
#include "engine/scene/CkwStageset.h"
#include "engine/scene/CkwTexture2D.h"
#include "engine/scene/CkwWorld.h"

namespace {

constexpr int32_t kDepthFar = 0xFFFF;
constexpr int32_t kTransparentBit = 1;

uint16_t* depthStorage(CkwGraphics3D* g, CkwArray<uint16_t>& own)
{
    if (g->m_externalDepth != nullptr)
        return g->m_externalDepth;
    return own.isEmpty() ? nullptr : own.data();
}

// Cuts a span running a0..a1 to [lo, hi]; b0..b1, its image on the other
// side (screen or texture), moves in proportion. False when nothing is left.
bool cutSpan(int32_t& a0, int32_t& a1, int32_t& b0, int32_t& b1, int32_t lo, int32_t hi)
{
    if (std::max(a0, a1) <= lo || std::min(a0, a1) >= hi)
        return false;
    const int64_t da = int64_t{a1} - a0, db = int64_t{b1} - b0;
    const auto moveTo = [&](int32_t& a, int32_t& b, int32_t edge) {
        const int64_t share = fixedDiv64((int64_t{edge} - a) << 16, da);
        b = static_cast<int32_t>(b + ((share * db + 0x8000) >> 16));
        a = edge;
    };
    if (std::min(a0, a1) < lo)
        moveTo(a0 < a1 ? a0 : a1, a0 < a1 ? b0 : b1, lo);
    if (std::max(a0, a1) > hi)
        moveTo(a0 > a1 ? a0 : a1, a0 > a1 ? b0 : b1, hi);
    return true;
}

// How much fog covers a sprite whose origin lies e in front of the eye, w
// the homogeneous weight of its eye-space position.
float spriteFog(const CkwFog& fog, float e, float w)
{
    if (fog.getMode() == CkwFog::kExponential)
        return 1.0f - floatExp(-(fog.getDensity() * (w != 1.0f ? e / w : e)));
    if (fog.getMode() != CkwFog::kLinear)
        return 0.0f;
    const float x = e - fog.getNearDistance() * w;
    const float r = (fog.getFarDistance() - fog.getNearDistance()) * w;
    if (r > 0.0f)
        return x <= 0.0f ? 0.0f : (x >= r ? 1.0f : x / r);
    if (r < 0.0f)
        return x >= 0.0f ? 0.0f : (x <= r ? 1.0f : x / r);
    return 1.0f;
}

} // namespace

CkwRenderer* CkwRendererStandard::create()
{
    auto* r = new CkwRendererStandard;
    pushL(r);
    r->construct();
    popL(r);
    return r;
}

void CkwRendererStandard::construct()
{
    m_rasterizer = new CkwRasterizerStandard;
    m_defaultCompositingMode = static_cast<CkwCompositingMode*>(CkwCompositingMode::create());
    m_defaultCompositingMode->addRef();
}

CkwRendererStandard::~CkwRendererStandard()
{
    delete m_rasterizer;
    if (m_defaultCompositingMode != nullptr)
        m_defaultCompositingMode->release();
}

void CkwRendererStandard::resetCaches()
{
    for (SkwVertexCaches& set : m_cacheSets) {
        set.clip.reset();
        set.eye.reset();
        set.normal.reset();
        for (CkwFixedVectorCache& tex : set.tex)
            tex.reset();
        set.facing.reset();
        set.owner = nullptr;
        set.lastUse = 0;
        set.generation = 0;
        for (SkwDrawnTriangles& drawn : set.drawn) {
            drawn.generation = 0;
            drawn.triangles.reset();
        }
    }
    m_caches = &m_cacheSets[0];
    for (int u = 0; u < 2; ++u) {
        m_shaded[u].reset();
        m_screen[u].reset();
        m_shadedStamp[u].reset();
    }
    m_vertexBuffer = nullptr;
    m_skin = nullptr;
}

void CkwRendererStandard::bindTarget(CkwGraphics3D* g)
{
    m_graphics = g;
    m_frameClock = m_cacheClock;
    const int32_t w = g->m_clipRect.width, h = g->m_clipRect.height;
    m_ownDepth.setCount(g->m_externalDepth != nullptr ? 0 : w * h);
    m_rasterizer->setTarget(g->m_clipPixels, w, h, g->m_pitch, depthStorage(g, m_ownDepth), g->m_depthBufferEnabled);
    m_rasterizer->setAlphaPlane(g->m_alphaPixels, g->m_alphaPitch);
    m_rasterizer->setDepthEnabled(g->m_depthBufferEnabled);
}

void CkwRendererStandard::updateColorBuffer(CkwGraphics3D* g) { m_rasterizer->setColorBuffer(g->m_clipPixels); }

void CkwRendererStandard::setViewport(int32_t, int32_t, int32_t width, int32_t height)
{
    m_viewportScaleX = width << 19;
    m_viewportScaleY = height << 19;
}

bool CkwRendererStandard::viewportReady()
{
    if (m_graphics == nullptr)
        return false;
    if (m_graphics->m_viewportDirty)
        m_graphics->updateViewportClip();
    return m_graphics->m_viewportVisible != 0 && m_graphics->m_clipPixels != nullptr;
}

void CkwRendererStandard::setDepthConstants()
{
    m_depthScale = static_cast<int32_t>((m_graphics->m_depthFar - m_graphics->m_depthNear) * 65536.0 + 0.5);
    m_depthOffset = static_cast<int32_t>(m_graphics->m_depthNear * 268369920.0);
}

void CkwRendererStandard::setCamera(CkwCamera* camera, const CkwMatrix* transform)
{
    if (camera == nullptr)
        return;
    m_view = transform != nullptr ? *transform : camera->getWorldTransform();
    CkwVector3D origin{0.0f, 0.0f, 0.0f}, position;
    m_view.transformPoint(position, origin);
    m_cameraPosition[0] = position.x;
    m_cameraPosition[1] = position.y;
    m_cameraPosition[2] = position.z;
    if (!m_view.invert())
        leave(KErrArithmetic);
    m_cameraScope = camera->getScope();
    m_projectionKind = camera->getProjectionKind();
    m_cameraDegenerate = 0;
    if (m_projectionKind != CkwCamera::kGeneric)
        m_cameraDegenerate = camera->getNear() == camera->getFar() ? 1 : 0;
    if (!m_cameraDegenerate)
        m_projection = camera->getProjectionMatrix();
    m_viewProjection = m_projection;
    m_viewProjection.multiply(m_view);
}

void CkwRendererStandard::setLights(int32_t count, CkwNode* const* lights, const CkwMatrix* transforms)
{
    m_lights.setCount(0);
    m_lights.setCapacity(count);
    m_lightingNeeded = 0;
    for (int32_t i = 0; i < count; ++i) {
        auto* light = static_cast<CkwLight*>(lights[i]);
        if (light == nullptr)
            continue;
        if (light->getMode() != CkwLight::kAmbient)
            m_lightingNeeded = 1;
        CkwMatrix eye = m_view;
        eye.multiply(transforms != nullptr ? transforms[i] : light->getWorldTransform());
        CkwActiveLightStandard record{};
        if (record.setup(*light, eye))
            m_lights.append(record);
    }
}

int32_t CkwRendererStandard::scissorWidth() const { return m_graphics->m_scissor.width; }

void CkwRendererStandard::clearBackground(CkwBackground* background, CkwCamera* camera)
{
    if (!viewportReady())
        return;
    CkwGraphics3D* g = m_graphics;
    const int32_t W = g->m_clipRect.width, H = g->m_clipRect.height;
    const int32_t x0 = g->m_scissor.x - g->m_clipRect.x, y0 = g->m_scissor.y - g->m_clipRect.y;
    const int32_t x1 = x0 + g->m_scissor.width, y1 = y0 + g->m_scissor.height;
    uint16_t* depth = depthStorage(g, m_ownDepth);
    auto clearDepth = [&] {
        if (depth != nullptr)
            std::fill(depth, depth + int64_t(W) * H, uint16_t(kDepthFar));
    };
    auto fill = [&](int32_t x, int32_t y, int32_t w, int32_t h, uint16_t pixel, uint8_t alpha) {
        if (w > 0 && h > 0)
            m_rasterizer->fillRect(x, y, w, h, pixel, alpha);
    };
    if (background == nullptr) {
        fill(x0, y0, x1 - x0, y1 - y0, 0, 0);
        clearDepth();
        return;
    }
    const bool colorClear = background->isColorClearEnabled();
    const bool depthClear = background->isDepthClearEnabled();
    auto* image = static_cast<CkwImage2D*>(background->getImage());
    const bool useStageset = camera != nullptr && !m_cameraDegenerate && image != nullptr
                          && image->getClassId() == kClassStageset;
    CkwFixedColor color{};
    color.setRgb(background->getColor());
    const uint16_t pixel = color.toRgb565();
    const uint8_t alpha = static_cast<uint8_t>(background->getColor() >> 24);
    if (!colorClear && !(depthClear && useStageset)) {
        if (depthClear)
            clearDepth();
        return;
    }
    if (image == nullptr || !rasterImageOf(image, m_blitImage)) {
        if (colorClear)
            fill(x0, y0, x1 - x0, y1 - y0, pixel, alpha);
        if (depthClear)
            clearDepth();
        return;
    }

    // The crop mapped onto the viewport in 16.16 steps; BORDER axes are cut
    // to the part of the image the crop covers.
    int32_t vx = g->m_viewportInClip.x, vy = g->m_viewportInClip.y;
    int32_t vw = g->m_viewportInClip.width, vh = g->m_viewportInClip.height;
    float cx = background->getCropX(), cy = background->getCropY();
    float cw = background->getCropWidth(), ch = background->getCropHeight();
    const int32_t iw = image->getWidth(), ih = image->getHeight();
    const int32_t stepX = static_cast<int32_t>(cw * 65536.0 + 0.5) / vw;
    const int32_t stepY = static_cast<int32_t>(ch * 65536.0 + 0.5) / vh;
    auto borderAxis = [](float& c, float& cs, int32_t& v, int32_t& vs, float size) {
        if (c + cs < 0.0f || c >= size || cs == 0.0f) {
            v += vs;
            vs = 0;
            c = size;
            return;
        }
        if (c < 0.0f) {
            const int32_t d = static_cast<int32_t>(-(c / cs) * vs);
            cs += c;
            c = 0.0f;
            v += d;
            vs -= d;
        }
        if (c + cs > size)
            vs = static_cast<int32_t>(vs - ((c + cs - size) / cs) * vs);
    };
    if (background->getImageModeX() == CkwBackground::kBorder)
        borderAxis(cx, cw, vx, vw, static_cast<float>(iw));
    if (background->getImageModeY() == CkwBackground::kBorder)
        borderAxis(cy, ch, vy, vh, static_cast<float>(ih));
    cx = std::clamp(cx, -32767.0f, 32767.0f);
    cy = std::clamp(cy, -32767.0f, 32767.0f);
    int64_t fx = static_cast<int64_t>(cx * 65536.0 + 0.5), fy = static_cast<int64_t>(cy * 65536.0 + 0.5);
    if (g->m_viewportClipped) {
        if (vx < 0) {
            vw += vx;
            fx -= int64_t{stepX} * vx;
            vx = 0;
        }
        if (vy < 0) {
            vh += vy;
            fy -= int64_t{stepY} * vy;
            vy = 0;
        }
        if (vx + vw >= W)
            vw = W - vx;
        if (vy + vh >= H)
            vh = H - vy;
    }
    // Brought into the image by whole periods; a modulo keeps huge crops cheap.
    const int64_t spanX = int64_t{iw} << 16, spanY = int64_t{ih} << 16;
    fx %= spanX;
    if (fx < 0)
        fx += spanX;
    fy %= spanY;
    if (fy < 0)
        fy += spanY;

    const bool meets = vw > 0 && vh > 0 && vx < x1 && x0 < vx + vw && vy < y1 && y0 < vy + vh;
    if (colorClear) {
        if (meets) {
            fill(x0, y0, x1 - x0, vy - y0, pixel, alpha);
            fill(x0, vy + vh, x1 - x0, y1 - vh - vy, pixel, alpha);
            fill(x0, vy, vx - x0, vh, pixel, alpha);
            fill(vx + vw, vy, x1 - vw - vx, vh, pixel, alpha);
            m_rasterizer->setBlitImage(&m_blitImage, kFuncReplace);
            m_rasterizer->blitImage(vx, vy, vw, vh, static_cast<int32_t>(fx), static_cast<int32_t>(fy), stepX, stepY);
        } else {
            fill(x0, y0, x1 - x0, y1 - y0, pixel, alpha);
        }
    }
    if (!depthClear)
        return;
    if (!useStageset || !meets || depth == nullptr) {
        clearDepth();
        return;
    }
    // The Stageset's depth values take the image's place in the depth buffer.
    auto* stageset = static_cast<CkwStageset*>(image);
    stageset->prepareDepthMap(camera);
    const uint16_t* source = stageset->getDepthMap();
    if (source == nullptr) {
        clearDepth();
        return;
    }
    auto fillDepth = [&](int32_t x, int32_t y, int32_t w, int32_t h) {
        for (int32_t row = std::max(y, 0); row < std::min(y + h, H); ++row)
            std::fill(depth + int64_t(row) * W + std::max(x, 0), depth + int64_t(row) * W + std::min(x + w, W),
                      uint16_t(kDepthFar));
    };
    fillDepth(x0, y0, x1 - x0, vy - y0);
    fillDepth(x0, vy + vh, x1 - x0, y1 - vh - vy);
    fillDepth(x0, vy, vx - x0, vh);
    fillDepth(vx + vw, vy, x1 - vw - vx, vh);
    // Steps taken modulo the map, so a crop wider than it or running
    // backwards still reads inside it with one wrap per step.
    const auto wrapped = [](int64_t step, int64_t span) { return (step % span + span) % span; };
    const int64_t wrapX = wrapped(stepX, spanX), wrapY = wrapped(stepY, spanY);
    int64_t ty = fy;
    for (int32_t row = 0; row < vh; ++row) {
        const uint16_t* src = source + int64_t(ty >> 16) * iw;
        uint16_t* dst = depth + int64_t(vy + row) * W + vx;
        int64_t tx = fx;
        for (int32_t col = 0; col < vw; ++col) {
            dst[col] = src[tx >> 16];
            tx += wrapX;
            if (tx >= spanX)
                tx -= spanX;
        }
        ty += wrapY;
        if (ty >= spanY)
            ty -= spanY;
    }
}

// The queue.

void CkwRendererStandard::resetQueue(CkwNode* root)
{
    m_alphaFactor = 1.0f;
    m_queue.setCount(1);
    m_queue[0] = SkwQueuedState{0, 0, 0, 1.0f, nullptr};
    m_lastQueued = 0;
    if (!m_cameraDegenerate)
        traverse(root);
}

void CkwRendererStandard::traverse(CkwNode* root)
{
    // Pre-order without recursion. The alpha factor of each level on the way
    // down is kept by depth below the root, so climbing needs no bookkeeping.
    const float base = m_alphaFactor;
    const int32_t rootDepth = root->getDepth();
    m_alphaStack.setCount(0);
    m_pendingSkins.setCount(0);
    CkwNode* node = root;
    while (node != nullptr) {
        const int32_t level = node->getDepth() - rootDepth;
        queuePendingSkins(level);
        const float parentAlpha = level == 0 ? base : m_alphaStack[level - 1];
        m_alphaStack.setCount(level + 1);
        m_alphaStack[level] = parentAlpha * node->getAlphaFactor();
        const bool enabled = node->isRenderingEnabled();
        const int32_t id = node->getClassId();
        if (enabled) {
            m_alphaFactor = m_alphaStack[level];
            if (id == kClassSkinnedMesh) {
                // Bones moved since the last frame repose the palette; the
                // skeleton's own meshes queue ahead of the skin.
                static_cast<CkwSkinnedMesh*>(node)->markChangedBones();
                m_pendingSkins.append(SkwPendingSkin{node, level, m_alphaFactor});
            } else {
                queueNode(node);
            }
        }
        const bool descend = enabled && (id == kClassGroup || id == kClassWorld || id == kClassSkinnedMesh);
        node = CkwNode::nextInSubtree(node, root, descend);
    }
    queuePendingSkins(0);
    m_alphaFactor = base;
}

void CkwRendererStandard::queuePendingSkins(int32_t level)
{
    while (!m_pendingSkins.isEmpty() && m_pendingSkins.last().level >= level) {
        const SkwPendingSkin pending = m_pendingSkins.last();
        m_pendingSkins.setCount(m_pendingSkins.count() - 1);
        m_alphaFactor = pending.alphaFactor;
        queueNode(pending.mesh);
    }
}

bool CkwRendererStandard::isTransparent(CkwAppearance* appearance, CkwVertexBuffer* buffer) const
{
    const CkwCompositingMode* mode = appearance->getCompositingMode();
    if (mode == nullptr)
        mode = m_defaultCompositingMode;
    const int32_t blending = mode->getBlending();
    if (blending == CkwCompositingMode::kReplace)
        return false;
    if (blending != CkwCompositingMode::kAlpha)
        return true;
    if (m_alphaFactor < 1.0f)
        return true;
    const CkwMaterial* material = appearance->getMaterial();
    if (material != nullptr && (material->getColor(CkwMaterial::kDiffuse) >> 24) != 0xFF)
        return true;
    const CkwVertexArray* colors = buffer->getColors();
    if (colors != nullptr && colors->getVertexCount() > 0 && colors->getComponentCount() == 4)
        return true;
    if ((buffer->getDefaultColor() >> 24) != 0xFF)
        return true;
    for (int32_t unit = 0; unit < 2; ++unit) {
        auto* texture = static_cast<CkwTexture2D*>(appearance->getTexture(unit));
        if (texture != nullptr && texture->getImage() != nullptr) {
            const int32_t format = texture->getImage()->getFormat();
            if (format == kImageFormatAlpha || format == kImageFormatLuminanceAlpha || format == kImageFormatRgba)
                return true;
        }
    }
    return false;
}

void CkwRendererStandard::queueNode(CkwNode* node)
{
    const int32_t id = node->getClassId();
    if ((node->getScope() & m_cameraScope) == 0)
        return;
    if (id == kClassMesh || id == kClassMorphingMesh || id == kClassSkinnedMesh) {
        auto* mesh = static_cast<CkwMesh*>(node);
        CkwVertexBuffer* buffer = mesh->getVertexBuffer();
        if (buffer == nullptr)
            return;
        int32_t depthCache = 0;
        for (int32_t i = 0; i < mesh->getSubmeshCount(); ++i) {
            CkwAppearance* appearance = mesh->getAppearance(i);
            if (appearance == nullptr || mesh->getIndexBuffer(i) == nullptr)
                continue;
            enqueue(node, i, isTransparent(appearance, buffer), appearance->getLayer(), depthCache);
        }
    } else if (id == kClassSprite) {
        auto* sprite = static_cast<CkwSprite*>(node);
        CkwAppearance* appearance = sprite->getAppearance();
        if (appearance == nullptr || sprite->getImage() == nullptr)
            return;
        const CkwCompositingMode* mode = appearance->getCompositingMode();
        const bool transparent = mode != nullptr && mode->getBlending() != CkwCompositingMode::kReplace;
        int32_t depthCache = 0;
        enqueue(node, 0, transparent, appearance->getLayer(), depthCache);
    }
}

void CkwRendererStandard::enqueue(CkwNode* node, int32_t submesh, bool transparent, int32_t layer,
                                  int32_t& depthCache)
{
    int32_t depthKey = 0;
    if (transparent) {
        if (depthCache == 0) {
            const CkwMatrix& world = node->getWorldTransform();
            const float z = m_view.m[2] * world.m[12] + m_view.m[6] * world.m[13] + m_view.m[10] * world.m[14]
                          + m_view.m[14];
            // Flipping the sign bit orders the float bits of negative z (in
            // front of the camera) by distance.
            const int32_t d = static_cast<int32_t>(floatBits(z) ^ 0x80000000u) >> 8;
            depthCache = std::clamp(d, 0, 0xFFFFFF);
        }
        depthKey = 0xFFFFFF - depthCache;
    }
    const int32_t top = ((layer << 1) | (transparent ? kTransparentBit : 0)) & 0xFF;
    const int32_t key = static_cast<int32_t>((static_cast<uint32_t>(top) << 24) | (depthKey & 0xFFFFFF));
    const int32_t index = m_queue.count();
    m_queue.append(SkwQueuedState{key, 0, submesh, m_alphaFactor, node});
    int32_t after = 0;
    if (m_lastQueued != 0 && m_queue[m_lastQueued].sortKey == key) {
        after = m_lastQueued;
    } else {
        while (m_queue[after].next != 0 && m_queue[m_queue[after].next].sortKey <= key)
            after = m_queue[after].next;
    }
    m_queue[index].next = m_queue[after].next;
    m_queue[after].next = index;
    m_lastQueued = index;
}

void CkwRendererStandard::drawQueue()
{
    // The vertex caches outlive the frame: they are keyed on what they hold.
    m_vertexBuffer = nullptr;
    setDepthConstants();
    CkwNode* previous = nullptr;
    bool nodeVisible = false;
    for (int32_t i = m_queue[0].next; i != 0; i = m_queue[i].next) {
        const SkwQueuedState entry = m_queue[i];
        m_alphaFactor = entry.alphaFactor;
        const int32_t id = entry.node->getClassId();
        if (id == kClassSprite) {
            renderSprite(static_cast<CkwSprite*>(entry.node));
            continue;
        }
        auto* mesh = static_cast<CkwMesh*>(entry.node);
        CkwVertexBuffer* buffer = mesh->getRenderVertexBuffer(m_lightingNeeded);
        CkwIndexBuffer* indices = mesh->getIndexBuffer(entry.submesh);
        if (int64_t{buffer->getVertexCount()} <= int64_t{indices->maxIndex()})
            leave(KErrIllegalState);
        CkwSkinnedMesh* skin = nullptr;
        if (id == kClassSkinnedMesh) {
            skin = static_cast<CkwSkinnedMesh*>(mesh);
            // The palette then maps positions after the buffer's own scale
            // and bias, which the pipeline applies.
            const float zero[3] = {0.0f, 0.0f, 0.0f};
            skin->setPositionScaleBias(1.0f, zero);
            if (buffer->getVertexCount() <= skin->getLargestBoundIndex())
                leave(KErrIllegalState);
        }
        if (entry.node != previous || buffer != m_vertexBuffer || skin != m_skin) {
            m_vertexBuffer = buffer;
            m_skin = skin;
            nodeVisible = setupNode(entry.node->getWorldTransform());
            previous = entry.node;
        }
        if (nodeVisible)
            renderSubmesh(buffer, indices, mesh->getAppearance(entry.submesh), entry.node->getScope());
    }
    m_skin = nullptr;
    m_alphaFactor = 1.0f;
}

void CkwRendererStandard::renderWorld(CkwWorld* world)
{
    m_frameClock = m_cacheClock;
    if (!viewportReady())
        return;
    auto* camera = static_cast<CkwCamera*>(world->getActiveCamera());
    if (camera == nullptr || camera->getClassId() != kClassCamera || !camera->isDescendantOf(world))
        leave(KErrIllegalState);
    auto* background = static_cast<CkwBackground*>(world->getBackground());
    if (background != nullptr && background->getImage() != nullptr) {
        const int32_t expected = m_graphics->m_alphaPixels != nullptr ? kImageFormatRgba : kImageFormatRgb;
        if (static_cast<CkwImage2D*>(background->getImage())->getFormat() != expected)
            leave(KErrIllegalState);
    }
    if (camera->getProjectionKind() != CkwCamera::kGeneric && camera->getNear() == camera->getFar())
        return;
    m_world = world;
    setCamera(camera, nullptr);
    clearBackground(background, camera);
    const CkwArray<CkwNode*>& lights = world->getLights();
    setLights(lights.count(), lights.data(), nullptr);
    resetQueue(world);
    drawQueue();
}

void CkwRendererStandard::renderNode(CkwNode* node, const CkwMatrix* transform)
{
    if (m_cameraDegenerate || !viewportReady())
        return;
    m_alphaFactor = 1.0f;
    node->setWorldTransform(transform != nullptr ? *transform : CkwMatrix());
    // The node's transform is borrowed for this call only, whatever happens.
    const int32_t code = engineTrap([&] {
        resetQueue(node);
        drawQueue();
    });
    node->invalidateWorldTransform();
    if (code != KErrNone)
        leave(code);
}

void CkwRendererStandard::renderImmediate(CkwVertexBuffer* vertexBuffer, CkwIndexBuffer* indexBuffer,
                                          CkwAppearance* appearance, const CkwMatrix* transform, int32_t scope)
{
    if (m_cameraDegenerate || vertexBuffer == nullptr || appearance == nullptr || !viewportReady())
        return;
    if (indexBuffer == nullptr)
        leave(KErrNullArgument);
    if (vertexBuffer->getPositions() == nullptr)
        leave(KErrIllegalState);
    if (int64_t{vertexBuffer->getVertexCount()} <= int64_t{indexBuffer->maxIndex()})
        leave(KErrIllegalState);
    resetCaches();
    m_vertexBuffer = vertexBuffer;
    setDepthConstants();
    m_alphaFactor = 1.0f;
    if (setupNode(transform != nullptr ? *transform : CkwMatrix()))
        renderSubmesh(vertexBuffer, indexBuffer, appearance, scope);
}

void CkwRendererStandard::renderSprite(CkwSprite* sprite)
{
    CkwAppearance* appearance = sprite->getAppearance();
    int32_t left, top, right, bottom;
    if (appearance == nullptr || !sprite->computeCropCoords(left, top, right, bottom)
        || !rasterImageOf(sprite->getImage(), m_blitImage))
        return;
    const CkwCompositingMode* mode = appearance->getCompositingMode();
    m_rasterizer->setCompositingMode(rasterCompositingOf(mode != nullptr ? *mode : *m_defaultCompositingMode));
    const bool fade = m_blitImage.alphaData != nullptr && m_alphaFactor < 1.0f;
    m_rasterizer->setBlitImage(&m_blitImage, fade ? kFuncModulate : kFuncReplace);

    const CkwMatrix& world = sprite->getWorldTransform();
    float origin[4];
    CkwMatrix mvp = m_viewProjection;
    mvp.multiply(world);
    mvp.transform4(0.0f, 0.0f, 0.0f, 1.0f, origin);
    if (std::fabs(origin[3]) <= kMatrixEpsilon)
        return;
    for (int32_t i = 0; i < 3; ++i)
        origin[i] /= origin[3];
    if (origin[2] < -1.0f || origin[2] > 1.0f)
        return;
    const CkwRect& viewport = m_graphics->m_viewportInClip;
    auto screenX = [&](float x) { return (x + 1.0f) * 0.5f * viewport.width * 16.0f + viewport.x * 16; };
    auto screenY = [&](float y) { return (1.0f - y) * 0.5f * viewport.height * 16.0f + viewport.y * 16; };
    const float x = screenX(std::clamp(origin[0], -128.0f, 128.0f));
    const float y = screenY(std::clamp(origin[1], -128.0f, 128.0f));

    float w, h;
    if (!sprite->isScaled()) {
        w = std::fabs(std::trunc(sprite->getCropWidth() * 16.0f));
        h = std::fabs(std::trunc(sprite->getCropHeight() * 16.0f));
    } else {
        // The node's unit x and y axes at the sprite's depth, measured on screen.
        CkwMatrix modelView = m_view;
        modelView.multiply(world);
        const float* m = modelView.m;
        const float lx = std::sqrt(m[0] * m[0] + m[1] * m[1] + m[2] * m[2]);
        const float ly = std::sqrt(m[4] * m[4] + m[5] * m[5] + m[6] * m[6]);
        float p0[4], px[4], py[4];
        m_projection.transform4(m[12], m[13], m[14], 1.0f, p0);
        m_projection.transform4(m[12] + lx, m[13], m[14], 1.0f, px);
        m_projection.transform4(m[12], m[13] - ly, m[14], 1.0f, py);
        if (std::fabs(p0[3]) <= kMatrixEpsilon || std::fabs(px[3]) <= kMatrixEpsilon || std::fabs(py[3]) <= kMatrixEpsilon)
            return;
        w = std::fabs(screenX(px[0] / px[3]) - screenX(p0[0] / p0[3]));
        h = std::fabs(screenY(py[1] / py[3]) - screenY(p0[1] / p0[3]));
    }
    if (!(w < 1e6f && h < 1e6f))
        return;
    const int32_t qx = static_cast<int32_t>(std::floor((x - w * 0.5f) / 16.0f)) * 16;
    const int32_t qy = static_cast<int32_t>(std::floor((y - h * 0.5f) / 16.0f)) * 16;
    const int32_t qw = static_cast<int32_t>(w) & ~15, qh = static_cast<int32_t>(h) & ~15;
    if (qw < 16 || qh < 16)
        return;
    const CkwRect& scissor = m_graphics->m_scissor;
    const int32_t sx = (scissor.x - m_graphics->m_clipRect.x) * 16, sy = (scissor.y - m_graphics->m_clipRect.y) * 16;
    const int32_t sx1 = sx + scissor.width * 16, sy1 = sy + scissor.height * 16;
    if (qx >= sx1 || qy >= sy1 || qx + qw <= sx || qy + qh <= sy)
        return;

    // Edges on screen (sixteenths) and their texture coordinates; a crop
    // reaching past the image is cut to it, not repeated.
    int32_t x0 = qx, x1 = qx + qw, y0 = qy, y1 = qy + qh;
    if (!cutSpan(left, right, x0, x1, 0, kFixedOne) || !cutSpan(top, bottom, y0, y1, 0, kFixedOne))
        return;
    // Pixel centres sample the texture: half a texel step in.
    const int32_t halfS = safeDivide(right - left, std::max((x1 - x0) >> 4, 1)) / 2;
    const int32_t halfT = safeDivide(bottom - top, std::max((y1 - y0) >> 4, 1)) / 2;
    left += halfS;
    right += halfS;
    top += halfT;
    bottom += halfT;
    if (!cutSpan(x0, x1, left, right, sx, sx1) || !cutSpan(y0, y1, top, bottom, sy, sy1))
        return;

    const CkwFog* fog = appearance->getFog();
    const uint32_t fogRgb = fog != nullptr ? (fog->getColor() & 0xFFFFFF) : 0;
    m_rasterizer->setFog(fog != nullptr ? &fogRgb : nullptr);
    uint8_t fogByte = 0;
    if (fog != nullptr) {
        CkwMatrix modelView = m_view;
        modelView.multiply(world);
        const float f = spriteFog(*fog, -modelView.m[14], modelView.m[15]);
        fogByte = static_cast<uint8_t>(std::clamp(f * 255.0f, 0.0f, 255.0f));
    }

    SkwRasterVertex v[4]{};
    const int32_t z = rasterDepth(std::llround(std::ldexp(double(origin[2]), 28)), m_depthScale, m_depthOffset);
    const uint8_t alpha = m_alphaFactor < 1.0f ? static_cast<uint8_t>(m_alphaFactor * 255.0f) : 255;
    const int32_t xs[4] = {x0, x0, x1, x1};
    const int32_t ys[4] = {y0, y1, y0, y1};
    const int32_t ss[4] = {left, left, right, right};
    const int32_t ts[4] = {top, bottom, top, bottom};
    for (int32_t i = 0; i < 4; ++i) {
        v[i].x = xs[i];
        v[i].y = ys[i];
        v[i].z = z;
        v[i].r = v[i].g = v[i].b = 0x10000;
        v[i].alpha = alpha;
        v[i].fog = fogByte;
        v[i].tex[0].s = ss[i];
        v[i].tex[0].t = ts[i];
        v[i].tex[0].q = 0x10000;
    }
    m_rasterizer->drawQuad(sprite->isScaled(), &v[0], &v[1], &v[2], &v[3]);
}
