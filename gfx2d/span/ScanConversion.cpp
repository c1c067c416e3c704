// Set-up: the drawing context's textured quads and vertex runs become
// vertex records from the raster state's pool, transformed, projected and
// handed to the polygon function; segments are filled as the rectangles that
// bound them after clipping. Also the span binding.
#include "gfx2d/span/ScanConversion.h"

#include <algorithm>
#include <cstring>

#include "gfx2d/image/PixelFormat.h"
#include "gfx2d/raster/RasterMath.h"
#include "gfx2d/span/ScanInternal.h"
#include "gfx2d/span/SpanIds.h"

void setClipRectangle(RasterState& state, int32_t x0, int32_t y0, int32_t x1, int32_t y1)
{
    RasterStateBlock& s = state.block();
    s.scissorx0 = x0, s.scissory0 = y0, s.scissorx1 = x1, s.scissory1 = y1;
    s.ccx0 = static_cast<Fixed>(static_cast<uint32_t>(x0) << 16);
    s.ccy0 = static_cast<Fixed>(static_cast<uint32_t>(y0) << 16);
    s.ccx1 = static_cast<Fixed>(static_cast<uint32_t>(x1) << 16);
    s.ccy1 = static_cast<Fixed>(static_cast<uint32_t>(y1) << 16);
}

void setOneToOneMapping(RasterState& state)
{
    RasterStateBlock& s = state.block();
    s.viewportMappingMode = 1;
    s.cfx0 = s.cfy0 = 0;
    s.cfx1 = s.cfy1 = kFixedOne;
}

void ScanConverter::bindNativeSpan(NativeSpan span, int32_t interpolants, int32_t driverKind,
                                   int32_t depthInterpolant)
{
    SpanBinding b;
    b.interpolants = interpolants;
    b.driverKind = driverKind;
    b.depthInterpolant = depthInterpolant;
    bindNativeSpan(span, b);
}

void ScanConverter::bindNativeSpan(NativeSpan span, SpanBinding binding)
{
    m_native = span;
    binding.interpolants = std::clamp(binding.interpolants, 0, kSpanMaxInterpolants);
    if (span)
        m_rs.bindHostSpan(binding);
    else
        m_rs.bindSpanProgram(nullptr);
}

int32_t ScanConverter::interpolants() const
{
    return std::clamp(m_rs.spanBinding().interpolants, 0, kSpanMaxInterpolants);
}

int32_t ScanConverter::edgeValues() const
{
    // The edge arrays end kSpanMaxInterpolants words past the fixed ones.
    const int32_t n = interpolants();
    return n + std::clamp(m_rs.spanBinding().extraPrestep, 0, kSpanMaxInterpolants - n);
}

Fixed* ScanConverter::reserve(uint32_t vertices)
{
    return m_rs.reservePool(static_cast<uint64_t>(vertices) * recordWords());
}

void ScanConverter::takeScissor()
{
    const RasterStateBlock& s = m_rs.block();
    m_scissor[0] = s.scissorx0, m_scissor[1] = s.scissory0, m_scissor[2] = s.scissorx1, m_scissor[3] = s.scissory1;
}

bool ScanConverter::ready()
{
    if (m_rs.spanBinding().native ? !m_native : !m_rs.spanCode())
        return false;
    if (!m_rs.tables())
        return false;
    m_rs.prepareForSpans();
    takeScissor();
    m_program = m_given;
    m_stopped = false;
    return true;
}

ScanConverter::WidePoint ScanConverter::project2D(Fixed* v, bool flipY, int32_t atX, int32_t atY) const
{
    const MatrixStack2D& st = m_rs.block().matrix2D;
    const Fixed* m = st.entries[std::clamp<int32_t>(st.count, 1, kMatrixStackDepth) - 1];
    // The device's wrapping sums, without the wrap: a far corner stays far,
    // held within 2^61 so that the cut's differences of two corners, flipped
    // or not, stay within 64 bits.
    auto row = [&](const Fixed* r, Fixed t) {
        constexpr __int128 kFar = __int128{1} << 61;
        const __int128 sum = ((int64_t{r[0]} * v[0]) >> 16) + ((int64_t{r[1]} * v[1]) >> 16) +
                             __int128{r[0]} * atX + __int128{r[1]} * atY + t;
        return static_cast<int64_t>(std::clamp(sum, -kFar, kFar));
    };
    WidePoint p{row(m, m[4]), row(m + 2, m[5])};
    if (flipY)
        p.y = (int64_t{m_rs.block().destheight} << 16) - p.y;
    v[kVertexOutX] = static_cast<Fixed>(std::clamp<int64_t>(p.x, INT32_MIN, INT32_MAX));
    v[kVertexOutY] = static_cast<Fixed>(std::clamp<int64_t>(p.y, INT32_MIN, INT32_MAX));
    v[kVertexOutW] = kFixedOne;
    m_rs.outcode2D(v);
    return p;
}

