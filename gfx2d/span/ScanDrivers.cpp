// The two scanline drivers. Rows and pixels are sampled at their centres and
// every edge covers a half-open range on both axes, so polygons that share an
// edge never draw a pixel twice nor leave a gap. The edge-walking driver hands
// a span its two edge records, the triangle driver the row's x range with
// constant interpolant gradients. Each interpreted span is granted its
// words, by the pixels the host's own edges give it, before it runs.
#include "gfx2d/span/ScanConversion.h"

#include <algorithm>

#include "gfx2d/raster/RasterMath.h"
#include "gfx2d/span/ScanInternal.h"
#include "gfx2d/span/SpanIds.h"

namespace {

// An edge's step: (b - a) / dy through the reciprocal table.
inline Fixed stepOf(Fixed a, Fixed b, Reciprocal q)
{
    const int64_t d = static_cast<int64_t>(b) - a;
    return static_cast<Fixed>((d * q.r) >> q.shift);
}

}  // namespace

struct ScanConverter::Edge {
    Fixed* values;  // le or re
    Fixed* steps;   // dl or dr
    uint32_t from, to;
    int32_t endRow;
    // The host's own x and step: spans may rewrite the record's.
    Fixed x, dx;
};

void ScanConverter::runDriver(Fixed* const* list, uint32_t n, Fixed* const* given)
{
    RasterStateBlock& s = m_rs.block();
    s.polys_considered = wrapAdd(s.polys_considered, 1);  // spans may have written any value
    if (s.outlineMode) {
        outline(list, n);
        return;
    }
    const int32_t kind = m_rs.spanBinding().driverKind;
    if (kind == 1 || kind == 2)
        walk(list, n, interpolants(), interpolants(), true);
    else if (kind == 3 || kind == 4)
        triangleDriver(list, n, given);
}

void ScanConverter::triangleDriver(Fixed* const* list, uint32_t n, Fixed* const* given)
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
        // In whole-polygon mode the polygon is judged, and its plane drawn, by
        // its first three vertices as given: a clip cuts its pixels, not their values.
        Fixed* const* plane = s.wholePolygonMode && given ? given : poly;
        const int64_t x0 = plane[0][kVertexScreenX], y0 = plane[0][kVertexScreenY];
        const int64_t ax = plane[1][kVertexScreenX] - x0, ay = plane[1][kVertexScreenY] - y0;
        const int64_t bx = plane[2][kVertexScreenX] - x0, by = plane[2][kVertexScreenY] - y0;
        const __int128 area = static_cast<__int128>(ax) * by - static_cast<__int128>(bx) * ay;
        if (area == 0 || (s.cullEnabled && (area > 0) == (s.culledFace != 0)))
            continue;
        for (int32_t k = 0; k < ni; ++k) {
            const int w = kVertexInterpolants + k;
            const int64_t f0 = plane[0][w];
            const __int128 fa = plane[1][w] - f0, fb = plane[2][w] - f0;
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
        // Edges carry x and the pre-stepped values; rows step x alone.
        walk(poly, count, edgeValues(), 0, false);
    }
}

void ScanConverter::setupEdge(Edge& e, const Fixed* a, const Fixed* b, int32_t row, int32_t values)
{
    const Fixed rise = wrapSub(b[kVertexScreenY], a[kVertexScreenY]);
    const Reciprocal q = reciprocalScale(*m_rs.tables(), std::max(rise, kFixedOne));
    const int64_t prestep = (static_cast<int64_t>(row) << 16) - a[kVertexScreenY] + kHalf;
    auto set = [&](int w) {
        const Fixed step = stepOf(a[w], b[w], q);
        e.steps[w] = step;
        e.values[w] = static_cast<Fixed>(a[w] + ((prestep * step) >> 16));
    };
    set(kVertexScreenX);
    for (int32_t k = 0; k < values; ++k)
        set(kVertexInterpolants + k);
    e.endRow = firstRow(b[kVertexScreenY]);
    // An edge shorter than a row reaches at most this row's centre, prestep /
    // rise of the way along it (0.32), where a step over a whole row falls short.
    if (rise < kFixedOne && prestep < rise) {
        const int64_t t = (prestep << 32) / rise;
        auto reach = [&](int w) {
            e.values[w] = static_cast<Fixed>(a[w] + ((static_cast<__int128>(b[w]) - a[w]) * t >> 32));
        };
        reach(kVertexScreenX);
        for (int32_t k = 0; k < values; ++k)
            reach(kVertexInterpolants + k);
    }
    e.x = e.values[kVertexScreenX];
    e.dx = e.steps[kVertexScreenX];
}

