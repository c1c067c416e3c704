// Triangle set-up, edge walking and clipping of the software rasterizer, the
// sprite quad fast path, the rectangle fill and the background blit. Set-up
// products that can pass 32 bits are formed in 64 bits; the per-pixel work is
// in the span routines.
#include "engine/render/CkwRasterizerStandard.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <type_traits>

#include "engine/core/math/FixedMath.h"
#include "engine/core/math/FloatBits.h"

namespace {

// Screen coordinates beyond 16384 pixels (28.4) would overflow the 64-bit
// pre-steps; only broken input reaches them, and such triangles are dropped.
constexpr int32_t kCoordinateLimit = 1 << 18;
constexpr int32_t kMaxDepth = 0x0FFFFFFF;
constexpr int32_t kFullFog = 255;

// (a * b + c * d) >> shift exactly, wrapped to 64 bits: attribute
// differences reach 2^39 (s << 7) and the reciprocal factors 2^30. Operands
// all inside +-2^31 keep both products below 2^62 and their sum below 2^63.
using Wide = __int128;
bool narrow(int64_t v) { return static_cast<uint64_t>(v + 0x7FFFFFFF) <= 0xFFFFFFFEu; }

int64_t mulAddShift(int64_t a, int64_t b, int64_t c, int64_t d, int32_t shift)
{
    // One test of all four, without a branch each.
    if (int(narrow(a)) & int(narrow(b)) & int(narrow(c)) & int(narrow(d)))
        return (a * b + c * d) >> shift;
    return static_cast<int64_t>((Wide{a} * b + Wide{c} * d) >> shift);
}

// The low 32 bits of (a * b + c * d) >> shift for shift <= 32: they lie in
// the sum's low 64 bits, which wrapping products give for any operands.
uint32_t mulAddShiftLow(int64_t a, int64_t b, int64_t c, int64_t d, int32_t shift)
{
    const uint64_t sum = static_cast<uint64_t>(a) * static_cast<uint64_t>(b)
        + static_cast<uint64_t>(c) * static_cast<uint64_t>(d);
    return static_cast<uint32_t>(sum >> shift);
}

int32_t ceil4(int32_t v) { return (v + 15) >> 4; }

// fixedReciprocal(v, 20), reading the table here for the short edges of most
// triangles; the same values either way.
int32_t edgeReciprocal(int32_t dy)
{
    return dy > 0 && dy <= 512 ? RECIPROCAL_TABLE[dy] >> 10 : fixedReciprocal(dy, 20);
}

// About 2^30 over a triangle's area in whole pixels squared, from twice its
// area in 1/256 pixels squared. Below 8 pixels squared the exact area serves,
// taken as at least one: a quad cut to a pixel or two keeps the gradients of
// its plane instead of sampling the neighbouring texel.
int64_t areaReciprocal(int64_t cross)
{
    const int64_t area = cross >> 8;
    if (area >= -7 && area <= 7) {
        const int64_t exact = (int64_t{1} << 38) / std::max<int64_t>(std::abs(cross), 256);
        return cross < 0 ? -exact : exact;
    }
    // fixedReciprocal(area, 30), the table read here for most triangles.
    if (area > 0 && area <= 512)
        return RECIPROCAL_TABLE[area];
    if (area < 0 && area >= -512)
        return -RECIPROCAL_TABLE[-area];
    return fixedReciprocal(static_cast<int32_t>(std::clamp<int64_t>(area, INT32_MIN, INT32_MAX)), 30);
}

int32_t log2Exact(int32_t v)
{
    if (v < 1 || (v & (v - 1)))
        return -1;
    int32_t n = 0;
    while ((1 << n) < v)
        ++n;
    return n;
}

int32_t limitColor(int32_t c, bool textured) { return textured ? c : std::min(c, 0xFFFF); }

} // namespace

struct CkwRasterizerStandard::Edge {
    int64_t x;      // 20.12, biased so that x >> 12 is the ceiling
    int64_t slope;  // 20.12 per scanline
    int32_t endY;   // first scanline below this edge
    int32_t lower;  // index of the edge's lower vertex
    // Attribute values and steps, wrapping at 32 bits as the spans take them.
    uint32_t value[kAttributeCount];
    uint32_t step[kAttributeCount];       // when x's integer part moves by slope >> 12
    uint32_t carryStep[kAttributeCount];  // when it moves one more
};

CkwRasterizerStandard::CkwRasterizerStandard()
{
    m_setup.units = m_units;
}

void CkwRasterizerStandard::setTarget(uint16_t* colorBuffer, int32_t width, int32_t height, int32_t pitch,
                                      uint16_t* depthBuffer, bool depthEnabled)
{
    m_colorBuffer = colorBuffer;
    m_width = width;
    m_height = height;
    m_pitch = pitch;
    m_depthBuffer = depthBuffer;
    m_depthEnabled = depthEnabled;
    m_routineChosen = false;
}

void CkwRasterizerStandard::setColorBuffer(uint16_t* colorBuffer) { m_colorBuffer = colorBuffer; }

void CkwRasterizerStandard::setDepthEnabled(bool enabled)
{
    m_depthEnabled = enabled;
    m_routineChosen = false;
}

void CkwRasterizerStandard::setAlphaPlane(uint8_t* alphaPlane, int32_t alphaPitch)
{
    m_alphaPlane = alphaPlane;
    m_alphaPitch = alphaPitch;
    m_routineChosen = false;
}

