// Set-up, clipping and the two scanline drivers. Rows and pixels are sampled
// at their centres and every edge covers a half-open range on both axes, so
// polygons that share an edge never draw a pixel twice nor leave a gap.
#include "gfx2d/span/ScanConversion.h"

#include <algorithm>
#include <cstring>

#include "gfx2d/image/PixelFormat.h"
#include "gfx2d/raster/RasterMath.h"
#include "gfx2d/raster/UnalignedAccess.h"
#include "gfx2d/span/ArmInterpreter.h"
#include "gfx2d/span/SpanIds.h"

namespace {

constexpr uint32_t kOutcodeX = 0x3, kOutcodeY = 0xC, kOutcodeZ = 0x30, kOutcodeAll = 0x3F;
constexpr int kPerspectiveShift = 20;
constexpr int32_t kHalf = 0x8000;

inline int32_t firstRow(Fixed y) { return static_cast<int32_t>((static_cast<int64_t>(y) + 0x7FFF) >> 16); }

inline Fixed bound(Fixed w, Fixed b) { return static_cast<Fixed>((static_cast<int64_t>(w) * b) >> 16); }

// One side of a clip bound: keep coordinate < w * bound for an upper bound,
// coordinate >= w * bound for a lower one. Distances are exact in 64 bits.
struct ClipPlane {
    int coordinate, wWord;
    Fixed limit;
    bool upper;
    int64_t distance(const Fixed* v) const
    {
        const int64_t edge = bound(v[wWord], limit);
        return upper ? edge - v[coordinate] : v[coordinate] - edge;
    }
    bool inside(int64_t d) const { return upper ? d > 0 : d >= 0; }
};

// n / d rounded to nearest, halves away from zero.
inline int64_t divideRounded(__int128 n, __int128 d)
{
    if (d < 0)
        n = -n, d = -d;
    return static_cast<int64_t>(n >= 0 ? (n + d / 2) / d : -((-n + d / 2) / d));
}

// The point where a-b crosses a plane at signed distances da and db (of
// opposite sides): words 3-7 and the interpolants a + (b - a) * da / (da - db),
// exact to the last bit. The reciprocal table's 16-bit t would put the
// crossing of a 30,000-pixel edge a pixel or more astray.
void crossing(Fixed* v, const Fixed* a, const Fixed* b, int64_t da, int64_t db, int words)
{
    const __int128 den = static_cast<__int128>(da) - db;
    auto at = [&](int w) {
        v[w] = static_cast<Fixed>(a[w] + divideRounded(static_cast<__int128>(static_cast<int64_t>(b[w]) - a[w]) * da, den));
    };
    for (int w = kVertexInW; w <= kVertexOutW; ++w)
        at(w);
    for (int w = kVertexInterpolants; w < words; ++w)
        at(w);
}

// An edge's step: (b - a) / dy through the reciprocal table.
inline Fixed stepOf(Fixed a, Fixed b, Reciprocal q)
{
    const int64_t d = static_cast<int64_t>(b) - a;
    return static_cast<Fixed>((d * q.r) >> q.shift);
}

uint32_t flatColourWord(const RasterStateBlock& s)
{
    const uint8_t* c = s.flatColour;
    return static_cast<uint32_t>(c[0]) << 24 | static_cast<uint32_t>(c[1]) << 16 |
           static_cast<uint32_t>(c[2]) << 8 | c[3];
}

}  // namespace

struct ScanConverter::Edge {
    Fixed* values;  // le or re
    Fixed* steps;   // dl or dr
    uint32_t from, to;
    int32_t endRow;
};

void setClipRectangle(RasterState& state, int32_t x0, int32_t y0, int32_t x1, int32_t y1)
{
    RasterStateBlock& s = state.block();
    s.scissorx0 = x0, s.scissory0 = y0, s.scissorx1 = x1, s.scissory1 = y1;
    s.ccx0 = static_cast<Fixed>(static_cast<uint32_t>(x0) << 16);
    s.ccy0 = static_cast<Fixed>(static_cast<uint32_t>(y0) << 16);
    s.ccx1 = static_cast<Fixed>(static_cast<uint32_t>(x1) << 16);
    s.ccy1 = static_cast<Fixed>(static_cast<uint32_t>(y1) << 16);
}

