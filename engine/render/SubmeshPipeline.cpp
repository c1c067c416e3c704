// The submesh pipeline in 16.16 fixed point: per node and buffer the
// clip-space positions and clip codes of the vertices its strips reach; per
// submesh the material, fog, textures and lights; per triangle of the strips trivial
// reject, facing and culling, shading once per vertex and facing, clipping in
// homogeneous space and the hand-off to the rasterizer.
#include <algorithm>
#include <bit>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <type_traits>

#include "engine/core/math/FloatBits.h"
#include "engine/core/runtime/Trap.h"
#include "engine/render/CkwRendererStandard.h"
#include "engine/render/RenderImages.h"
#include "engine/scene/CkwAppearance.h"
#include "engine/scene/CkwCompositingMode.h"
#include "engine/scene/CkwFog.h"
#include "engine/scene/CkwGraphics3D.h"
#include "engine/scene/CkwMaterial.h"
#include "engine/scene/CkwPolygonMode.h"
#include "engine/scene/CkwSkinnedMesh.h"
#include "engine/scene/CkwTexture2D.h"
#include "engine/scene/CkwTriangleStripArray.h"
#include "engine/scene/CkwVertexBuffer.h"

namespace {

__extension__ using Int128 = __int128;

constexpr float kMaxTexScale = 100.0f;
// A submesh whose nearest drawn point has an integer w below one step cannot
// be placed at all: it is skipped whole. Above that its cuts at the depth
// planes land within 1 / (2 w) of their distance and its points within a
// step of w, so it is drawn.
constexpr double kMinNearestW = 1.0;
constexpr uint8_t kCodeNearFar = 16 | 32;

// Colours are stored as bytes 0..255 whatever their sign.
inline int32_t colorByte(const CkwVertexArray& array, int32_t vertex, int32_t c)
{
    return *array.elementAddress(vertex, c);
}

int32_t topBit(uint64_t v) { return v == 0 ? -1 : 63 - std::countl_zero(v); }

// The (x, y, w) cross product of two clip vertices: the 2x2 minors of the
// facing determinant, each within 64 bits.
struct Minors {
    int64_t yw, xw, xy;
};

template <class Vertex>
Minors minorsOf(const Vertex& b, const Vertex& c)
{
    return {int64_t{b.y} * c.w - int64_t{c.y} * b.w, int64_t{b.x} * c.w - int64_t{c.x} * b.w,
            int64_t{b.x} * c.y - int64_t{c.x} * b.y};
}

// The sign of the (x, y, w) determinant of a with the two vertices of m,
// exact for every 32-bit input (the sum fits 98 bits): negative for a
// triangle counter-clockwise on screen with y up.
template <class Vertex>
int32_t facing(const Vertex& a, const Minors& m)
{
    const Int128 det = Int128{int64_t{a.x}} * m.yw - Int128{int64_t{a.y}} * m.xw + Int128{int64_t{a.w}} * m.xy;
    return det > 0 ? -1 : (det < 0 ? 1 : 0);
}

// A screen vertex's colour, alpha and fog in one 16-byte store: the
// rasterizer loads them at once, and a load that spans several stores still
// in flight waits for them to land.
void putColourWords(SkwRasterVertex& screen, int32_t r, int32_t g, int32_t b, uint8_t alpha, uint8_t fog)
{
    static_assert(offsetof(SkwRasterVertex, alpha) == offsetof(SkwRasterVertex, r) + 12
                  && offsetof(SkwRasterVertex, fog) == offsetof(SkwRasterVertex, alpha) + 1
                  && offsetof(SkwRasterVertex, reserved) == offsetof(SkwRasterVertex, fog) + 1);
    const uint8_t tail[4] = {alpha, fog, 0, 0};
    int32_t last;
    std::memcpy(&last, tail, sizeof last);
    using Words = int32_t __attribute__((vector_size(16)));
    const Words words = {r, g, b, last};
    std::memcpy(&screen.r, &words, sizeof words);
}

// The viewport as the projection reads it: scales, origin in pixels x 16
// and the depth range. x and y come in 16.16, z in units of 2^-28.
struct ScreenMap {
    int64_t scaleX, scaleY;
    int32_t originX, originY;
    int32_t depthScale;
    int32_t depthOffset;

