// Triangle set-up, edge walking and clipping of the software rasterizer, the
// sprite quad fast path, the rectangle fill and the background blit. Set-up
// products that can pass 32 bits are formed in 64 bits; the per-pixel work is
// in the span routines.
#include "engine/render/CkwRasterizerStandard.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <type_traits>
#include <utility>

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
[[gnu::always_inline]] inline int64_t areaReciprocal(int64_t cross)
{
    const int64_t area = cross >> 8;
    const int64_t size = area < 0 ? -area : area;
    if (size > 512) [[unlikely]]
        return fixedReciprocal(static_cast<int32_t>(std::clamp<int64_t>(area, INT32_MIN, INT32_MAX)), 30);
    int64_t r;
    if (area >= -7 && area <= 7)
        r = (int64_t{1} << 38) / std::max<int64_t>(cross < 0 ? -cross : cross, 256);
    else
        r = RECIPROCAL_TABLE[size];  // fixedReciprocal(area, 30)
    return cross < 0 ? -r : r;
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

// The attributes a triangle interpolates, in the order of the span state: the
// depth, the colour, alpha, fog, and s, t, q of each texture unit.
enum Attribute : int32_t { kZ, kRed, kGreen, kBlue, kAlpha, kFogAmount, kUnitS, kUnitT, kUnitQ };
constexpr int32_t kUnitStride = 3;  // s, t, q of unit 1 follow those of unit 0

constexpr uint32_t lane(int32_t attribute) { return 1u << attribute; }
constexpr uint32_t kColourLanes = lane(kRed) | lane(kGreen) | lane(kBlue);
constexpr uint32_t kAlphaFogLanes = lane(kAlpha) | lane(kFogAmount);
constexpr uint32_t unitLanes(int32_t unit, bool perspective)
{
    const int32_t s = kUnitS + unit * kUnitStride;
    return lane(s) | lane(s + 1) | (perspective ? lane(s + 2) : 0);
}

// The lanes of one of the triangle routines: bit 0 shaded, bit 1 alpha or
// fog varying, then the units: none, one affine, one perspective, two
// affine, two perspective. Only perspective spans take values at the right.
constexpr int32_t kLaneSets = 20;
constexpr uint32_t rightLanesOf(int32_t set)
{
    const int32_t units = set >> 2;
    return units == 2 ? unitLanes(0, true) : units == 4 ? unitLanes(0, true) | unitLanes(1, true) : 0;
}
constexpr uint32_t leftLanesOf(int32_t set)
{
    const int32_t units = set >> 2;
    const uint32_t unitSet = units == 0 ? 0
        : units <= 2 ? unitLanes(0, units == 2)
                     : unitLanes(0, units == 4) | unitLanes(1, units == 4);
    return lane(kZ) | (set & 1 ? kColourLanes : 0) | (set & 2 ? kAlphaFogLanes : 0) | unitSet;
}

// The attributes of a lane set in order, and where each sits in it.
template <uint32_t Mask>
struct Lanes {
    static constexpr int32_t kCount = std::popcount(Mask);
    static constexpr std::array<int32_t, kCount> kAttribute = [] {
        std::array<int32_t, kCount> list{};
        for (int32_t a = 0, j = 0; a < 32; ++a)
            if (Mask & lane(a))
                list[j++] = a;
        return list;
    }();
    static constexpr int32_t at(int32_t attribute) { return std::popcount(Mask & (lane(attribute) - 1)); }
};

// f(j, attribute) for each lane of Mask, unrolled, both compile-time constants.
template <uint32_t Mask, class F>
[[gnu::always_inline]] inline void forLanes(F&& f)
{
    [&]<size_t... J>(std::index_sequence<J...>) {
        (f(std::integral_constant<int32_t, static_cast<int32_t>(J)>{},
           std::integral_constant<int32_t, Lanes<Mask>::kAttribute[J]>{}),
         ...);
    }(std::make_index_sequence<Lanes<Mask>::kCount>{});
}

// The span's value of an attribute at its left pixel, or at its right end.
template <int32_t A, bool Right = false>
int32_t& spanValue(SkwSpan& span)
{
    if constexpr (A < kUnitS) {
        static_assert(!Right);
        int32_t* const values[] = {&span.z, &span.r, &span.g, &span.b, &span.a, &span.fog};
        return *values[A];
    } else {
        SkwSpanUnit& u = span.unit[(A - kUnitS) / kUnitStride];
        constexpr int32_t k = (A - kUnitS) % kUnitStride;
        if constexpr (k == 0)
            return Right ? u.sRight : u.s;
        else if constexpr (k == 1)
            return Right ? u.tRight : u.t;
        else
            return Right ? u.qRight : u.q;
    }
}

// The span's step of an attribute along x.
template <int32_t A>
int32_t& spanStep(SkwSpan& span)
{
    if constexpr (A < kUnitS) {
        int32_t* const steps[] = {&span.dzdx, &span.drdx, &span.dgdx, &span.dbdx, &span.dadx, &span.dfogdx};
        return *steps[A];
    } else {
        SkwSpanUnit& u = span.unit[(A - kUnitS) / kUnitStride];
        constexpr int32_t k = (A - kUnitS) % kUnitStride;
        return k == 0 ? u.dsdx : k == 1 ? u.dtdx : u.dqdx;
    }
}

// A vertex's red, green and blue and the word holding its alpha and fog.
using ColourWords = int32_t __attribute__((vector_size(16)));
static_assert(offsetof(SkwRasterVertex, g) == offsetof(SkwRasterVertex, r) + 4
              && offsetof(SkwRasterVertex, b) == offsetof(SkwRasterVertex, r) + 8
              && offsetof(SkwRasterVertex, alpha) == offsetof(SkwRasterVertex, r) + 12
              && offsetof(SkwRasterVertex, fog) == offsetof(SkwRasterVertex, r) + 13);
ColourWords colourWords(const SkwRasterVertex& v)
{
    ColourWords words;
    std::memcpy(&words, &v.r, sizeof words);
    return words;
}

// Four lanes worked on together; the compiler maps them onto the vector
// registers the processor has, and so off the scalar multiplier that the
// set-up keeps busy.
using LaneGroup = uint32_t __attribute__((vector_size(16)));

// One side of a triangle: where its current edge crosses each scanline, and
// the lanes it carries at the first pixel centre at or right of the edge on
// the edge's first scanline. Further down, a lane's value is that plus the
// rows times its y gradient and the columns the pixel moved times its x
// gradient, wrapping at 32 bits as the spans take it: the same sum that
// stepping row by row gives. The rows' part is added as each row is left,
// so a span pays one product per lane, not two.
template <uint32_t Mask>
struct Side {
    static constexpr int32_t kCount = Lanes<Mask>::kCount;
    static constexpr int32_t kGroups = (kCount + 3) / 4;
    int64_t x;       // 20.12, biased so that x >> 12 is the ceiling
    int64_t slope;   // 20.12 per scanline
    int32_t endY;    // first scanline below this edge
    int32_t lower;   // index of the edge's lower vertex
    int64_t firstX;  // its pixel on its first scanline
    LaneGroup value[kGroups + (kGroups == 0)];  // at column firstX of the current scanline
    LaneGroup dx[kGroups + (kGroups == 0)], dy[kGroups + (kGroups == 0)];

    // The lanes' gradients, from ddx and ddy at the positions of the lane set All.
    template <uint32_t All>
    [[gnu::always_inline]] void gradients(const int32_t* ddx, const int32_t* ddy)
    {
        // Lane by lane: a whole group loaded from the lanes' own stores,
        // just made, would wait for them to land.
        uint32_t gx[kGroups * 4 + 1] = {}, gy[kGroups * 4 + 1] = {};
        forLanes<Mask>([&](auto j, auto attribute) {
            constexpr int32_t k = Lanes<All>::at(attribute);
            gx[j] = static_cast<uint32_t>(ddx[k]);
            gy[j] = static_cast<uint32_t>(ddy[k]);
        });
        for (int32_t g = 0; g < kGroups; ++g) {
            dx[g] = LaneGroup{gx[4 * g], gx[4 * g + 1], gx[4 * g + 2], gx[4 * g + 3]};
            dy[g] = LaneGroup{gy[4 * g], gy[4 * g + 1], gy[4 * g + 2], gy[4 * g + 3]};
        }
    }

    // The edge from a to b (index to). startOf(attribute) gives a's value
    // of an attribute with the rounding an edge's start adds; ddx and ddy
    // hold the gradients at the positions of the lane set All.
    template <uint32_t All, class StartOf>
    [[gnu::always_inline]] void begin(const SkwRasterVertex& a, const SkwRasterVertex& b, int32_t to,
                                      const StartOf& startOf, const int32_t* ddx, const int32_t* ddy)
    {
        lower = to;
        endY = ceil4(b.y);
        slope = (int64_t{edgeReciprocal(b.y - a.y)} * (int64_t{b.x} - a.x)) >> 8;
        // Down to the first scanline; without a branch, as vertices land
        // anywhere in their pixel.
        x = (int64_t{a.x} << 8) + 4095 + ((((16 - a.y) & 15) * slope) >> 4);
        firstX = x >> 12;
        // From the vertex to the first covered pixel centre, in sixteenths;
        // texture pre-steps in 16.16 pixels, biased by 1/32 pixel.
        const int64_t ystep = ((a.y + 15) & ~15) - a.y;
        const int64_t xstep = firstX * 16 - a.x;
        const int64_t xpre = (xstep << 12) + 2048;
        const int64_t ypre = (ystep << 12) | 0x800;
        uint32_t v[kGroups * 4 + 1] = {};
        forLanes<Mask>([&](auto j, auto attribute) {
            constexpr int32_t k = Lanes<All>::at(attribute);
            if constexpr (attribute < kUnitS)
                v[j] = startOf(attribute) + mulAddShiftLow(ddy[k], ystep, ddx[k], xstep, 4);
            else
                v[j] = startOf(attribute) + mulAddShiftLow(ddx[k], xpre, ddy[k], ypre, 16);
        });
        for (int32_t g = 0; g < kGroups; ++g)
            value[g] = LaneGroup{v[4 * g], v[4 * g + 1], v[4 * g + 2], v[4 * g + 3]};
    }

    // On to the next scanline.
    [[gnu::always_inline]] void step()
    {
        x += slope;
        for (int32_t g = 0; g < kGroups; ++g)
            value[g] += dy[g];
    }

    // Writes the lanes at pixel column of the current scanline into the span.
    template <bool Right>
    [[gnu::always_inline]] void put(SkwSpan& span, int64_t column) const
    {
        const uint32_t columns = static_cast<uint32_t>(column - firstX);
        LaneGroup at[kGroups + (kGroups == 0)];
        for (int32_t g = 0; g < kGroups; ++g)
            at[g] = value[g] + columns * dx[g];
        forLanes<Mask>([&](auto j, auto attribute) {
            spanValue<attribute, Right>(span) = static_cast<int32_t>(at[j / 4][j % 4]);
        });
    }
};

} // namespace

