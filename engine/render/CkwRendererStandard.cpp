// The renderer's frame: target binding, camera and lights, the render entry
// points and the render queue (layer, then opaque before transparent,
// transparent far to near). The background clear, the sprites and the
// submesh pipeline have their own files beside this one.
#include "engine/render/CkwRendererStandard.h"

#include <algorithm>
#include <bit>
#include <cmath>

#include "engine/core/math/FloatBits.h"
#include "engine/core/runtime/CleanupStack.h"
#include "engine/core/runtime/EngineContext.h"
#include "engine/core/runtime/Trap.h"
#include "engine/scene/CkwAppearance.h"
#include "engine/scene/CkwBackground.h"
#include "engine/scene/CkwCamera.h"
#include "engine/scene/CkwCompositingMode.h"
#include "engine/scene/CkwGraphics3D.h"
#include "engine/scene/CkwLight.h"
#include "engine/scene/CkwMaterial.h"
#include "engine/scene/CkwMesh.h"
#include "engine/scene/CkwSkinnedMesh.h"
#include "engine/scene/CkwSprite.h"
#include "engine/scene/CkwTexture2D.h"
#include "engine/scene/CkwTriangleStripArray.h"
#include "engine/scene/CkwWorld.h"

namespace {

constexpr int32_t kTransparentBit = 1;

// w where the near plane meets the view axis: the near distance of a
// perspective, 1 for a parallel projection; 0 when there is no such point.
double nearPlaneW(const CkwMatrix& projection)
{
    const float* p = projection.m;
    const double depth = -(double(p[14]) + p[15]) / (double(p[10]) + p[11]);
    const double w = p[11] * depth + p[15];
    return std::isfinite(w) && w > 0.0 ? w : 0.0;
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
        for (SkwStripVertices& made : set.made)
            made.generation = 0;
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
    const int32_t had = m_ownDepth.count();
    m_ownDepth.setCount(g->m_externalDepth != nullptr ? 0 : w * h);
    // New depth starts far: a background that keeps the last frame's depth
    // must not find what the heap held.
    if (m_ownDepth.count() > had)
        std::fill(m_ownDepth.begin() + had, m_ownDepth.end(), uint16_t{0xFFFF});
    m_rasterizer->setTarget(g->m_clipPixels, w, h, g->m_pitch, depthBuffer(), g->m_depthBufferEnabled);
    m_rasterizer->setAlphaPlane(g->m_alphaPixels, g->m_alphaPitch);
    m_rasterizer->setDepthEnabled(g->m_depthBufferEnabled);
}

uint16_t* CkwRendererStandard::depthBuffer()
{
    if (m_graphics->m_externalDepth != nullptr)
        return m_graphics->m_externalDepth;
    return m_ownDepth.isEmpty() ? nullptr : m_ownDepth.data();
}

void CkwRendererStandard::updateColorBuffer(CkwGraphics3D* g) { m_rasterizer->setColorBuffer(g->m_clipPixels); }

void CkwRendererStandard::setViewport(int32_t, int32_t, int32_t width, int32_t height)
{
    m_viewportScaleX = width << 19;
    m_viewportScaleY = height << 19;
}

bool CkwRendererStandard::viewportReady()
{
    // The context keeps its viewport clip current; the renderer only reads it.
    if (m_graphics == nullptr)
        return false;
    return m_graphics->m_viewportVisible != 0 && m_graphics->m_clipPixels != nullptr;
}

void CkwRendererStandard::setDepthConstants()
{
    m_depthScale = saturateToInt((m_graphics->m_depthFar - m_graphics->m_depthNear) * 65536.0 + 0.5);
    m_depthOffset = saturateToInt(m_graphics->m_depthNear * 268369920.0);
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
    m_nearPlaneW = nearPlaneW(m_projection);
}

void CkwRendererStandard::setLights(int32_t count, CkwNode* const* lights, const CkwMatrix* transforms)
{
    // Every active light becomes a record, listed under each bit of its
    // scope, so the set-up is linear in the lights and a submesh's binding
    // reads only the lists of its own bits.
    m_lights.setCount(0);
    m_lights.setCapacity(count);
    for (auto& kind : m_lightsByBit)
        for (CkwArray<int32_t>& list : kind)
            list.setCount(0);
    m_scopeLights.valid = false;
    m_lightingNeeded = 0;
    uint64_t steps = 0;
    for (int32_t i = 0; i < count; ++i) {
        auto* light = static_cast<CkwLight*>(lights[i]);
        if (light == nullptr)
            continue;
        if (light->getMode() != CkwLight::kAmbient)
            m_lightingNeeded = 1;
        CkwMatrix eye = m_view;
        eye.multiply(transforms != nullptr ? transforms[i] : light->getWorldTransform());
        CkwActiveLightStandard record{};
        if (!record.setup(*light, eye))
            continue;
        const int32_t index = m_lights.count();
        m_lights.append(record);
        CkwArray<int32_t>* lists = m_lightsByBit[record.ambientOnly ? 1 : 0];
        for (uint32_t bits = static_cast<uint32_t>(record.scope); bits != 0; bits &= bits - 1) {
            lists[std::countr_zero(bits)].append(index);
            ++steps;
        }
    }
    countEngineVisits(steps + static_cast<uint64_t>(count));
}

void CkwRendererStandard::selectLights(int32_t scope)
{
    // The first few distinct indices of the union of the scope's bits'
    // lists: a merge of at most 32 sorted lists, stopped when it has them.
    m_scopeLights.scope = scope;
    m_scopeLights.valid = true;
    for (int32_t kind = 0; kind < 2; ++kind) {
        const CkwArray<int32_t>* lists = m_lightsByBit[kind];
        const int32_t most = kind == 0 ? kMaxSubmeshLights : kMaxSubmeshAmbientLights;
        int32_t cursor[kScopeBits] = {};
        int32_t& taken = m_scopeLights.count[kind];
        taken = 0;
        uint32_t open = 0;  // the scope's bits whose lists are not used up
        for (uint32_t bits = static_cast<uint32_t>(scope); bits != 0; bits &= bits - 1)
            if (!lists[std::countr_zero(bits)].isEmpty())
                open |= bits & -bits;
        while (taken < most && open != 0) {
            int32_t next = INT32_MAX;
            for (uint32_t bits = open; bits != 0; bits &= bits - 1)
                next = std::min(next, lists[std::countr_zero(bits)][cursor[std::countr_zero(bits)]]);
            m_scopeLights.index[kind][taken++] = next;
            for (uint32_t bits = open; bits != 0; bits &= bits - 1) {
                const int32_t b = std::countr_zero(bits);
                if (lists[b][cursor[b]] == next && ++cursor[b] == lists[b].count())
                    open &= ~(1u << b);
                m_walkSteps += 2;
            }
        }
    }
}

// The queue.

void CkwRendererStandard::resetQueue(CkwNode* root)
{
    m_alphaFactor = 1.0f;
    m_queue.setCount(1);
    m_queue[0] = SkwQueuedState{0, 0, 0, 1.0f, nullptr, nullptr};
    m_queuedIndices = 0;
    if (!m_cameraDegenerate) {
        traverse(root);
        linkQueue();
    }
}

void CkwRendererStandard::traverse(CkwNode* root)
{
    // Pre-order without recursion. The walk carries its level below the
    // root, and the alpha factor of each level on the way down is kept by
    // level, so climbing needs no bookkeeping.
    const float base = m_alphaFactor;
    m_alphaStack.setCount(0);
    m_pendingSkins.setCount(0);
    uint64_t steps = 0;
    CkwNode* node = root;
    int32_t level = 0;
    while (node != nullptr) {
        queuePendingSkins(level);
        const float parentAlpha = level == 0 ? base : m_alphaStack[level - 1];
        m_alphaStack.setCountGrowing(level + 1);
        // Animation tracks summing to +inf and -inf leave NaN: it hides.
        const float alpha = parentAlpha * node->getAlphaFactor();
        m_alphaStack[level] = std::isnan(alpha) ? 0.0f : alpha;
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
        ++steps;
        if (descend && node->getFirstChild() != nullptr) {
            node = node->getFirstChild();
            ++level;
            continue;
        }
        while (node != root && node->getNextSibling() == nullptr) {
            node = node->getParent();
            --level;
            ++steps;
        }
        node = node != root ? node->getNextSibling() : nullptr;
    }
    if (EngineContext* context = engineContext())
        context->visits += steps;
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
        const int32_t first = m_queue.count();
        for (int32_t i = 0; i < mesh->getSubmeshCount(); ++i) {
            CkwAppearance* appearance = mesh->getAppearance(i);
            CkwIndexBuffer* strips = mesh->getIndexBuffer(i);
            if (appearance == nullptr || strips == nullptr)
                continue;
            enqueue(node, i, isTransparent(appearance, buffer), appearance->getLayer(), depthCache);
            m_queuedIndices += CkwTriangleStripArray::walkedIndicesOf(strips);
        }
        if (m_queue.count() > first) {
            CkwVertexBuffer* drawn = mesh->getRenderVertexBuffer(m_lightingNeeded);
            for (int32_t e = first; e < m_queue.count(); ++e)
                m_queue[e].buffer = drawn;
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
    m_queue.append(SkwQueuedState{key, 0, submesh, m_alphaFactor, node, nullptr});
}

void CkwRendererStandard::linkQueue()
{
    // Sorted by key, equal keys in queueing order: a stable radix sort over
    // the key's bytes, lowest first, takes each entry a few steps a byte
    // whatever the keys, where comparing them would take n log n.
    const int32_t n = m_queue.count() - 1;
    m_queueOrder.setCountGrowing(n);
    m_queueScratch.setCountGrowing(n);
    int32_t* order = m_queueOrder.data();
    int32_t* sorted = m_queueScratch.data();
    for (int32_t i = 0; i < n; ++i)
        order[i] = i + 1;
    uint64_t steps = static_cast<uint64_t>(n);
    for (int32_t shift = 0; shift < 32; shift += 8) {
        // Signed keys: the top bit flipped orders them as unsigned bytes.
        const auto byteOf = [&](int32_t entry) {
            return ((static_cast<uint32_t>(m_queue[entry].sortKey) ^ 0x80000000u) >> shift) & 0xFFu;
        };
        int32_t starts[257] = {};
        for (int32_t i = 0; i < n; ++i)
            ++starts[byteOf(order[i]) + 1];
        steps += static_cast<uint64_t>(n);
        if (n == 0 || starts[byteOf(order[0]) + 1] == n)
            continue; // every key has this byte
        for (int32_t b = 0; b < 256; ++b)
            starts[b + 1] += starts[b];
        for (int32_t i = 0; i < n; ++i)
            sorted[starts[byteOf(order[i])]++] = order[i];
        std::swap(order, sorted);
        steps += static_cast<uint64_t>(n) + 256;
    }
    int32_t after = 0;
    for (int32_t i = 0; i < n; ++i) {
        m_queue[after].next = order[i];
        after = order[i];
    }
    m_queue[after].next = 0;
    if (EngineContext* context = engineContext())
        context->visits += steps;
}

void CkwRendererStandard::drawQueue()
{
    // The vertex caches outlive the frame: they are keyed on what they hold.
    // Strips that submeshes or meshes name again are walked again: a draw
    // that would walk past the bound is refused before it walks any.
    if (m_queuedIndices > CkwTriangleStripArray::kMaxWalkedIndices)
        leave(KErrIllegalState);
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
        CkwVertexBuffer* buffer = entry.buffer;
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
    countWork();
}

void CkwRendererStandard::countWork()
{
    uint64_t count = 0;
    for (SkwVertexCaches& set : m_cacheSets) {
        count += set.clip.takeTransformCount() + set.eye.takeTransformCount() + set.normal.takeTransformCount();
        for (CkwFixedVectorCache& tex : set.tex)
            count += tex.takeTransformCount();
    }
    countVertexTransforms(count);
    countLightEvaluations(m_lightEvaluations);
    m_lightEvaluations = 0;
    countEngineVisits(m_walkSteps);
    m_walkSteps = 0;
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
    if (CkwTriangleStripArray::walkedIndicesOf(indexBuffer) > CkwTriangleStripArray::kMaxWalkedIndices)
        leave(KErrIllegalState);
    resetCaches();
    m_vertexBuffer = vertexBuffer;
    setDepthConstants();
    m_alphaFactor = 1.0f;
    if (setupNode(transform != nullptr ? *transform : CkwMatrix()))
        renderSubmesh(vertexBuffer, indexBuffer, appearance, scope);
    countWork();
}