    void apply(const CkwFixedVector3D& ndc, SkwRasterVertex& out) const
    {
        const int64_t a = std::clamp<int64_t>(int64_t{ndc.x} + 0x10000, 0, 0x20000);
        const int64_t b = std::clamp<int64_t>(0x10000 - int64_t{ndc.y}, 0, 0x20000);
        out.x = static_cast<int32_t>((((scaleX * a) >> 16) + 0x8000) >> 16) + originX;
        out.y = static_cast<int32_t>((((scaleY * b) >> 16) + 0x8000) >> 16) + originY;
        out.z = rasterDepth(ndc.z, depthScale, depthOffset);
    }
};

float fogAmount(const CkwFog& fog, float distance)
{
    if (fog.getMode() == CkwFog::kExponential)
        return 1.0f - std::exp(-distance * fog.getDensity());
    if (fog.getMode() != CkwFog::kLinear)
        return 0.0f;
    const float x = distance - fog.getNearDistance();
    const float r = fog.getFarDistance() - fog.getNearDistance();
    if (r > 0.0f)
        return x <= 0.0f ? 0.0f : (x >= r ? 1.0f : x / r);
    if (r < 0.0f)
        return x >= 0.0f ? 0.0f : (x <= r ? 1.0f : x / r);
    return 1.0f;
}

// Perspective weights 1/w (times q of projective units) in one scale for
// the polygon, the largest brought to 2^24.
void setPerspectiveWeights(SkwRasterVertex* screen, const int64_t* divisor, const int32_t (*q)[2], int32_t n,
                           int32_t unitCount, const bool* projective)
{
    int64_t weight[kClipVertexCapacity];
    std::copy(divisor, divisor + n, weight);
    for (int32_t u = 0; u < unitCount; ++u) {
        if (!projective[u])
            continue;
        // Each factor into 31 bits keeps the product in 62.
        int64_t largestWeight = 1, largestQ = 1;
        for (int32_t i = 0; i < n; ++i) {
            largestWeight = std::max(largestWeight, weight[i]);
            largestQ = std::max<int64_t>(largestQ, q[i][u]);
        }
        const int32_t weightDown = std::max(0, topBit(static_cast<uint64_t>(largestWeight)) - 30);
        const int32_t qDown = std::max(0, topBit(static_cast<uint64_t>(largestQ)) - 30);
        for (int32_t i = 0; i < n; ++i)
            weight[i] = (weight[i] >> weightDown) * std::max<int64_t>(q[i][u] >> qDown, 1);
    }
    int64_t largest = 1;
    for (int32_t i = 0; i < n; ++i)
        largest = std::max(largest, weight[i]);
    // Into 30 bits, then scaled by one quotient so the largest is 2^24.
    const int32_t move = topBit(static_cast<uint64_t>(largest)) - 29;
    const auto fit = [&](int64_t w) { return move >= 0 ? w >> move : w << -move; };
    const int64_t factor = (int64_t{1} << 54) / fit(largest);
    for (int32_t i = 0; i < n; ++i) {
        const int64_t w = (fit(weight[i]) * factor) >> 30;
        const int32_t value = static_cast<int32_t>(std::clamp<int64_t>(w, 1, int64_t{1} << 24));
        for (int32_t u = 0; u < 2; ++u) {
            screen[i].tex[u].q = value;
            screen[i].tex[u].reserved = 0;
        }
    }
}

} // namespace

void CkwRendererStandard::selectVertexCaches()
{
    // The buffer's own set, else the one used longest ago. When every set
    // has served this frame already, more buffers are drawn than there are
    // sets: the newest set takes them in turn, so the others keep their
    // vertices for the next frame instead of each evicting the one drawn
    // next.
    SkwVertexCaches* chosen = nullptr;
    SkwVertexCaches* oldest = &m_cacheSets[0];
    SkwVertexCaches* newest = &m_cacheSets[0];
    for (SkwVertexCaches& set : m_cacheSets) {
        if (set.owner == m_vertexBuffer) {
            chosen = &set;
            break;
        }
        if (set.lastUse < oldest->lastUse)
            oldest = &set;
        if (set.lastUse > newest->lastUse)
            newest = &set;
    }
    if (chosen == nullptr) {
        chosen = oldest->lastUse > m_frameClock ? newest : oldest;
        renewGeneration(*chosen);
    }
    chosen->owner = m_vertexBuffer;
    chosen->lastUse = ++m_cacheClock;
    m_caches = chosen;
}

void CkwRendererStandard::renewGeneration(SkwVertexCaches& set)
{
    set.generation = ++m_generationClock;
    set.madeInFrame = m_frameClock;
}

bool CkwRendererStandard::setupNode(const CkwMatrix& model)
{
    selectVertexCaches();
    CkwVertexArray* positions = m_vertexBuffer->getPositions();
    CkwMatrix mvp = m_viewProjection;
    mvp.multiply(model);
    m_caches->clip.setCheckInside(true);
    const float scale = m_vertexBuffer->getPositionScale();
    const float* bias = m_vertexBuffer->getPositionBias();
    if (m_caches->clip.prepare(positions, mvp, scale, bias, m_skin)) {
        renewGeneration(*m_caches);
        const int32_t n = positions->getVertexCount();
        if (n > m_caches->facing.count())
            m_caches->facing.setCountGrowing(n);
    }
    // A node whose matrix cannot be made is not drawn.
    if (!m_caches->clip.isBuilt())
        return false;
    m_modelView = m_view;
    m_modelView.multiply(model);
    m_normalMatrixValid = false;
    m_caches->eye.prepare(positions, m_modelView, scale, bias, m_skin);
    return true;
}