void flatSpan(RasterState& state, uint32_t left, uint32_t right)
{
    const RasterStateBlock& s = state.block();
    const int32_t x0 = std::max(firstRow(static_cast<Fixed>(left)), s.scissorx0);
    const int32_t x1 = std::min(firstRow(static_cast<Fixed>(right)), s.scissorx1);
    if (x0 >= x1)
        return;
    const uint32_t count = static_cast<uint32_t>(x1 - x0);
    const bool wide = state.targetFormat() == PixelFormat::X8R8G8B8;
    if (!wide && state.targetFormat() != PixelFormat::R5G6B5)
        return;
    const uint32_t bpp = wide ? 4 : 2;
    const SpanAddressSpace& space = state.addressSpace();
    uint8_t* p = space.translate(s.destptr + static_cast<uint32_t>(x0) * bpp, count * bpp);
    if (!p)
        return;
    const uint32_t argb = flatColourWord(s);
    const uint32_t colour = wide ? 0xFF000000u | (argb & 0xFFFFFF) : rgb565(argb >> 16, argb >> 8, argb);
    uint8_t* z = (s.drawBytes[0] || s.drawBytes[1]) ? space.translate(s.zptr + static_cast<uint32_t>(x0) * 4, count * 4)
                                                    : nullptr;
    const Fixed dz = s.intdp[0];
    Fixed depth = wrapAdd(s.intp[0], wrapAdd(static_cast<Fixed>(static_cast<uint32_t>(x0) * static_cast<uint32_t>(dz)), dz >> 1));
    for (uint32_t i = 0; i < count; ++i, depth = wrapAdd(depth, dz)) {
        if (z) {
            const int32_t stored = loadUnaligned<int32_t>(z + 4 * i);
            if (s.drawBytes[0] && depth <= stored)
                continue;
            if (s.drawBytes[1])
                storeUnaligned<int32_t>(z + 4 * i, depth);
        }
        if (wide)
            storeUnaligned<uint32_t>(p + 4 * i, colour);
        else
            storeUnaligned<uint16_t>(p + 2 * i, static_cast<uint16_t>(colour));
    }
}

void ScanConverter::bindNativeSpan(NativeSpan span, int32_t interpolants, int32_t driverKind,
                                   int32_t depthInterpolant)
{
    m_native = span;
    SpanBinding b;
    b.interpolants = std::clamp(interpolants, 0, kSpanMaxInterpolants);
    b.driverKind = driverKind;
    b.depthInterpolant = depthInterpolant;
    if (span)
        m_rs.bindHostSpan(b);
    else
        m_rs.bindSpanProgram(nullptr);
}

int32_t ScanConverter::interpolants() const
{
    return std::clamp(m_rs.spanBinding().interpolants, 0, kSpanMaxInterpolants);
}

Fixed* ScanConverter::reserve(uint32_t vertices)
{
    return m_rs.reservePool(static_cast<uint64_t>(vertices) * recordWords());
}

bool ScanConverter::ready()
{
    if (m_rs.spanBinding().native ? !m_native : !m_rs.spanCode())
        return false;
    if (!m_rs.tables())
        return false;
    m_rs.refreshTextureUnits();
    m_program = nullptr;
    // The draw's allowance from the clip rectangle the host set for it.
    const RasterStateBlock& s = m_rs.block();
    const int64_t w = std::clamp<int64_t>(static_cast<int64_t>(s.scissorx1) - s.scissorx0, 0, kDrawSideLimit);
    const int64_t h = std::clamp<int64_t>(static_cast<int64_t>(s.scissory1) - s.scissory0, 0, kDrawSideLimit);
    m_drawLeft = kDrawWordsBase + kDrawWordsPerPixel * static_cast<uint64_t>(w * h);
    m_stopped = false;
    return true;
}

void ScanConverter::project2D(Fixed* v, bool flipY) const
{
    const MatrixStack2D& st = m_rs.block().matrix2D;
    const int32_t top = std::clamp<int32_t>(st.count, 1, kMatrixStackDepth) - 1;
    affineTransformVertex(st.entries[top], v);
    if (flipY)
        v[kVertexOutY] = wrapSub(static_cast<Fixed>(static_cast<uint32_t>(m_rs.block().destheight) << 16), v[kVertexOutY]);
    m_rs.outcode2D(v);
}

