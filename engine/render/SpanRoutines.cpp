// Span routines. The fast paths are single loops made by template for
// the little state they still need (blended ones sixteen pixels a pass where
// the processor allows); the two general routines run a chain of stages over
// chunks of pixels, each stage a template instance picked per triangle, so no
// pixel loop branches on state that is fixed for the span.
#include "engine/render/SpanRoutines.h"

#include <algorithm>
#include <array>
#include <type_traits>
#include <utility>

#include "engine/core/math/FixedMath.h"

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#endif

namespace {

constexpr int32_t kChunk = 64;
constexpr int32_t kOpaqueAlpha = 65280;  // at or above: blending takes the source

int32_t saturate32(int64_t v)
{
    return static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
}

int32_t add32(int32_t a, int32_t b)
{
    return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
}

int32_t sub32(int32_t a, int32_t b)
{
    return static_cast<int32_t>(static_cast<uint32_t>(a) - static_cast<uint32_t>(b));
}

// v after n steps, wrapping as n single steps would.
int32_t stepped(int32_t v, int32_t step, int32_t n)
{
    return static_cast<int32_t>(static_cast<uint32_t>(v) + static_cast<uint32_t>(step) * static_cast<uint32_t>(n));
}

// Texel alpha byte on the 0..0x10000 scale.
inline int32_t expandAlpha(int32_t a) { return a * 257 + (a >> 7); }

inline int32_t unpackRed(uint32_t p) { return static_cast<int32_t>(p & 0xF800); }
inline int32_t unpackGreen(uint32_t p) { return static_cast<int32_t>(p & 0x7E0) << 5; }
inline int32_t unpackBlue(uint32_t p) { return static_cast<int32_t>(p & 0x1F) << 11; }

inline int32_t clampChannel(int32_t c) { return std::clamp(c, 0, 0xFFFF); }

inline uint16_t packTruncating(int32_t r, int32_t g, int32_t b)
{
    return static_cast<uint16_t>((r & 0xF800) | ((g >> 5) & 0x7E0) | (b >> 11));
}

// d is the pixel's dither offset 0..3.
inline uint16_t packDithered(int32_t r, int32_t g, int32_t b, int32_t d)
{
    const int32_t r5 = std::clamp((d + (r >> 9)) >> 2, 0, 31);
    const int32_t g6 = std::clamp((d + (g >> 8)) >> 2, 0, 63);
    const int32_t b5 = std::clamp((d + (b >> 9)) >> 2, 0, 31);
    return static_cast<uint16_t>(r5 << 11 | g6 << 5 | b5);
}

inline int32_t ditherStart(int32_t x, int32_t y) { return ((y & 1) + 1) ^ ((x & 1) * 2); }

// ---------------------------------------------------------------------------
// Perspective segments.

// The reciprocal that turns s·q and t·q back into s and t: 2^46/Q at the left
// pixel, 2^40/(Q >> 6) at segment ends, each applied as ((S >> 7) x r) >> 23.
// Where that reciprocal would pass 32 bits (small Q) the same quotient comes
// from 2^30 with a shorter shift.
struct PerspectiveDivisor {
    int64_t r;
    int32_t shift;
    int32_t operator()(int32_t sq) const { return saturate32((static_cast<int64_t>(sq >> 7) * r) >> shift); }
};

PerspectiveDivisor leftDivisor(int32_t q)
{
    if (q >= 0x10000 || q <= -0x10000)
        return {fixedReciprocal(q, 46), 23};
    return {fixedReciprocal(q, 30), 7};
}

PerspectiveDivisor segmentDivisor(int32_t q)
{
    int32_t q6 = q >> 6;
    if (q6 == 0)
        q6 = 1;
    if (q6 >= 0x400 || q6 <= -0x400)
        return {fixedReciprocal(q6, 40), 23};
    return {fixedReciprocal(q6, 30), 13};
}

// Hands out a span's texture coordinates segment by segment: affine spans are
// one segment; perspective spans are cut at the unit's segment length, with
// exact coordinates at every segment end and linear steps between.
struct TexWalk {
    const SkwSpanUnit* unit;
    bool perspective;
    int32_t remaining;    // pixels in segments not yet started
    int32_t q, sq, tq;    // screen-linear values at the next segment's start
    int32_t sNext, tNext; // coordinates at the next segment's start
    int32_t s, t, ds, dt; // current segment
    int32_t segLeft;      // pixels left in the current segment (chunked use)
};

void walkBegin(TexWalk& w, const SkwSpanUnit& unit, int32_t n, bool perspective)
{
    w.unit = &unit;
    w.perspective = perspective;
    w.remaining = n;
    w.segLeft = 0;
    w.ds = w.dt = 0;
    if (perspective) {
        w.q = unit.q;
        w.sq = unit.s;
        w.tq = unit.t;
        const PerspectiveDivisor divide = leftDivisor(unit.q);
        w.sNext = divide(unit.s);
        w.tNext = divide(unit.t);
    } else {
        w.sNext = unit.s >> 7;
        w.tNext = unit.t >> 7;
    }
    w.s = w.sNext;
    w.t = w.tNext;
}

// Starts the next segment at (w.s, w.t) with steps (w.ds, w.dt); returns its length.
int32_t walkSegment(TexWalk& w)
{
    const SkwSpanUnit& u = *w.unit;
    w.s = w.sNext;
    w.t = w.tNext;
    if (!w.perspective) {
        w.ds = u.dsdx >> 7;
        w.dt = u.dtdx >> 7;
        const int32_t count = w.remaining;
        w.remaining = 0;
        return count;
    }
    int32_t count;
    int32_t divisor;
    if (u.segLength < w.remaining) {
        w.q = add32(w.q, u.segQ);
        w.sq = add32(w.sq, u.segS);
        w.tq = add32(w.tq, u.segT);
        const PerspectiveDivisor divide = segmentDivisor(w.q);
        w.sNext = divide(w.sq);
        w.tNext = divide(w.tq);
        count = divisor = u.segLength;
    } else {
        count = w.remaining;
        if (count < 2) {
            w.ds = w.dt = 0;
            w.remaining = 0;
            return count;
        }
        // The last pixel, one step in from the right end.
        const PerspectiveDivisor divide = segmentDivisor(sub32(u.qRight, u.dqdx));
        w.sNext = divide(sub32(u.sRight, u.dsdx));
        w.tNext = divide(sub32(u.tRight, u.dtdx));
        divisor = count - 1;
    }
    const int64_t r = int64_t{fixedReciprocal(divisor, 30)} + 16384;
    w.ds = static_cast<int32_t>(((int64_t{w.sNext} - w.s) * r) >> 30);
    w.dt = static_cast<int32_t>(((int64_t{w.tNext} - w.t) * r) >> 30);
    w.remaining -= count;
    return count;
}

// Spans of small triangles are a few pixels: a call per run of them would
// cost as much as the pixels.
#if defined(__GNUC__)
#define PF_INLINE __attribute__((always_inline))
#else
#define PF_INLINE
#endif

// Walks a span's texture segments whole: run(s, t, ds, dt, count).
template <typename Run>
inline void walkSegments(const SkwSpanUnit& unit, int32_t n, bool perspective, Run&& run)
{
    if (!perspective) {
        run(unit.s >> 7, unit.t >> 7, unit.dsdx >> 7, unit.dtdx >> 7, n);
        return;
    }
    TexWalk w;
    walkBegin(w, unit, n, perspective);
    for (int32_t done = 0; done < n;) {
        const int32_t count = walkSegment(w);
        run(w.s, w.t, w.ds, w.dt, count);
        done += count;
    }
}

// Walks a whole span: run(s, t, ds, dt, count, isLast) fills count pixels
// from (s, t) on; isLast is a std::bool_constant, true only for a run of the
// span's last pixel, so that its clamp costs nothing elsewhere.
template <typename Run>
inline void walkSpan(const SkwSpanUnit& unit, int32_t n, bool perspective, Run&& run)
{
    int32_t done = 0;
    walkSegments(unit, n, perspective, [&](int32_t s, int32_t t, int32_t ds, int32_t dt, int32_t count) PF_INLINE {
        done += count;
        if (done < n) {
            run(s, t, ds, dt, count, std::false_type{});
            return;
        }
        run(s, t, ds, dt, count - 1, std::false_type{});
        run(stepped(s, ds, count - 1), stepped(t, dt, count - 1), 0, 0, 1, std::true_type{});
    });
}

// Power-of-two texel addressing of the fast paths; gives the index into the
// colour and alpha data (through the palette indices when there are some).
// Coordinates go in scaled, so that no shift per pixel depends on the
// texture: s x width brings the column to bit 16, t x width x height the row
// times the width. Their sums wrap in 64 bits, whose low bits agree with
// those of the 32-bit coordinates.
template <bool Palette>
struct Pow2Texel {
    const uint8_t* indices;
    uint64_t scaleS, scaleT, maskU, maskV;
    explicit Pow2Texel(const SkwSpanSetup& setup)
        : indices(setup.units[0].indexData), scaleS(setup.texelScaleS), scaleT(setup.texelScaleT),
          maskU(setup.texelMaskU), maskV(setup.texelMaskV)
    {
    }
    uint64_t s(int32_t v) const { return uint64_t{static_cast<uint32_t>(v)} * scaleS; }
    uint64_t t(int32_t v) const { return uint64_t{static_cast<uint32_t>(v)} * scaleT; }
    // 64 bits, so that indexing with it takes no widening.
    uint64_t operator()(uint64_t s, uint64_t t) const
    {
        const uint64_t texel = ((s >> 16) & maskU) + ((t >> 16) & maskV);
        if constexpr (Palette)
            return indices[texel];
        return texel;
    }
};

void preparePow2Texel(SkwSpanSetup& setup)
{
    const SkwRasterTexture& tex = setup.units[0];
    // Zeros for a texture whose sides are not powers of two: no fast path takes it.
    if (tex.log2Width < 0 || tex.log2Height < 0) {
        setup.texelScaleS = setup.texelScaleT = setup.texelMaskU = setup.texelMaskV = 0;
        return;
    }
    setup.texelScaleS = uint64_t{1} << tex.log2Width;
    setup.texelScaleT = uint64_t{1} << (tex.log2Width + tex.log2Height);
    setup.texelMaskU = (uint64_t{1} << tex.log2Width) - 1;
    setup.texelMaskV = ((uint64_t{1} << tex.log2Height) - 1) << tex.log2Width;
}

// True when every depth entry of the span is nearer than its nearest z.
// Short spans are not looked at: the pixels' own tests cost less.
constexpr int32_t kHiddenCheckLength = 8;

// Spans shorter than this go without the checks that pay off on longer ones.
constexpr int32_t kShortSpan = kHiddenCheckLength;

bool spanHidden(const SkwSpan& span, int32_t n)
{
    if (n < kHiddenCheckLength)
        return false;
    // z that wraps past the 32-bit end comes back near: such a span is not hidden.
    const int64_t end = span.z + int64_t{span.dzdx} * (n - 1);
    if (end != static_cast<int32_t>(end))
        return false;
    int64_t z = span.z;
    if (span.dzdx < 0)
        z += int64_t{span.dzdx} * n;
    const int64_t zmin = z >> 12;
    const uint16_t* depth = span.depthRow + span.left;
    // A visible span mostly shows so at its first pixels.
    return std::none_of(depth, depth + n, [zmin](uint16_t d) { return d >= zmin; });
}

// Textured routines clamp start colours that lie outside 0..0xFFFF on spans
// longer than a pixel unless colours are clamped per pixel anyway; scratch
// takes the clamped copy when one is needed.
const SkwSpan& clampedStart(const SkwSpanSetup& setup, const SkwSpan& span, SkwSpan& scratch)
{
    auto outside = [](int32_t c) { return static_cast<uint32_t>(c) > 0xFFFF; };
    if (span.right - span.left < 2 || (setup.flags & kRasterClampColors) ||
        !(outside(span.r) || outside(span.g) || outside(span.b)))
        return span;
    scratch = span;
    scratch.r = clampChannel(span.r);
    scratch.g = clampChannel(span.g);
    scratch.b = clampChannel(span.b);
    return scratch;
}

// Builds a table of a family's instances indexed by their bit set.
template <template <unsigned> class Routine, size_t... I>
constexpr auto makeTable(std::index_sequence<I...>)
{
    return std::array{&Routine<I>::run...};
}
template <template <unsigned> class Routine, size_t N>
constexpr auto kTable = makeTable<Routine>(std::make_index_sequence<N>{});

// ---------------------------------------------------------------------------
// Untextured fast paths.

void spanShaded(const SkwSpanSetup&, const SkwSpan& span)
{
    uint16_t* color = span.colorRow + span.left;
    uint16_t* depth = span.depthRow + span.left;
    const int32_t n = span.right - span.left;
    int32_t z = span.z, r = span.r, g = span.g, b = span.b;
    int32_t d = ditherStart(span.left, span.y);
    for (int32_t i = 0; i < n; ++i) {
        const int32_t zz = z >> 12;
        if (zz <= depth[i]) {
            depth[i] = static_cast<uint16_t>(zz);
            color[i] = packDithered(r, g, b, d);
        }
        d ^= 2;
        z = add32(z, span.dzdx);
        r = add32(r, span.drdx);
        g = add32(g, span.dgdx);
        b = add32(b, span.dbdx);
    }
}

void spanFlat(const SkwSpanSetup& setup, const SkwSpan& span)
{
    uint16_t* color = span.colorRow + span.left;
    uint16_t* depth = span.depthRow + span.left;
    const int32_t n = span.right - span.left;
    const uint16_t* row = setup.flatColors + (span.y & 1) * 2;
    const uint16_t pair[2] = {row[span.left & 1], row[(span.left + 1) & 1]};
    int32_t z = span.z;
    for (int32_t i = 0; i < n; ++i) {
        const int32_t zz = z >> 12;
        if (zz <= depth[i]) {
            depth[i] = static_cast<uint16_t>(zz);
            color[i] = pair[i & 1];
        }
        z = add32(z, span.dzdx);
    }
}

void spanBlendAlpha(const SkwSpanSetup&, const SkwSpan& span)
{
    uint16_t* color = span.colorRow + span.left;
    const uint16_t* depth = span.depthRow + span.left;
    const int32_t n = span.right - span.left;
    int32_t z = span.z, r = span.r, g = span.g, b = span.b, a = span.a;
    int32_t d = ditherStart(span.left, span.y);
    for (int32_t i = 0; i < n; ++i) {
        if (depth[i] >= (z >> 12)) {
            int32_t sr = r, sg = g, sb = b;
            if (a < kOpaqueAlpha) {
                const uint32_t p = color[i];
                const int32_t dr = unpackRed(p), dg = unpackGreen(p), db = unpackBlue(p);
                const int64_t k = a >> 8;
                sr = dr + static_cast<int32_t>(((int64_t{sr} - dr) * k) >> 8);
                sg = dg + static_cast<int32_t>(((int64_t{sg} - dg) * k) >> 8);
                sb = db + static_cast<int32_t>(((int64_t{sb} - db) * k) >> 8);
            }
            color[i] = packDithered(sr, sg, sb, d);
        }
        d ^= 2;
        z = add32(z, span.dzdx);
        r = add32(r, span.drdx);
        g = add32(g, span.dgdx);
        b = add32(b, span.dbdx);
        a = add32(a, span.dadx);
    }
}

// ---------------------------------------------------------------------------
// Textured fast paths: one power-of-two repeating unit 0, depth tested.

template <unsigned Bits>
struct TexReplace {
    static constexpr bool kPerspective = Bits & 1;
    static constexpr bool kPalette = Bits & 2;
    static constexpr bool kAlphaTest = Bits & 4;