void CkwRasterizerStandard::setCompositingMode(const SkwRasterCompositing& mode)
{
    m_routineChosen = false;
    m_blending = mode.blending;
    // Offsets are stored as the application gave them: conversions saturate.
    m_alphaThreshold = saturateToInt(mode.alphaThreshold * 65536.0f) >> 8;
    m_offsetActive = false;
    m_offsetFactor = 0;
    m_offsetUnits = 0;
    m_stateFlags &= ~(kRasterDepthTest | kRasterDepthWrite);
    if (m_depthEnabled) {
        if (mode.depthTest)
            m_stateFlags |= kRasterDepthTest;
        if (mode.depthWrite)
            m_stateFlags |= kRasterDepthWrite;
        m_offsetFactor = roundToFixed(mode.depthOffsetFactor);
        m_offsetUnits = roundToFixed(mode.depthOffsetUnits);
        m_offsetActive = m_offsetFactor != 0 || m_offsetUnits != 0;
    }
    m_stateFlags = mode.colorWrite ? m_stateFlags | kRasterColorWrite : m_stateFlags & ~kRasterColorWrite;
    m_stateFlags = mode.alphaWrite ? m_stateFlags | kRasterAlphaWrite : m_stateFlags & ~kRasterAlphaWrite;
}

void CkwRasterizerStandard::setFog(const uint32_t* fogColor)
{
    m_routineChosen = false;
    if (!fogColor) {
        m_stateFlags &= ~kRasterFog;
        return;
    }
    m_fogRed = static_cast<int32_t>((*fogColor >> 16) & 0xFF) << 8;
    m_fogGreen = static_cast<int32_t>((*fogColor >> 8) & 0xFF) << 8;
    m_fogBlue = static_cast<int32_t>(*fogColor & 0xFF) << 8;
    m_stateFlags |= kRasterFog;
}

namespace {

// An image whose sizes or pixels cannot be read counts as no image; one that
// hands over format 95 fills a unit the span routines skip.
bool fillUnit(SkwRasterTexture& unit, const SkwRasterImage* image)
{
    unit = SkwRasterTexture{};
    if (image && image->format == kRasterFormatNone)
        return true;
    if (!image || image->width < 1 || image->height < 1 || !image->colorData)
        return false;
    unit.format = image->format;
    unit.width = image->width;
    unit.height = image->height;
    unit.log2Width = log2Exact(image->width);
    unit.log2Height = log2Exact(image->height);
    if (unit.log2Width < 0 || unit.log2Height < 0)
        unit.log2Width = unit.log2Height = -1;
    unit.colorData = image->colorData;
    unit.alphaData = image->alphaData;
    unit.indexData = image->indexData;
    return true;
}

} // namespace

bool CkwRasterizerStandard::unitInUse(int32_t unit) const { return m_units[unit].format != kRasterFormatNone; }

void CkwRasterizerStandard::setTexture(int32_t unit, const SkwRasterTextureSource* texture, int32_t polygonBits)
{
    if (unit < 0 || unit > 1)
        return;
    m_routineChosen = false;
    SkwRasterTexture& u = m_units[unit];
    if (texture && fillUnit(u, texture->image)) {
        u.function = texture->function;
        u.blendRed = static_cast<int32_t>((texture->blendColor >> 16) & 0xFF) << 8;
        u.blendGreen = static_cast<int32_t>((texture->blendColor >> 8) & 0xFF) << 8;
        u.blendBlue = static_cast<int32_t>(texture->blendColor & 0xFF) << 8;
        u.wrap = (texture->wrapS == kWrapClamp ? kWrapClampS : 0) | (texture->wrapT == kWrapClamp ? kWrapClampT : 0);
        m_stateFlags |= kRasterTextured;
        if (polygonBits & kPolygonPerspective)
            m_stateFlags &= ~kRasterAffine;
        else
            m_stateFlags |= kRasterAffine;
    } else {
        const int32_t function = u.function;
        u = SkwRasterTexture{};
        u.function = function;
        if (!unitInUse(0) && !unitInUse(1))
            m_stateFlags &= ~kRasterTextured;
    }
    m_textureCount = unitInUse(1) ? 2 : unitInUse(0) ? 1 : 0;
}

void CkwRasterizerStandard::setBlitImage(const SkwRasterImage* image, int32_t function)
{
    m_routineChosen = false;
    m_units[1] = SkwRasterTexture{};
    if (!fillUnit(m_units[0], image)) {
        m_textureCount = 0;
        m_stateFlags &= ~kRasterTextured;
        return;
    }
    m_units[0].function = function;
    m_textureCount = 1;
    m_stateFlags |= kRasterTextured | kRasterAffine;
}

void CkwRasterizerStandard::resetState()
{
    m_routineChosen = false;
    m_units[0].format = m_units[1].format = kRasterFormatNone;
    m_blending = kBlendReplace;
    m_alphaThreshold = 0;
    m_textureCount = 0;
    m_triangleFlags = 0;
}

// ---------------------------------------------------------------------------
// Triangles.