void ScanConverter::project3D(Fixed* v, uint32_t index)
{
    const RasterStateBlock& s = m_rs.block();
    transformVertex4(stackTop(s.projectionStack), v, s.projection_matrix_mode == 1);
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

void ScanConverter::mapToScreen(Fixed* v, bool projected) const
{
    const RasterStateBlock& s = m_rs.block();
    if (!projected) {
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

// One Sutherland-Hodgman pass per bound: keep coordinate < w * hi, then
// coordinate >= w * lo. Returns the count, 0 when clipped away, the pool ran
// out or the result would not fit a polygon list.
uint32_t ScanConverter::clipAxis(Fixed* const* in, uint32_t n, Fixed** out, int c, int wWord, Fixed lo, Fixed hi)
{
    Fixed* middle[kPolygonMaxVertices];
    const uint32_t words = recordWords();
    for (int pass = 0; pass < 2; ++pass) {
        Fixed* const* src = pass == 0 ? in : middle;
        Fixed** dst = pass == 0 ? middle : out;
        const ClipPlane plane{c, wWord, pass == 0 ? hi : lo, pass == 0};
        uint32_t m = 0;
        for (uint32_t i = 0; i < n; ++i) {
            const Fixed* a = src[i];
            const Fixed* b = src[(i + 1) % n];
            const int64_t da = plane.distance(a), db = plane.distance(b);
            if (plane.inside(da)) {
                if (m == kPolygonMaxVertices)
                    return 0;
                dst[m++] = const_cast<Fixed*>(a);
            }
            if (plane.inside(da) == plane.inside(db))
                continue;
            Fixed* v = reserve(1);
            if (!v || m == kPolygonMaxVertices)
                return 0;
            std::memcpy(v, a, words * 4);
            crossing(v, a, b, da, db, static_cast<int>(words));
            dst[m++] = v;
        }
        if (m == 0)
            return 0;
        n = m;
    }
    return n;
}

void ScanConverter::drawList(Fixed* const* list, uint32_t n, bool projected)
{
    if (m_stopped || n == 0 || n > kPolygonMaxVertices)
        return;
    uint32_t all = kOutcodeAll, any = 0;
    for (uint32_t i = 0; i < n; ++i) {
        all &= static_cast<uint32_t>(list[i][kVertexOutcode]);
        any |= static_cast<uint32_t>(list[i][kVertexOutcode]);
    }
    if (all & kOutcodeAll)
        return;
    const RasterStateBlock& s = m_rs.block();
    Fixed* lists[2][kPolygonMaxVertices];
    std::copy(list, list + n, lists[0]);
    int cur = 0;
    auto clip = [&](uint32_t codes, int coordinate, int wWord, Fixed lo, Fixed hi) {
        if (!(any & codes))
            return true;
        n = clipAxis(lists[cur], n, lists[cur ^ 1], coordinate, wWord, lo, hi);
        cur ^= 1;
        return n != 0;
    };
    if ((projected && !clip(kOutcodeZ, kVertexOutZ, kVertexInW, s.ccz0, s.ccz1)) ||
        !clip(kOutcodeX, kVertexOutX, kVertexOutW, s.ccx0, s.ccx1) ||
        !clip(kOutcodeY, kVertexOutY, kVertexOutW, s.ccy0, s.ccy1))
        return;
    for (uint32_t i = 0; i < n; ++i)
        mapToScreen(lists[cur][i], projected);
    runDriver(lists[cur], n);
}

void ScanConverter::runDriver(Fixed* const* list, uint32_t n)
{
    RasterStateBlock& s = m_rs.block();
    s.polys_considered = wrapAdd(s.polys_considered, 1);  // spans may have written any value
    if (s.outlineMode) {
        outline(list, n);
        return;
    }
    const int32_t kind = m_rs.spanBinding().driverKind;
    if (kind == 1 || kind == 2)
        walk(list, n, interpolants(), true);
    else if (kind == 3 || kind == 4)
        triangleDriver(list, n);
}

void ScanConverter::triangleDriver(Fixed* const* list, uint32_t n)
{
    RasterStateBlock& s = m_rs.block();
    if (n < 3)
        return;
    const bool whole = s.wholePolygonMode || n == 3;
    const uint32_t pieces = whole ? 1 : n - 2;
    const int32_t ni = interpolants();
    for (uint32_t piece = 0; piece < pieces; ++piece) {
        Fixed* tri[3] = {list[0], list[piece + 1], list[piece + 2]};
        Fixed* const* poly = whole ? list : tri;
        const uint32_t count = whole ? n : 3;
        const int64_t x0 = poly[0][kVertexScreenX], y0 = poly[0][kVertexScreenY];
        const int64_t ax = poly[1][kVertexScreenX] - x0, ay = poly[1][kVertexScreenY] - y0;
        const int64_t bx = poly[2][kVertexScreenX] - x0, by = poly[2][kVertexScreenY] - y0;
        const __int128 area = static_cast<__int128>(ax) * by - static_cast<__int128>(bx) * ay;
        if (area == 0 || (s.cullEnabled && (area > 0) == (s.culledFace != 0)))
            continue;
        for (int32_t k = 0; k < ni; ++k) {
            const int w = kVertexInterpolants + k;
            const int64_t f0 = poly[0][w];
            const __int128 fa = poly[1][w] - f0, fb = poly[2][w] - f0;
            // Plane gradients in 16.16 per pixel: once per polygon, not per span.
            const Fixed gx = static_cast<Fixed>(((fa * by - fb * ay) * 65536) / area);
            const Fixed gy = static_cast<Fixed>(((fb * ax - fa * bx) * 65536) / area);
            s.K2x[k] = gx;
            s.K3y[k] = gy;
            s.K1[k] = static_cast<Fixed>(f0 - ((static_cast<int64_t>(gx) * x0) >> 16) -
                                         ((static_cast<int64_t>(gy) * y0) >> 16));
            s.intdp[k] = gx;
        }
        s.polys_drawn = wrapAdd(s.polys_drawn, 1);
        walk(poly, count, 0, false);
    }
}

void ScanConverter::setupEdge(Edge& e, const Fixed* a, const Fixed* b, int32_t row, int32_t values)
{
    const Fixed dy = std::max<Fixed>(wrapSub(b[kVertexScreenY], a[kVertexScreenY]), kFixedOne);
    const Reciprocal q = reciprocalScale(*m_rs.tables(), dy);
    const int64_t prestep = (static_cast<int64_t>(row) << 16) - a[kVertexScreenY] + kHalf;
    auto set = [&](int w, int from) {
        const Fixed step = stepOf(a[from], b[from], q);
        e.steps[w] = step;
        e.values[w] = static_cast<Fixed>(a[from] + ((prestep * step) >> 16));
    };
    set(kVertexScreenX, kVertexScreenX);
    for (int32_t k = 0; k < values; ++k)
        set(kVertexInterpolants + k, kVertexInterpolants + k);
    e.endRow = firstRow(b[kVertexScreenY]);
}

void ScanConverter::walk(Fixed* const* list, uint32_t n, int32_t values, bool edgeRecords)
{
    RasterStateBlock& s = m_rs.block();
    if (n < 3)
        return;
    uint32_t top = 0;
    for (uint32_t i = 1; i < n; ++i)
        if (list[i][kVertexScreenY] < list[top][kVertexScreenY])
            top = i;
    int32_t row = firstRow(list[top][kVertexScreenY]);
    s.destptr = s.destbase + static_cast<uint32_t>(row) * static_cast<uint32_t>(s.deststride);
    s.zptr = s.zbase + static_cast<uint32_t>(row) * static_cast<uint32_t>(s.zstride);
    Edge chainA{s.le, s.dl, top, (top + n - 1) % n, 0};
    Edge chainB{s.re, s.dr, top, (top + 1) % n, 0};
    setupEdge(chainA, list[chainA.from], list[chainA.to], row, values);
    setupEdge(chainB, list[chainB.from], list[chainB.to], row, values);
    uint32_t used = 2;
    const SpanAddress le = spanAddress(kSpanRegionState, kRsLe), re = spanAddress(kSpanRegionState, kRsRe);
    for (;;) {
        for (Edge* e : {&chainA, &chainB}) {
            while (e->endRow <= row) {
                if (used >= n)
                    return;
                e->from = e->to;
                e->to = e == &chainA ? (e->to + n - 1) % n : (e->to + 1) % n;
                ++used;
                setupEdge(*e, list[e->from], list[e->to], row, values);
            }
        }
        const int32_t end = std::min(chainA.endRow, chainB.endRow);
        for (; row < end; ++row) {
            if (m_stopped)
                return;
            if (row >= s.scissory0 && row < s.scissory1) {
                const bool aFirst = s.le[kVertexScreenX] <= s.re[kVertexScreenX];
                if (!edgeRecords) {
                    // Interpolants at x = 0 on this row's centre line.
                    const int64_t yc = (static_cast<int64_t>(row) << 16) + kHalf;
                    for (int32_t k = 0; k < interpolants(); ++k)
                        s.intp[k] = static_cast<Fixed>(s.K1[k] + ((static_cast<int64_t>(s.K3y[k]) * yc) >> 16));
                    callSpan(static_cast<uint32_t>(aFirst ? s.le[kVertexScreenX] : s.re[kVertexScreenX]),
                             static_cast<uint32_t>(aFirst ? s.re[kVertexScreenX] : s.le[kVertexScreenX]));
                } else {
                    callSpan(aFirst ? le : re, aFirst ? re : le);
                }
            }
            s.destptr += static_cast<uint32_t>(s.deststride);
            s.zptr += static_cast<uint32_t>(s.zstride);
            s.le[kVertexScreenX] = wrapAdd(s.le[kVertexScreenX], s.dl[kVertexScreenX]);
            s.re[kVertexScreenX] = wrapAdd(s.re[kVertexScreenX], s.dr[kVertexScreenX]);
            for (int32_t k = 0; k < values; ++k) {
                const int w = kVertexInterpolants + k;
                s.le[w] = wrapAdd(s.le[w], s.dl[w]);
                s.re[w] = wrapAdd(s.re[w], s.dr[w]);
            }
        }
    }
}

void ScanConverter::callSpan(uint32_t a, uint32_t b)
{
    RasterStateBlock& s = m_rs.block();
    s.spans_shaded = wrapAdd(s.spans_shaded, 1);
    if (m_rs.spanBinding().native) {
        m_native(m_rs, a, b);
        ++m_counts.returned;
        return;
    }
    const SpanAddress state = spanAddress(kSpanRegionState, 0);
    const uint32_t budget = static_cast<uint32_t>(std::min<uint64_t>(m_budget, m_drawLeft));
    ArmMachine m = spanMachine(state, state, a, b);
    if (!m_program)
        m_program = prepareArmCode(m_rs.spanCode(), kSpanCodeBytes);
    const SpanRun run = runArmProgram(m_rs.addressSpace(), *m_program, m, budget);
    // The budget is checked at branches: a straight run may pass it.
    m_drawLeft -= std::min<uint64_t>(m_drawLeft, m.executed);
    switch (run) {
    case SpanRun::Returned: ++m_counts.returned; break;
    case SpanRun::Fault: ++m_counts.faults; break;
    case SpanRun::OutOfTime: ++m_counts.timeouts; break;
    case SpanRun::LeftCode: ++m_counts.leftCode; break;
    }
    // A program that runs out ends the draw with what it has drawn.
    if (run == SpanRun::OutOfTime || m_drawLeft == 0)
        m_stopped = true;
}

void ScanConverter::outline(Fixed* const* list, uint32_t n)
{
    const RasterStateBlock& s = m_rs.block();
    const bool wide = m_rs.targetFormat() == PixelFormat::X8R8G8B8;
    if (!wide && m_rs.targetFormat() != PixelFormat::R5G6B5)
        return;
    const uint32_t bpp = wide ? 4 : 2;
    for (uint32_t i = 0; i < n; ++i) {
        const Fixed* a = list[i];
        const Fixed* b = list[(i + 1) % n];
        int32_t x = a[kVertexScreenX] >> 16, y = a[kVertexScreenY] >> 16;
        const int32_t x1 = b[kVertexScreenX] >> 16, y1 = b[kVertexScreenY] >> 16;
        const int32_t dx = std::abs(x1 - x), dy = -std::abs(y1 - y);
        const int32_t sx = x < x1 ? 1 : -1, sy = y < y1 ? 1 : -1;
        int32_t err = dx + dy;
        for (;;) {
            if (x >= s.scissorx0 && x < s.scissorx1 && y >= s.scissory0 && y < s.scissory1) {
                const uint32_t at = s.destbase + static_cast<uint32_t>(y) * static_cast<uint32_t>(s.deststride) +
                                    static_cast<uint32_t>(x) * bpp;
                if (uint8_t* p = m_rs.addressSpace().translate(at, bpp)) {
                    if (wide)
                        storeUnaligned<uint32_t>(p, 0xFF000000u | kOutlineColour);
                    else
                        storeUnaligned<uint16_t>(p, rgb565(kOutlineColour >> 16, kOutlineColour >> 8, kOutlineColour));
                }
            }
            if (x == x1 && y == y1)
                break;
            const int32_t e2 = 2 * err;
            if (e2 >= dy)
                err += dy, x += sx;
            if (e2 <= dx)
                err += dx, y += sy;
        }
    }
}

void ScanConverter::drawTexturedQuad(Fixed w, Fixed h, const Fixed* u, const Fixed* v, bool flipY)
{
    if (!ready())
        return;
    Fixed* rec = reserve(4);
    if (!rec)
        return;
    RasterStateBlock& s = m_rs.block();
    s.wholePolygonMode = s.viewportMappingMode = 1;
    const Fixed xs[4] = {0, 0, w, w}, ys[4] = {0, h, h, 0};
    const uint32_t words = recordWords();
    const int32_t n = interpolants();
    Fixed* list[4];
    for (uint32_t i = 0; i < 4; ++i) {
        Fixed* c = rec + i * words;
        c[0] = xs[i];
        c[1] = ys[i];
        c[kVertexInW] = kFixedOne;
        project2D(c, flipY);
        if (n > static_cast<int32_t>(kSpanInterpolantV)) {
            c[kVertexInterpolants + kSpanInterpolantU] = u[i];
            c[kVertexInterpolants + kSpanInterpolantV] = v[i];
        }
        list[i] = c;
    }
    drawList(list, 4, false);
}

void ScanConverter::drawPolygon(const VertexBinding& binding, uint32_t first, uint32_t count, bool flipY)
{
    // A polygon list holds 15 vertices: longer runs are refused.
    if (count < 3 || count > kPolygonMaxVertices || !ready())
        return;
    Fixed* rec = reserve(count);
    if (!rec)
        return;
    Fixed* list[kPolygonMaxVertices];
    for (uint32_t i = 0; i < count; ++i) {
        list[i] = rec + i * recordWords();
        fetch(binding, list[i], first + i);
        project2D(list[i], flipY);
    }
    drawList(list, count, false);
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
        for (Fixed* v : c)
            project2D(v, flipY);
        Fixed* list[4] = {c[0], c[1], c[3], c[2]};
        drawList(list, 4, false);
        // A drawn rectangle needs its records no more.
        m_rs.rewindPool(mark);
    }
}

bool ScanConverter::clipSegment(Fixed* a, Fixed* b, int c, int wWord, Fixed lo, Fixed hi)
{
    for (int pass = 0; pass < 2; ++pass) {
        const ClipPlane plane{c, wWord, pass == 0 ? hi : lo, pass == 0};
        const int64_t da = plane.distance(a), db = plane.distance(b);
        const bool aIn = plane.inside(da), bIn = plane.inside(db);
        if (!aIn && !bIn)
            return false;
        if (aIn == bIn)
            continue;
        // The end outside moves to the crossing; it carries no interpolants.
        Fixed* out = aIn ? b : a;
        Fixed moved[kVertexInterpolants];
        crossing(moved, aIn ? a : b, out, aIn ? da : db, aIn ? db : da, kVertexInterpolants);
        std::memcpy(out + kVertexInW, moved + kVertexInW, (kVertexOutW - kVertexInW + 1) * 4);
    }
    return true;
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
    mapToScreen(a, projected);
    mapToScreen(b, projected);
    const bool wide = m_rs.targetFormat() == PixelFormat::X8R8G8B8;
    if (!fill || (!wide && m_rs.targetFormat() != PixelFormat::R5G6B5))
        return;
    const int32_t bpp = wide ? 4 : 2;
    auto ordered = [](int32_t p, int32_t q) { return std::pair{std::min(p, q), std::max(p, q)}; };
    const auto [xa, xb] = ordered(a[kVertexScreenX] >> 16, b[kVertexScreenX] >> 16);
    const auto [ya, yb] = ordered(firstRow(a[kVertexScreenY]) - 1, firstRow(b[kVertexScreenY]) - 1);
    const int32_t x0 = std::max(xa, s.scissorx0), x1 = std::min(xb, s.scissorx1 - 1);
    const int32_t y0 = std::max(ya, s.scissory0), y1 = std::min(yb, s.scissory1 - 1);
    if (x0 > x1 || y0 > y1)
        return;
    const int32_t width = x1 - x0 + 1, height = y1 - y0 + 1;
    const uint32_t stride = static_cast<uint32_t>(s.deststride);
    const uint32_t start = s.destbase + static_cast<uint32_t>(y0) * stride + static_cast<uint32_t>(x0 * bpp);
    // The whole rectangle must lie in the plane before the routine gets it.
    uint8_t* p = m_rs.addressSpace().translate(start, static_cast<uint32_t>(height - 1) * stride +
                                                          static_cast<uint32_t>(width * bpp));
    if (p)
        fill(p, static_cast<int32_t>(stride), flatColourWord(s), width, height);
}

void ScanConverter::segments(const VertexBinding& binding, uint32_t first, uint32_t count, FillRoutine fill,
                             bool projected, bool flipY)
{
    if (!m_rs.tables())
        return;
    for (uint32_t k = 0; k + 1 < count; k += 2) {
        Fixed* rec = reserve(2);
        if (!rec)
            return;
        Fixed* ends[2] = {rec, rec + recordWords()};
        for (uint32_t i = 0; i < 2; ++i) {
            fetch(binding, ends[i], first + k + i);
            if (projected)
                project3D(ends[i], first + k + i);
            else
                project2D(ends[i], flipY);
        }
        fillSegment(ends[0], ends[1], fill, projected);
    }
}

void ScanConverter::drawSegments(const VertexBinding& binding, uint32_t first, uint32_t count, FillRoutine fill,
                                 bool flipY)
{
    segments(binding, first, count, fill, false, flipY);
}

void ScanConverter::drawPolygons3D(const VertexBinding& binding, uint32_t first, uint32_t count, uint32_t perPolygon)
{
    if (perPolygon < 3 || perPolygon > kPolygonMaxVertices || !ready())
        return;
    for (uint32_t k = 0; k + perPolygon <= count; k += perPolygon) {
        Fixed* rec = reserve(perPolygon);
        if (!rec)
            return;
        Fixed* list[kPolygonMaxVertices];
        for (uint32_t i = 0; i < perPolygon; ++i) {
            list[i] = rec + i * recordWords();
            fetch(binding, list[i], first + k + i);
            project3D(list[i], first + k + i);
        }
        drawList(list, perPolygon, true);
    }
}

void ScanConverter::drawStrip3D(const VertexBinding& binding, uint32_t first, uint32_t count, bool fan)
{
    if (!ready())
        return;
    Fixed* window[3] = {};
    uint32_t have = 0;
    for (uint32_t i = 0; i < count; ++i) {
        Fixed* v = reserve(1);
        if (!v)
            return;
        fetch(binding, v, first + i);
        const bool restart = v[kVertexInW] < 0;
        if (restart)
            v[kVertexInW] = static_cast<Fixed>(static_cast<uint32_t>(v[kVertexInW]) & 0x7FFFFFFF);
        project3D(v, first + i);
        if (restart)
            have = 0;
        if (have < 3) {
            window[have++] = v;
        } else if (fan) {
            window[1] = window[2];
            window[2] = v;
        } else {
            window[0] = window[1];
            window[1] = window[2];
            window[2] = v;
        }
        if (have == 3)
            drawList(window, 3, true);
    }
}

void ScanConverter::drawSegments3D(const VertexBinding& binding, uint32_t first, uint32_t count, FillRoutine fill)
{
    segments(binding, first, count, fill, true, false);
}