    static void run(const SkwSpanSetup& setup, const SkwSpan& span)
    {
        const int32_t n = span.right - span.left;
        if (spanHidden(span, n))
            return;
        const SkwRasterTexture& tex = setup.units[0];
        const Pow2Texel<kPalette> texelAt(setup);
        const uint16_t* texColors = tex.colorData;
        const uint8_t* texAlphas = tex.alphaData;
        const int32_t threshold = setup.threshold, dzdx = span.dzdx;
        uint16_t* color = span.colorRow + span.left;
        uint16_t* depth = span.depthRow + span.left;
        int32_t z = span.z;
        walkSegments(span.unit[0], n, kPerspective, [&](int32_t s0, int32_t t0, int32_t ds0, int32_t dt0,
                                                        int32_t count) PF_INLINE {
            uint64_t s = texelAt.s(s0), t = texelAt.t(t0);
            const uint64_t ds = texelAt.s(ds0), dt = texelAt.t(dt0);
            for (int32_t i = 0; i < count; ++i, s += ds, t += dt, z = add32(z, dzdx)) {
                const int32_t zz = z >> 12;
                if (zz > depth[i])
                    continue;
                const uint64_t texel = texelAt(s, t);
                if constexpr (kAlphaTest) {
                    if ((expandAlpha(texAlphas[texel]) >> 8) < threshold)
                        continue;
                }
                depth[i] = static_cast<uint16_t>(zz);
                color[i] = texColors[texel];
            }
            color += count;
            depth += count;
        });
    }
};

// Fragment colour times texel colour, as modulate computes it per channel.
inline int32_t modulate(int32_t cf, int32_t ct) { return static_cast<int32_t>(((int64_t{cf >> 8}) * ct) >> 8); }

// The packed texel colour modulated by a fragment colour whose channels lie
// in 0..0xFFFF, where (c >> 8) x texel channel stays below 2^24 and no
// clamp has anything to do; and by any fragment colour, clamped.
inline uint16_t modulatedInRange(int32_t r, int32_t g, int32_t b, uint32_t texColor)
{
    return packTruncating(((r >> 8) * unpackRed(texColor)) >> 8, ((g >> 8) * unpackGreen(texColor)) >> 8,
                          ((b >> 8) * unpackBlue(texColor)) >> 8);
}

inline uint16_t modulatedClamped(int32_t r, int32_t g, int32_t b, uint32_t texColor)
{
    return packTruncating(clampChannel(modulate(r, unpackRed(texColor))),
                          clampChannel(modulate(g, unpackGreen(texColor))),
                          clampChannel(modulate(b, unpackBlue(texColor))));
}

// Whether v and its steps stay inside lo..hi over n pixels, and so never wrap.
inline bool rampWithin(int32_t v, int32_t step, int32_t n, int64_t lo, int64_t hi)
{
    const int64_t end = v + int64_t{step} * (n - 1);
    return v >= lo && v <= hi && end >= lo && end <= hi;
}

// Colours that stay inside 0..limit over the whole span. Up to 0xFFFFF every
// product of modulate and blending fits 32 bits; up to 0xFFFF the clamp of
// the last pixel changes no value either.
PF_INLINE inline bool coloursInRange(const SkwSpan& span, int32_t n, int32_t limit)
{
    // Negative values pass every bit mask as unsigned, so one compare
    // takes the three channels at each end.
    const int64_t last = n - 1;
    const auto ends = static_cast<uint64_t>((span.r + span.drdx * last) | (span.g + span.dgdx * last) |
                                            (span.b + span.dbdx * last));
    const auto starts = static_cast<uint32_t>(span.r | span.g | span.b);
    const auto mask = static_cast<uint32_t>(~limit);
    return ((starts & mask) | (ends & ~uint64_t{static_cast<uint32_t>(limit)})) == 0;
}

// The loops over a chunk below keep no state from pixel to pixel, so the
// compiler runs them several pixels at a time; where the processor has AVX2
// a build for it is picked when the program loads.
#if defined(__x86_64__) && defined(__GNUC__)
#define PF_VECTOR_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define PF_VECTOR_CLONES
#endif

// Linear values at a chunk's first pixel and their steps.
struct ChunkRamp {
    int32_t z, s, t, a, r, g, b;
    int32_t dz, ds, dt, da, dr, dg, db;
    void advance(int32_t n)
    {
        z = stepped(z, dz, n);
        s = stepped(s, ds, n);
        t = stepped(t, dt, n);
        a = stepped(a, da, n);
        r = stepped(r, dr, n);
        g = stepped(g, dg, n);
        b = stepped(b, db, n);
    }
};

struct BlendChunk {
    static constexpr int32_t kSize = 64;
    int32_t texel[kSize];   // texel address; -1 where a test failed
    int32_t depth[kSize];   // z >> 12
    int32_t weight[kSize];  // blend weight, 0..kOpaqueAlpha
    int32_t color[kSize];   // texel colour; -1 where the pixel is left alone
};

// Per pixel of a chunk: the depth test, the power-of-two texel address, the
// interpolated alpha as weight and, unless the texel's alpha is still to come
// (threshold kAlphaLater), the alpha test and the depth write (writeDepth).
constexpr int32_t kAlphaLater = INT32_MIN;

struct ChunkCover {
    int32_t log2Width, shiftU, shiftV;
    int32_t threshold;
    bool writeDepth;
};

template <bool WriteDepth>
inline void coverPixels(BlendChunk& __restrict chunk, uint16_t* __restrict depth, int32_t n, const ChunkRamp& at,
                        const ChunkCover& c)
{
    for (int32_t i = 0; i < n; ++i) {
        const int32_t zz = stepped(at.z, at.dz, i) >> 12;
        const int32_t u = stepped(at.s, at.ds, i) & 0xFFFF;
        const int32_t v = stepped(at.t, at.dt, i) & 0xFFFF;
        const int32_t a = stepped(at.a, at.da, i);
        const int32_t stored = depth[i];
        // Without branches, so that the loop vectorizes.
        const bool pass = (zz <= stored) & ((a >> 8) >= c.threshold);
        if constexpr (WriteDepth)
            depth[i] = static_cast<uint16_t>(pass ? zz : stored);
        chunk.texel[i] = pass ? ((v >> c.shiftV) << c.log2Width) + (u >> c.shiftU) : -1;
        chunk.depth[i] = zz;
        // Clamped on pixels left alone too, so that no product overflows there.
        chunk.weight[i] = std::clamp(a, 0, kOpaqueAlpha);
    }
}

PF_VECTOR_CLONES void coverChunk(BlendChunk& chunk, uint16_t* depth, int32_t n, const ChunkRamp& ramp,
                                 const ChunkCover& cover)
{
    // Copies, which the chunk's stores cannot alias.
    const ChunkRamp at = ramp;
    const ChunkCover c = cover;
    if (c.writeDepth)
        coverPixels<true>(chunk, depth, n, at, c);
    else
        coverPixels<false>(chunk, depth, n, at, c);
}

// The colour half of a chunk whose colours are in range: texel times
// fragment colour, blended over the destination by the weight (at or above
// kOpaqueAlpha the source), clamped (which up to 0xFFFF changes nothing).
PF_VECTOR_CLONES void blendChunk(uint16_t* __restrict color, const BlendChunk& chunk, int32_t n, const ChunkRamp& ramp)
{
    for (int32_t i = 0; i < n; ++i) {
        const int32_t tc = chunk.color[i];
        const int32_t k = chunk.weight[i];
        const int32_t sr = (((ramp.r + i * ramp.dr) >> 8) * (tc & 0xF800)) >> 8;
        const int32_t sg = (((ramp.g + i * ramp.dg) >> 8) * ((tc & 0x7E0) << 5)) >> 8;
        const int32_t sb = (((ramp.b + i * ramp.db) >> 8) * ((tc & 0x1F) << 11)) >> 8;
        const int32_t d = color[i];
        const int32_t dr = d & 0xF800, dg = (d & 0x7E0) << 5, db = (d & 0x1F) << 11;
        const bool opaque = k >= kOpaqueAlpha;
        const int32_t cr = clampChannel(opaque ? sr : dr + ((((sr - dr) >> 8) * k) >> 8));
        const int32_t cg = clampChannel(opaque ? sg : dg + ((((sg - dg) >> 8) * k) >> 8));
        const int32_t cb = clampChannel(opaque ? sb : db + ((((sb - db) >> 8) * k) >> 8));
        const uint16_t out = packTruncating(cr, cg, cb);
        color[i] = tc < 0 ? static_cast<uint16_t>(d) : out;
    }
}

// Sixteen pixels at a time in 16-bit lanes, where the processor has AVX2:
// the tests, the texel fetch and the colour work of blendChunk in one pass.
// Taken only where no pixel needs the 32-bit forms: z and alpha stay in range
// over the run (so neither wraps and the alpha test passes everywhere), no
// pixel is opaque and the texels come straight from the colour data. With x
// a 5-bit texel channel T shifted to the top and R the fragment channel >> 8,
// ((R x) >> 8 - (d & mask)) >> 8 is mulhi(R, x) - 8D for a 5-bit destination
// D, and the blended level clamp(D + e k / 2^19, 0, 31) (2^18 and 63 for
// green), so every product is a 16-bit high half. False where the build has
// no such form; the caller runs the chunk passes then.
struct WideRun {
    uint16_t* color;
    uint16_t* depth;
    const uint16_t* texels;
    int32_t n;
};

#if defined(__x86_64__) && defined(__GNUC__)
#define PF_AVX2 __attribute__((target("avx2"), always_inline)) inline

// A 32-bit ramp over a block: pixels 0-3 and 8-11 in lo, 4-7 and 12-15 in
// hi, the order in which packing the two to 16 bits gives the block back.
// Wrapping sums: the caller has checked the values that count.
struct Ramp32 {
    __m256i lo, hi, step;
    int32_t d;
};

PF_AVX2 Ramp32 startRamp(int32_t v, int32_t d)
{
    const __m256i vv = _mm256_set1_epi32(v), dd = _mm256_set1_epi32(d);
    return {_mm256_add_epi32(vv, _mm256_mullo_epi32(_mm256_setr_epi32(0, 1, 2, 3, 8, 9, 10, 11), dd)),
            _mm256_add_epi32(vv, _mm256_mullo_epi32(_mm256_setr_epi32(4, 5, 6, 7, 12, 13, 14, 15), dd)),
            _mm256_set1_epi32(stepped(0, d, 16)), d};
}

// By a block, or by pixels (negative: back) once for the last block.
PF_AVX2 void moveRamp(Ramp32& ramp, int32_t pixels)
{
    const __m256i by = pixels == 16 ? ramp.step : _mm256_set1_epi32(stepped(0, ramp.d, pixels));
    ramp.lo = _mm256_add_epi32(ramp.lo, by);
    ramp.hi = _mm256_add_epi32(ramp.hi, by);
}

PF_AVX2 __m256i packRamp(const Ramp32& ramp, int32_t shift)
{
    const __m128i count = _mm_cvtsi32_si128(shift);
    return _mm256_packus_epi32(_mm256_sra_epi32(ramp.lo, count), _mm256_sra_epi32(ramp.hi, count));
}

int16_t low16(int32_t v) { return static_cast<int16_t>(static_cast<uint16_t>(v)); }

// A ramp whose values the 16-bit lanes hold exactly: texel coordinates, of
// which only the low 16 bits count, and alpha, checked to stay in 0..0xFEFF.
struct Ramp16 {
    __m256i v, step;
    int32_t d;
};

PF_AVX2 Ramp16 startRamp16(int32_t v, int32_t d)
{
    const __m256i lanes = _mm256_setr_epi16(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
    return {_mm256_add_epi16(_mm256_set1_epi16(low16(v)), _mm256_mullo_epi16(lanes, _mm256_set1_epi16(low16(d)))),
            _mm256_set1_epi16(low16(stepped(0, d, 16))), d};
}

PF_AVX2 void moveRamp(Ramp16& ramp, int32_t pixels)
{
    ramp.v = _mm256_add_epi16(ramp.v, pixels == 16 ? ramp.step : _mm256_set1_epi16(low16(stepped(0, ramp.d, pixels))));
}

// Eight texels by their 32-bit indices. Every texture here has an even
// count, so the 32-bit read of the pair at index & ~1 stays inside it.
PF_AVX2 __m256i fetchTexels(const uint16_t* texels, __m256i index)
{
    const __m256i pair = _mm256_i32gather_epi32(reinterpret_cast<const int*>(texels), _mm256_srli_epi32(index, 1), 4);
    const __m256i half = _mm256_slli_epi32(_mm256_and_si256(index, _mm256_set1_epi32(1)), 4);
    return _mm256_and_si256(_mm256_srlv_epi32(pair, half), _mm256_set1_epi32(0xFFFF));
}

template <int32_t Shift, int32_t Top>
PF_AVX2 __m256i blendLevel(__m256i e, __m256i k, __m256i kHigh, __m256i dest)
{
    // mulhi_epi16 reads k >= 0x8000 as k - 0x10000: add e back there. No
    // level falls below 0: e is at least -8D (-4D), k below 2^16.
    const __m256i product = _mm256_add_epi16(_mm256_mulhi_epi16(e, k), _mm256_and_si256(e, kHigh));
    const __m256i level = _mm256_add_epi16(dest, _mm256_srai_epi16(product, Shift));
    return _mm256_min_epi16(level, _mm256_set1_epi16(Top));
}

struct WideRamps {
    Ramp32 z, r, g, b;  // r, g, b stepped only where the colour changes
    Ramp16 a, u, v;
    __m256i R, G, B;    // the fragment channels >> 8 of the current block
};

template <bool Flat>
PF_AVX2 void stepRamps(WideRamps& w, int32_t pixels)
{
    moveRamp(w.z, pixels);
    if constexpr (!Flat) {
        moveRamp(w.r, pixels);
        moveRamp(w.g, pixels);
        moveRamp(w.b, pixels);
    }
    moveRamp(w.a, pixels);
    moveRamp(w.u, pixels);
    moveRamp(w.v, pixels);
}

// Texel addressing, held in locals so that the stores of a block, which may
// alias anything, force no reloads.
struct WideTexels {
    const uint16_t* texels;
    __m128i shiftU, shiftV, log2Width;
};

// One block at color and depth; only the lanes of live take part.
template <bool WriteDepth, bool Flat>
PF_AVX2 void blendBlock(uint16_t* color, uint16_t* depth, __m256i live, WideRamps& w, WideTexels tex)
{
    if constexpr (!Flat) {
        w.R = packRamp(w.r, 8);
        w.G = packRamp(w.g, 8);
        w.B = packRamp(w.b, 8);
    }
    const __m256i zz = packRamp(w.z, 12);
    const __m256i stored = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(depth));
    const __m256i pass = _mm256_and_si256(_mm256_cmpeq_epi16(_mm256_max_epu16(zz, stored), stored), live);
    if constexpr (WriteDepth)
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(depth), _mm256_blendv_epi8(stored, zz, pass));