void CkwRasterizerStandard::drawTriangle(SkwRasterVertex* a, SkwRasterVertex* b, SkwRasterVertex* c)
{
    if (!m_colorBuffer || m_width < 1 || m_height < 1)
        return;
    m_vertices[0] = a;
    m_vertices[1] = b;
    m_vertices[2] = c;
    int32_t flags = m_stateFlags;
    if (!m_depthBuffer)
        flags &= ~(kRasterDepthTest | kRasterDepthWrite);
    if (!m_alphaPlane)
        flags &= ~kRasterAlphaWrite;

    int32_t top = 0;
    if (b->y < a->y)
        top = 1;
    if (c->y < m_vertices[top]->y)
        top = 2;
    int32_t minX = a->x, maxX = a->x, maxY = a->y;
    for (const SkwRasterVertex* v : {a, b, c}) {
        if (v->x < -kCoordinateLimit || v->x > kCoordinateLimit || v->y < -kCoordinateLimit ||
            v->y > kCoordinateLimit)
            return;
        minX = std::min(minX, v->x);
        maxX = std::max(maxX, v->x);
        maxY = std::max(maxY, v->y);
    }
    m_topVertex = top;
    m_ytop = ceil4(m_vertices[top]->y);
    m_ybottom = ceil4(maxY);
    if (ceil4(maxX) == ceil4(minX) || m_ybottom == m_ytop)
        return;

    // A textured triangle wholly in fog is drawn in the fog colour alone.
    if ((flags & kRasterTextured) && (flags & kRasterFog) && a->fog == kFullFog && b->fog == kFullFog &&
        c->fog == kFullFog) {
        flags &= ~(kRasterTextured | kRasterFog);
        for (SkwRasterVertex* v : {a, b, c}) {
            v->r = m_fogRed;
            v->g = m_fogGreen;
            v->b = m_fogBlue;
        }
    }
    flags &= ~kRasterClampColors;
    if (m_blending == kBlendAlphaAdd || m_blending == kBlendModulateX2 || m_units[0].function == kFuncAdd ||
        m_units[1].function == kFuncAdd)
        flags |= kRasterClampColors;
    flags |= kRasterShaded;
    bool white = false;
    if ((a->r & ~0x1FF) == (b->r & ~0x1FF) && (a->r & ~0x1FF) == (c->r & ~0x1FF) &&
        (a->g & ~0xFF) == (b->g & ~0xFF) && (a->g & ~0xFF) == (c->g & ~0xFF) && (a->b & ~0x1FF) == (b->b & ~0x1FF) &&
        (a->b & ~0x1FF) == (c->b & ~0x1FF) && a->alpha == b->alpha && a->alpha == c->alpha) {
        flags &= ~kRasterShaded;
        white = a->r == 0x10000 && a->g == 0x10000 && a->b == 0x10000 && a->alpha == 255;
    }
    if (flags & (kRasterShaded | kRasterTextured)) {
        uint32_t all = ~0u, any = 0;
        for (const SkwRasterVertex* v : {a, b, c}) {
            for (int32_t channel : {v->r, v->g, v->b}) {
                all &= static_cast<uint32_t>(channel);
                any |= static_cast<uint32_t>(channel);
            }
        }
        if (all == 0 || any >= 0x10000)
            flags |= kRasterClampColors;
    }
    m_triangleFlags = flags;
    chooseSpanRoutine(white);
    if (!computeGradients())
        return;
    m_setup.fogStage = m_triangleFlags & kRasterFog ? m_chosenFogStage : nullptr;
    if (m_offsetActive)
        applyPolygonOffset();
    walkEdges();
}

void CkwRasterizerStandard::chooseSpanRoutine(bool white)
{
    const int32_t flags = m_triangleFlags;
    // Neighbouring triangles of a submesh mostly share the state and flags.
    if (m_routineChosen && flags == m_chosenFlags && white == m_chosenWhite) {
        if (m_spanFamily == SpanFamily::Flat)
            prepareFlatColors(m_setup, m_vertices[0]->r, m_vertices[0]->g, m_vertices[0]->b);
        return;
    }
    m_setup.flags = flags;
    m_setup.threshold = m_alphaThreshold;
    m_setup.blending = m_blending;
    m_setup.fogRed = m_fogRed;
    m_setup.fogGreen = m_fogGreen;
    m_setup.fogBlue = m_fogBlue;
    const bool depthTest = flags & kRasterDepthTest;
    const bool depthWrite = flags & kRasterDepthWrite;
    // The alpha-write flag is already clear when there is no alpha plane.
    const bool plain = (flags & kRasterColorWrite) && !(flags & kRasterAlphaWrite) && depthTest;
    SpanFamily family;
    if (!(flags & kRasterTextured)) {
        family = SpanFamily::General;
        if (plain && m_alphaThreshold == 0) {
            if (!depthWrite && m_blending == kBlendAlpha)
                family = SpanFamily::BlendAlpha;
            else if (depthWrite && m_blending == kBlendReplace)
                family = flags & kRasterShaded ? SpanFamily::Shaded : SpanFamily::Flat;
        }
    } else {
        family = SpanFamily::TexturedGeneral;
        const SkwRasterTexture& tex = m_units[0];
        const bool single = plain && unitInUse(0) && !unitInUse(1) && tex.log2Width >= 0 && !(flags & kRasterFog) &&
                            tex.wrap == 0;
        if (single && (tex.format == kRasterFormatRgb || tex.format == kRasterFormatRgba) &&
            m_blending == kBlendReplace && depthWrite) {
            // The replace span tests only a texel's alpha; an RGB texel takes
            // the vertex's, which only the general routine tests.
            const bool alphaTested = m_alphaThreshold != 0 && tex.format == kRasterFormatRgb && !white;
            if ((tex.function == kFuncReplace && !alphaTested) || (tex.function == kFuncModulate && white))
                family = SpanFamily::TexReplace;
            else if (tex.function == kFuncModulate)
                family = SpanFamily::TexModulate;
        } else if (single && (tex.format == kRasterFormatRgb || tex.format == kRasterFormatRgba) &&
                   m_blending == kBlendAlpha && tex.function == kFuncModulate) {
            family = SpanFamily::TexBlendAlpha;
        }
    }
    if (m_generalSpansOnly)
        family = flags & kRasterTextured ? SpanFamily::TexturedGeneral : SpanFamily::General;
    if (family == SpanFamily::Flat)
        prepareFlatColors(m_setup, m_vertices[0]->r, m_vertices[0]->g, m_vertices[0]->b);
    m_spanFamily = family;
    m_spanRoutine = selectSpanRoutine(family, m_setup);
    m_chosenFogStage = m_setup.fogStage;
    m_chosenFlags = flags;
    m_chosenWhite = white;
    m_routineChosen = true;
}