CkwRasterizerStandard::CkwRasterizerStandard()
{
    for (ChosenSpans& chosen : m_chosen)
        chosen.setup.units = m_units;
}

void CkwRasterizerStandard::stateChanged()
{
    // Past 2^32 changes the count starts again with every routine stale.
    if (++m_stateGeneration == 0) {
        for (ChosenSpans& chosen : m_chosen)
            chosen.generation = 0;
        m_flagsGeneration = 0;
        m_stateGeneration = 1;
    }
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
    stateChanged();
}

void CkwRasterizerStandard::setColorBuffer(uint16_t* colorBuffer) { m_colorBuffer = colorBuffer; }

void CkwRasterizerStandard::setDepthEnabled(bool enabled)
{
    m_depthEnabled = enabled;
    stateChanged();
}

void CkwRasterizerStandard::setAlphaPlane(uint8_t* alphaPlane, int32_t alphaPitch)
{
    m_alphaPlane = alphaPlane;
    m_alphaPitch = alphaPitch;
    stateChanged();
}

void CkwRasterizerStandard::setCompositingMode(const SkwRasterCompositing& mode)
{
    stateChanged();
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
    stateChanged();
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
    stateChanged();
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
    stateChanged();
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
    stateChanged();
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
    if (m_flagsGeneration != m_stateGeneration)
        resolveStateFlags();
    int32_t flags = m_stateTriangleFlags;

    // The top vertex; ties keep the lower index.
    int32_t top = 0, topY = a->y;
    if (b->y < topY) {
        top = 1;
        topY = b->y;
    }
    if (c->y < topY) {
        top = 2;
        topY = c->y;
    }
    int32_t minX = a->x, maxX = a->x, maxY = a->y;
    uint32_t outside = 0;
    for (const SkwRasterVertex* v : {a, b, c}) {
        // Moved by the limit, the range is 0..2 x limit unsigned.
        outside |= static_cast<uint32_t>(static_cast<uint32_t>(v->x) + kCoordinateLimit > 2u * kCoordinateLimit)
            | static_cast<uint32_t>(static_cast<uint32_t>(v->y) + kCoordinateLimit > 2u * kCoordinateLimit);
        minX = std::min(minX, v->x);
        maxX = std::max(maxX, v->x);
        maxY = std::max(maxY, v->y);
    }
    if (outside)
        return;
    m_topVertex = top;
    m_ytop = ceil4(topY);
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
    // Red, green, blue and the word of alpha and fog of each vertex side
    // by side, so that the three are compared at once.
    const ColourWords ca = colourWords(*a), cb = colourWords(*b), cc = colourWords(*c);
    constexpr int32_t kAlphaByte = std::endian::native == std::endian::little ? 0xFF : int32_t(0xFF000000u);
    const ColourWords likeMask = {~0x1FF, ~0xFF, ~0x1FF, kAlphaByte};
    const ColourWords differ = ((ca ^ cb) | (ca ^ cc)) & likeMask;
    const bool flat = (differ[0] | differ[1] | differ[2] | differ[3]) == 0;
    bool white = false;
    if (flat) {
        flags &= ~kRasterShaded;
        white = a->r == 0x10000 && a->g == 0x10000 && a->b == 0x10000 && a->alpha == 255;
    }
    if (flags & (kRasterShaded | kRasterTextured)) {
        const ColourWords all = ca & cb & cc, any = ca | cb | cc;
        if ((all[0] & all[1] & all[2]) == 0 || static_cast<uint32_t>(any[0] | any[1] | any[2]) >= 0x10000)
            flags |= kRasterClampColors;
    }
    const bool alphasDiffer = a->alpha != b->alpha || a->alpha != c->alpha;
    m_triangleFlags = flags;
    // The triangles of a submesh mostly share the state and a few sets of flags.
    ChosenSpans& chosen = m_chosen[(flags & kRasterShaded ? 1 : 0) | (flags & kRasterClampColors ? 2 : 0)];
    if ((chosen.generation != m_stateGeneration) | (chosen.flags != flags) | (chosen.white != white))
        chooseSpanRoutine(chosen, white);
    else if (chosen.family == SpanFamily::Flat)
        prepareFlatColors(chosen.setup, a->r, a->g, a->b);
    m_spans = &chosen;

    // Fog bytes all 0 draw without fog.
    const bool fogVaries = (flags & kRasterFog) && (a->fog | b->fog | c->fog) != 0;
    if (!fogVaries)
        m_triangleFlags &= ~kRasterFog;
    const int32_t units = flags & kRasterTextured ? m_stateUnitLanes : 0;
    const int32_t set = (flat ? 0 : 1) | ((alphasDiffer || fogVaries) ? 2 : 0) | units << 2;
    using LaneRoutine = void (CkwRasterizerStandard::*)();
    static constexpr auto kLaneRoutines = []<size_t... I>(std::index_sequence<I...>) {
        return std::array<LaneRoutine, kLaneSets>{
            &CkwRasterizerStandard::drawLanes<leftLanesOf(I), rightLanesOf(I)>...};
    }(std::make_index_sequence<kLaneSets>{});
    (this->*kLaneRoutines[set])();
}