void CkwRendererStandard::makeClipVertices(int32_t first, int32_t end)
{
    CkwFixedVectorCache& clip = m_caches->clip;
    SkwFacingVertex* facing = m_caches->facing.data();
    for (int32_t i = first; i < end;) {
        if (clip.isMade(i)) {
            ++i;
            continue;
        }
        int32_t runEnd = i + 1;
        while (runEnd < end && !clip.isMade(runEnd))
            ++runEnd;
        clip.makeRun(i, runEnd);
        facingVertices(clip.positions() + i, clip.wValues() + i, runEnd - i, facing + i);
        i = runEnd;
    }
}

void CkwRendererStandard::bindTexture(int32_t unit, CkwTexture2D* texture)
{
    m_unitUsed[unit] = false;
    m_projective[unit] = false;
    CkwVertexArray* coords = m_vertexBuffer->getTexCoords(unit);
    if (texture == nullptr || coords == nullptr || !rasterImageOf(texture->getImage(), m_unitImage[unit])) {
        m_rasterizer->setTexture(unit, nullptr, m_polygonFlags);
        return;
    }
    SkwRasterTextureSource& source = m_unitSource[unit];
    source.image = &m_unitImage[unit];
    source.function = texture->getBlending();
    source.blendColor = texture->getBlendColor();
    source.wrapS = texture->getWrappingS();
    source.wrapT = texture->getWrappingT();
    m_rasterizer->setTexture(unit, &source, m_polygonFlags);
    const CkwMatrix& matrix = texture->getTransformMatrix();
    const float* b = m_vertexBuffer->getTexCoordBias(unit);
    const float bias[3] = {clampFloat(b[0], -kMaxTexScale, kMaxTexScale), clampFloat(b[1], -kMaxTexScale, kMaxTexScale),
                           clampFloat(b[2], -kMaxTexScale, kMaxTexScale)};
    m_caches->tex[unit].prepare(coords, matrix, std::min(m_vertexBuffer->getTexCoordScale(unit), kMaxTexScale), bias);
    if (!m_caches->tex[unit].isBuilt()) {
        m_rasterizer->setTexture(unit, nullptr, m_polygonFlags);
        return;
    }
    m_unitUsed[unit] = true;
    m_projective[unit] = (matrix.classWord & kMatrixBitAffine) == 0;
    m_unitCount = unit + 1;
}

void CkwRendererStandard::bindSubmesh(CkwVertexBuffer* buffer, CkwAppearance* appearance, int32_t scope)
{
    m_material = appearance->getMaterial();
    m_fog = appearance->getFog();
    m_fogColor.setRgb(m_fog != nullptr ? (m_fog->getColor() & 0xFFFFFF) : 0);
    m_alpha255 = saturateToInt(m_alphaFactor * 255.0f + 0.5f);
    m_alpha256 = saturateToInt(m_alphaFactor * 256.0f + 0.5f);

    // Base colour: the buffer's default, or a non-tracking material's diffuse.
    uint32_t base = buffer->getDefaultColor();
    if (m_material != nullptr && !m_material->isVertexColorTrackingEnabled())
        base = m_material->getColor(CkwMaterial::kDiffuse);
    m_baseColor.setRgb(base);
    m_baseAlpha = static_cast<int32_t>(base >> 24);

    const CkwCompositingMode* mode = appearance->getCompositingMode();
    m_rasterizer->setCompositingMode(rasterCompositingOf(mode != nullptr ? *mode : *m_defaultCompositingMode));
    const CkwPolygonMode* polygon = appearance->getPolygonMode();
    m_polygonFlags = polygon != nullptr ? static_cast<int32_t>(polygon->getModeBits() & 0x7FF)
                                        : static_cast<int32_t>(CkwPolygonMode::kDefaultBits);

    m_unitCount = 0;
    for (int32_t unit = 0; unit < 2; ++unit)
        bindTexture(unit, static_cast<CkwTexture2D*>(appearance->getTexture(unit)));
    // Textured fog is the rasterizer's; untextured fog is blended per vertex.
    const uint32_t fogRgb = m_fog != nullptr ? (m_fog->getColor() & 0xFFFFFF) : 0;
    m_rasterizer->setFog(m_fog != nullptr && m_unitCount > 0 ? &fogRgb : nullptr);

    // The first lights of the list in the submesh's scope: ambient ones sum
    // up, the others light it when the material lets them, evaluated from
    // the last to the first.
    if (!m_scopeLights.valid || m_scopeLights.scope != scope)
        selectLights(scope);
    m_ambientSum = CkwFixedColor{};
    for (int32_t k = 0; k < m_scopeLights.count[1]; ++k)
        m_lights[m_scopeLights.index[1][k]].bind(m_material, m_polygonFlags, scope, m_ambientSum);
    bool anyApplies = false;
    m_needEyePositions = false;
    const bool localViewer = (m_polygonFlags & CkwPolygonMode::kBitLocalCameraLighting) != 0;
    m_boundLights.setCount(0);
    for (int32_t k = m_scopeLights.count[0] - 1; k >= 0; --k) {
        CkwActiveLightStandard& light = m_lights[m_scopeLights.index[0][k]];
        if (!light.bind(m_material, m_polygonFlags, scope, m_ambientSum))
            continue;
        m_boundLights.append(&light);
        anyApplies = true;
        // Directional light needs no vertex position unless the viewer is.
        m_needEyePositions |=
            light.evaluateKind != CkwActiveLightStandard::kKindDirectional || (light.specularOn && localViewer);
    }
    if (m_material != nullptr) {
        m_emissive.setRgb(m_material->getColor(CkwMaterial::kEmissive));
        m_specular.setRgb(m_material->getColor(CkwMaterial::kSpecular));
        m_ambientTerm = m_ambientSum;
        CkwFixedColor ambient{};
        ambient.setRgb(m_material->getColor(CkwMaterial::kAmbient));
        m_ambientTerm.modulate(ambient);
        m_litStart = m_emissive;
        m_litStart.add(m_ambientTerm);
    }
    const CkwVertexArray* colors = buffer->getColors();
    m_colors = colors != nullptr && colors->getVertexCount() > 0 ? colors : nullptr;
    m_tracking = m_material != nullptr && m_material->isVertexColorTrackingEnabled();
    m_colorsGiveAlpha = m_material == nullptr || m_tracking;
    m_vertexAlpha = std::clamp(saturateToInt(static_cast<float>(m_baseAlpha) * m_alphaFactor + 0.5f), 0, 255);
    m_lit = anyApplies && buffer->getNormals() != nullptr;
    if (m_lit && !m_normalMatrixValid) {
        m_normalMatrix = m_modelView;
        m_normalMatrix.m[12] = m_normalMatrix.m[13] = m_normalMatrix.m[14] = 0.0f;
        m_normalMatrix.classify();
        if (!m_normalMatrix.makeNormalMatrix())
            m_normalMatrix = m_modelView;
        // Normals are normalised after the transform, so only the matrix's
        // range matters: at most 1 keeps the integer form well scaled.
        float largest = 0.0f;
        for (int32_t c = 0; c < 3; ++c)
            for (int32_t r = 0; r < 3; ++r)
                largest = std::max(largest, std::fabs(m_normalMatrix.m[4 * c + r]));
        if (largest > kMatrixEpsilon)
            m_normalMatrix.scaleUniform(1.0f / largest);
        m_normalMatrixValid = true;
    }
    if (m_lit) {
        m_caches->normal.setDirections(true);
        m_caches->normal.prepare(buffer->getNormals(), m_normalMatrix, buffer->getNormalScale(), buffer->getNormalBias(),
                              m_skin);
        m_lit = m_caches->normal.isBuilt();
    }
}