    const __m256i texel = _mm256_add_epi16(_mm256_sll_epi16(_mm256_srl_epi16(w.v.v, tex.shiftV), tex.log2Width),
                                           _mm256_srl_epi16(w.u.v, tex.shiftU));
    const __m256i zero = _mm256_setzero_si256();
    const __m256i tc = _mm256_packus_epi32(fetchTexels(tex.texels, _mm256_unpacklo_epi16(texel, zero)),
                                           fetchTexels(tex.texels, _mm256_unpackhi_epi16(texel, zero)));

    const __m256i d = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(color));
    const __m256i dr = _mm256_srli_epi16(d, 11);
    const __m256i dg = _mm256_and_si256(_mm256_srli_epi16(d, 5), _mm256_set1_epi16(63));
    const __m256i db = _mm256_and_si256(d, _mm256_set1_epi16(31));
    const __m256i tr = _mm256_and_si256(tc, _mm256_set1_epi16(static_cast<int16_t>(0xF800)));
    const __m256i tg = _mm256_slli_epi16(_mm256_and_si256(tc, _mm256_set1_epi16(0x7E0)), 5);
    const __m256i tb = _mm256_slli_epi16(tc, 11);
    const __m256i er = _mm256_sub_epi16(_mm256_mulhi_epu16(w.R, tr), _mm256_slli_epi16(dr, 3));
    const __m256i eg = _mm256_sub_epi16(_mm256_mulhi_epu16(w.G, tg), _mm256_slli_epi16(dg, 2));
    const __m256i eb = _mm256_sub_epi16(_mm256_mulhi_epu16(w.B, tb), _mm256_slli_epi16(db, 3));
    const __m256i k = w.a.v;
    const __m256i kHigh = _mm256_srai_epi16(k, 15);
    const __m256i outR = blendLevel<3, 31>(er, k, kHigh, dr);
    const __m256i outG = blendLevel<2, 63>(eg, k, kHigh, dg);
    const __m256i outB = blendLevel<3, 31>(eb, k, kHigh, db);
    const __m256i out =
        _mm256_or_si256(_mm256_or_si256(_mm256_slli_epi16(outR, 11), _mm256_slli_epi16(outG, 5)), outB);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(color), _mm256_blendv_epi8(d, out, pass));
}