void ScanConverter::project3D(Fixed* v, uint32_t index, bool indexed)
{
    const RasterStateBlock& s = m_rs.block();
    const Fixed* m = stackTop(s.projectionStack);
    const bool orthographic = s.projection_matrix_mode == 1;
    if (indexed) {
        // Indexed positions take the 3x3 part alone; w follows the projection.
        Fixed t[3];
        transformVector(m, v, t);
        std::copy(t, t + 3, v + kVertexOutX);
        v[kVertexOutW] = orthographic ? v[kVertexInW] : wrapSub(0, v[kVertexOutZ]);
    } else {
        transformVertex4(m, v, orthographic);
    }
    m_rs.outcode3D(v);
    if (m_attribute)
        m_attribute(m_attributeContext, v, index);
}

void ScanConverter::fetch(const VertexBinding& binding, Fixed* v, uint32_t i) const
{
    fetchPipelineVertex(binding, v, i, m_rs.block());
    if (v[kVertexInW] == 0)
        v[kVertexInW] = kFixedOne;
}

bool ScanConverter::fetchRun(const VertexBinding& binding, uint32_t first, uint32_t n, bool projected, bool flipY,
                             Fixed** list, WidePoint* at, const uint16_t* indices)
{
    Fixed* rec = reserve(n);
    if (!rec)
        return false;
    for (uint32_t i = 0; i < n; ++i) {
        const uint32_t index = indices ? indices[first + i] : first + i;
        list[i] = rec + i * recordWords();
        fetch(binding, list[i], index);
        if (projected)
            project3D(list[i], index, indices != nullptr);
        else
            at[i] = project2D(list[i], flipY);
    }
    return true;
}

void ScanConverter::mapToScreen(Fixed* v, bool mapped) const
{
    const RasterStateBlock& s = m_rs.block();
    if (!mapped) {
        v[kVertexScreenX] = v[kVertexOutX];
        v[kVertexScreenY] = v[kVertexOutY];
        return;
    }
    if (s.viewportMappingMode) {
        v[kVertexScreenX] = wrapAdd(s.cfx0, fixMul(v[kVertexOutX], s.cfx1));
        v[kVertexScreenY] = wrapAdd(s.cfy0, fixMul(v[kVertexOutY], s.cfy1));
        return;
    }
    const Reciprocal q = reciprocalScale(*m_rs.tables(), v[kVertexOutW]);
    v[kVertexScreenX] = wrapAdd(s.cfx0, fixMul(reciprocalApply(v[kVertexOutX], q), s.cfx1));
    v[kVertexScreenY] = wrapAdd(s.cfy0, fixMul(reciprocalApply(v[kVertexOutY], q), s.cfy1));
    const Fixed qz = reciprocalApply(s.cfz1, q);
    const Fixed depth = s.projection_matrix_mode == 1 ? wrapSub(s.cfz0, fixMul(v[kVertexOutZ], qz))
                                                      : wrapAdd(s.cfz0, fixMul(v[kVertexInW], qz));
    v[kVertexDepth] = depth;
    const int32_t n = interpolants();
    const SpanBinding& binding = m_rs.spanBinding();
    if (binding.depthInterpolant >= 0 && binding.depthInterpolant < n)
        v[kVertexInterpolants + binding.depthInterpolant] = depth;
    for (int32_t k = 0; k < n; ++k)
        if (binding.perspectiveMask & (1 << k))
            v[kVertexInterpolants + k] = mulShift(v[kVertexInterpolants + k], wrapSub(depth, s.depthrange_n),
                                                  kPerspectiveShift);
}

void ScanConverter::drawTexturedQuad(Fixed w, Fixed h, const Fixed* u, const Fixed* v, bool flipY, int32_t atX,
                                     int32_t atY)
{
    if (!ready())
        return;
    Fixed* rec = reserve(4);
    if (!rec)
        return;
    // The quad's modes are its own: the next set-up finds them as they were.
    RasterStateBlock& s = m_rs.block();
    const uint8_t whole = s.wholePolygonMode, mapping = s.viewportMappingMode;
    s.wholePolygonMode = s.viewportMappingMode = 1;
    const Fixed xs[4] = {0, 0, w, w}, ys[4] = {0, h, h, 0};
    const uint32_t words = recordWords();
    const int32_t n = interpolants();
    Fixed* list[kPolygonMaxVertices];
    WidePoint at[kPolygonMaxVertices];
    for (uint32_t i = 0; i < 4; ++i) {
        Fixed* c = rec + i * words;
        c[0] = xs[i];
        c[1] = ys[i];
        c[kVertexInW] = kFixedOne;
        at[i] = project2D(c, flipY, atX, atY);
        if (n > static_cast<int32_t>(kSpanInterpolantV)) {
            c[kVertexInterpolants + kSpanInterpolantU] = u[i];
            c[kVertexInterpolants + kSpanInterpolantV] = v[i];
        }
        list[i] = c;
    }
    drawList2D(list, at, 4);
    s.wholePolygonMode = whole;
    s.viewportMappingMode = mapping;
}

