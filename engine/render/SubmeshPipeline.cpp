// The submesh pipeline: per node the clip-space positions and clip codes of
// the whole vertex buffer; per submesh the material, fog, textures and
// lights; per triangle of the strips trivial reject, facing and culling,
// shading once per vertex and facing, clipping in homogeneous space and the
// hand-off to the rasterizer.
#include <algorithm>
#include <cmath>

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

constexpr int32_t kMaxClipVertices = 9;  // a triangle cut by six planes
constexpr float kMinW = 1.5e-5f;
constexpr float kMaxCoordinate = 32767.0f;

// Component c of a vertex as stored (signed 8 or 16 bits).
inline float component(const CkwVertexArray& array, int32_t vertex, int32_t c)
{
    const uint8_t* p = array.elementAddress(vertex, c);
    return array.getComponentSize() == 1 ? static_cast<float>(static_cast<int8_t>(*p))
                                         : static_cast<float>(*reinterpret_cast<const int16_t*>(p));
}

// Colours are stored as bytes 0..255 whatever their sign.
inline int32_t colorByte(const CkwVertexArray& array, int32_t vertex, int32_t c)
{
    return *array.elementAddress(vertex, c);
}

uint8_t outcode(const float* c)
{
    const float w = c[3];
    return static_cast<uint8_t>((c[0] > w ? 1 : 0) | (c[0] < -w ? 2 : 0) | (c[1] > w ? 4 : 0) | (c[1] < -w ? 8 : 0)
                                | (c[2] > w ? 16 : 0) | (c[2] < -w ? 32 : 0));
}

// v held to [lo, hi] (NaN to lo), then rounded half away from zero.
inline int32_t roundClamped(float v, float lo, float hi)
{
    v = v >= lo ? (v <= hi ? v : hi) : lo;
    return static_cast<int32_t>(v >= 0.0f ? v + 0.5f : v - 0.5f);
}

int32_t toFixed16(float f) { return roundClamped(f * 65536.0f, -kMaxCoordinate * 65536.0f, kMaxCoordinate * 65536.0f); }

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

} // namespace

void CkwRendererStandard::modelPosition(int32_t index, float* out) const
{
    const CkwVertexArray* positions = m_vertexBuffer->getPositions();
    const float scale = m_vertexBuffer->getPositionScale();
    const float* bias = m_vertexBuffer->getPositionBias();
    const float z = positions->getComponentCount() == 2 ? 0.0f : component(*positions, index, 2);
    const CkwVector3D p{component(*positions, index, 0) * scale + bias[0],
                        component(*positions, index, 1) * scale + bias[1], z * scale + bias[2]};
    CkwVector3D posed = p;
    if (m_skinIndices != nullptr)
        m_skinPalette[m_skinIndices[index]].transformPoint(posed, p);
    out[0] = posed.x;
    out[1] = posed.y;
    out[2] = posed.z;
}

bool CkwRendererStandard::setupNode(const CkwMatrix& model)
{
    const int32_t n = m_vertexBuffer->getVertexCount();
    CkwMatrix mvp = m_viewProjection;
    mvp.multiply(model);
    m_clipPositions.setCount(4 * n);
    m_outcodes.setCount(n);
    m_skinIndices = nullptr;
    if (m_skin != nullptr) {
        const CkwArray<uint16_t>& indices = m_skin->getVertexPaletteIndices();
        // A mesh without a skeleton has no palette and is drawn at rest.
        if (indices.count() == n) {
            m_skinPalette.setCount(m_skin->getPaletteCount());
            for (int32_t e = 0; e < m_skinPalette.count(); ++e)
                m_skinPalette[e] = m_skin->getPaletteMatrix(e);
            m_skinIndices = indices.data();
        }
    }
    uint8_t clipAnd = 255, clipOr = 0;
    for (int32_t i = 0; i < n; ++i) {
        float p[3];
        modelPosition(i, p);
        float* c = m_clipPositions.at(4 * i);
        mvp.transform4(p[0], p[1], p[2], 1.0f, c);
        // A non-finite position (an overflowing matrix from file data) is
        // outside every plane, so it never reaches the rasterizer.
        const uint8_t code = std::isfinite(c[0] + c[1] + c[2] + c[3]) ? outcode(c) : 63;
        m_outcodes[i] = code;
        clipAnd &= code;
        clipOr |= code;
    }
    m_clipAnd = clipAnd;
    m_clipOr = clipOr;
    if (clipAnd != 0)
        return false;
    m_modelView = m_view;
    m_modelView.multiply(model);
    m_normalMatrixValid = false;
    m_eyePositions.setCount(4 * n);
    m_eyeValid.setCount(n);
    std::fill(m_eyeValid.begin(), m_eyeValid.end(), uint8_t{0});
    return true;
}

