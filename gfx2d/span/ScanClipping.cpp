// Clipping: the polygon function's Sutherland-Hodgman passes and the
// segment clipper, both against one bound at a time with exact distances
// and exact crossings.
#include "gfx2d/span/ScanConversion.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "gfx2d/span/ScanInternal.h"

namespace {

inline Fixed bound(Fixed w, Fixed b) { return static_cast<Fixed>((static_cast<int64_t>(w) * b) >> 16); }

// One side of a clip bound, its distance positive inside: below an upper
// bound, above a lower one. Distances are exact in 64 bits.
struct ClipPlane {
    int coordinate, wWord;
    Fixed limit;
    bool upper;
    int64_t distance(const Fixed* v) const
    {
        const int64_t edge = bound(v[wWord], limit);
        return upper ? edge - v[coordinate] : v[coordinate] - edge;
    }
    // A segment's end on an upper bound lies outside it.
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

// A side of the clip box against a position in 64 bits, as ClipPlane with w = 1.0.
struct WidePlane {
    bool vertical;  // a bound on y
    bool upper;
    int64_t limit;
    int64_t distance(int64_t x, int64_t y) const
    {
        const int64_t c = vertical ? y : x;
        return upper ? limit - c : c - limit;
    }
};

inline bool held(int64_t x, int64_t y) { return x == static_cast<Fixed>(x) && y == static_cast<Fixed>(y); }

// The clip box's sides in clipAxis's order: x below x1, at or past x0, then y.
std::array<WidePlane, 4> clipBox(const RasterStateBlock& s)
{
    return {{{false, true, s.ccx1}, {false, false, s.ccx0}, {true, true, s.ccy1}, {true, false, s.ccy0}}};
}

// a + (b - a) * da / (da - db), rounded as crossing rounds.
inline int64_t wideCrossing(int64_t a, int64_t b, int64_t da, int64_t db)
{
    return a + divideRounded(static_cast<__int128>(b - a) * da, static_cast<__int128>(da) - db);
}

}  // namespace

// One Sutherland-Hodgman pass per bound: keep coordinate <= w * hi, then
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
            // A vertex on the plane is kept, and only an edge whose ends lie
            // strictly apart is crossed: a crossing at an end would repeat
            // that vertex, and a polygon taken whole would be judged by the pair.
            if (da >= 0) {
                if (m == kPolygonMaxVertices)
                    return 0;
                dst[m++] = const_cast<Fixed*>(a);
            }
            if (!((da > 0 && db < 0) || (da < 0 && db > 0)))
                continue;
            Fixed* v = reserve(1);
            if (!v || m == kPolygonMaxVertices)
                return 0;
            std::memcpy(v, a, words * 4);
            crossing(v, a, b, da, db, static_cast<int>(words));
            dst[m++] = v;
        }
        // Fewer than three vertices (those on the plane) bound no area.
        if (m < 3)
            return 0;
        n = m;
    }
    return n;
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

void ScanConverter::drawList(Fixed* const* list, uint32_t n, bool projected)
{
    clipAndDraw(list, n, projected, projected ? nullptr : list);
}