void ScanConverter::drawPolygon(const VertexBinding& binding, uint32_t first, uint32_t count, bool flipY)
{
    // A polygon list holds 15 vertices: longer runs are refused.
    if (count < 3 || count > kPolygonMaxVertices || !ready())
        return;
    Fixed* list[kPolygonMaxVertices];
    WidePoint at[kPolygonMaxVertices];
    if (fetchRun(binding, first, count, false, flipY, list, at))
        drawList2D(list, at, count);
}

void ScanConverter::drawRectangles(const VertexBinding& binding, uint32_t first, uint32_t count, bool flipY)
{
    if (!ready())
        return;
    const uint32_t words = recordWords();
    const uint32_t mark = m_rs.poolUsed();
    for (uint32_t k = 0; k + 1 < count; k += 2) {
        Fixed* rec = reserve(4);
        if (!rec)
            return;
        Fixed* c[4] = {rec, rec + words, rec + 2 * words, rec + 3 * words};
        fetch(binding, c[1], first + k);
        fetch(binding, c[2], first + k + 1);
        std::memcpy(c[0], c[1], words * 4);
        std::memcpy(c[3], c[2], words * 4);
        c[0][1] = c[2][1];
        c[3][1] = c[1][1];
        Fixed* list[kPolygonMaxVertices] = {c[0], c[1], c[3], c[2]};
        WidePoint at[kPolygonMaxVertices];
        for (uint32_t i = 0; i < 4; ++i)
            at[i] = project2D(list[i], flipY);
        drawList2D(list, at, 4);
        // A drawn rectangle needs its records no more.
        m_rs.rewindPool(mark);
    }
}

void ScanConverter::fillSegment(Fixed* a, Fixed* b, FillRoutine fill, bool projected)
{
    const RasterStateBlock& s = m_rs.block();
    const uint32_t codeA = static_cast<uint32_t>(a[kVertexOutcode]), codeB = static_cast<uint32_t>(b[kVertexOutcode]);
    if (codeA & codeB & kOutcodeAll)
        return;
    const uint32_t any = codeA | codeB;
    if (projected && (any & kOutcodeZ) && !clipSegment(a, b, kVertexOutZ, kVertexInW, s.ccz0, s.ccz1))
        return;
    if ((any & kOutcodeX) && !clipSegment(a, b, kVertexOutX, kVertexOutW, s.ccx0, s.ccx1))
        return;
    if ((any & kOutcodeY) && !clipSegment(a, b, kVertexOutY, kVertexOutW, s.ccy0, s.ccy1))
        return;
    mapToScreen(a, true);
    mapToScreen(b, true);
    const bool wide = m_rs.targetFormat() == PixelFormat::X8R8G8B8;
    if (!fill || (!wide && m_rs.targetFormat() != PixelFormat::R5G6B5))
        return;
    const int32_t bpp = wide ? 4 : 2;
    auto ordered = [](int32_t p, int32_t q) { return std::pair{std::min(p, q), std::max(p, q)}; };
    const auto [xa, xb] = ordered(a[kVertexScreenX] >> 16, b[kVertexScreenX] >> 16);
    const auto [ya, yb] = ordered(firstRow(a[kVertexScreenY]) - 1, firstRow(b[kVertexScreenY]) - 1);
    const int32_t x0 = std::max(xa, s.scissorx0), x1 = std::min(xb, wrapSub(s.scissorx1, 1));
    const int32_t y0 = std::max(ya, s.scissory0), y1 = std::min(yb, wrapSub(s.scissory1, 1));
    if (x0 > x1 || y0 > y1)
        return;
    const int32_t width = x1 - x0 + 1, height = y1 - y0 + 1;
    const uint32_t stride = static_cast<uint32_t>(s.deststride);
    const uint32_t start = s.destbase + static_cast<uint32_t>(y0) * stride + static_cast<uint32_t>(x0 * bpp);
    // The whole rectangle must lie in the plane before the routine gets it;
    // its extent in 64 bits, as a stride a span stored could wrap 32.
    const uint64_t extent = static_cast<uint64_t>(height - 1) * stride + static_cast<uint64_t>(width) * bpp;
    uint8_t* p = extent <= kSpanBlockLimit ? m_rs.addressSpace().writable(start, static_cast<uint32_t>(extent))
                                           : nullptr;
    if (p)
        fill(p, static_cast<int32_t>(stride), flatColourWord(s), width, height);
}

void ScanConverter::segments(const VertexBinding& binding, uint32_t first, uint32_t count, FillRoutine fill,
                             bool projected, bool flipY)
{
    if (!m_rs.tables())
        return;
    const uint32_t mark = m_rs.poolUsed();
    for (uint32_t k = 0; k + 1 < count; k += 2) {
        Fixed* ends[2];
        WidePoint at[2];
        if (!fetchRun(binding, first + k, 2, projected, flipY, ends, at))
            return;
        if (projected || cutWideSegment(ends, at))
            fillSegment(ends[0], ends[1], fill, projected);
        // A filled segment needs its records no more.
        m_rs.rewindPool(mark);
    }
}

void ScanConverter::drawSegments(const VertexBinding& binding, uint32_t first, uint32_t count, FillRoutine fill,
                                 bool flipY)
{
    segments(binding, first, count, fill, false, flipY);
}