void CkwRendererStandard::renderSubmesh(CkwVertexBuffer* buffer, CkwIndexBuffer* indexBuffer, CkwAppearance* appearance,
                                        int32_t scope)
{
    if (indexBuffer->getClassId() != kClassTriangleStripArray)
        return;
    const auto* strips = static_cast<const CkwTriangleStripArray*>(indexBuffer);
    const SkwClipCodes codes = stripCodes(*strips);
    // A submesh whose vertices lie outside one plane draws nothing. One
    // reaching past a depth plane is drawn from the near plane on, its cuts
    // placed as finely as w is there; one inside both from its nearest
    // vertex. Where integer w cannot place that point at all, it is skipped
    // whole. A projection without a near point leaves it drawn.
    double nearestW = codes.nearestW;
    if ((codes.any & kCodeNearFar) != 0)
        nearestW = m_nearPlaneW > 0.0 ? std::ldexp(m_nearPlaneW, m_caches->clip.outputExponent()) : kMinNearestW;
    if (codes.all != 0 || nearestW < kMinNearestW)
        return;
    // Arrays and images made again behind their holders can have left the
    // shapes that the setters took and that the walk reads them by: such a
    // draw is refused before any state changes.
    bool shapesHold = buffer->keepsSetterShapes();
    for (int32_t unit = 0; unit < CkwAppearance::kTextureUnits; ++unit) {
        const CkwTexture2D* texture = appearance->getTexture(unit);
        shapesHold = shapesHold && (texture == nullptr || texture->keepsImageSides());
    }
    if (!shapesHold)
        leave(KErrIllegalState);
    bindSubmesh(buffer, appearance, scope);

    // Shaded vertices are reused within the submesh per vertex and facing.
    const int32_t n = buffer->getVertexCount();
    for (int32_t f = 0; f < 2; ++f) {
        if (m_shadedStamp[f].count() < n) {
            const int32_t old = m_shadedStamp[f].count();
            m_shaded[f].setCount(n);
            m_screen[f].setCount(n);
            m_shadedStamp[f].setCount(n);
            std::fill(m_shadedStamp[f].begin() + old, m_shadedStamp[f].end(), 0u);
        }
    }
    if (++m_stamp == 0) {
        for (int32_t f = 0; f < 2; ++f)
            std::fill(m_shadedStamp[f].begin(), m_shadedStamp[f].end(), 0u);
        m_stamp = 1;
    }
    drawStrips(*strips, codes.any != 0);
}