template <bool WriteDepth, bool Flat>
__attribute__((target("avx2"))) void blendWideRun(const WideRun& run, const ChunkRamp& ramp, const ChunkCover& cover)
{
    WideRamps w{startRamp(ramp.z, ramp.dz),
                startRamp(ramp.r, ramp.dr),
                startRamp(ramp.g, ramp.dg),
                startRamp(ramp.b, ramp.db),
                startRamp16(ramp.a, ramp.da),
                startRamp16(ramp.s, ramp.ds),
                startRamp16(ramp.t, ramp.dt),
                _mm256_set1_epi16(low16(ramp.r >> 8)),
                _mm256_set1_epi16(low16(ramp.g >> 8)),
                _mm256_set1_epi16(low16(ramp.b >> 8))};
    const WideTexels tex{run.texels, _mm_cvtsi32_si128(cover.shiftU), _mm_cvtsi32_si128(cover.shiftV),
                         _mm_cvtsi32_si128(cover.log2Width)};
    uint16_t* const color = run.color;
    uint16_t* const depth = run.depth;
    const int32_t n = run.n;
    const __m256i all = _mm256_set1_epi16(-1);
    int32_t i = 0;
    for (; i + 16 <= n; i += 16) {
        blendBlock<WriteDepth, Flat>(color + i, depth + i, all, w, tex);
        stepRamps<Flat>(w, 16);
    }
    const int32_t m = n - i;
    if (m == 0)
        return;
    if (i > 0) {
        // The last block ends at the run's end; its lanes done before sit out.
        stepRamps<Flat>(w, m - 16);
        const __m256i lanes = _mm256_setr_epi16(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
        const __m256i live = _mm256_cmpgt_epi16(lanes, _mm256_set1_epi16(static_cast<int16_t>(15 - m)));
        blendBlock<WriteDepth, Flat>(color + n - 16, depth + n - 16, live, w, tex);
        return;
    }
    // A run shorter than a block goes through copies, so that no lane reads
    // or writes past it.
    alignas(32) uint16_t colorCopy[16] = {}, depthCopy[16] = {};
    std::copy_n(color, m, colorCopy);
    std::copy_n(depth, m, depthCopy);
    blendBlock<WriteDepth, Flat>(colorCopy, depthCopy, all, w, tex);
    std::copy_n(colorCopy, m, color);
    std::copy_n(depthCopy, m, depth);
}

__attribute__((target("default"))) bool blendWide(const WideRun&, const ChunkRamp&, const ChunkCover&)
{
    return false;
}

// Clang sees calls of the dispatcher only, never of this version, and would call it unused.
#if defined(__clang__)
#pragma clang diagnostic push
#pragma clang diagnostic ignored "-Wunused-function"
#endif
__attribute__((target("avx2"))) bool blendWide(const WideRun& run, const ChunkRamp& ramp, const ChunkCover& cover)
{
    const bool flat = (ramp.dr | ramp.dg | ramp.db) == 0;
    if (cover.writeDepth)
        flat ? blendWideRun<true, true>(run, ramp, cover) : blendWideRun<true, false>(run, ramp, cover);
    else
        flat ? blendWideRun<false, true>(run, ramp, cover) : blendWideRun<false, false>(run, ramp, cover);
    return true;
}
#if defined(__clang__)
#pragma clang diagnostic pop
#endif
#else
bool blendWide(const WideRun&, const ChunkRamp&, const ChunkCover&) { return false; }
#endif

// Whether blendWide may take a span whose colours are in range: depth
// values within 16 bits, alpha passing the threshold and short of opaque
// everywhere, and texel indices within 16 bits of an even count.
bool wideFits(const SkwSpan& span, int32_t n, const SkwRasterTexture& tex, int32_t threshold)
{
    const int32_t texelBits = tex.log2Width + tex.log2Height;
    return texelBits >= 1 && texelBits <= 16 && rampWithin(span.z, span.dzdx, n, 0, 0x0FFFFFFF) &&
           rampWithin(span.a, span.dadx, n, int64_t{threshold} * 256, kOpaqueAlpha - 1);
}

// MODULATE of the fragment colour by the texel, written opaque with a depth
// write, or (16) alpha-blended with (32) or without one. The blend weight is
// the fragment alpha after the texture function, as the general routine has
// it: times the texel alpha with alpha data, else the interpolated alpha.
// Blended spans whose colours stay in range go chunk by chunk.
template <unsigned Bits>
struct TexModulate {
    static constexpr bool kPerspective = Bits & 1;
    static constexpr bool kPalette = Bits & 2;
    static constexpr bool kAlphaData = Bits & 4;
    static constexpr bool kClamp = Bits & 8;
    static constexpr bool kBlend = Bits & 16;
    static constexpr bool kDepthWrite = !kBlend || (Bits & 32);

    static void run(const SkwSpanSetup& setup, const SkwSpan& in)
    {
        const int32_t n = in.right - in.left;
        if constexpr (!kPerspective && !kBlend && !kAlphaData) {
            if (n == 1)
                return runSingle(setup, in);
            if (n < kShortSpan) {
                // Colours in range need no clamp, even where the triangle's may.
                if (coloursInRange(in, n, 0xFFFF))
                    return runShort<false>(setup, in, n);
                if constexpr (kClamp)
                    return runShort<true>(setup, in, n);
            }
        }
        runLong(setup, in, n);
    }

    // Apart, so that the short spans' way in sets up no frame for it.
    [[gnu::noinline]] static void runLong(const SkwSpanSetup& setup, const SkwSpan& in, int32_t n)
    {
        if (spanHidden(in, n))
            return;
        // Clamping every pixel needs neither clampedStart nor a last pixel
        // apart, and colours in range leave them nothing to do.
        if constexpr (kBlend) {
            if (coloursInRange(in, n, kClamp ? 0xFFFFF : 0xFFFF))
                return runInRange(setup, in, n);
        }
        if (kClamp || (!kBlend && coloursInRange(in, n, 0xFFFF)))
            return fill<false>(setup, in, n);
        SkwSpan scratch;
        const SkwSpan& span = clampedStart(setup, in, scratch);
        if constexpr (kBlend) {
            if (coloursInRange(span, n, 0xFFFF))
                return runInRange(setup, span, n);
        }
        fill<true>(setup, span, n);
    }

    // Half the spans of small triangles: one pixel, the span's last, so
    // clamped; clampedStart leaves such a span as it is. It needs no
    // register the way in would have to save, so it sits in that way.
    PF_INLINE static void runSingle(const SkwSpanSetup& setup, const SkwSpan& span)
    {
        if ((span.a >> 8) < setup.threshold)
            return;
        const int32_t zz = span.z >> 12;
        uint16_t& depth = span.depthRow[span.left];
        if (zz > depth)
            return;
        depth = static_cast<uint16_t>(zz);
        const Pow2Texel<kPalette> texelAt(setup);
        const uint32_t texColor =
            setup.units[0].colorData[texelAt(texelAt.s(span.unit[0].s >> 7), texelAt.t(span.unit[0].t >> 7))];
        span.colorRow[span.left] = static_cast<uint32_t>(span.r | span.g | span.b) <= 0xFFFF
                                       ? modulatedInRange(span.r, span.g, span.b, texColor)
                                       : modulatedClamped(span.r, span.g, span.b, texColor);
    }

    // Most spans of small triangles: affine, a few pixels long, colours in
    // range or clamped at every pixel. One loop with nothing else per span,
    // so that a pixel or two costs little more than the pixels.
    template <bool Clamp>
    [[gnu::noinline]] static void runShort(const SkwSpanSetup& setup, const SkwSpan& span, int32_t n)
    {
        // Alpha that fails the threshold anywhere takes the long way.
        if (!rampWithin(span.a, span.dadx, n, int64_t{setup.threshold} * 256, INT32_MAX))
            return runLong(setup, span, n);
        const Pow2Texel<kPalette> texelAt(setup);
        const SkwSpanUnit& unit = span.unit[0];
        uint64_t s = texelAt.s(unit.s >> 7), t = texelAt.t(unit.t >> 7);
        const uint64_t ds = texelAt.s(unit.dsdx >> 7), dt = texelAt.t(unit.dtdx >> 7);
        const uint16_t* texColors = setup.units[0].colorData;
        uint16_t* color = span.colorRow + span.left;
        uint16_t* depth = span.depthRow + span.left;
        int32_t z = span.z, r = span.r, g = span.g, b = span.b;
        for (int32_t i = 0; i < n; ++i, s += ds, t += dt, z = add32(z, span.dzdx), r = add32(r, span.drdx),
                     g = add32(g, span.dgdx), b = add32(b, span.dbdx)) {
            const int32_t zz = z >> 12;
            if (zz > depth[i])
                continue;
            depth[i] = static_cast<uint16_t>(zz);
            const uint32_t texColor = texColors[texelAt(s, t)];
            color[i] = Clamp ? modulatedClamped(r, g, b, texColor) : modulatedInRange(r, g, b, texColor);
        }
    }

    // Split: the span's last pixel is clamped, the others are not.
    template <bool Split>
    static void fill(const SkwSpanSetup& setup, const SkwSpan& span, int32_t n)
    {
        // Alpha that passes the threshold all along the span needs no test per pixel.
        if (!kAlphaData && rampWithin(span.a, span.dadx, n, int64_t{setup.threshold} * 256, INT32_MAX))
            fillPixels<Split, false>(setup, span, n);
        else
            fillPixels<Split, true>(setup, span, n);
    }

    template <bool Split, bool AlphaTest>
    static void fillPixels(const SkwSpanSetup& setup, const SkwSpan& span, int32_t n)
    {
        const SkwRasterTexture& tex = setup.units[0];
        const Pow2Texel<kPalette> texelAt(setup);
        const uint16_t* texColors = tex.colorData;
        const uint8_t* texAlphas = tex.alphaData;
        const int32_t threshold = setup.threshold;
        const int32_t dzdx = span.dzdx, drdx = span.drdx, dgdx = span.dgdx, dbdx = span.dbdx, dadx = span.dadx;
        uint16_t* color = span.colorRow + span.left;
        uint16_t* depth = span.depthRow + span.left;
        int32_t z = span.z, r = span.r, g = span.g, b = span.b, a = span.a;
        auto pixels = [&](int32_t s0, int32_t t0, int32_t ds0, int32_t dt0, int32_t count, auto last) PF_INLINE {
            // Locals, so that the loop keeps them in registers.
            int32_t zi = z, ri = r, gi = g, bi = b, ai = a;
            uint64_t s = texelAt.s(s0), t = texelAt.t(t0);
            const uint64_t ds = texelAt.s(ds0), dt = texelAt.t(dt0);
            for (int32_t i = 0; i < count; ++i, s += ds, t += dt, zi = add32(zi, dzdx), ri = add32(ri, drdx),
                         gi = add32(gi, dgdx), bi = add32(bi, dbdx), ai = add32(ai, dadx)) {
                const int32_t zz = zi >> 12;
                if (zz > depth[i])
                    continue;
                const uint64_t texel = texelAt(s, t);
                int64_t alpha = ai;
                if constexpr (kAlphaData)
                    alpha = (int64_t{ai >> 8} * expandAlpha(texAlphas[texel])) >> 8;
                if (AlphaTest && (alpha >> 8) < threshold)
                    continue;
                if constexpr (kDepthWrite)
                    depth[i] = static_cast<uint16_t>(zz);
                const uint32_t texColor = texColors[texel];
                int32_t cr = modulate(ri, unpackRed(texColor));
                int32_t cg = modulate(gi, unpackGreen(texColor));
                int32_t cb = modulate(bi, unpackBlue(texColor));
                if constexpr (kBlend) {
                    if (alpha < kOpaqueAlpha) {
                        const uint32_t c = color[i];
                        const int32_t dr = unpackRed(c), dg = unpackGreen(c), db = unpackBlue(c);
                        cr = dr + static_cast<int32_t>((((int64_t{cr} - dr) >> 8) * alpha) >> 8);
                        cg = dg + static_cast<int32_t>((((int64_t{cg} - dg) >> 8) * alpha) >> 8);
                        cb = db + static_cast<int32_t>((((int64_t{cb} - db) >> 8) * alpha) >> 8);
                    }
                }
                if constexpr (kClamp || decltype(last)::value) {
                    cr = clampChannel(cr);
                    cg = clampChannel(cg);
                    cb = clampChannel(cb);
                }
                color[i] = packTruncating(cr, cg, cb);
            }
            z = zi;
            r = ri;
            g = gi;
            b = bi;
            a = ai;
            color += count;
            depth += count;
        };
        if constexpr (Split) {
            walkSpan(span.unit[0], n, kPerspective, pixels);
        } else {
            walkSegments(span.unit[0], n, kPerspective,
                         [&](int32_t s, int32_t t, int32_t ds, int32_t dt, int32_t count)
                             PF_INLINE { pixels(s, t, ds, dt, count, std::false_type{}); });
        }
    }

    // Colours in range: chunk by chunk, the tests and texel addresses, then
    // the texels (and the tests that need their alpha), then the colour work.
    static void runInRange(const SkwSpanSetup& setup, const SkwSpan& span, int32_t n)
    {
        const SkwRasterTexture& tex = setup.units[0];
        const ChunkCover cover{tex.log2Width, 16 - tex.log2Width, 16 - tex.log2Height,
                               kAlphaData ? kAlphaLater : setup.threshold, kDepthWrite && !kAlphaData};
        uint16_t* color = span.colorRow + span.left;
        uint16_t* depth = span.depthRow + span.left;
        ChunkRamp ramp{span.z, 0, 0, span.a, span.r, span.g, span.b,
                       span.dzdx, 0, 0, span.dadx, span.drdx, span.dgdx, span.dbdx};
        bool wide = false;
        if constexpr (!kPalette && !kAlphaData)
            wide = wideFits(span, n, tex, setup.threshold);
        BlendChunk chunk;
        // The last pixel needs no run of its own: the chunk passes clamp every pixel.
        walkSegments(span.unit[0], n, kPerspective, [&](int32_t s, int32_t t, int32_t ds, int32_t dt, int32_t count) {
            ramp.s = s;
            ramp.t = t;
            ramp.ds = ds;
            ramp.dt = dt;
            if (wide && blendWide(WideRun{color, depth, tex.colorData, count}, ramp, cover)) {
                color += count;
                depth += count;
                ramp.advance(count);
                return;
            }
            for (int32_t done = 0; done < count;) {
                const int32_t m = std::min(BlendChunk::kSize, count - done);
                coverChunk(chunk, depth, m, ramp, cover);
                if constexpr (!kPalette && !kAlphaData) {
                    // Branch-free: texel 0 is read for pixels left alone.
                    const uint16_t* colors = tex.colorData;
                    for (int32_t i = 0; i < m; ++i) {
                        const int32_t texel = chunk.texel[i];
                        const int32_t c = colors[texel < 0 ? 0 : texel];
                        chunk.color[i] = texel < 0 ? -1 : c;
                    }
                } else {
                    for (int32_t i = 0; i < m; ++i) {
                        chunk.color[i] = -1;
                        int32_t texel = chunk.texel[i];
                        if (texel < 0)
                            continue;
                        if constexpr (kPalette)
                            texel = tex.indexData[texel];
                        if constexpr (kAlphaData) {
                            const int32_t ai = stepped(ramp.a, ramp.da, i);
                            const int64_t alpha = (int64_t{ai >> 8} * expandAlpha(tex.alphaData[texel])) >> 8;
                            if ((alpha >> 8) < setup.threshold)
                                continue;
                            if constexpr (kDepthWrite)
                                depth[i] = static_cast<uint16_t>(chunk.depth[i]);
                            chunk.weight[i] = static_cast<int32_t>(std::min<int64_t>(alpha, kOpaqueAlpha));
                        }
                        chunk.color[i] = tex.colorData[texel];
                    }
                }
                blendChunk(color, chunk, m, ramp);
                done += m;
                color += m;
                depth += m;
                ramp.advance(m);
            }
        });
    }
};

} // namespace