bool CkwRasterizerStandard::computeGradients()
{
    const SkwRasterVertex& v0 = *m_vertices[0];
    const SkwRasterVertex& v1 = *m_vertices[1];
    const SkwRasterVertex& v2 = *m_vertices[2];
    const int64_t dx0 = int64_t{v0.x} - v2.x, dx1 = int64_t{v1.x} - v2.x;
    const int64_t dy0 = int64_t{v0.y} - v2.y, dy1 = int64_t{v1.y} - v2.y;
    const int64_t inv = areaReciprocal(dy0 * dx1 - dy1 * dx0);
    const int64_t k = inv - (inv >> 9);
    const int64_t kx1 = (k * dy1) >> 16, kx0 = (k * dy0) >> 16;
    const int64_t ky1 = (-k * dx1) >> 16, ky0 = (-k * dx0) >> 16;
    // Per-pixel gradients are the sums below, four times too large, over 4;
    // spans take their low 32 bits.
    auto setAttribute = [&](int32_t attr, int64_t a0, int64_t a1, int64_t a2, int32_t bias) {
        const int64_t d0 = a2 - a0, d1 = a1 - a2;
        m_ddx[attr] = static_cast<int32_t>(mulAddShiftLow(d0, kx1, d1, kx0, 18));
        m_ddy[attr] = static_cast<int32_t>(mulAddShiftLow(d0, ky1, d1, ky0, 18));
        m_start[0][attr] = static_cast<uint32_t>(a0 + bias);
        m_start[1][attr] = static_cast<uint32_t>(a1 + bias);
        m_start[2][attr] = static_cast<uint32_t>(a2 + bias);
    };
    auto setConstant = [&](int32_t attr, int64_t value) {
        m_start[0][attr] = m_start[1][attr] = m_start[2][attr] = static_cast<uint32_t>(value);
        m_ddx[attr] = m_ddy[attr] = 0;
    };
    // The exact x gradient, four times too large, that perspective segments need.
    auto exactGradient4 = [&](const int64_t* a) { return mulAddShift(a[2] - a[0], kx1, a[1] - a[2], kx0, 16); };
    // Attributes the edge walk reads but the triangle does not use are zero.

    int32_t& flags = m_triangleFlags;
    const bool textured = flags & kRasterTextured;
    setAttribute(kZ, v0.z, v1.z, v2.z, 0);
    if (flags & kRasterShaded) {
        setAttribute(kRed, limitColor(v0.r, textured), limitColor(v1.r, textured), limitColor(v2.r, textured), 128);
        setAttribute(kGreen, limitColor(v0.g, textured), limitColor(v1.g, textured), limitColor(v2.g, textured),
                     128);
        setAttribute(kBlue, limitColor(v0.b, textured), limitColor(v1.b, textured), limitColor(v2.b, textured), 128);
        if (v0.alpha == v1.alpha && v0.alpha == v2.alpha) {
            setConstant(kAlpha, v0.alpha * 257 + 128);
        } else {
            auto alpha = [](int32_t a) { return a * 257 + ((a * 257) >> 15); };
            setAttribute(kAlpha, alpha(v0.alpha), alpha(v1.alpha), alpha(v2.alpha), 128);
            // The edge walk starts alpha from a x 257 with the gradients above.
            for (int32_t i = 0; i < 3; ++i)
                m_start[i][kAlpha] = m_vertices[i]->alpha * 257 + 128;
        }
    } else {
        setConstant(kRed, limitColor(v0.r, textured));
        setConstant(kGreen, limitColor(v0.g, textured));
        setConstant(kBlue, limitColor(v0.b, textured));
        setConstant(kAlpha, v0.alpha * 257 + (v0.alpha >> 7));
    }
    if (flags & kRasterFog) {
        if (v0.fog == 0 && v1.fog == 0 && v2.fog == 0)
            flags &= ~kRasterFog;
        else
            setAttribute(kFogAmount, v0.fog * 257, v1.fog * 257, v2.fog * 257, 128);
    }
    if (!(flags & kRasterFog))
        setConstant(kFogAmount, 0);
    m_span.dzdx = m_ddx[kZ];
    m_span.drdx = m_ddx[kRed];
    m_span.dgdx = m_ddx[kGreen];
    m_span.dbdx = m_ddx[kBlue];
    m_span.dadx = m_ddx[kAlpha];
    m_span.dfogdx = m_ddx[kFogAmount];
    if (!textured)
        return true;

    const int32_t zmax = std::max({v0.z, v1.z, v2.z});
    for (int32_t u = 0; u < m_textureCount; ++u) {
        const int32_t sa = u * kUnitStride + kUnitS, ta = sa + 1, qa = sa + 2;
        if (!unitInUse(u)) {
            for (int32_t attr : {qa, sa, ta})
                setConstant(attr, 0);
            continue;
        }
        SkwSpanUnit& span = m_span.unit[u];
        if (flags & kRasterAffine) {
            setConstant(qa, 0);
            setAttribute(sa, int64_t{v0.tex[u].s} << 7, int64_t{v1.tex[u].s} << 7, int64_t{v2.tex[u].s} << 7, 0);
            setAttribute(ta, int64_t{v0.tex[u].t} << 7, int64_t{v1.tex[u].t} << 7, int64_t{v2.tex[u].t} << 7, 0);
            span.dsdx = m_ddx[sa];
            span.dtdx = m_ddx[ta];
            continue;
        }
        // Perspective weights must lie in front of the eye; a zero or negative
        // one has no reciprocal, so the triangle is dropped.
        int64_t q[3] = {v0.tex[u].q, v1.tex[u].q, v2.tex[u].q};
        if (q[0] <= 0 || q[1] <= 0 || q[2] <= 0)
            return false;
        // Normalised together by powers of two into 0x400000..0x800000.
        auto largest = [&] { return std::max({q[0], q[1], q[2]}); };
        while (largest() > 0x800000)
            for (int64_t& v : q)
                v >>= 1;
        while (largest() < 16384)
            for (int64_t& v : q)
                v *= 256;
        while (largest() < 0x400000)
            for (int64_t& v : q)
                v *= 2;
        int64_t sq[3], tq[3];
        for (int32_t i = 0; i < 3; ++i) {
            sq[i] = wrap32((q[i] * m_vertices[i]->tex[u].s) >> 16);
            tq[i] = wrap32((q[i] * m_vertices[i]->tex[u].t) >> 16);
        }
        setAttribute(qa, q[0], q[1], q[2], 0);
        setAttribute(sa, sq[0], sq[1], sq[2], 0);
        setAttribute(ta, tq[0], tq[1], tq[2], 0);
        const int64_t dqdx4 = exactGradient4(q), dsdx4 = exactGradient4(sq), dtdx4 = exactGradient4(tq);
        int64_t m = std::abs(mulAddShift(dqdx4, zmax, 0, 0, 31));
        if (m == 0)
            m = 1;
        const int32_t length =
            std::min(150, fixedReciprocal(static_cast<int32_t>(std::min<int64_t>(m, INT32_MAX)), 14) + 8);
        span.segLength = length;
        span.segQ = wrap32((length * dqdx4) >> 2);
        span.segS = wrap32((length * dsdx4) >> 2);
        span.segT = wrap32((length * dtdx4) >> 2);
        span.dqdx = m_ddx[qa];
        span.dsdx = m_ddx[sa];
        span.dtdx = m_ddx[ta];
    }
    return true;
}