void CkwRasterizerStandard::resolveStateFlags()
{
    int32_t flags = m_stateFlags;
    if (!m_depthBuffer)
        flags &= ~(kRasterDepthTest | kRasterDepthWrite);
    if (!m_alphaPlane)
        flags &= ~kRasterAlphaWrite;
    flags &= ~kRasterClampColors;
    if (m_blending == kBlendAlphaAdd || m_blending == kBlendModulateX2 || m_units[0].function == kFuncAdd ||
        m_units[1].function == kFuncAdd)
        flags |= kRasterClampColors;
    m_stateTriangleFlags = flags | kRasterShaded;
    m_stateUnitLanes = m_textureCount == 0 ? 0 : (m_textureCount == 1 ? 1 : 3) + ((flags & kRasterAffine) ? 0 : 1);
    m_flagsGeneration = m_stateGeneration;
}

void CkwRasterizerStandard::chooseSpanRoutine(ChosenSpans& chosen, bool white)
{
    const int32_t flags = m_triangleFlags;
    SkwSpanSetup& setup = chosen.setup;
    setup.flags = flags;
    setup.threshold = m_alphaThreshold;
    setup.blending = m_blending;
    setup.fogRed = m_fogRed;
    setup.fogGreen = m_fogGreen;
    setup.fogBlue = m_fogBlue;
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
        prepareFlatColors(setup, m_vertices[0]->r, m_vertices[0]->g, m_vertices[0]->b);
    chosen.family = family;
    chosen.routine = selectSpanRoutine(family, setup);
    chosen.fogStage = setup.fogStage;
    chosen.flags = flags;
    chosen.white = white;
    chosen.generation = m_stateGeneration;
}