void ScanConverter::clipAndDraw(Fixed* const* list, uint32_t n, bool projected, Fixed* const* plane)
{
    if (m_stopped || n < 3 || n > kPolygonMaxVertices)
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
    const uint32_t given = n;
    int cur = 0;
    bool clipped = false;
    auto clip = [&](uint32_t codes, int coordinate, int wWord, Fixed lo, Fixed hi) {
        if (!(any & codes))
            return true;
        clipped = true;
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
    // A 2D polygon's plane comes from vertices the clip leaves alone; those
    // it dropped take their screen position here.
    for (uint32_t i = 0; clipped && !projected && i < given; ++i)
        mapToScreen(list[i], false);
    runDriver(lists[cur], n, plane);
}

void ScanConverter::drawList2D(Fixed** list, WidePoint* at, uint32_t n)
{
    if (std::all_of(at, at + n, [](const WidePoint& p) { return held(p.x, p.y); })) {
        drawList(list, n, false);
        return;
    }
    n = cutWide(list, at, n);
    if (n < 3)
        return;
    // Corners past the range cannot lend the plane their values: the cut's
    // own vertices do, the three that make its largest triangle, so neither
    // three left on one line nor a sliver of two close ones (the cut rounds
    // each to a unit) tilts it. The list keeps its order, so a concave
    // polygon fans from its first vertex as held ones do.
    Fixed* plane[3] = {};
    __int128 largest = -1;
    for (uint32_t i = 0; i < n; ++i)
        for (uint32_t j = i + 1; j < n; ++j)
            for (uint32_t k = j + 1; k < n; ++k) {
                const WidePoint &a = at[i], &b = at[j], &c = at[k];
                __int128 area = static_cast<__int128>(b.x - a.x) * (c.y - a.y) -
                                static_cast<__int128>(c.x - a.x) * (b.y - a.y);
                area = area < 0 ? -area : area;
                if (area > largest)
                    largest = area, plane[0] = list[i], plane[1] = list[j], plane[2] = list[k];
            }
    clipAndDraw(list, n, false, plane);
}

// The planes and crossings of clipAxis over 64-bit positions; the records
// take their positions once all lie inside the box.
uint32_t ScanConverter::cutWide(Fixed** list, WidePoint* at, uint32_t n)
{
    const uint32_t words = recordWords();
    for (const WidePlane& plane : clipBox(m_rs.block())) {
        Fixed* kept[kPolygonMaxVertices];
        WidePoint keptAt[kPolygonMaxVertices];
        uint32_t m = 0;
        for (uint32_t i = 0; i < n; ++i) {
            const uint32_t j = (i + 1) % n;
            const int64_t da = plane.distance(at[i].x, at[i].y), db = plane.distance(at[j].x, at[j].y);
            if (da >= 0) {
                if (m == kPolygonMaxVertices)
                    return 0;
                kept[m] = list[i];
                keptAt[m++] = at[i];
            }
            if (!((da > 0 && db < 0) || (da < 0 && db > 0)))
                continue;
            Fixed* v = reserve(1);
            if (!v || m == kPolygonMaxVertices)
                return 0;
            std::memcpy(v, list[i], words * 4);
            crossing(v, list[i], list[j], da, db, static_cast<int>(words));
            kept[m] = v;
            keptAt[m++] = {wideCrossing(at[i].x, at[j].x, da, db), wideCrossing(at[i].y, at[j].y, da, db)};
        }
        if (m < 3)
            return 0;
        n = m;
        std::copy(kept, kept + n, list);
        std::copy(keptAt, keptAt + n, at);
    }
    for (uint32_t i = 0; i < n; ++i) {
        list[i][kVertexOutX] = static_cast<Fixed>(at[i].x);
        list[i][kVertexOutY] = static_cast<Fixed>(at[i].y);
        m_rs.outcode2D(list[i]);
    }
    return n;
}

// clipSegment's rule over 64-bit positions: an end on an upper bound lies
// outside it, and the end outside moves to the crossing.
bool ScanConverter::cutWideSegment(Fixed* const* ends, WidePoint* at)
{
    if (held(at[0].x, at[0].y) && held(at[1].x, at[1].y))
        return true;
    for (const WidePlane& plane : clipBox(m_rs.block())) {
        const int64_t d[2] = {plane.distance(at[0].x, at[0].y), plane.distance(at[1].x, at[1].y)};
        const bool in[2] = {plane.upper ? d[0] > 0 : d[0] >= 0, plane.upper ? d[1] > 0 : d[1] >= 0};
        if (!in[0] && !in[1])
            return false;
        if (in[0] == in[1])
            continue;
        const int i = in[0] ? 0 : 1, o = 1 - i;
        at[o] = {wideCrossing(at[i].x, at[o].x, d[i], d[o]), wideCrossing(at[i].y, at[o].y, d[i], d[o])};
        ends[o][kVertexOutX] = static_cast<Fixed>(at[o].x);
        ends[o][kVertexOutY] = static_cast<Fixed>(at[o].y);
        m_rs.outcode2D(ends[o]);
    }
    return true;
}
