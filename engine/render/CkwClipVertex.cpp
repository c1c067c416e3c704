// Homogeneous clipping in integers: plane distances and interpolation in 64
// bits, the cut factor a quotient of 30 fractional bits measured from the
// inside vertex, so an edge shared by two triangles is cut at the same point
// for both, and an edge 2^31 units long lands within a unit or two of it.
// The clip codes of a node's vertices come four at a time.
#include "engine/render/CkwClipVertex.h"

#include <algorithm>
#include <cstring>

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

uint8_t outcode(const CkwFixedVector3D& p, int32_t w)
{
    const int64_t lo = -int64_t{w};
    return static_cast<uint8_t>((p.x > w ? 1 : 0) | (p.x < lo ? 2 : 0) | (p.y > w ? 4 : 0) | (p.y < lo ? 8 : 0)
                                | (p.z > w ? 16 : 0) | (p.z < lo ? 32 : 0));
}

// Four vertices in vector registers where the processor has them; the
// scalar outcode() takes the rest, and all of them elsewhere.
#if defined(__SSE2__) || defined(__ARM_NEON)
constexpr bool kFourAtOnce = true;
#else
constexpr bool kFourAtOnce = false;
#endif
using Words = int32_t __attribute__((vector_size(16)));

// outcode() of four vertices. c < -w is ~c >= w, which no 32-bit c or w
// can overflow.
Words outcodes(Words x, Words y, Words z, Words w)
{
    const auto bit = [](Words mask, int32_t b) { return mask & (Words{} + b); };
    return bit(x > w, 1) | bit(w <= ~x, 2) | bit(y > w, 4) | bit(w <= ~y, 8) | bit(z > w, 16) | bit(w <= ~z, 32);
}

} // namespace

SkwClipCodes facingVertices(const CkwFixedVector3D* p, const int32_t* w, int32_t n, SkwFacingVertex* out)
{
    SkwClipCodes codes;
    int32_t i = 0;
    if constexpr (kFourAtOnce) {
        static_assert(sizeof(SkwFacingVertex) == sizeof(Words) && sizeof(CkwFixedVector3D) == 12);
        Words all = ~Words{}, any = {}, least = Words{} + INT32_MAX;
        for (; i + 4 <= n; i += 4) {
            Words a, b, c, w4;
            const auto* from = reinterpret_cast<const unsigned char*>(p + i);
            std::memcpy(&a, from, sizeof a);
            std::memcpy(&b, from + sizeof a, sizeof b);
            std::memcpy(&c, from + 2 * sizeof a, sizeof c);
            std::memcpy(&w4, w + i, sizeof w4);
            // a = x0 y0 z0 x1, b = y1 z1 x2 y2, c = z2 x3 y3 z3.
            const Words x = __builtin_shufflevector(__builtin_shufflevector(a, b, 0, 3, 6, 6), c, 0, 1, 2, 5);
            const Words y = __builtin_shufflevector(__builtin_shufflevector(a, b, 1, 4, 7, 7), c, 0, 1, 2, 6);
            const Words z = __builtin_shufflevector(__builtin_shufflevector(a, b, 2, 5, 5, 5), c, 0, 1, 4, 7);
            const Words code = outcodes(x, y, z, w4);
            all &= code;
            any |= code;
            least = w4 < least ? w4 : least;
            const Words mark = code | ((w4 <= 0) & (Words{} + static_cast<int32_t>(kNotInFront)));
            const Words xy01 = __builtin_shufflevector(x, y, 0, 4, 1, 5);
            const Words xy23 = __builtin_shufflevector(x, y, 2, 6, 3, 7);
            const Words wm01 = __builtin_shufflevector(w4, mark, 0, 4, 1, 5);
            const Words wm23 = __builtin_shufflevector(w4, mark, 2, 6, 3, 7);
            const Words records[4] = {
                __builtin_shufflevector(xy01, wm01, 0, 1, 4, 5), __builtin_shufflevector(xy01, wm01, 2, 3, 6, 7),
                __builtin_shufflevector(xy23, wm23, 0, 1, 4, 5), __builtin_shufflevector(xy23, wm23, 2, 3, 6, 7)};
            std::memcpy(out + i, records, sizeof records);
        }
        codes.all = static_cast<uint8_t>(all[0] & all[1] & all[2] & all[3]);
        codes.any = static_cast<uint8_t>(any[0] | any[1] | any[2] | any[3]);
        codes.nearestW = std::min({least[0], least[1], least[2], least[3]});
    }
    for (; i < n; ++i) {
        const uint8_t code = outcode(p[i], w[i]);
        out[i] = {p[i].x, p[i].y, w[i], code | (w[i] <= 0 ? kNotInFront : 0)};
        codes.all &= code;
        codes.any |= code;
        codes.nearestW = std::min(codes.nearestW, w[i]);
    }
    return codes;
}

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