void CkwRendererStandard::eyePosition(int32_t index, float* out)
{
    float* e = m_eyePositions.at(4 * index);
    if (!m_eyeValid[index]) {
        float p[3];
        modelPosition(index, p);
        m_modelView.transform4(p[0], p[1], p[2], 1.0f, e);
        m_eyeValid[index] = 1;
    }
    std::copy(e, e + 4, out);
}

void CkwRendererStandard::bindTexture(int32_t unit, CkwTexture2D* texture)
{
    m_texArrays[unit] = nullptr;
    if (texture == nullptr || !rasterImageOf(texture->getImage(), m_unitImage[unit])
        || m_vertexBuffer->getTexCoords(unit) == nullptr) {
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
    m_texArrays[unit] = m_vertexBuffer->getTexCoords(unit);
    m_texMatrix[unit] = texture->getTransformMatrix();
    m_texScale[unit] = std::min(m_vertexBuffer->getTexCoordScale(unit), 100.0f);
    m_texBias[unit] = m_vertexBuffer->getTexCoordBias(unit);
    m_unitCount = unit + 1;
}

void CkwRendererStandard::renderSubmesh(CkwVertexBuffer* buffer, CkwIndexBuffer* indexBuffer, CkwAppearance* appearance,
                                        int32_t scope)
{
    if (indexBuffer->getClassId() != kClassTriangleStripArray)
        return;
    const auto* strips = static_cast<const CkwTriangleStripArray*>(indexBuffer);
    m_material = appearance->getMaterial();
    m_fog = appearance->getFog();
    m_fogColor.setRgb(m_fog != nullptr ? (m_fog->getColor() & 0xFFFFFF) : 0);

    // Base colour: the buffer's default, or a non-tracking material's diffuse.
    uint32_t base = buffer->getDefaultColor();
    if (m_material != nullptr && !m_material->isVertexColorTrackingEnabled())
        base = m_material->getColor(CkwMaterial::kDiffuse);
    m_baseColor.setRgb(base);
    m_baseAlpha = static_cast<float>(base >> 24) / 255.0f;

    const CkwCompositingMode* mode = appearance->getCompositingMode();
    m_rasterizer->setCompositingMode(rasterCompositingOf(mode != nullptr ? *mode : *m_defaultCompositingMode));
    const CkwPolygonMode* polygon = appearance->getPolygonMode();
    m_polygonFlags = polygon != nullptr ? static_cast<int32_t>(polygon->getModeBits() & 0x7FF)
                                        : static_cast<int32_t>(CkwPolygonMode::kDefaultBits);

    m_unitCount = 0;
    m_projectiveUnits = false;
    for (int32_t unit = 0; unit < 2; ++unit) {
        bindTexture(unit, static_cast<CkwTexture2D*>(appearance->getTexture(unit)));
        m_projectiveUnits |= m_texArrays[unit] != nullptr && (m_texMatrix[unit].classWord & kMatrixBitAffine) == 0;
    }
    // Textured fog is the rasterizer's; untextured fog is blended per vertex.
    const uint32_t fogRgb = m_fog != nullptr ? (m_fog->getColor() & 0xFFFFFF) : 0;
    m_rasterizer->setFog(m_fog != nullptr && m_unitCount > 0 ? &fogRgb : nullptr);

    // Lights bound to this material and scope; ambient ones sum up.
    m_ambientSum = CkwFixedColor{};
    bool anyApplies = false;
    for (CkwActiveLightStandard& light : m_lights)
        anyApplies |= light.bind(m_material, m_polygonFlags, scope, m_ambientSum);
    if (m_material != nullptr) {
        m_ambientTerm = m_ambientSum;
        CkwFixedColor ambient{};
        ambient.setRgb(m_material->getColor(CkwMaterial::kAmbient));
        m_ambientTerm.modulate(ambient);
    }
    m_lit = anyApplies && buffer->getNormals() != nullptr;
    if (m_lit && !m_normalMatrixValid) {
        m_normalMatrix = m_modelView;
        m_normalMatrix.m[12] = m_normalMatrix.m[13] = m_normalMatrix.m[14] = 0.0f;
        if (!m_normalMatrix.makeNormalMatrix())
            m_normalMatrix = m_modelView;
        m_normalMatrixValid = true;
    }

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

    const bool implicit = strips->isImplicit();
    const CkwArray<uint16_t>& indices = strips->getIndices();
    const CkwArray<uint16_t>& lengths = strips->getStripLengths();
    const int32_t cullFlags = m_polygonFlags & (CkwPolygonMode::kBitCullBack | CkwPolygonMode::kBitCullFront);
    const bool windingCw = (m_polygonFlags & CkwPolygonMode::kBitWindingCw) != 0;
    const bool flat = (m_polygonFlags & CkwPolygonMode::kBitShadeFlat) != 0;
    const bool twoSided = (m_polygonFlags & CkwPolygonMode::kBitTwoSidedLighting) != 0;
    int32_t position = 0;
    for (int32_t s = 0; s < lengths.count(); ++s) {
        const int32_t length = lengths[s];
        bool parity = windingCw;
        for (int32_t k = 2; k < length; ++k, parity = !parity) {
            const int32_t at = position + k;
            const int32_t i0 = implicit ? strips->getFirstIndex() + at - 2 : indices[at - 2];
            const int32_t i1 = implicit ? strips->getFirstIndex() + at - 1 : indices[at - 1];
            const int32_t i2 = implicit ? strips->getFirstIndex() + at : indices[at];
            if (!implicit && (i0 == i1 || i1 == i2 || i0 == i2))
                continue;
            const uint8_t c0 = m_outcodes[i0], c1 = m_outcodes[i1], c2 = m_outcodes[i2];
            if (m_clipOr != 0 && (c0 & c1 & c2) != 0)
                continue;
            const float* p0 = m_clipPositions.at(4 * i0);
            const float* p1 = m_clipPositions.at(4 * i1);
            const float* p2 = m_clipPositions.at(4 * i2);
            // Oriented area of the (x, y, w) rows: negative for a triangle
            // counter-clockwise on screen with y up, the front face.
            double area = -(double(p0[0]) * (double(p1[1]) * p2[3] - double(p2[1]) * p1[3])
                            - double(p0[1]) * (double(p1[0]) * p2[3] - double(p2[0]) * p1[3])
                            + double(p0[3]) * (double(p1[0]) * p2[1] - double(p2[0]) * p1[1]));
            if (parity)
                area = -area;
            if (area == 0.0 || !std::isfinite(area))
                continue;
            if ((cullFlags & CkwPolygonMode::kBitCullBack) && area >= 0.0)
                continue;
            if ((cullFlags & CkwPolygonMode::kBitCullFront) && area <= 0.0)
                continue;
            const bool back = area >= 0.0 && twoSided;
            const int32_t facing = back ? 1 : 0;
            const int32_t idx[3] = {i0, i1, i2};
            for (int32_t j = 0; j < 3; ++j) {
                if (m_shadedStamp[facing][idx[j]] != m_stamp) {
                    SkwPipelineVertex& shaded = m_shaded[facing][idx[j]];
                    shadeVertex(idx[j], back, shaded);
                    if (shaded.clip[3] > kMinW)
                        project(shaded, m_screen[facing][idx[j]]);
                    m_shadedStamp[facing][idx[j]] = m_stamp;
                }
            }
            const int32_t clipCode = m_clipOr != 0 ? (c0 | c1 | c2) : 0;
            if (clipCode == 0 && !m_projectiveUnits) {
                // Inside the view: each vertex was projected once for all
                // the triangles that share it.
                SkwRasterVertex screen[3];
                float inverseW[3];
                for (int32_t j = 0; j < 3; ++j) {
                    const SkwPipelineVertex& shaded = m_shaded[facing][idx[j]];
                    if (!(shaded.clip[3] > kMinW))
                        break;
                    screen[j] = m_screen[facing][idx[j]];
                    inverseW[j] = 1.0f / shaded.clip[3];
                    if (j == 2)
                        drawProjected(screen, inverseW, 3, flat);
                }
                continue;
            }
            SkwPipelineVertex v[3];
            for (int32_t j = 0; j < 3; ++j)
                v[j] = m_shaded[facing][idx[j]];
            if (flat)
                for (int32_t j = 0; j < 2; ++j)
                    std::copy(v[2].color, v[2].color + 4, v[j].color);
            drawClipped(v, 3, clipCode);
        }
        position += length;
    }
}

void CkwRendererStandard::shadeVertex(int32_t index, bool backFacing, SkwPipelineVertex& out)
{
    const float* clip = m_clipPositions.at(4 * index);
    std::copy(clip, clip + 4, out.clip);
    const CkwVertexArray* colors = m_vertexBuffer->getColors();
    CkwFixedColor vertexColor = m_baseColor;
    float vertexAlpha = m_baseAlpha;
    if (colors != nullptr && colors->getVertexCount() > 0) {
        vertexColor.set(colorByte(*colors, index, 0), colorByte(*colors, index, 1), colorByte(*colors, index, 2));
        vertexAlpha = colors->getComponentCount() == 4 ? colorByte(*colors, index, 3) / 255.0f : 1.0f;
    }
    CkwFixedColor result = vertexColor;
    if (m_material != nullptr) {
        const bool tracking = m_material->isVertexColorTrackingEnabled();
        SkwLitVertex lit{};
        lit.accumulator.setRgb(m_material->getColor(CkwMaterial::kEmissive));
        lit.specular.setRgb(m_material->getColor(CkwMaterial::kSpecular));
        lit.diffuse = tracking ? vertexColor : m_baseColor;
        CkwFixedColor ambient = m_ambientTerm;
        if (tracking) {
            ambient = m_ambientSum;
            ambient.modulate(vertexColor);
        }
        lit.accumulator.add(ambient);
        if (m_lit) {
            float eye[4];
            eyePosition(index, eye);
            const float iw = eye[3] != 0.0f ? 1.0f / eye[3] : 1.0f;
            for (int32_t i = 0; i < 3; ++i)
                lit.position[i] = toFixed16(eye[i] * iw);
            const CkwVertexArray* normals = m_vertexBuffer->getNormals();
            const float ns = m_vertexBuffer->getNormalScale();
            const float* nb = m_vertexBuffer->getNormalBias();
            CkwVector3D raw{component(*normals, index, 0) * ns + nb[0], component(*normals, index, 1) * ns + nb[1],
                            component(*normals, index, 2) * ns + nb[2]};
            if (m_skinIndices != nullptr) {
                const CkwVector3D rest = raw;
                m_skinPalette[m_skinIndices[index]].transformDirection(raw, rest);
            }
            CkwVector3D normal;
            m_normalMatrix.transformDirection(normal, raw);
            const float len = std::sqrt(normal.x * normal.x + normal.y * normal.y + normal.z * normal.z);
            const float inv = len > 0.0f ? 1.0f / len : 0.0f;
            lit.normal[0] = toFixed16(normal.x * inv);
            lit.normal[1] = toFixed16(normal.y * inv);
            lit.normal[2] = toFixed16(normal.z * inv);
            for (int32_t i = m_lights.count() - 1; i >= 0; --i)
                m_lights[i].evaluate(lit, backFacing);
        }
        lit.accumulator.clamp();
        result = lit.accumulator;
        vertexAlpha = tracking ? vertexAlpha : m_baseAlpha;
    }
    float rgb[3] = {result.red / 256.0f, result.green / 256.0f, result.blue / 256.0f};
    out.fog = 0.0f;
    if (m_fog != nullptr) {
        float eye[4];
        eyePosition(index, eye);
        const float f = std::clamp(fogAmount(*m_fog, eye[3] != 0.0f ? -eye[2] / eye[3] : 0.0f), 0.0f, 1.0f);
        if (m_unitCount > 0) {
            out.fog = f;
        } else {
            const float fog[3] = {m_fogColor.red / 256.0f, m_fogColor.green / 256.0f, m_fogColor.blue / 256.0f};
            for (int32_t i = 0; i < 3; ++i)
                rgb[i] -= (rgb[i] - fog[i]) * f;
        }
    }
    std::copy(rgb, rgb + 3, out.color);
    out.color[3] = vertexAlpha * m_alphaFactor;
    for (int32_t unit = 0; unit < m_unitCount; ++unit) {
        const CkwVertexArray* array = m_texArrays[unit];
        if (array == nullptr)
            continue;
        const float scale = m_texScale[unit];
        const float* bias = m_texBias[unit];
        const float s = component(*array, index, 0) * scale + std::clamp(bias[0], -100.0f, 100.0f);
        const float t = component(*array, index, 1) * scale + std::clamp(bias[1], -100.0f, 100.0f);
        const float r = array->getComponentCount() > 2 ? component(*array, index, 2) * scale + std::clamp(bias[2], -100.0f, 100.0f) : 0.0f;
        float st[4];
        m_texMatrix[unit].transform4(s, t, r, 1.0f, st);
        const float q = std::fabs(st[3]) > kMinW ? st[3] : 1.0f;
        out.tex[unit][0] = st[0] / q;
        out.tex[unit][1] = st[1] / q;
        out.tex[unit][2] = q;
    }
}

void CkwRendererStandard::drawClipped(SkwPipelineVertex* triangle, int32_t count, int32_t clipCode)
{
    SkwPipelineVertex buffers[2][kMaxClipVertices + 3];
    SkwPipelineVertex* in = triangle;
    int32_t n = count;
    int32_t which = 0;
    for (int32_t plane = 0; plane < 6 && n > 0; ++plane) {
        if ((clipCode & (1 << plane)) == 0)
            continue;
        const int32_t c = plane >> 1;
        const float sign = (plane & 1) ? 1.0f : -1.0f;
        SkwPipelineVertex* out = buffers[which];
        int32_t m = 0;
        for (int32_t i = 0; i < n; ++i) {
            const SkwPipelineVertex& a = in[(i + n - 1) % n];
            const SkwPipelineVertex& b = in[i];
            const float da = a.clip[3] + sign * a.clip[c];
            const float db = b.clip[3] + sign * b.clip[c];
            if ((da < 0.0f) != (db < 0.0f) && m < kMaxClipVertices) {
                // From the inside vertex towards the outside one, so shared
                // edges of neighbours cut at the same point.
                const bool aInside = da >= 0.0f;
                const SkwPipelineVertex& from = aInside ? a : b;
                const SkwPipelineVertex& to = aInside ? b : a;
                const float dFrom = aInside ? da : db, dTo = aInside ? db : da;
                const float t = dFrom / (dFrom - dTo);
                SkwPipelineVertex& v = out[m++];
                for (int32_t k = 0; k < 4; ++k) {
                    v.clip[k] = from.clip[k] + (to.clip[k] - from.clip[k]) * t;
                    v.color[k] = from.color[k] + (to.color[k] - from.color[k]) * t;
                }
                v.fog = from.fog + (to.fog - from.fog) * t;
                for (int32_t u = 0; u < 2; ++u)
                    for (int32_t k = 0; k < 3; ++k)
                        v.tex[u][k] = from.tex[u][k] + (to.tex[u][k] - from.tex[u][k]) * t;
            }
            if (db >= 0.0f && m < kMaxClipVertices)
                out[m++] = b;
        }
        in = out;
        n = m;
        which ^= 1;
    }
    if (n < 3)
        return;
    SkwRasterVertex screen[kMaxClipVertices];
    float inverseW[kMaxClipVertices];
    for (int32_t i = 0; i < n; ++i) {
        if (!(in[i].clip[3] > kMinW))
            return;
        project(in[i], screen[i]);
        inverseW[i] = 1.0f / in[i].clip[3];
        for (int32_t u = 0; u < m_unitCount; ++u)
            if ((m_texMatrix[u].classWord & kMatrixBitAffine) == 0)
                inverseW[i] *= in[i].tex[u][2];
    }
    drawProjected(screen, inverseW, n, false);
}

void CkwRendererStandard::drawProjected(SkwRasterVertex* screen, const float* inverseW, int32_t n, bool flat)
{
    // Perspective weights shared by the polygon's vertices, the largest 2^24.
    float largest = 0.0f;
    for (int32_t i = 0; i < n; ++i)
        largest = std::max(largest, inverseW[i]);
    const float scale = 16777216.0f / largest;
    for (int32_t i = 0; i < n; ++i) {
        const int32_t q = std::max(1, static_cast<int32_t>(inverseW[i] * scale));
        for (int32_t u = 0; u < m_unitCount; ++u)
            screen[i].tex[u].q = q;
    }
    if (flat)
        for (int32_t i = 0; i + 1 < n; ++i) {
            screen[i].r = screen[n - 1].r;
            screen[i].g = screen[n - 1].g;
            screen[i].b = screen[n - 1].b;
            screen[i].alpha = screen[n - 1].alpha;
        }
    for (int32_t i = 1; i + 1 < n; ++i)
        drawScreenTriangle(&screen[0], &screen[i], &screen[i + 1]);
}

void CkwRendererStandard::project(const SkwPipelineVertex& in, SkwRasterVertex& out) const
{
    const float iw = 1.0f / in.clip[3];
    const CkwRect& viewport = m_graphics->m_viewportInClip;
    const int64_t a = roundClamped((in.clip[0] * iw + 1.0f) * 65536.0f, 0.0f, 131072.0f);
    const int64_t b = roundClamped((1.0f - in.clip[1] * iw) * 65536.0f, 0.0f, 131072.0f);
    out.x = static_cast<int32_t>((((m_viewportScaleX * a) >> 16) + 0x8000) >> 16) + viewport.x * 16;
    out.y = static_cast<int32_t>((((m_viewportScaleY * b) >> 16) + 0x8000) >> 16) + viewport.y * 16;
    const int64_t z = roundClamped(in.clip[2] * iw * 65536.0f, -65536.0f, 65536.0f);
    out.z = static_cast<int32_t>(std::clamp<int64_t>(((z + 0x10000) >> 2) * (m_depthScale >> 3) + m_depthOffset, 0, 0x0FFFFFFF));
    out.r = static_cast<int32_t>(in.color[0] * 65536.0f + 0.5f);
    out.g = static_cast<int32_t>(in.color[1] * 65536.0f + 0.5f);
    out.b = static_cast<int32_t>(in.color[2] * 65536.0f + 0.5f);
    out.alpha = static_cast<uint8_t>(std::clamp(in.color[3] * 255.0f + 0.5f, 0.0f, 255.0f));
    out.fog = static_cast<uint8_t>(std::clamp(in.fog * 255.0f + 0.5f, 0.0f, 255.0f));
    for (int32_t u = 0; u < 2; ++u) {
        out.tex[u].s = toFixed16(in.tex[u][0]);
        out.tex[u].t = toFixed16(in.tex[u][1]);
        out.tex[u].reserved = 0;
        out.tex[u].q = 0x10000;
    }
}

void CkwRendererStandard::drawScreenTriangle(SkwRasterVertex* a, SkwRasterVertex* b, SkwRasterVertex* c)
{
    // The rasterizer takes vertices clockwise on screen (y down).
    const int64_t cross = int64_t(b->x - a->x) * (c->y - a->y) - int64_t(b->y - a->y) * (c->x - a->x);
    if (cross > 0)
        std::swap(b, c);
    m_rasterizer->drawTriangle(a, b, c);
}