void CkwRasterizerStandard::applyPolygonOffset()
{
    const int32_t units = static_cast<int16_t>((int64_t{m_offsetUnits} + 8) >> 4);
    int64_t offset = units;
    if (m_offsetFactor != 0) {
        const int64_t slope = std::abs(int64_t{m_ddy[kZ]}) + std::abs(int64_t{m_ddx[kZ]});
        // The slope term is rounded up to whole depth steps.
        offset += (mulAddShift(m_offsetFactor, slope, 0, 0, 16) + 4095) & ~int64_t{0xFFF};
    }
    // Kept inside the depth range so the 16-bit depth cannot wrap.
    for (int32_t i = 0; i < 3; ++i) {
        SkwRasterVertex& v = *m_vertices[i];
        v.z = static_cast<int32_t>(std::clamp<int64_t>(v.z + offset, 0, kMaxDepth));
        m_start[i][kZ] = static_cast<uint32_t>(v.z);
    }
}

// ---------------------------------------------------------------------------
// Edge walking.

template <int32_t First, int32_t Last>
void CkwRasterizerStandard::startEdge(Edge& edge, int32_t from, int32_t to)
{
    const SkwRasterVertex& a = *m_vertices[from];
    const SkwRasterVertex& b = *m_vertices[to];
    edge.lower = to;
    edge.endY = ceil4(b.y);
    edge.slope = (int64_t{edgeReciprocal(b.y - a.y)} * (int64_t{b.x} - a.x)) >> 8;
    edge.x = (int64_t{a.x} << 8) + 4095;
    // Down to the first scanline; without a branch, as vertices land
    // anywhere in their pixel.
    edge.x += (((16 - a.y) & 15) * edge.slope) >> 4;
    // From the vertex to the first covered pixel centre, in sixteenths.
    const int64_t ystep = ((a.y + 15) & ~15) - a.y;
    const int64_t xstep = (edge.x >> 12) * 16 - a.x;
    // Texture pre-steps in 16.16 pixels, biased by 1/32 pixel.
    const int64_t xpre = (xstep << 12) + 2048;
    const int64_t ypre = (ystep << 12) | 0x800;
    // Unused attributes hold zero values and gradients, so every attribute
    // takes the same branch-free path.
    const uint32_t* start = m_start[from];
    const uint32_t whole = static_cast<uint32_t>(edge.slope >> 12);
    constexpr int32_t kPlainLast = Last < kUnitS ? Last : kUnitS;
    for (int32_t i = First; i < kPlainLast; ++i)
        edge.value[i] = start[i] + mulAddShiftLow(m_ddy[i], ystep, m_ddx[i], xstep, 4);
    for (int32_t i = First > kUnitS ? First : kUnitS; i < Last; ++i)
        edge.value[i] = start[i] + mulAddShiftLow(m_ddx[i], xpre, m_ddy[i], ypre, 16);
    for (int32_t i = First; i < Last; ++i) {
        const uint32_t step = static_cast<uint32_t>(m_ddy[i]) + whole * static_cast<uint32_t>(m_ddx[i]);
        edge.step[i] = step;
        edge.carryStep[i] = step + static_cast<uint32_t>(m_ddx[i]);
    }
}

