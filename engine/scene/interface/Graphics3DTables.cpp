// Graphics3D entries: target, viewport, depth range and hints, camera and
// light set, clear and render, each checking its handles before the context
// is called.
#include "engine/scene/interface/Graphics3DTables.h"

#include "engine/core/interface/CommonEntries.h"
#include "engine/core/interface/EntryAdapters.h"
#include "engine/core/math/CkwTransform.h"
#include "engine/core/math/FloatBits.h"
#include "engine/scene/CkwAppearance.h"
#include "engine/scene/CkwBackground.h"
#include "engine/scene/CkwCamera.h"
#include "engine/scene/CkwGraphics3D.h"
#include "engine/scene/CkwImage2D.h"
#include "engine/scene/CkwLight.h"
#include "engine/scene/CkwVertexBuffer.h"
#include "engine/scene/CkwWorld.h"

namespace {

const CkwMatrix* matrixOf(EngineHandle* transform)
{
    const auto* t = argumentOf<CkwTransform>(transform, kIidTransform);
    return t != nullptr ? &t->matrix() : nullptr;
}

void copyInto(EngineHandle* transform, const CkwMatrix& m)
{
    if (auto* t = argumentOf<CkwTransform>(transform, kIidTransform))
        t->matrix() = m;
}

} // namespace

constexpr IkwGraphics3DTable kGraphics3DTable = {
    kUnknownEntries,
    plain<+[](CkwGraphics3D& g, uint32_t* out) { *out = static_cast<uint32_t>(g.m_clipRect.width); }>,
    plain<+[](CkwGraphics3D& g, uint32_t* out) { *out = static_cast<uint32_t>(g.m_clipRect.height); }>,
    plain<+[](CkwGraphics3D& g, uint32_t* out) { *out = static_cast<uint32_t>(g.m_pitch); }>,
    plain<+[](CkwGraphics3D& g, void** out) { *out = g.m_clipPixels; }>,
    plain<+[](CkwGraphics3D& g, float* out) { *out = g.m_depthNear; }>,
    plain<+[](CkwGraphics3D& g, float* out) { *out = g.m_depthFar; }>,
    plain<+[](CkwGraphics3D& g, uint8_t* out) { *out = g.m_depthBufferEnabled; }>,
    plain<+[](CkwGraphics3D& g, uint32_t* out) { *out = g.getHints(); }>,
    plain<+[](CkwGraphics3D& g, uint32_t* out) { *out = static_cast<uint32_t>(g.getLightCount()); }>,
    trapped<+[](CkwGraphics3D& g, uint32_t w, uint32_t h, uint32_t pitch, void* pixels) {
        g.bindTarget(sizeArgument(w), sizeArgument(h), sizeArgument(pitch), static_cast<uint16_t*>(pixels));
    }>,
    trapped<+[](CkwGraphics3D& g, uint32_t w, uint32_t h, uint32_t pitch, void* pixels, int32_t x, int32_t y,
                int32_t cw, int32_t ch) {
        g.bindTargetMemory(sizeArgument(w), sizeArgument(h), sizeArgument(pitch), static_cast<uint16_t*>(pixels), x, y,
                           cw, ch);
    }>,
    trapped<+[](CkwGraphics3D& g, EngineHandle* image) { g.bindImageTarget(argumentOf<CkwImage2D>(image, kIidImage2D)); }>,
    plain<+[](CkwGraphics3D& g, void* pixels) { g.setTargetPixels(static_cast<uint16_t*>(pixels)); }>,
    plain<+[](CkwGraphics3D& g) { g.releaseTarget(); }>,
    trapped<+[](CkwGraphics3D& g, uint32_t depth, uint32_t hints) { g.setDepthBufferAndHints((depth & 0xFF) != 0, hints); }>,
    trapped<+[](CkwGraphics3D& g, int32_t x, int32_t y, int32_t w, int32_t h) { g.setViewport(x, y, w, h); }>,
    trapped<+[](CkwGraphics3D& g, float near, float far) {
        const float n = checkFloatInL(near, 0.0f, 1.0f);
        g.setDepthRange(n, checkFloatInL(far, 0.0f, 1.0f));
    }>,
    trapped<+[](CkwGraphics3D& g, EngineHandle* background) { g.clear(argumentOf<CkwBackground>(background, kIidBackground)); }>,
    trapped<+[](CkwGraphics3D& g, EngineHandle* vb, EngineHandle* ib, EngineHandle* appearance, EngineHandle* transform,
                uint32_t scope) {
        auto& buffer = requireArgument<CkwVertexBuffer>(vb, kIidVertexBuffer);
        auto& indices = requireArgument<CkwIndexBuffer>(ib, kIidIndexBuffer);
        auto& look = requireArgument<CkwAppearance>(appearance, kIidAppearance);
        g.renderImmediate(&buffer, &indices, &look, matrixOf(transform), static_cast<int32_t>(scope));
    }>,
    trapped<+[](CkwGraphics3D& g, EngineHandle* node, EngineHandle* transform) {
        g.renderNode(&requireArgument<CkwNode>(node, kIidNode), matrixOf(transform));
    }>,
    trapped<+[](CkwGraphics3D& g, EngineHandle* world) { g.renderWorld(&requireArgument<CkwWorld>(world, kIidWorld)); }>,
    handing<+[](CkwGraphics3D& g, EngineHandle* transform) {
        CkwMatrix m;
        CkwCamera* camera = g.getCamera(&m);
        copyInto(transform, m);
        return camera;
    }>,
    trapped<+[](CkwGraphics3D& g, EngineHandle* camera, EngineHandle* transform) {
        g.setCamera(argumentOf<CkwCamera>(camera, kIidCamera), matrixOf(transform));
    }>,
    trapped<+[](CkwGraphics3D& g, uint32_t index, EngineHandle* light, EngineHandle* transform) {
        g.setLight(sizeArgument(index), argumentOf<CkwLight>(light, kIidLight), matrixOf(transform));
    }>,
    handing<+[](CkwGraphics3D& g, uint32_t index, EngineHandle* transform) {
        CkwMatrix m;
        CkwNode* light = g.getLight(sizeArgument(index), &m);
        copyInto(transform, m);
        return light;
    }>,
    trapped<+[](CkwGraphics3D& g, EngineHandle* light, EngineHandle* transform, int32_t* index) {
        int32_t& out = requireOut(index);
        out = g.addLight(&requireArgument<CkwLight>(light, kIidLight), matrixOf(transform));
    }>,
    trapped<+[](CkwGraphics3D& g) { g.resetLights(); }>,
    trapped<+[](CkwGraphics3D&, uint32_t key, int32_t* out) {
        if (key >= CkwGraphics3D::kPropertyCount)
            leave(KErrIllegalArgument);
        requireOut(out) = CkwGraphics3D::getProperty(static_cast<int32_t>(key));
    }>,
};

EngineResult createGraphics3DObject(EngineHandle** out)
{
    CkwGraphics3D* g = nullptr;
    const int32_t code = engineTrap([&] { g = CkwGraphics3D::create(); });
    return code != KErrNone ? mapLeaveCode(code) : wrapObject(g, out);
}