// ---------------------------------------------------------------------------
// The general routines: fragments of one chunk pass through the stages.

struct SpanFragments {
    int32_t base;  // offset of the chunk's first pixel from the span's left end
    int32_t unit;  // the texture unit the texel stages work on
    TexWalk walk[2];
    int32_t r[kChunk], g[kChunk], b[kChunk], a[kChunk], fog[kChunk];
    int32_t s[kChunk], t[kChunk];
    uint16_t texel[kChunk];
    int32_t texelAlpha[kChunk];
    bool pass[kChunk];
};

namespace {

void interpolate(const SkwSpan& span, SpanFragments& f, int32_t n, bool fog)
{
    for (int32_t i = 0; i < n; ++i) {
        f.r[i] = stepped(span.r, span.drdx, f.base + i);
        f.g[i] = stepped(span.g, span.dgdx, f.base + i);
        f.b[i] = stepped(span.b, span.dbdx, f.base + i);
        f.a[i] = stepped(span.a, span.dadx, f.base + i);
    }
    if (fog) {
        for (int32_t i = 0; i < n; ++i)
            f.fog[i] = stepped(span.fog, span.dfogdx, f.base + i);
    }
}

// Texture coordinates of the chunk, then its texels: colour and alpha on the
// 0..0x10000 scale.
template <unsigned Bits>
struct FetchStage {
    static constexpr bool kPalette = Bits & 1;
    static constexpr bool kAlphaData = Bits & 2;
    static constexpr bool kClampS = Bits & 4;
    static constexpr bool kClampT = Bits & 8;