// Gradients, start values and the edge walk of one triangle whose left side
// carries the lanes Left and right side the lanes Right; attributes outside
// them are constant and written into the span once.
template <uint32_t Left, uint32_t Right>
void CkwRasterizerStandard::drawLanes()
{
    constexpr int32_t kCount = Lanes<Left>::kCount;
    constexpr int32_t kUnits = Left & lane(kUnitS + kUnitStride) ? 2 : Left & lane(kUnitS) ? 1 : 0;
    constexpr bool kPerspective = Right != 0;
    SkwRasterVertex* const* const v = m_vertices;
    const int32_t flags = m_triangleFlags;
    // Lanes of texture units come only with textures.
    const bool textured = kUnits > 0 || (flags & kRasterTextured);
    const bool shaded = flags & kRasterShaded;
    const bool fog = flags & kRasterFog;
    // Held here, as the span's words could be the units' for all the compiler knows.
    const bool inUse[2] = {unitInUse(0), unitInUse(1)};
    SkwSpan& span = m_span;

    // Perspective weights must lie in front of the eye; a zero or negative
    // one has no reciprocal, so the triangle is dropped. They are normalised
    // together by powers of two into 0x400000..0x800000, and s and t taken
    // times them.
    int64_t q[2][3], sq[2][3], tq[2][3];
    if constexpr (kPerspective) {
        for (int32_t u = 0; u < kUnits; ++u) {
            if (!inUse[u])
                continue;
            int64_t* w = q[u];
            for (int32_t i = 0; i < 3; ++i) {
                w[i] = v[i]->tex[u].q;
                if (w[i] <= 0)
                    return;
            }
            auto largest = [&] { return std::max({w[0], w[1], w[2]}); };
            while (largest() > 0x800000)
                for (int32_t i = 0; i < 3; ++i)
                    w[i] >>= 1;
            while (largest() < 16384)
                for (int32_t i = 0; i < 3; ++i)
                    w[i] *= 256;
            while (largest() < 0x400000)
                for (int32_t i = 0; i < 3; ++i)
                    w[i] *= 2;
            for (int32_t i = 0; i < 3; ++i) {
                sq[u][i] = wrap32((w[i] * v[i]->tex[u].s) >> 16);
                tq[u][i] = wrap32((w[i] * v[i]->tex[u].t) >> 16);
            }
        }
    }
    // A lane's value at vertex i as the gradients take it, and with the
    // rounding an edge's start adds.
    auto valueAt = [&](auto attribute, int32_t i) -> int64_t {
        const SkwRasterVertex& p = *v[i];
        if constexpr (attribute == kZ) {
            return p.z;
        } else if constexpr (attribute < kAlpha) {
            return limitColor(attribute == kRed ? p.r : attribute == kGreen ? p.g : p.b, textured);
        } else if constexpr (attribute == kAlpha) {
            return p.alpha * 257 + ((p.alpha * 257) >> 15);  // 255 becomes 0x10000
        } else if constexpr (attribute == kFogAmount) {
            return fog ? p.fog * 257 : 0;
        } else {
            constexpr int32_t u = (attribute - kUnitS) / kUnitStride, c = (attribute - kUnitS) % kUnitStride;
            if (!inUse[u])
                return 0;
            if constexpr (kPerspective)
                return c == 0 ? sq[u][i] : c == 1 ? tq[u][i] : q[u][i];
            else
                return int64_t{c == 0 ? p.tex[u].s : p.tex[u].t} << 7;
        }
    };
    auto startAt = [&](int32_t i) {
        return [&, i](auto attribute) -> uint32_t {
            if constexpr (attribute == kAlpha) {
                // As a flat triangle's when the alphas are equal.
                const int32_t a = v[i]->alpha;
                return static_cast<uint32_t>(a * 257 + (shaded ? 128 : a >> 7));
            }
            const bool rounded = (attribute >= kRed && attribute < kAlpha) || (attribute == kFogAmount && fog);
            return static_cast<uint32_t>(valueAt(attribute, i) + (rounded ? 128 : 0));
        };
    };

    // Gradients. With vertex 2 as origin, k is the reciprocal of the area
    // shrunk by 1/512; per-pixel gradients are the sums below, four times
    // too large, over 4, and spans take their low 32 bits.
    const int64_t dx0 = int64_t{v[0]->x} - v[2]->x, dx1 = int64_t{v[1]->x} - v[2]->x;
    const int64_t dy0 = int64_t{v[0]->y} - v[2]->y, dy1 = int64_t{v[1]->y} - v[2]->y;
    const int64_t inv = areaReciprocal(dy0 * dx1 - dy1 * dx0);
    const int64_t k = inv - (inv >> 9);
    const int64_t kx1 = (k * dy1) >> 16, kx0 = (k * dy0) >> 16;
    const int64_t ky1 = (-k * dx1) >> 16, ky0 = (-k * dx0) >> 16;
    int32_t ddx[kCount], ddy[kCount];
    forLanes<Left>([&](auto j, auto attribute) {
        const int64_t a2 = valueAt(attribute, 2);
        const int64_t d0 = a2 - valueAt(attribute, 0), d1 = valueAt(attribute, 1) - a2;
        ddx[j] = static_cast<int32_t>(mulAddShiftLow(d0, kx1, d1, kx0, 18));
        ddy[j] = static_cast<int32_t>(mulAddShiftLow(d0, ky1, d1, ky0, 18));
        spanStep<attribute>(span) = ddx[j];
    });
    // Constant attributes: a flat triangle takes vertex 0's colour without
    // the rounding, and an affine span no q.
    const SkwRasterVertex& v0 = *v[0];
    if constexpr (!(Left & lane(kRed))) {
        span.r = limitColor(v0.r, textured);
        span.g = limitColor(v0.g, textured);
        span.b = limitColor(v0.b, textured);
        span.drdx = span.dgdx = span.dbdx = 0;
    }
    if constexpr (!(Left & lane(kAlpha))) {
        span.a = static_cast<int32_t>(startAt(0)(std::integral_constant<int32_t, kAlpha>{}));
        span.fog = 0;
        span.dadx = span.dfogdx = 0;
    }
    if constexpr (!kPerspective)
        for (int32_t u = 0; u < kUnits; ++u)
            span.unit[u].q = 0;

    // Perspective segment length per unit: with dq/dx still four times its
    // final value, about 2^14 / |dq/dx x zmax| + 8 pixels, at most 150.
    if constexpr (kPerspective) {
        const int32_t zmax = std::max({v[0]->z, v[1]->z, v[2]->z});
        auto exactGradient4 = [&](const int64_t* a) { return mulAddShift(a[2] - a[0], kx1, a[1] - a[2], kx0, 16); };
        for (int32_t u = 0; u < kUnits; ++u) {
            if (!inUse[u])
                continue;
            const int64_t dqdx4 = exactGradient4(q[u]), dsdx4 = exactGradient4(sq[u]), dtdx4 = exactGradient4(tq[u]);
            int64_t m = std::abs(mulAddShift(dqdx4, zmax, 0, 0, 31));
            if (m == 0)
                m = 1;
            const int32_t length =
                std::min(150, fixedReciprocal(static_cast<int32_t>(std::min<int64_t>(m, INT32_MAX)), 14) + 8);
            SkwSpanUnit& unit = span.unit[u];
            unit.segLength = length;
            unit.segQ = wrap32((length * dqdx4) >> 2);
            unit.segS = wrap32((length * dsdx4) >> 2);
            unit.segT = wrap32((length * dtdx4) >> 2);
        }
    }
    SkwSpanSetup& setup = m_spans->setup;
    setup.fogStage = fog ? m_spans->fogStage : nullptr;

    // Polygon offset: (i16)((units + 8) >> 4), plus the slope term rounded
    // up to whole depth steps; kept inside the depth range so the 16-bit
    // depth cannot wrap. The vertices' z change in place.
    if (m_offsetActive) {
        int64_t offset = static_cast<int16_t>((int64_t{m_offsetUnits} + 8) >> 4);
        if (m_offsetFactor != 0) {
            const int64_t slope = std::abs(int64_t{ddy[0]}) + std::abs(int64_t{ddx[0]});
            offset += (mulAddShift(m_offsetFactor, slope, 0, 0, 16) + 4095) & ~int64_t{0xFFF};
        }
        for (int32_t i = 0; i < 3; ++i)
            v[i]->z = static_cast<int32_t>(std::clamp<int64_t>(v[i]->z + offset, 0, kMaxDepth));
    }

    // Edge walk. The left edge runs from the top vertex towards the next
    // index, the right one towards the previous; each moves on to the
    // following edge at the scanline of its lower vertex.
    auto next = [](int32_t i) { return (0x09 >> (2 * i)) & 3; };  // 1, 2, 0
    auto prev = [](int32_t i) { return (0x12 >> (2 * i)) & 3; };  // 2, 0, 1
    Side<Left> left;
    Side<Right> right;
    left.template gradients<Left>(ddx, ddy);
    right.template gradients<Left>(ddx, ddy);
    const int32_t top = m_topVertex;
    left.template begin<Left>(*v[top], *v[next(top)], next(top), startAt(top), ddx, ddy);
    right.template begin<Left>(*v[top], *v[prev(top)], prev(top), startAt(top), ddx, ddy);
    int32_t leftEdges = 1, rightEdges = 1;

    // Locals: the span routine sees this object's members, so the compiler
    // would reload any member it reads after each call.
    const int32_t width = m_width, height = m_height, pitch = m_pitch, alphaPitch = m_alphaPitch;
    const SpanRoutine routine = m_spans->routine;
    auto* const colorBase = reinterpret_cast<uint8_t*>(m_colorBuffer);
    uint16_t* const depthBase = m_depthBuffer;
    uint8_t* const alphaBase = m_alphaPlane;
    const ptrdiff_t depthStep = depthBase ? width : 0, alphaStep = alphaBase ? alphaPitch : 0;
    for (int32_t y = m_ytop, bottom = m_ybottom; y < bottom; ++y) {
        // Edges whose lower vertex shares the upper one's scanline are skipped.
        while (y == left.endY) {
            if (++leftEdges > 3)
                return;
            const int32_t from = left.lower;
            left.template begin<Left>(*v[from], *v[next(from)], next(from), startAt(from), ddx, ddy);
        }
        while (y == right.endY) {
            if (++rightEdges > 3)
                return;
            const int32_t from = right.lower;
            right.template begin<Left>(*v[from], *v[prev(from)], prev(from), startAt(from), ddx, ddy);
        }
        if (y >= 0 && y < height) {
            const int64_t xl = left.x >> 12;
            const int64_t xr = right.x >> 12;
            // Seen from the top vertex the next vertex must lie on the left.
            if (xl > xr)
                return;
            if (xl < xr && xl < width && xr > 0) {
                span.y = y;
                span.left = static_cast<int32_t>(std::max<int64_t>(xl, INT32_MIN));
                span.right = static_cast<int32_t>(std::min<int64_t>(xr, INT32_MAX));
                // A missing plane steps by nothing, so its row stays null.
                span.colorRow = reinterpret_cast<uint16_t*>(colorBase + ptrdiff_t{y} * pitch);
                span.depthRow = depthBase + ptrdiff_t{y} * depthStep;
                span.alphaRow = alphaBase + ptrdiff_t{y} * alphaStep;
                left.template put<false>(span, xl);
                right.template put<true>(span, xr);
                if (xl >= 0 && xr <= width)
                    routine(setup, span);
                else
                    clipAndDrawSpan();
            }
        }
        left.step();
        right.step();
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
    m_spans->routine(m_spans->setup, span);
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