SkwClipCodes CkwRendererStandard::stripCodes(const CkwTriangleStripArray& strips)
{
    // The vertices the strips reach, not the buffer's nor the whole index
    // list's: meshes over one buffer, each at its own place, pay for their
    // own, and indices past the strips cost nothing. Finding them costs no
    // more than the walk that draws them, so a strips' record the set no
    // longer keeps costs a walk again, never more.
    const int32_t used = strips.getUsedIndexCount();
    const uint16_t* reached = strips.getIndices().data();
    SkwStripVertices* made = nullptr;
    for (SkwStripVertices& m : m_caches->made) {
        if (m.stripsSerial == strips.getSerial()) {
            made = &m;
            break;
        }
    }
    if (made == nullptr) {
        made = &m_caches->made[m_caches->nextMade];
        m_caches->nextMade = (m_caches->nextMade + 1) % kDrawnListsPerSet;
        *made = SkwStripVertices{};
        if (strips.isImplicit()) {
            made->first = strips.getFirstIndex();
            made->end = made->first + used;
        } else if (used > 0) {
            const auto [lowest, highest] = std::minmax_element(reached, reached + used);
            made->first = *lowest;
            made->end = *highest + 1;
            made->dense = made->end - made->first <= 2 * used;
            m_walkSteps += static_cast<uint64_t>(used);
        }
        made->stripsSerial = strips.getSerial();
    }
    if (made->generation != 0 && made->generation == m_caches->generation)
        return made->codes;

    CkwFixedVectorCache& clip = m_caches->clip;
    SkwFacingVertex* facing = m_caches->facing.data();
    SkwClipCodes codes;
    if (made->dense && !clip.madeAny()) {
        // A key's first strips: their range in one run.
        clip.makeRun(made->first, made->end);
        codes = facingVertices(clip.positions() + made->first, clip.wValues() + made->first, made->end - made->first,
                               facing + made->first);
    } else {
        const auto note = [&](int32_t i) {
            const uint8_t code = static_cast<uint8_t>(facing[i].code & (kNotInFront - 1));
            codes.all &= code;
            codes.any |= code;
            codes.nearestW = std::min(codes.nearestW, facing[i].w);
        };
        if (made->dense) {
            makeClipVertices(made->first, made->end);
            for (int32_t i = made->first; i < made->end; ++i)
                note(i);
        } else {
            for (int32_t k = 0; k < used; ++k)
                makeClipVertices(reached[k], reached[k] + 1);
            for (int32_t k = 0; k < used; ++k)
                note(reached[k]);
        }
    }
    m_walkSteps += static_cast<uint64_t>(made->dense ? made->end - made->first : used);
    made->codes = codes;
    made->generation = m_caches->generation;
    return codes;
}

CkwRendererStandard::SkwDrawnTriangles* CkwRendererStandard::drawnListFor(const CkwTriangleStripArray& strips,
                                                                          int32_t modeBits)
{
    // Lists are filled only for vertices made in an earlier frame, so none
    // can be current yet either.
    if (m_caches->madeInFrame == m_frameClock)
        return nullptr;
    SkwDrawnTriangles* stale = nullptr;
    for (SkwDrawnTriangles& drawn : m_caches->drawn) {
        if (drawn.generation == 0 || drawn.generation != m_caches->generation) {
            stale = stale != nullptr ? stale : &drawn;
            continue;
        }
        if (drawn.stripsSerial == strips.getSerial() && drawn.modeBits == modeBits)
            return &drawn;
    }
    if (stale == nullptr) {
        stale = &m_caches->drawn[m_caches->nextDrawn];
        m_caches->nextDrawn = (m_caches->nextDrawn + 1) % kDrawnListsPerSet;
    }
    // Not current until the walk has filled it.
    stale->generation = 0;
    stale->stripsSerial = strips.getSerial();
    stale->modeBits = modeBits;
    stale->triangles.setCount(0);
    return stale;
}