    static void run(const SkwSpanSetup& setup, const SkwSpan&, SpanFragments& f, int32_t, int32_t n)
    {
        TexWalk& w = f.walk[f.unit];
        for (int32_t i = 0; i < n;) {
            if (w.segLeft == 0)
                w.segLeft = walkSegment(w);
            const int32_t m = std::min(w.segLeft, n - i);
            for (int32_t k = 0; k < m; ++k, ++i) {
                f.s[i] = w.s;
                f.t[i] = w.t;
                w.s = add32(w.s, w.ds);
                w.t = add32(w.t, w.dt);
            }
            w.segLeft -= m;
        }
        const SkwRasterTexture& tex = setup.units[f.unit];
        const uint32_t width = static_cast<uint32_t>(tex.width);
        const uint32_t height = static_cast<uint32_t>(tex.height);
        for (int32_t i = 0; i < n; ++i) {
            const uint32_t u = kClampS ? static_cast<uint32_t>(clampChannel(f.s[i])) : (f.s[i] & 0xFFFF);
            const uint32_t v = kClampT ? static_cast<uint32_t>(clampChannel(f.t[i])) : (f.t[i] & 0xFFFF);
            int32_t texel = static_cast<int32_t>(((v * height) >> 16) * width + ((u * width) >> 16));
            if constexpr (kPalette)
                texel = tex.indexData[texel];
            f.texel[i] = tex.colorData[texel];
            f.texelAlpha[i] = kAlphaData ? expandAlpha(tex.alphaData[texel]) : 0x10000;
        }
    }
};

// The unit's texture function. Bits: function - 224 in 0..4, 8 the format has
// colour, 16 it has alpha.
template <unsigned Bits>
struct CombineStage {
    static constexpr int32_t kFunction = kFuncAdd + static_cast<int32_t>(Bits & 7);
    static constexpr bool kColor = Bits & 8;
    static constexpr bool kAlpha = Bits & 16;