template <int32_t First, int32_t Last>
void CkwRasterizerStandard::stepEdge(Edge& edge)
{
    const int64_t before = edge.x >> 12;
    edge.x += edge.slope;
    const bool carry = (edge.x >> 12) - before != edge.slope >> 12;
    // A copy the values cannot alias lets the adds go several at a time.
    uint32_t step[Last - First + 1];
    std::memcpy(step, (carry ? edge.carryStep : edge.step) + First, sizeof(uint32_t) * (Last - First));
    for (int32_t i = First; i < Last; ++i)
        edge.value[i] += step[i - First];
}

void CkwRasterizerStandard::walkEdges()
{
    const bool textured = m_triangleFlags & kRasterTextured;
    const int32_t units = textured ? m_textureCount : 0;
    // Only perspective spans need the right end's q, s and t.
    const bool perspective = textured && !(m_triangleFlags & kRasterAffine);
    // Affine spans take no q, the last of a unit's three.
    constexpr int32_t kOne = kUnitS + kUnitStride, kTwo = kUnitS + 2 * kUnitStride;
    if (units == 0)
        walkEdgesFor<kUnitS, kUnitS>();
    else if (units == 1)
        perspective ? walkEdgesFor<kOne, kOne>() : walkEdgesFor<kOne - 1, kUnitS>();
    else
        perspective ? walkEdgesFor<kTwo, kTwo>() : walkEdgesFor<kTwo - 1, kUnitS>();
}

template <int32_t LeftLast, int32_t RightLast>
void CkwRasterizerStandard::walkEdgesFor()
{
    auto next = [](int32_t i) { return i == 2 ? 0 : i + 1; };
    auto prev = [](int32_t i) { return i == 0 ? 2 : i - 1; };

    // startEdge fills what the walk reads; zeroing both edges per triangle
    // would cost more than small triangles take to fill.
    Edge left;
    Edge right;
    startEdge<0, LeftLast>(left, m_topVertex, next(m_topVertex));
    startEdge<kUnitS, RightLast>(right, m_topVertex, prev(m_topVertex));
    int32_t leftEdges = 1;
    int32_t rightEdges = 1;

    // Locals: the span routine sees this object's members, so the compiler
    // would reload any member it reads after each call.
    const int32_t width = m_width, height = m_height, pitch = m_pitch, alphaPitch = m_alphaPitch;
    const SpanRoutine routine = m_spanRoutine;
    auto* const colorBase = reinterpret_cast<uint8_t*>(m_colorBuffer);
    uint16_t* const depthBase = m_depthBuffer;
    uint8_t* const alphaBase = m_alphaPlane;
    ptrdiff_t colorOffset = ptrdiff_t{m_ytop} * pitch;
    ptrdiff_t depthOffset = ptrdiff_t{m_ytop} * width;
    ptrdiff_t alphaOffset = ptrdiff_t{m_ytop} * alphaPitch;
    for (int32_t y = m_ytop, bottom = m_ybottom; y < bottom; ++y) {
        // Edges whose lower vertex shares the upper one's scanline are skipped.
        while (y == left.endY) {
            if (++leftEdges > 3)
                return;
            startEdge<0, LeftLast>(left, left.lower, next(left.lower));
        }
        while (y == right.endY) {
            if (++rightEdges > 3)
                return;
            startEdge<kUnitS, RightLast>(right, right.lower, prev(right.lower));
        }
        if (y >= 0 && y < height) {
            const int64_t xl = left.x >> 12;
            const int64_t xr = right.x >> 12;
            // Seen from the top vertex the next vertex must lie on the left.
            if (xl > xr)
                return;
            if (xl < xr && xl < width && xr > 0) {
                SkwSpan& span = m_span;
                span.y = y;
                span.left = static_cast<int32_t>(std::max<int64_t>(xl, INT32_MIN));
                span.right = static_cast<int32_t>(std::min<int64_t>(xr, INT32_MAX));
                span.colorRow = reinterpret_cast<uint16_t*>(colorBase + colorOffset);
                span.depthRow = depthBase ? depthBase + depthOffset : nullptr;
                span.alphaRow = alphaBase ? alphaBase + alphaOffset : nullptr;
                span.z = static_cast<int32_t>(left.value[kZ]);
                span.r = static_cast<int32_t>(left.value[kRed]);
                span.g = static_cast<int32_t>(left.value[kGreen]);
                span.b = static_cast<int32_t>(left.value[kBlue]);
                span.a = static_cast<int32_t>(left.value[kAlpha]);
                span.fog = static_cast<int32_t>(left.value[kFogAmount]);
                for (int32_t base = kUnitS, u = 0; base < LeftLast; base += kUnitStride, ++u) {
                    span.unit[u].s = static_cast<int32_t>(left.value[base]);
                    span.unit[u].t = static_cast<int32_t>(left.value[base + 1]);
                    span.unit[u].q = base + 2 < LeftLast ? static_cast<int32_t>(left.value[base + 2]) : 0;
                }
                for (int32_t base = kUnitS, u = 0; base < RightLast; base += kUnitStride, ++u) {
                    span.unit[u].sRight = static_cast<int32_t>(right.value[base]);
                    span.unit[u].tRight = static_cast<int32_t>(right.value[base + 1]);
                    span.unit[u].qRight = static_cast<int32_t>(right.value[base + 2]);
                }
                if (xl >= 0 && xr <= width)
                    routine(m_setup, span);
                else
                    clipAndDrawSpan();
            }
        }
        stepEdge<0, LeftLast>(left);
        stepEdge<kUnitS, RightLast>(right);
        colorOffset += pitch;
        depthOffset += width;
        alphaOffset += alphaPitch;
    }
}