void CkwRendererStandard::drawStrips(const CkwTriangleStripArray& strips, bool mayClip)
{
    const int32_t cullFlags = m_polygonFlags & (CkwPolygonMode::kBitCullBack | CkwPolygonMode::kBitCullFront);
    const bool windingCw = (m_polygonFlags & CkwPolygonMode::kBitWindingCw) != 0;
    const bool flat = (m_polygonFlags & CkwPolygonMode::kBitShadeFlat) != 0;
    const bool twoSided = (m_polygonFlags & CkwPolygonMode::kBitTwoSidedLighting) != 0;
    // Everything the walk's decisions read besides vertices and strips.
    SkwDrawnTriangles* const drawn = drawnListFor(
        strips, m_polygonFlags
            & (CkwPolygonMode::kBitCullBack | CkwPolygonMode::kBitCullFront | CkwPolygonMode::kBitWindingCw
               | CkwPolygonMode::kBitTwoSidedLighting));
    // Unless something writes into them on the way, triangles are drawn
    // from the projected vertices where they are kept.
    const bool inPlace = !flat && !(m_unitCount > 0 && (m_polygonFlags & kPolygonPerspective))
        && !m_rasterizer->writesIntoVertices();
    // The strips' clip-space vertices are all made by now. Held in locals,
    // as the calls below could otherwise change them for all the compiler
    // knows.
    const SkwFacingVertex* facingOf = m_caches->facing.data();
    CkwFixedVectorCache& clip = m_caches->clip;
    SkwShadedVertex* const shadedOf[2] = {m_shaded[0].data(), m_shaded[1].data()};
    SkwRasterVertex* const screenOf[2] = {m_screen[0].data(), m_screen[1].data()};
    uint32_t* const stamps[2] = {m_shadedStamp[0].data(), m_shadedStamp[1].data()};
    const uint32_t stamp = m_stamp;
    const int32_t unitCount = m_unitCount;
    const CkwRect& viewport = m_graphics->m_viewportInClip;
    const ScreenMap map{m_viewportScaleX, m_viewportScaleY, viewport.x * 16, viewport.y * 16, m_depthScale,
                        m_depthOffset};
    constexpr uint32_t kClipBits = kNotInFront - 1;

    // Vertices shaded, each lit by every bound light when lighting runs.
    uint32_t shades = 0;
    const auto countLights = [&] {
        if (m_lit)
            m_lightEvaluations += uint64_t{shades} * static_cast<uint64_t>(m_boundLights.count());
    };
    // Shades the corners from firstCorner on that are new to the face, then
    // hands the triangle on.
    const auto draw = [&](int32_t i0, int32_t i1, int32_t i2, int32_t face,
                          int32_t firstCorner) __attribute__((always_inline)) {
        const bool back = face != 0;
        const int32_t idx[3] = {i0, i1, i2};
        SkwShadedVertex* const shaded = shadedOf[face];
        SkwRasterVertex* const screens = screenOf[face];
        for (int32_t j = firstCorner; j < 3; ++j) {
            const int32_t i = idx[j];
            if (stamps[face][i] == stamp)
                continue;
            const SkwShadedVertex& vertex = shaded[i];
            shadeVertex(i, back, shaded[i]);
            ++shades;
            stamps[face][i] = stamp;
            if (facingOf[i].code != 0)
                continue;
            // Inside the view: divided by w once for every triangle that
            // shares the vertex.
            SkwRasterVertex& screen = screens[i];
            int64_t divisor;
            map.apply(clip.getProjected(i, divisor), screen);
            putColourWords(screen, vertex.r, vertex.g, vertex.b, vertex.alpha, vertex.fog);
            // The divisor waits in the words the rasterizer leaves alone.
            screen.tex[0].reserved = static_cast<int32_t>(divisor);
            screen.tex[1].reserved = static_cast<int32_t>(divisor >> 32);
            for (int32_t u = 0; u < unitCount; ++u) {
                screen.tex[u].s = vertex.tex[u][0];
                screen.tex[u].t = vertex.tex[u][1];
            }
        }
        const uint32_t codes = facingOf[i0].code | facingOf[i1].code | facingOf[i2].code;
        if (inPlace && codes == 0) {
            drawScreenTriangle(&screens[i0], &screens[i1], &screens[i2]);
            return;
        }
        const SkwShadedVertex* corners[3] = {&shaded[i0], &shaded[i1], &shaded[i2]};
        if ((codes & kClipBits) != 0) {
            drawClipped(idx, corners, static_cast<int32_t>(codes & kClipBits), flat);
            return;
        }
        if (codes != 0)
            return;
        SkwRasterVertex screen[3];
        int64_t divisor[3];
        int32_t q[3][2];
        for (int32_t j = 0; j < 3; ++j) {
            screen[j] = screens[idx[j]];
            divisor[j] = static_cast<int64_t>(static_cast<uint64_t>(screen[j].tex[1].reserved) << 32
                                              | static_cast<uint32_t>(screen[j].tex[0].reserved));
            q[j][0] = corners[j]->tex[0][2];
            q[j][1] = corners[j]->tex[1][2];
        }
        if (flat)
            for (int32_t j = 0; j < 2; ++j) {
                screen[j].r = screen[2].r;
                screen[j].g = screen[2].g;
                screen[j].b = screen[2].b;
                screen[j].alpha = screen[2].alpha;
            }
        drawProjected(screen, divisor, q, 3);
    };

    if (drawn != nullptr && drawn->generation != 0) {
        for (const SkwDrawnTriangle& t : drawn->triangles)
            draw(t.i0, t.i1, t.i2, t.face, t.firstCorner);
        m_walkSteps += static_cast<uint64_t>(drawn->triangles.count());
        return countLights();
    }
    m_walkSteps += static_cast<uint64_t>(strips.getUsedIndexCount());

    // The face drawn, or -1. A triangle drawn with the face of the one
    // before it in the strip finds its first two vertices shaded already.
    // det(v0, v1, v2) = det(v2, v0, v1), so the minors of (v1, v2) serve
    // the next triangle too; `shared` holds them while `sharing`.
    Minors shared{};
    bool sharing = false;
    // Room for every triangle of the strips, filled as they are drawn.
    SkwDrawnTriangle* kept = nullptr;
    if (drawn != nullptr) {
        int32_t most = 0;
        for (const uint16_t length : strips.getStripLengths())
            most += std::max(length - 2, 0);
        drawn->triangles.setCount(most);
        kept = drawn->triangles.data();
    }
    // Templated on keeping, so the walk that does not keep stays as tight.
    const auto triangle = [&](auto implicit, auto keep, int32_t i0, int32_t i1, int32_t i2, const SkwFacingVertex& v0,
                              const SkwFacingVertex& v1, const SkwFacingVertex& v2, bool parity,
                              int32_t previousFace) -> int32_t {
        const bool reuse = sharing;
        sharing = false;
        if (!decltype(implicit)::value && (i0 == i1 || i1 == i2 || i0 == i2))
            return -1;
        // A node inside the view has no clip bits at all.
        if (mayClip && (v0.code & v1.code & v2.code & kClipBits) != 0)
            return -1;
        int32_t area;
        if (reuse) {
            area = facing(v2, shared);
        } else {
            shared = minorsOf(v1, v2);
            sharing = true;
            area = facing(v0, shared);
        }
        if (parity)
            area = -area;
        if (area == 0)
            return -1;
        if ((cullFlags & CkwPolygonMode::kBitCullBack) && area > 0)
            return -1;
        if ((cullFlags & CkwPolygonMode::kBitCullFront) && area < 0)
            return -1;
        const int32_t face = area > 0 && twoSided ? 1 : 0;
        const int32_t firstCorner = face == previousFace ? 2 : 0;
        if constexpr (decltype(keep)::value)
            *kept++ = {i0, i1, i2, static_cast<uint8_t>(face), static_cast<uint8_t>(firstCorner)};
        draw(i0, i1, i2, face, firstCorner);
        return face;
    };
    const auto walk = [&](auto implicit, auto keep) {
        const CkwArray<uint16_t>& lengths = strips.getStripLengths();
        const uint16_t* indexData = strips.getIndices().data();
        const int32_t firstIndex = strips.getFirstIndex();
        const auto indexAt = [&](int32_t at) {
            return decltype(implicit)::value ? firstIndex + at : int32_t{indexData[at]};
        };
        int32_t position = 0;
        for (int32_t s = 0; s < lengths.count(); ++s) {
            const int32_t end = position + lengths[s];
            if (end - position >= 3) {
                // The strip's last two vertices ride along with each new one,
                // their records too.
                int32_t i0 = indexAt(position), i1 = indexAt(position + 1);
                const SkwFacingVertex* v0 = facingOf + i0;
                const SkwFacingVertex* v1 = facingOf + i1;
                bool parity = windingCw;
                int32_t face = -1;
                sharing = false;
                for (int32_t at = position + 2; at < end; ++at, parity = !parity) {
                    const int32_t i2 = indexAt(at);
                    const SkwFacingVertex* v2 = facingOf + i2;
                    face = triangle(implicit, keep, i0, i1, i2, *v0, *v1, *v2, parity, face);
                    i0 = i1;
                    i1 = i2;
                    v0 = v1;
                    v1 = v2;
                }
            }
            position = end;
        }
    };
    const auto walkStrips = [&](auto keep) {
        strips.isImplicit() ? walk(std::true_type{}, keep) : walk(std::false_type{}, keep);
    };
    if (drawn == nullptr) {
        walkStrips(std::false_type{});
        return countLights();
    }
    walkStrips(std::true_type{});
    drawn->triangles.setCount(static_cast<int32_t>(kept - drawn->triangles.data()));
    drawn->generation = m_caches->generation;
    countLights();
}