    static int32_t color(int32_t cf, int32_t ct, int32_t cb, int32_t at)
    {
        if constexpr (kFunction == kFuncAdd)
            return static_cast<int32_t>(std::min<int64_t>(int64_t{cf} + ct, 65535));
        else if constexpr (kFunction == kFuncBlend)
            return cf + static_cast<int32_t>(((int64_t{cb} - cf) * (ct >> 8)) >> 8);
        else if constexpr (kFunction == kFuncDecal)
            return cf + static_cast<int32_t>(((int64_t{ct} - cf) * (at >> 8)) >> 8);
        else if constexpr (kFunction == kFuncModulate)
            return modulate(cf, ct);
        else
            return ct;
    }

    static void run(const SkwSpanSetup& setup, const SkwSpan&, SpanFragments& f, int32_t, int32_t n)
    {
        const SkwRasterTexture& tex = setup.units[f.unit];
        for (int32_t i = 0; i < n; ++i) {
            const uint32_t p = f.texel[i];
            const int32_t at = f.texelAlpha[i];
            if constexpr (kColor) {
                f.r[i] = color(f.r[i], unpackRed(p), tex.blendRed, at);
                f.g[i] = color(f.g[i], unpackGreen(p), tex.blendGreen, at);
                f.b[i] = color(f.b[i], unpackBlue(p), tex.blendBlue, at);
            }
            if constexpr (kAlpha && kFunction == kFuncReplace)
                f.a[i] = at;
            else if constexpr (kAlpha && kFunction != kFuncDecal)
                f.a[i] = static_cast<int32_t>((int64_t{f.a[i] >> 8} * at) >> 8);
        }
    }
};

// Alpha test, depth test and depth write; pass[] marks the pixels to write.
template <unsigned Bits>
struct TestStage {
    static constexpr bool kDepthTest = Bits & 1;
    static constexpr bool kDepthWrite = Bits & 2;

    static void run(const SkwSpanSetup& setup, const SkwSpan& span, SpanFragments& f, int32_t, int32_t n)
    {
        // Without depth test or write there may be no depth buffer at all.
        uint16_t* depth = kDepthTest || kDepthWrite ? span.depthRow + span.left + f.base : nullptr;
        int32_t z = stepped(span.z, span.dzdx, f.base);
        for (int32_t i = 0; i < n; ++i, z = add32(z, span.dzdx)) {
            bool pass = (f.a[i] >> 8) >= setup.threshold;
            if constexpr (kDepthTest)
                pass &= depth[i] >= (z >> 12);
            if constexpr (kDepthWrite) {
                if (pass)
                    depth[i] = static_cast<uint16_t>(z >> 12);
            }
            f.pass[i] = pass;
        }
    }
};

void fogStage(const SkwSpanSetup& setup, const SkwSpan&, SpanFragments& f, int32_t, int32_t n)
{
    const int64_t fr = setup.fogRed, fg = setup.fogGreen, fb = setup.fogBlue;
    for (int32_t i = 0; i < n; ++i) {
        const int64_t k = std::clamp(f.fog[i] >> 3, 0, 8191);
        f.r[i] += static_cast<int32_t>(((fr - f.r[i]) * k) >> 13);
        f.g[i] += static_cast<int32_t>(((fg - f.g[i]) * k) >> 13);
        f.b[i] += static_cast<int32_t>(((fb - f.b[i]) * k) >> 13);
    }
}

// Bits: blending - 64 in 0..4, 8 for the textured routine's rounding.
template <unsigned Bits>
struct BlendStage {
    static constexpr int32_t kBlending = kBlendAlpha + static_cast<int32_t>(Bits & 7);
    static constexpr bool kTextured = Bits & 8;

    static int32_t channel(int32_t s, int32_t d, int32_t a)
    {
        if constexpr (kBlending == kBlendAlpha) {
            if (a >= kOpaqueAlpha)
                return s;
            if constexpr (kTextured)
                return d + static_cast<int32_t>((((int64_t{s} - d) >> 8) * a) >> 8);
            else
                return d + static_cast<int32_t>(((int64_t{s} - d) * (a >> 8)) >> 8);
        } else if constexpr (kBlending == kBlendAlphaAdd) {
            if (a >= kOpaqueAlpha)
                return add32(d, s);
            return d + static_cast<int32_t>((int64_t{a >> 8} * s) >> 8);
        } else if constexpr (kBlending == kBlendModulate) {
            return static_cast<int32_t>((int64_t{d >> 8} * (int64_t{s} + 1)) >> 8);
        } else if constexpr (kBlending == kBlendModulateX2) {
            if constexpr (kTextured)
                return static_cast<int32_t>((int64_t{d >> 7} * s) >> 8);
            else
                return static_cast<int32_t>((int64_t{d >> 8} * s) >> 7);
        } else {
            return s;
        }
    }