void CkwRasterizerStandard::clipAndDrawSpan()
{
    SkwSpan span = m_span;
    auto advance = [](int32_t& value, int32_t step, int64_t n) { value = wrap32(value + step * n); };
    if (span.left < 0) {
        const int64_t n = -int64_t{span.left};
        advance(span.z, span.dzdx, n);
        advance(span.r, span.drdx, n);
        advance(span.g, span.dgdx, n);
        advance(span.b, span.dbdx, n);
        advance(span.a, span.dadx, n);
        advance(span.fog, span.dfogdx, n);
        for (SkwSpanUnit& u : span.unit) {
            advance(u.q, u.dqdx, n);
            advance(u.s, u.dsdx, n);
            advance(u.t, u.dtdx, n);
        }
        span.left = 0;
    }
    if (span.right > m_width) {
        const int64_t n = -(int64_t{span.right} - m_width);
        for (SkwSpanUnit& u : span.unit) {
            advance(u.qRight, u.dqdx, n);
            advance(u.sRight, u.dsdx, n);
            advance(u.tRight, u.dtdx, n);
        }
        span.right = m_width;
    }
    m_spanRoutine(m_setup, span);
}

// ---------------------------------------------------------------------------
// Quads, rectangles, blits.

void CkwRasterizerStandard::drawQuad(bool scaled, SkwRasterVertex* a, SkwRasterVertex* b, SkwRasterVertex* c,
                                     SkwRasterVertex* d)
{
    if (texturedQuad(scaled, a, b, c))
        return;
    drawTriangle(a, b, c);
    drawTriangle(c, b, d);
}

bool CkwRasterizerStandard::texturedQuad(bool scaled, const SkwRasterVertex* a, const SkwRasterVertex* b,
                                         const SkwRasterVertex* c)
{
    if (!m_colorBuffer || unitInUse(0) == unitInUse(1))
        return false;
    const int32_t unit = unitInUse(0) ? 0 : 1;
    const SkwRasterTexture& tex = m_units[unit];
    int32_t flags = m_stateFlags;
    if (!m_depthBuffer)
        flags &= ~(kRasterDepthTest | kRasterDepthWrite);
    const bool depth = flags & kRasterDepthTest;
    if (a->alpha != 255 || (m_alphaPlane && (flags & kRasterAlphaWrite)) || tex.function != kFuncReplace ||
        m_blending != kBlendReplace || !(flags & kRasterColorWrite) || (flags & kRasterFog) ||
        depth != static_cast<bool>(flags & kRasterDepthWrite) || !tex.indexData ||
        (tex.format != kRasterFormatRgb && tex.format != kRasterFormatRgba))
        return false;
    const int32_t left = ceil4(a->x);
    const int32_t top = ceil4(a->y);
    const int32_t w = (c->x - a->x) >> 4;
    const int32_t h = (b->y - a->y) >> 4;
    if (w < 1 || h < 1)
        return true;
    // The fast path does not clip: a quad reaching outside the target goes
    // to the triangles, which do.
    if (left < 0 || top < 0 || left > m_width - w || top > m_height - h)
        return false;

    const int32_t texW = tex.width, texH = tex.height;
    const int64_t s = int64_t{texW} * a->tex[unit].s;
    const int64_t t = int64_t{texH} * a->tex[unit].t;
    const int64_t ds = int64_t{c->tex[unit].s} - a->tex[unit].s;
    const int64_t dt = int64_t{b->tex[unit].t} - a->tex[unit].t;
    const bool alphaTest = tex.format == kRasterFormatRgba;
    const uint16_t zq = static_cast<uint16_t>(a->z >> 12);
    auto* colorBase = reinterpret_cast<uint8_t*>(m_colorBuffer);
    // Rows and columns are clamped: sprites of any size and crop reach here.
    // The texel row is found once a row; columns step in 16.16.
    auto drawRow = [&](int32_t y, int64_t texRow, int64_t col, int64_t colStep, int32_t count) {
        const uint8_t* indices = tex.indexData + std::clamp<int64_t>(texRow, 0, texH - 1) * texW;
        uint16_t* color = reinterpret_cast<uint16_t*>(colorBase + ptrdiff_t{y} * m_pitch) + left;
        uint16_t* depthRow = depth ? m_depthBuffer + ptrdiff_t{y} * m_width + left : nullptr;
        for (int32_t i = 0; i < count; ++i, col += colStep) {
            const uint8_t index = indices[std::clamp<int64_t>(col >> 16, 0, texW - 1)];
            if (alphaTest && (tex.alphaData ? tex.alphaData[index] : 255) < m_alphaThreshold)
                continue;
            if (depth) {
                if (zq > depthRow[i])
                    continue;
                depthRow[i] = zq;
            }
            color[i] = tex.colorData[index];
        }
    };
    if (!scaled) {
        const int32_t dirS = ds < 0 ? -1 : 1;
        const int32_t dirT = dt < 0 ? -1 : 1;
        const int32_t cols = std::min(texW, w), rows = std::min(texH, h);
        for (int32_t j = 0; j < rows; ++j)
            drawRow(top + j, (t >> 16) + j * dirT, (s >> 16) * 65536, int64_t{dirS} * 65536, cols);
        return true;
    }
    auto clamp32 = [](int64_t v) { return static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX)); };
    const int64_t colStep = safeDivide(clamp32(int64_t{texW} * ds), w);
    const int64_t rowStep = safeDivide(clamp32(int64_t{texH} * dt), h);
    int64_t tt = t;
    for (int32_t j = 0; j < h; ++j, tt += rowStep)
        drawRow(top + j, tt >> 16, s, colStep, w);
    return true;
}