void CkwRendererStandard::shadeVertex(int32_t index, bool backFacing, SkwShadedVertex& out)
{
    CkwFixedColor vertexColor = m_baseColor;
    int32_t alpha = m_vertexAlpha;
    if (m_colors != nullptr) {
        vertexColor.set(colorByte(*m_colors, index, 0), colorByte(*m_colors, index, 1), colorByte(*m_colors, index, 2));
        if (m_colorsGiveAlpha)
            alpha = std::clamp(m_colors->getComponentCount() == 4 ? (colorByte(*m_colors, index, 3) * m_alpha256) >> 8
                                                                  : m_alpha255,
                               0, 255);
    }
    CkwFixedColor result = vertexColor;
    if (m_material != nullptr) {
        SkwLitVertex lit;
        lit.accumulator = m_litStart;
        if (m_tracking) {
            CkwFixedColor ambient = m_ambientSum;
            ambient.modulate(vertexColor);
            lit.accumulator = m_emissive;
            lit.accumulator.add(ambient);
        }
        if (m_lit) {
            lit.diffuse = m_tracking ? vertexColor : m_baseColor;
            lit.specular = m_specular;
            if (m_needEyePositions) {
                const CkwFixedVector3D eye = m_caches->eye.getEyePosition(index, lit.w, lit.exponent);
                lit.position[0] = eye.x;
                lit.position[1] = eye.y;
                lit.position[2] = eye.z;
            }
            const CkwFixedVector3D& normal = m_caches->normal.getNormal(index);
            lit.normal[0] = normal.x;
            lit.normal[1] = normal.y;
            lit.normal[2] = normal.z;
            // Held in locals: the lights' stores could otherwise reach the
            // array for all the compiler knows.
            CkwActiveLightStandard* const* lights = m_boundLights.data();
            const int32_t lightCount = m_boundLights.count();
            for (int32_t i = 0; i < lightCount; ++i)
                lights[i]->evaluate(lit, backFacing);
        }
        lit.accumulator.clamp();
        result = lit.accumulator;
    }
    out.r = result.red << 8;
    out.g = result.green << 8;
    out.b = result.blue << 8;
    out.alpha = static_cast<uint8_t>(alpha);
    out.fog = 0;
    if (m_fog != nullptr) {
        int32_t w, exponent;
        const CkwFixedVector3D eye = m_caches->eye.getEyePosition(index, w, exponent);
        const float distance = w != 0 ? -std::ldexp(static_cast<float>(eye.z), exponent) / static_cast<float>(w) : 0.0f;
        // NaN (a NaN density, say) counts as no fog.
        const float f = fogAmount(*m_fog, distance);
        if (m_unitCount > 0) {
            out.fog = static_cast<uint8_t>(roundClamp(f * 255.0f, 0, 255));
        } else {
            const int32_t f16 = roundClamp(f * 65536.0f, 0, 65536);
            out.r -= static_cast<int32_t>((int64_t{out.r - (m_fogColor.red << 8)} * f16) >> 16);
            out.g -= static_cast<int32_t>((int64_t{out.g - (m_fogColor.green << 8)} * f16) >> 16);
            out.b -= static_cast<int32_t>((int64_t{out.b - (m_fogColor.blue << 8)} * f16) >> 16);
        }
    }
    for (int32_t unit = 0; unit < m_unitCount; ++unit)
        if (m_unitUsed[unit])
            m_caches->tex[unit].getTexCoord(index, out.tex[unit]);
}