void ScanConverter::walk(Fixed* const* list, uint32_t n, int32_t prestepped, int32_t stepped, bool edgeRecords)
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
    Edge chainA{s.le, s.dl, top, (top + n - 1) % n, 0, 0, 0};
    Edge chainB{s.re, s.dr, top, (top + 1) % n, 0, 0, 0};
    setupEdge(chainA, list[chainA.from], list[chainA.to], row, prestepped);
    setupEdge(chainB, list[chainB.from], list[chainB.to], row, prestepped);
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
                setupEdge(*e, list[e->from], list[e->to], row, prestepped);
            }
        }
        const int32_t end = std::min(chainA.endRow, chainB.endRow);
        for (; row < end; ++row) {
            if (m_stopped)
                return;
            if (row >= s.scissory0 && row < s.scissory1) {
                // The pixels the span covers by the host's edges and scissor.
                const bool inside = row >= m_scissor[1] && row < m_scissor[3];
                const int32_t x0 = std::max(firstRow(std::min(chainA.x, chainB.x)), m_scissor[0]);
                const int32_t x1 = std::min(firstRow(std::max(chainA.x, chainB.x)), m_scissor[2]);
                const uint32_t pixels = inside && x1 > x0 ? static_cast<uint32_t>(x1 - x0) : 0;
                const bool aFirst = s.le[kVertexScreenX] <= s.re[kVertexScreenX];
                if (!edgeRecords) {
                    // Interpolants at x = 0 on this row's centre line.
                    const int64_t yc = (static_cast<int64_t>(row) << 16) + kHalf;
                    for (int32_t k = 0; k < interpolants(); ++k)
                        s.intp[k] = static_cast<Fixed>(s.K1[k] + ((static_cast<int64_t>(s.K3y[k]) * yc) >> 16));
                    callSpan(static_cast<uint32_t>(aFirst ? s.le[kVertexScreenX] : s.re[kVertexScreenX]),
                             static_cast<uint32_t>(aFirst ? s.re[kVertexScreenX] : s.le[kVertexScreenX]), pixels);
                } else {
                    callSpan(aFirst ? le : re, aFirst ? re : le, pixels);
                }
            }
            chainA.x = wrapAdd(chainA.x, chainA.dx);
            chainB.x = wrapAdd(chainB.x, chainB.dx);
            s.destptr += static_cast<uint32_t>(s.deststride);
            s.zptr += static_cast<uint32_t>(s.zstride);
            s.le[kVertexScreenX] = wrapAdd(s.le[kVertexScreenX], s.dl[kVertexScreenX]);
            s.re[kVertexScreenX] = wrapAdd(s.re[kVertexScreenX], s.dr[kVertexScreenX]);
            for (int32_t k = 0; k < stepped; ++k) {
                const int w = kVertexInterpolants + k;
                s.le[w] = wrapAdd(s.le[w], s.dl[w]);
                s.re[w] = wrapAdd(s.re[w], s.dr[w]);
            }
        }
    }
}

void ScanConverter::callSpan(uint32_t a, uint32_t b, uint32_t pixels)
{
    RasterStateBlock& s = m_rs.block();
    s.spans_shaded = wrapAdd(s.spans_shaded, 1);
    if (m_rs.spanBinding().native) {
        m_native(m_rs, a, b);
        ++m_counts.returned;
        return;
    }
    uint64_t& left = m_rs.spanWordsLeft();
    left += kSpanWordsPerSpan + kSpanWordsPerPixel * pixels;
    const SpanAddress state = spanAddress(kSpanRegionState, 0);
    const uint32_t budget = static_cast<uint32_t>(std::min<uint64_t>(m_budget, left));
    ArmMachine m = spanMachine(state, state, a, b);
    if (!m_program || preparedCode(*m_program) != m_rs.spanCode())
        m_program = prepareArmCode(m_rs.spanCode(), kSpanCodeBytes);
    const SpanRun run = runArmProgram(m_rs.addressSpace(), *m_program, m, budget);
    // The budget is checked at branches: a straight run may pass it. What
    // spans leave unspent carries on only up to a frame's own words, so a
    // draw inherits no more than those, however many frames went unbegun.
    left = std::min(left - std::min<uint64_t>(left, m.executed), kSpanFrameWords);
    switch (run) {
    case SpanRun::Returned: ++m_counts.returned; break;
    case SpanRun::Fault: ++m_counts.faults; break;
    case SpanRun::OutOfTime: ++m_counts.timeouts; break;
    case SpanRun::LeftCode: ++m_counts.leftCode; break;
    }
    // A span that does not return, or uses up the frame's allowance, ends
    // the draw with what it has drawn.
    if (run != SpanRun::Returned || left == 0)
        m_stopped = true;
}