namespace {

// Cuts a rectangle to the target; false when nothing is left.
bool clipRect(int32_t& x, int32_t& y, int32_t& w, int32_t& h, int32_t width, int32_t height)
{
    if (x < 0) {
        w = x < -w ? 0 : w + x;
        x = 0;
    }
    if (y < 0) {
        h = y < -h ? 0 : h + y;
        y = 0;
    }
    if (x >= width || y >= height || w < 1 || h < 1)
        return false;
    w = std::min(w, width - x);
    h = std::min(h, height - y);
    return true;
}

} // namespace

void CkwRasterizerStandard::fillRect(int32_t x, int32_t y, int32_t w, int32_t h, uint16_t color565, uint8_t alpha)
{
    if (!m_colorBuffer || !clipRect(x, y, w, h, m_width, m_height))
        return;
    auto* colorBase = reinterpret_cast<uint8_t*>(m_colorBuffer);
    for (int32_t j = y; j < y + h; ++j) {
        uint16_t* row = reinterpret_cast<uint16_t*>(colorBase + ptrdiff_t{j} * m_pitch) + x;
        std::fill(row, row + w, color565);
        if (m_alphaPlane)
            std::fill_n(m_alphaPlane + ptrdiff_t{j} * m_alphaPitch + x, w, alpha);
    }
}

void CkwRasterizerStandard::blitImage(int32_t x, int32_t y, int32_t w, int32_t h, int32_t s0, int32_t t0, int32_t ds,
                                      int32_t dt)
{
    const SkwRasterTexture& tex = m_units[0];
    if (!m_colorBuffer || !tex.colorData || !clipRect(x, y, w, h, m_width, m_height))
        return;
    const int64_t sEnd = int64_t{tex.width} << 16;
    const int64_t tEnd = int64_t{tex.height} << 16;
    // Locals, as the alpha plane's byte stores could otherwise alias them;
    // each mix of palette and alpha plane gets its own loop.
    const int32_t texW = tex.width, texH = tex.height;
    const uint8_t* indexData = tex.indexData;
    const uint16_t* colorData = tex.colorData;
    const uint8_t* alphaData = tex.alphaData;
    auto* colorBase = reinterpret_cast<uint8_t*>(m_colorBuffer);
    auto rows = [&](auto palette, auto withAlpha) {
        int64_t t = t0;
        for (int32_t j = y; j < y + h; ++j) {
            uint16_t* color = reinterpret_cast<uint16_t*>(colorBase + ptrdiff_t{j} * m_pitch);
            uint8_t* alpha = withAlpha ? m_alphaPlane + ptrdiff_t{j} * m_alphaPitch : nullptr;
            // One wrap per step; clamping keeps reads inside for any start or step.
            const int64_t rowStart = std::clamp<int64_t>(t >> 16, 0, texH - 1) * texW;
            int64_t s = s0;
            for (int32_t i = x; i < x + w; ++i) {
                int64_t texel = rowStart + std::clamp<int64_t>(s >> 16, 0, texW - 1);
                if constexpr (decltype(palette)::value)
                    texel = indexData[texel];
                color[i] = colorData[texel];
                if constexpr (decltype(withAlpha)::value)
                    alpha[i] = alphaData ? alphaData[texel] : 255;
                s += ds;
                if (s >= sEnd)
                    s -= sEnd;
            }
            t += dt;
            if (t >= tEnd)
                t -= tEnd;
        }
    };
    const bool withAlpha = m_alphaPlane != nullptr;
    if (indexData)
        withAlpha ? rows(std::true_type{}, std::true_type{}) : rows(std::true_type{}, std::false_type{});
    else
        withAlpha ? rows(std::false_type{}, std::true_type{}) : rows(std::false_type{}, std::false_type{});
}
