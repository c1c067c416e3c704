// Homogeneous clipping in integers: plane distances and interpolation in 64
// bits, the cut factor a quotient of 30 fractional bits measured from the
// inside vertex, so an edge shared by two triangles is cut at the same point
// for both, and an edge 2^31 units long lands within a unit or two of it.
#include "engine/render/CkwClipVertex.h"

#include <algorithm>

#include "engine/core/math/FixedMath.h"

namespace {

constexpr int32_t kCutBits = 30;

// a + (b - a) t, rounded; |b - a| < 2^32 and t <= 2^30 keep the product in
// 64 bits.
int32_t lerp(int32_t a, int32_t b, int64_t t)
{
    const int64_t step = ((int64_t{b} - a) * t + (int64_t{1} << (kCutBits - 1))) >> kCutBits;
    return static_cast<int32_t>(std::clamp<int64_t>(a + step, INT32_MIN, INT32_MAX));
}

// Distance inside plane p: w - c for even p, w + c for odd p.
int64_t inside(const CkwClipVertex& v, int32_t plane)
{
    const int32_t c = (plane >> 1) == 0 ? v.x : ((plane >> 1) == 1 ? v.y : v.z);
    return (plane & 1) ? int64_t{v.w} + c : int64_t{v.w} - c;
}

// The point t of the way from a (inside) to b (outside).
CkwClipVertex cut(const CkwClipVertex& a, const CkwClipVertex& b, int64_t t)
{
    CkwClipVertex v = a;
    v.x = lerp(a.x, b.x, t);
    v.y = lerp(a.y, b.y, t);
    v.z = lerp(a.z, b.z, t);
    v.w = lerp(a.w, b.w, t);
    v.r = lerp(a.r, b.r, t);
    v.g = lerp(a.g, b.g, t);
    v.b = lerp(a.b, b.b, t);
    v.alpha = static_cast<uint8_t>(lerp(a.alpha, b.alpha, t));
    v.fog = static_cast<uint8_t>(lerp(a.fog, b.fog, t));
    for (int32_t u = 0; u < a.unitCount; ++u) {
        const auto& ta = a.tex[u];
        const auto& tb = b.tex[u];
        int64_t st = t;
        if (ta.q != tb.q) {
            // s and t are divided by q: their step scales by q_out / q_new,
            // which lies in 0..1 while the two q share a sign.
            v.tex[u].q = lerp(ta.q, tb.q, t);
            st = v.tex[u].q != 0 ? std::clamp<int64_t>(t * tb.q / v.tex[u].q, 0, int64_t{1} << kCutBits) : t;
        }
        v.tex[u].s = lerp(ta.s, tb.s, st);
        v.tex[u].t = lerp(ta.t, tb.t, st);
    }
    return v;
}

} // namespace

int32_t clipPolygon(CkwClipVertex* v, int32_t start, int32_t& end, int32_t clipCode)
{
    for (int32_t plane = 0; plane < 6 && end > start; ++plane) {
        if ((clipCode & (1 << plane)) == 0)
            continue;
        const int32_t out = end;
        int32_t n = end;
        int32_t previous = end - 1;
        for (int32_t i = start; i < end; previous = i++) {
            const int64_t dPrevious = inside(v[previous], plane), dCurrent = inside(v[i], plane);
            if ((dPrevious < 0) != (dCurrent < 0) && n < kClipVertexCapacity) {
                const bool previousInside = dPrevious >= 0;
                const CkwClipVertex& in = previousInside ? v[previous] : v[i];
                const CkwClipVertex& outside = previousInside ? v[i] : v[previous];
                const int64_t dIn = previousInside ? dPrevious : dCurrent;
                const int64_t dOut = previousInside ? dCurrent : dPrevious;
                v[n++] = cut(in, outside, fixedDiv64(dIn << kCutBits, dIn - dOut) + 1);
            }
            if (dCurrent >= 0 && n < kClipVertexCapacity)
                v[n++] = v[i];
        }
        start = out;
        end = n;
    }
    return start;
}