    static void run(const SkwSpanSetup&, const SkwSpan& span, SpanFragments& f, int32_t, int32_t n)
    {
        const uint16_t* color = span.colorRow + span.left + f.base;
        const uint8_t* alpha = span.alphaRow ? span.alphaRow + span.left + f.base : nullptr;
        for (int32_t i = 0; i < n; ++i) {
            const uint32_t p = color[i];
            const int32_t a = f.a[i];
            f.r[i] = channel(f.r[i], unpackRed(p), a);
            f.g[i] = channel(f.g[i], unpackGreen(p), a);
            f.b[i] = channel(f.b[i], unpackBlue(p), a);
            if constexpr (kBlending == kBlendAlpha || kBlending == kBlendAlphaAdd)
                f.a[i] = channel(a, alpha ? alpha[i] << 8 : 0, a);
        }
    }
};

// Bits: 1 textured (truncating) else dithered packing, 2 clamp colours,
// 4 colour write, 8 alpha-plane write. offset/n may cover part of the chunk.
template <unsigned Bits>
struct WriteStage {
    static constexpr bool kTextured = Bits & 1;
    static constexpr bool kClamp = Bits & 2;
    static constexpr bool kColorWrite = Bits & 4;
    static constexpr bool kAlphaWrite = Bits & 8;

    static void run(const SkwSpanSetup&, const SkwSpan& span, SpanFragments& f, int32_t offset, int32_t n)
    {
        const int32_t x = span.left + offset;
        uint16_t* color = span.colorRow + x;
        uint8_t* alpha = kAlphaWrite ? span.alphaRow + x : nullptr;
        const int32_t first = offset - f.base;
        int32_t d = ditherStart(x, span.y);
        for (int32_t k = 0; k < n; ++k, d ^= 2) {
            const int32_t i = first + k;
            if (!f.pass[i])
                continue;
            if constexpr (kColorWrite) {
                int32_t r = f.r[i], g = f.g[i], b = f.b[i];
                if constexpr (kTextured) {
                    if constexpr (kClamp) {
                        r = clampChannel(r);
                        g = clampChannel(g);
                        b = clampChannel(b);
                    }
                    color[k] = packTruncating(r, g, b);
                } else {
                    color[k] = packDithered(r, g, b, d);
                }
            }
            if constexpr (kAlphaWrite)
                alpha[k] = static_cast<uint8_t>(std::clamp(f.a[i], 0, 0xFF00) >> 8);
        }
    }
};

void runChunks(const SkwSpanSetup& setup, const SkwSpan& span, SpanFragments& f, bool textured)
{
    const int32_t n = span.right - span.left;
    const bool fog = setup.fogStage != nullptr;
    for (f.base = 0; f.base < n; f.base += kChunk) {
        const int32_t m = std::min(kChunk, n - f.base);
        interpolate(span, f, m, fog);
        if (textured) {
            for (f.unit = 0; f.unit < 2; ++f.unit) {
                if (setup.fetchStage[f.unit]) {
                    setup.fetchStage[f.unit](setup, span, f, f.base, m);
                    setup.combineStage[f.unit](setup, span, f, f.base, m);
                }
            }
        }
        setup.testStage(setup, span, f, f.base, m);
        if (fog)
            setup.fogStage(setup, span, f, f.base, m);
        setup.blendStage(setup, span, f, f.base, m);
        if (f.base + m < n) {
            setup.writeStage(setup, span, f, f.base, m);
        } else {
            setup.writeStage(setup, span, f, f.base, m - 1);
            setup.writeLastStage(setup, span, f, f.base + m - 1, 1);
        }
    }
}

void spanGeneral(const SkwSpanSetup& setup, const SkwSpan& span)
{
    SpanFragments f;
    runChunks(setup, span, f, false);
}

void spanTexturedGeneral(const SkwSpanSetup& setup, const SkwSpan& in)
{
    SkwSpan scratch;
    const SkwSpan& span = clampedStart(setup, in, scratch);
    const int32_t n = span.right - span.left;
    const bool perspective = !(setup.flags & kRasterAffine);
    SpanFragments f;
    for (int32_t u = 0; u < 2; ++u) {
        if (setup.fetchStage[u])
            walkBegin(f.walk[u], span.unit[u], n, perspective);
    }
    runChunks(setup, span, f, true);
}

bool hasColor(int32_t format) { return format >= kRasterFormatLuminance && format <= kRasterFormatRgba; }
bool hasAlpha(int32_t format)
{
    return format == kRasterFormatAlpha || format == kRasterFormatLuminanceAlpha || format == kRasterFormatRgba;
}

void selectGeneralStages(SkwSpanSetup& setup, bool textured)
{
    const int32_t flags = setup.flags;
    for (int32_t u = 0; u < 2; ++u) {
        const SkwRasterTexture& tex = setup.units[u];
        const bool used = textured && tex.format != kRasterFormatNone && tex.colorData;
        const unsigned fetch = (tex.indexData ? 1u : 0u) | (tex.alphaData ? 2u : 0u) |
                               (tex.wrap & kWrapClampS ? 4u : 0u) | (tex.wrap & kWrapClampT ? 8u : 0u);
        const unsigned function = static_cast<unsigned>(tex.function - kFuncAdd);
        // Unknown functions leave the fragment as it is.
        const unsigned combine = function < 5 ? function | (hasColor(tex.format) ? 8u : 0u) |
                                                    (hasAlpha(tex.format) ? 16u : 0u)
                                              : 7u;
        setup.fetchStage[u] = used ? kTable<FetchStage, 16>[fetch] : nullptr;
        setup.combineStage[u] = used ? kTable<CombineStage, 32>[combine] : nullptr;
    }
    setup.testStage = kTable<TestStage, 4>[(flags & kRasterDepthTest ? 1u : 0u) |
                                           (flags & kRasterDepthWrite ? 2u : 0u)];
    setup.fogStage = textured && (flags & kRasterFog) ? fogStage : nullptr;
    const unsigned blending = static_cast<unsigned>(setup.blending - kBlendAlpha);
    setup.blendStage = kTable<BlendStage, 16>[(blending < 5 ? blending : 4u) | (textured ? 8u : 0u)];
    const unsigned write = (textured ? 1u : 0u) | (flags & kRasterColorWrite ? 4u : 0u) |
                           (flags & kRasterAlphaWrite ? 8u : 0u);
    setup.writeStage = kTable<WriteStage, 16>[write | (flags & kRasterClampColors ? 2u : 0u)];
    setup.writeLastStage = kTable<WriteStage, 16>[write | 2u];
}

} // namespace

SpanRoutine selectSpanRoutine(SpanFamily family, SkwSpanSetup& setup)
{
    const SkwRasterTexture& tex = setup.units[0];
    const bool perspective = !(setup.flags & kRasterAffine);
    const unsigned common = (perspective ? 1u : 0u) | (tex.indexData ? 2u : 0u);
    // Texel alpha counts only where the format has alpha, as in the general routine.
    const unsigned modulateBits = common | (tex.alphaData && hasAlpha(tex.format) ? 4u : 0u) |
                                  (setup.flags & kRasterClampColors ? 8u : 0u);
    preparePow2Texel(setup);
    switch (family) {
    case SpanFamily::Shaded:
        return spanShaded;
    case SpanFamily::Flat:
        return spanFlat;
    case SpanFamily::BlendAlpha:
        return spanBlendAlpha;
    case SpanFamily::TexReplace:
        return kTable<TexReplace, 8>[common | (tex.alphaData && setup.threshold != 0 ? 4u : 0u)];
    case SpanFamily::TexModulate:
        return kTable<TexModulate, 64>[modulateBits];
    case SpanFamily::TexBlendAlpha:
        return kTable<TexModulate, 64>[modulateBits | 16u | (setup.flags & kRasterDepthWrite ? 32u : 0u)];
    case SpanFamily::TexturedGeneral:
        selectGeneralStages(setup, true);
        return spanTexturedGeneral;
    case SpanFamily::General:
        break;
    }
    selectGeneralStages(setup, false);
    return spanGeneral;
}

void prepareFlatColors(SkwSpanSetup& setup, int32_t red, int32_t green, int32_t blue)
{
    const int32_t r = std::clamp(red, 0, 0xF800);
    const int32_t g = std::clamp(green, 0, 0xFC00);
    const int32_t b = std::clamp(blue, 0, 0xF800);
    // By (x & 1) + (y & 1) x 2, with the dither offsets of the shaded routines.
    for (int32_t i = 0; i < 4; ++i)
        setup.flatColors[i] = packDithered(r, g, b, ditherStart(i & 1, i >> 1));
}