void CkwRendererStandard::drawClipped(const int32_t* indices, const SkwShadedVertex* const* shaded, int32_t clipCode,
                                      bool flat)
{
    CkwClipVertex* v = m_clipVertices;
    for (int32_t j = 0; j < 3; ++j) {
        CkwClipVertex& c = v[j];
        const CkwFixedVector3D& p = m_caches->clip.getPosition(indices[j], c.w);
        c.x = p.x;
        c.y = p.y;
        c.z = p.z;
        const SkwShadedVertex& s = *shaded[flat ? 2 : j];
        c.r = s.r;
        c.g = s.g;
        c.b = s.b;
        c.alpha = s.alpha;
        c.fog = shaded[j]->fog;
        c.unitCount = static_cast<uint8_t>(m_unitCount);
        for (int32_t u = 0; u < m_unitCount; ++u) {
            c.tex[u].s = shaded[j]->tex[u][0];
            c.tex[u].t = shaded[j]->tex[u][1];
            c.tex[u].q = shaded[j]->tex[u][2];
        }
    }
    int32_t end = 3;
    const int32_t start = clipPolygon(v, 0, end, clipCode);
    const int32_t n = end - start;
    if (n < 3)
        return;
    SkwRasterVertex screen[kClipVertexCapacity];
    int64_t divisor[kClipVertexCapacity];
    int32_t q[kClipVertexCapacity][2];
    for (int32_t i = 0; i < n; ++i) {
        CkwClipVertex& c = v[start + i];
        if (c.w <= 0)
            return;
        project(divideByW({c.x, c.y, c.z}, c.w, divisor[i]), screen[i]);
        screen[i].r = c.r;
        screen[i].g = c.g;
        screen[i].b = c.b;
        screen[i].alpha = c.alpha;
        screen[i].fog = c.fog;
        for (int32_t u = 0; u < m_unitCount; ++u) {
            screen[i].tex[u].s = c.tex[u].s;
            screen[i].tex[u].t = c.tex[u].t;
            q[i][u] = c.tex[u].q;
        }
    }
    drawProjected(screen, divisor, q, n);
}

void CkwRendererStandard::drawProjected(SkwRasterVertex* screen, const int64_t* divisor, const int32_t (*q)[2],
                                        int32_t n)
{
    // Affine texturing and untextured polygons read no weights.
    if (m_unitCount > 0 && (m_polygonFlags & kPolygonPerspective))
        setPerspectiveWeights(screen, divisor, q, n, m_unitCount, m_projective);
    for (int32_t i = 1; i + 1 < n; ++i)
        drawScreenTriangle(&screen[0], &screen[i], &screen[i + 1]);
}

void CkwRendererStandard::project(const CkwFixedVector3D& ndc, SkwRasterVertex& out) const
{
    const CkwRect& viewport = m_graphics->m_viewportInClip;
    const ScreenMap map{m_viewportScaleX, m_viewportScaleY, viewport.x * 16, viewport.y * 16, m_depthScale,
                        m_depthOffset};
    map.apply(ndc, out);
}

void CkwRendererStandard::drawScreenTriangle(SkwRasterVertex* a, SkwRasterVertex* b, SkwRasterVertex* c)
{
    // The rasterizer takes vertices clockwise on screen (y down).
    const int64_t cross = int64_t(b->x - a->x) * (c->y - a->y) - int64_t(b->y - a->y) * (c->x - a->x);
    if (cross > 0)
        std::swap(b, c);
    m_rasterizer->drawTriangle(a, b, c);
}
