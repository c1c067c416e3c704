// Raster state: construction, tables, targets, clears, stacks, bindings,
// clip factors and outcodes.
#include "gfx2d/raster/RasterState.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

#include "gfx2d/image/PixelBuffer.h"
#include "gfx2d/raster/RasterMath.h"
#include "gfx2d/raster/SpanRecordWords.h"


namespace {

constexpr int32_t kTableSizeM1 = 4095;
constexpr int32_t kDepthRangeShift = 11;
constexpr uint32_t kFarSaturateBit = 1u << 20;
constexpr int32_t kFarSaturated = 0x7FFFFFF;
constexpr int32_t kFilterAfterBind = 5;
constexpr int32_t kTexmodeAfterBind = 1;
constexpr int32_t kWord34740Initial = 0x400000;
constexpr float kCosTableStep = 0.006135922f;  // a quarter turn in 256 steps
// An index byte reaches any of 256 colours, even a 4-bit format's.
constexpr uint32_t kPaletteBytes = kPaletteEntries * 4;

// Fills `count` units of `unit` bytes from one packed pattern, doubling the
// filled part with each copy.
void fillPattern(uint8_t* p, const uint8_t* pattern, uint32_t unit, size_t count)
{
    if (count == 0)
        return;
    std::memcpy(p, pattern, unit);
    const size_t total = count * unit;
    for (size_t done = unit; done < total;) {
        const size_t n = std::min(done, total - done);
        std::memcpy(p + done, p, n);
        done += n;
    }
}

// The bytes of `count` pixels of `bpp`, or 0 when they cannot be addressed.
uint32_t spanBytes(uint32_t w, uint32_t h, uint32_t bpp)
{
    const uint64_t bytes = static_cast<uint64_t>(w) * h * bpp;
    return bytes <= kSpanBlockLimit ? static_cast<uint32_t>(bytes) : 0;
}

// Spans step the depth and stencil planes by the colour plane's rows and
// pixels: past the end of a smaller plane a program would fault through no
// fault of its own, and be set aside for it.
bool sizedAsColour(const RenderTargetView& t, uint32_t flag, const TargetPlane& plane)
{
    return !(t.flags & flag) || !(t.flags & kTargetColourPlane) ||
           (plane.width == t.colour.width && plane.height == t.colour.height);
}

bool exceeds(Fixed coordinate, Fixed w, Fixed bound)
{
    return coordinate > ((static_cast<int64_t>(w) * bound) >> 16);
}

bool below(Fixed coordinate, Fixed w, Fixed bound)
{
    return coordinate < ((static_cast<int64_t>(w) * bound) >> 16);
}

// Products in 64 bits, so a compare stays right where a 32-bit difference
// would overflow.
uint32_t outcodeXY(const RasterStateBlock& s, Fixed x, Fixed y, Fixed w)
{
    return (exceeds(x, w, s.ccx1) ? 1 : 0) | (below(x, w, s.ccx0) ? 2 : 0) | (exceeds(y, w, s.ccy1) ? 4 : 0) |
           (below(y, w, s.ccy0) ? 8 : 0);
}

}  // namespace

RasterState::RasterState()
{
    m_space.map(kSpanRegionState, &m_block, sizeof m_block, SpanAccess::ReadWrite);
    for (uint32_t u = 0; u < kTextureUnitCount; ++u)
        resetUnit(u);
    m_block.matrix2D.entries[0][0] = kFixedOne;
    m_block.matrix2D.entries[0][3] = kFixedOne;
    m_block.matrix2D.count = 1;
    resetStacks();
    bindSpanProgram(nullptr);
}

RasterState::~RasterState() { teardown(); }

void RasterState::buildTables()
{
    m_tables.reset(new (std::nothrow) RasterTables{});
    if (!m_tables)
        return;
    RasterTables& t = *m_tables;
    for (int32_t x = 1; x < kRecipTableSize; ++x) {
        // The device divided in single precision: entry 3 is 357913952.
        const int32_t v = static_cast<int32_t>(1073741824.0f / static_cast<float>(x));
        t.recip4[x] = v;
        if (v < 32768) {
            t.recip[x] = static_cast<uint16_t>(v);
            t.recipShift[x] = 30;
            continue;
        }
        int k = 1;
        while ((static_cast<int64_t>(32767) << k) < v)
            ++k;
        t.recip[x] = static_cast<uint16_t>(((v >> (k - 1)) + 1) >> 1);
        t.recipShift[x] = static_cast<uint8_t>(30 - k);
    }
    float a = 0.0f;
    for (int32_t i = 0; i < kCosTableSize; ++i) {
        // Entry 0 (65536) does not fit 16 bits and stores 0; sinCos never reads it.
        t.cos[i] = static_cast<uint16_t>(static_cast<int32_t>(std::cos(static_cast<double>(a)) * 65536.0));
        a += kCosTableStep;
    }
    for (int32_t x = 0; x < kSqrtTableSize; ++x)
        t.sqrt[x] = static_cast<int32_t>(std::sqrt(static_cast<float>(x)) * 65536.0f);
}

void RasterState::init(int32_t poolVertices)
{
    // A second init must not leave units mapped into the store it replaces.
    teardown();
    RasterStateBlock& s = m_block;
    s.wholePolygonMode = s.viewportMappingMode = 0;
    std::memset(s.pipelineFunctionWords, 0, sizeof s.pipelineFunctionWords);
    s.stencilMask = 0xFFFFFFFFu;
    s.alphaRefval = s.stencilRefval = 0;
    buildTables();
    // Read-only to spans: the host divides and turns through the same tables.
    if (m_tables && !m_space.map(kSpanRegionTables, m_tables.get(), sizeof(RasterTables), SpanAccess::Read))
        m_tables.reset();
    writeTableWords();
    s.word3188[0] = s.word3188[1] = 0;
    m_store.reset(new (std::nothrow) TextureStore);
    // Bounded so that the word count of the pool fits its 32-bit field.
    const int32_t vertices = std::clamp<int32_t>(poolVertices, 0, INT32_MAX / kPoolWordsPerVertex);
    m_pool.reset(vertices ? new (std::nothrow) int32_t[static_cast<size_t>(vertices) * kPoolWordsPerVertex]()
                          : nullptr);
    m_poolCapacity = m_pool ? static_cast<uint32_t>(vertices * kPoolWordsPerVertex) : 0;
    s.poolCapacity = static_cast<int32_t>(m_poolCapacity);
    resetPool();
    s.outlineMode = s.word9096 = s.word34736 = s.perspective = 0;
    s.texture_units[0].filter_mode = 0;
    s.texture_units[0].texmode = 0;
    s.word34740 = kWord34740Initial;
    std::memset(s.clearColour, 0, sizeof s.clearColour);
    s.clearStencil = s.clearDepth = 0;
    s.drawBytes[0] = s.drawBytes[1] = 1;
}

void RasterState::teardown()
{
    // Lenders forget a state that goes, so none reaches back into it.
    for (uint32_t u = 0; u < kTextureUnitCount; ++u)
        if (m_lenders[u])
            resetUnit(u);
    if (!m_store)
        return;
    // Units and span addresses name memory that goes away here.
    for (uint32_t u = 0; u < kTextureUnitCount; ++u)
        resetUnit(u);
    m_space.unmap(kSpanRegionTables);
    m_tables.reset();
    writeTableWords();
    m_pool.reset();
    m_poolCapacity = 0;
    m_block.poolCapacity = 0;
    resetPool();
    m_store.reset();
}

void RasterState::writeTableWords()
{
    RasterStateBlock& s = m_block;
    const bool mapped = m_tables != nullptr;
    auto at = [mapped](size_t offset) { return mapped ? spanAddress(kSpanRegionTables, uint32_t(offset)) : 0; };
    s.recipTableSizeM1 = s.sqrtTableSizeM1 = kTableSizeM1;
    s.recipTable = at(offsetof(RasterTables, recip));
    s.recipTable4 = at(offsetof(RasterTables, recip4));
    s.recipShiftTable = at(offsetof(RasterTables, recipShift));
    s.cosTable = at(offsetof(RasterTables, cos));
    s.sqrtTable = at(offsetof(RasterTables, sqrt));
}

void RasterState::setViewport(int32_t x, int32_t y, int32_t w, int32_t h, int32_t nearValue, int32_t farValue)
{
    RasterStateBlock& s = m_block;
    s.viewport_X = x;
    s.viewport_Y = y;
    s.viewport_W = w;
    s.viewport_H = h;
    s.depthrange_n = static_cast<int32_t>(static_cast<uint32_t>(nearValue) << kDepthRangeShift);
    s.depthrange_f = (static_cast<uint32_t>(farValue) & kFarSaturateBit)
                         ? kFarSaturated
                         : static_cast<int32_t>(static_cast<uint32_t>(farValue) << kDepthRangeShift);
    s.scissorx0 = x;
    s.scissory0 = y;
    s.scissorx1 = wrapAdd(x, w);
    s.scissory1 = wrapAdd(y, h);
}

void RasterState::setOrtho(Fixed l, Fixed r, Fixed b, Fixed t, Fixed n, Fixed f)
{
    RasterStateBlock& s = m_block;
    s.frustum_L = l, s.frustum_R = r, s.frustum_B = b, s.frustum_T = t, s.frustum_N = n, s.frustum_F = f;
    s.projection_matrix_mode = 1;
    stackTop(s.projectionStack)[kMatrixFlagWord] = 1;
}

void RasterState::setFrustum(Fixed l, Fixed r, Fixed b, Fixed t, Fixed n, Fixed f)
{
    setOrtho(l, r, b, t, n, f);
    m_block.projection_matrix_mode = 0;
    stackTop(m_block.projectionStack)[kMatrixFlagWord] = 0;
}

int RasterState::createRenderBuffers(uint32_t w, uint32_t h, RSBFormat format)
{
    if (!m_store)
        return 0;
    const int32_t colour = m_store->createEntry(w, h, format, 0);
    const int32_t depth = m_store->createEntry(w, h, PixelFormat::Z32, 0);
    const int32_t stencil = m_store->createEntry(w, h, PixelFormat::L8, 0);
    if (colour < 0 || depth < 0 || stencil < 0) {
        m_store->freeEntry(colour);
        m_store->freeEntry(depth);
        m_store->freeEntry(stencil);
        return 0;
    }
    m_block.colourSlot = colour;
    m_block.depthSlot = depth;
    m_block.stencilSlot = stencil;
    return 1;
}

bool RasterState::planeFits(const TargetPlane& plane)
{
    // Spans step rows by the record's 16-bit pitch.
    return !plane.pixels || (plane.bytes <= kSpanBlockLimit && plane.pitch > 0 && plane.pitch <= 0xFFFF);
}

void RasterState::mapPlane(uint32_t region, const TargetPlane* plane, SpanAddress& base, int32_t& stride)
{
    base = 0;
    stride = 0;
    m_space.unmap(region, kSpanBlockRegions);
    if (plane && plane->pixels &&
        m_space.map(region, plane->pixels, plane->bytes, SpanAccess::ReadWrite, kSpanBlockRegions)) {
        base = spanAddress(region, 0);
        stride = plane->pitch;
    }
}

bool RasterState::bindTarget(const RenderTargetView* target)
{
    if (!target || !(target->flags & SurfaceFlag::RasterTarget))
        return false;
    const uint32_t f = target->flags;
    if ((f & kTargetStencilPlane) && target->stencil.format != PixelFormat::S8)
        return false;
    if (!sizedAsColour(*target, kTargetDepthPlane, target->depth) ||
        !sizedAsColour(*target, kTargetStencilPlane, target->stencil))
        return false;
    if (((f & kTargetColourPlane) && !planeFits(target->colour)) ||
        ((f & kTargetDepthPlane) && !planeFits(target->depth)) ||
        ((f & kTargetStencilPlane) && !planeFits(target->stencil)))
        return false;
    RasterStateBlock& s = m_block;
    mapPlane(kSpanRegionColour, f & kTargetColourPlane ? &target->colour : nullptr, s.destbase, s.deststride);
    m_targetFormat = s.destbase ? target->colour.format : 0;
    mapPlane(kSpanRegionDepth, f & kTargetDepthPlane ? &target->depth : nullptr, s.zbase, s.zstride);
    mapPlane(kSpanRegionStencil, f & kTargetStencilPlane ? &target->stencil : nullptr, s.stencilbase,
             s.stencilstride);
    return true;
}

void RasterState::beginFrame(const RenderTargetView* target)
{
    RasterStateBlock& s = m_block;
    bindTarget(target);
    resetStacks();
    std::memset(s.CPUregs, 0, sizeof s.CPUregs);
    std::memset(s.regs, 0, sizeof s.regs);
    resetPool();
    beginSpanFrame();
    s.polys_considered = s.polys_drawn = s.spans_shaded = s.pixels_shaded = 0;
    s.pixels_failed_depth = s.verts_xformed = s.polys_subdivided = s.pieces_drawn = 0;
}

int32_t* RasterState::reservePool(uint64_t words)
{
    if (!m_pool || words > m_poolCapacity - m_poolUsed)
        return nullptr;
    int32_t* p = m_pool.get() + m_poolUsed;
    std::memset(p, 0, words * 4);
    m_poolUsed += static_cast<uint32_t>(words);
    m_block.poolUsed = static_cast<int32_t>(m_poolUsed);
    return p;
}

void RasterState::resetPool() { rewindPool(0); }

void RasterState::rewindPool(uint32_t mark)
{
    m_poolUsed = std::min(m_poolUsed, mark);
    m_block.poolUsed = static_cast<int32_t>(m_poolUsed);
}

void RasterState::resetStacks()
{
    for (MatrixStack34* st : {&m_block.textureStack, &m_block.secondStack, &m_block.projectionStack}) {
        setIdentity34(st->entries[0]);
        st->count = 1;
    }
}

int RasterState::pushTransform(const Fixed* n, const Fixed* v)
{
    MatrixStack34& st = m_block.projectionStack;
    if (!stackPush(st))
        return 0;
    if (v)
        translate(stackTop(st), v);
    if (n)
        multiply3x3(stackTop(st), n);
    return 1;
}

int RasterState::pushInverse(const Fixed* m)
{
    Fixed inv[kMatrixEntryWords];
    std::memcpy(inv, m, sizeof inv);
    transpose3x3(inv);
    Fixed t[3];
    transformVector(inv, m + kMatrixTranslation, t);
    for (int i = 0; i < 3; ++i)
        inv[kMatrixTranslation + i] = wrapSub(0, t[i]);
    MatrixStack34& st = m_block.projectionStack;
    if (!stackPush(st))
        return 0;
    multiply3x4(stackTop(st), inv);
    return 1;
}

void RasterState::clearColor(uint32_t w, uint32_t h)
{
    const TextureEntry* e = m_store ? m_store->entry(m_block.colourSlot) : nullptr;
    if (!e)
        return;
    using namespace PixelFormat;
    const RSBFormat format = e->format;
    switch (format) {
    case R5G6B5: case A1R5G5B5: case A4R4G4B4: case R4G4B4: case A8L8: case X14R6G6B6:
    case A8R8G8B8: case Z32: case L8: case ArgbFixed: case R8G8B8: break;
    default: return;
    }
    const uint32_t bpp = bytesPerPixel(format);
    // The device cleared whole words and ran past an odd pixel count; this
    // writes exactly w x h pixels and only inside the bound plane.
    const uint32_t bytes = spanBytes(w, h, bpp);
    uint8_t* p = bytes ? m_space.writable(m_block.destbase, bytes) : nullptr;
    if (!p)
        return;
    const int32_t* c = m_block.clearColour;
    TexelColour colour{c[0] & 255, c[1] & 255, c[2] & 255, c[3] & 255};
    if (format == A8L8)
        colour.b = colour.r;  // luminance from red
    uint8_t pattern[16];
    writeTexel(pattern, format, colour);
    fillPattern(p, pattern, bpp, static_cast<size_t>(w) * h);
}

void RasterState::clearDepth(uint32_t w, uint32_t h)
{
    const uint32_t bytes = spanBytes(w, h, 4);
    uint8_t* p = bytes ? m_space.writable(m_block.zbase, bytes) : nullptr;
    if (!p)
        return;
    uint8_t pattern[4];
    std::memcpy(pattern, &m_block.clearDepth, 4);
    fillPattern(p, pattern, 4, static_cast<size_t>(w) * h);
}

void RasterState::clearStencil(uint32_t w, uint32_t h)
{
    const uint32_t bytes = spanBytes(w, h, 1);
    uint8_t* p = bytes ? m_space.writable(m_block.stencilbase, bytes) : nullptr;
    if (p)
        std::memset(p, m_block.clearStencil & 255, bytes);
}

void RasterState::clear()
{
    const TextureEntry* e = m_store ? m_store->entry(m_block.colourSlot) : nullptr;
    if (!e)
        return;
    clearColor(e->width, e->height);
    clearDepth(e->width, e->height);
}

void RasterState::bindSpanProgram(const uint8_t* record)
{
    RasterStateBlock& s = m_block;
    SpanBinding b;
    m_spanCode = record ? record + kSpanRecordCodeOffset : nullptr;
    s.spanExtraPrestep = s.spanBindingWord = 0;
    if (record) {
        b.interpolants = spanRecordInterpolantCount(record);
        b.depthInterpolant = spanRecordDepthInterpolant(record);
        b.perspectiveMask = spanRecordWord(record, kSpanWordPerspectiveMask);
        b.driverKind = spanRecordWord(record, kSpanWordDriverKind);
        b.extraPrestep = spanRecordExtraPrestep(record);
        s.spanExtraPrestep = b.extraPrestep;
        s.spanBindingWord = spanRecordWord(record, kSpanWordBinding);
    }
    m_binding = b;
    s.spanCodeWord = 0;
    s.spanNativeCall = 0;
    s.spanInterpolantCount = b.interpolants;
    s.spanDepthInterpolant = b.depthInterpolant;
    s.spanPerspectiveMask = b.perspectiveMask;
    s.spanDriverKind = b.driverKind;
}

void RasterState::bindHostSpan(SpanBinding binding)
{
    bindSpanProgram(nullptr);
    binding.native = true;
    m_binding = binding;
    RasterStateBlock& s = m_block;
    s.spanNativeCall = 1;
    s.spanInterpolantCount = binding.interpolants;
    s.spanExtraPrestep = binding.extraPrestep;
    s.spanDepthInterpolant = binding.depthInterpolant;
    s.spanPerspectiveMask = binding.perspectiveMask;
    s.spanDriverKind = binding.driverKind;
}

void RasterState::resetUnit(uint32_t unit)
{
    TextureUnit& tu = m_block.texture_units[unit];
    tu = TextureUnit{};
    tu.filter_mode = kFilterAfterBind;
    tu.texmode = kTexmodeAfterBind;
    tu.boundSlot = -1;
    m_boundSlots[unit] = -1;
    const TextureLender* lender = m_lenders[unit];
    m_lenders[unit] = nullptr;
    m_units[unit] = SamplerUnit{};
    m_unitWords[unit] = tu;
    m_space.unmap(spanTextureRegion(unit), kSpanBlockRegions);
    m_space.unmap(kSpanRegionPalettes + unit);
    if (lender && std::find(std::begin(m_lenders), std::end(m_lenders), lender) == std::end(m_lenders))
        lender->lendingEnded(*this);
}

bool RasterState::bindTextureUnit(uint32_t unit, int32_t slot)
{
    const TextureEntry* e = m_store ? m_store->entry(slot) : nullptr;
    if (unit >= kTextureUnitCount || !e)
        return false;
    resetUnit(unit);
    // A store entry's palette holds 256 colours.
    const auto* palette = reinterpret_cast<const uint8_t*>(e->palette);
    if (e->bytes > kSpanBlockLimit || !bindPalette(unit, e->format, palette, palette ? kPaletteBytes : 0)) {
        resetUnit(unit);
        return false;
    }
    TextureUnit& tu = m_block.texture_units[unit];
    SamplerUnit& host = m_units[unit];
    const uint32_t region = spanTextureRegion(unit);
    const bool mapped =
        e->levels[0] && m_space.map(region, e->levels[0], e->bytes, SpanAccess::Read, kSpanBlockRegions);
    tu.b.format = e->format;
    tu.b.flags = e->flags & 0xFFFF;
    tu.b.width = static_cast<int32_t>(e->width);
    tu.b.height = static_cast<int32_t>(e->height);
    tu.b.miptype = e->miptype;
    tu.b.maxD = e->levelCount;
    const int32_t levels = e->miptype == kMiptypeChain ? std::min<int32_t>(e->levelCount + 1, kTextureLevelCount) : 1;
    for (int32_t j = 0; j < levels && mapped; ++j) {
        tu.b.levels[j] = spanAddress(region, static_cast<uint32_t>(e->levels[j] - e->levels[0]));
        host.levels[j] = e->levels[j];
    }
    tu.width_log2 = textureLog2(e->width);
    tu.height_log2 = textureLog2(e->height);
    tu.bpp = static_cast<int32_t>(e->format & 31);
    tu.cpp = static_cast<int32_t>((e->format >> 8) & 7);
    tu.boundSlot = slot;
    m_boundSlots[unit] = slot;
    m_boundRevisions[unit] = e->revision;
    host.format = e->format;
    host.width = e->width;
    host.height = e->height;
    host.bpp = bytesPerPixel(e->format);
    host.levelCount = mapped ? levels : 0;
    m_unitWords[unit] = tu;
    return true;
}

bool RasterState::bindTexturePixels(uint32_t unit, const TexturePixels& px)
{
    if (unit >= kTextureUnitCount)
        return false;
    resetUnit(unit);
    const uint32_t width = px.width & 0xFFFF, height = px.height & 0xFFFF;
    const uint32_t region = spanTextureRegion(unit);
    // The sampler addresses width x height texels without a pitch: refuse
    // pixels that do not hold them.
    if (!px.pixels || static_cast<uint64_t>(width) * height * bytesPerPixel(px.format) > px.bytes ||
        !bindPalette(unit, px.format, px.palette, px.paletteBytes) ||
        !m_space.map(region, px.pixels, px.bytes, SpanAccess::Read, kSpanBlockRegions)) {
        resetUnit(unit);
        return false;
    }
    TextureUnit& tu = m_block.texture_units[unit];
    tu.b.format = px.format;
    tu.b.width = static_cast<int32_t>(width);
    tu.b.height = static_cast<int32_t>(height);
    tu.b.maxD = 1;
    tu.b.levels[0] = spanAddress(region, 0);
    tu.width_log2 = textureLog2(width);
    tu.height_log2 = textureLog2(height);
    tu.bpp = static_cast<int32_t>(px.format & 31);
    tu.cpp = static_cast<int32_t>((px.format >> 8) & 7);
    SamplerUnit& host = m_units[unit];
    host.format = px.format;
    host.width = width;
    host.height = height;
    host.bpp = bytesPerPixel(px.format);
    host.levelCount = 1;
    host.levels[0] = px.pixels;
    m_lenders[unit] = px.lender;
    m_unitWords[unit] = tu;
    return true;
}

bool RasterState::bindPalette(uint32_t unit, RSBFormat format, const uint8_t* palette, uint32_t bytes)
{
    const bool paletted = formatFlags(format) & FormatFlagPalette;
    if (!palette || !m_space.map(kSpanRegionPalettes + unit, palette, bytes, SpanAccess::Read))
        return !paletted;
    m_block.texture_units[unit].b.palette = spanAddress(kSpanRegionPalettes + unit, 0);
    // The sampler indexes without a bound, so it takes only a whole palette.
    const bool whole = bytes >= kPaletteBytes;
    m_units[unit].palette = whole ? reinterpret_cast<const uint32_t*>(palette) : nullptr;
    return whole || !paletted;
}

void RasterState::unbindTextureUnit(uint32_t unit)
{
    if (unit < kTextureUnitCount)
        resetUnit(unit);
    bindSpanProgram(nullptr);
}

void RasterState::releasePixels(const TextureLender* lender)
{
    for (uint32_t u = 0; u < kTextureUnitCount; ++u)
        if (lender && m_lenders[u] == lender)
            resetUnit(u);
}

int32_t RasterState::findTextureUnit(int32_t slot) const
{
    if (slot < 0)
        return -1;
    for (uint32_t u = 0; u < kTextureUnitCount; ++u)
        if (m_boundSlots[u] == slot)
            return static_cast<int32_t>(u);
    return -1;
}

bool RasterState::unitIsCurrent(uint32_t unit) const
{
    // The host's own slot and mapping: spans can rewrite the record's.
    const int32_t slot = m_boundSlots[unit];
    const uint32_t bytes = m_space.regionSize(spanTextureRegion(unit));
    if (slot < 0)  // unbound, or lent pixels
        return !m_lenders[unit] ||
               m_lenders[unit]->stillLends(m_units[unit].levels[0], bytes,
                                           reinterpret_cast<const uint8_t*>(m_units[unit].palette));
    const TextureEntry* e = m_store ? m_store->entry(slot) : nullptr;
    return e && e->revision == m_boundRevisions[unit] && e->levels[0] == m_units[unit].levels[0] &&
           e->bytes == bytes && e->palette == m_units[unit].palette;
}

void RasterState::refreshTextureUnits()
{
    for (uint32_t u = 0; u < kTextureUnitCount; ++u)
        if (!unitIsCurrent(u))
            resetUnit(u);
}

void RasterState::prepareForSpans()
{
    refreshTextureUnits();
    writeTableWords();
    for (uint32_t u = 0; u < kTextureUnitCount; ++u) {
        TextureUnit& tu = m_block.texture_units[u];
        const int32_t filter = tu.filter_mode, wrap = tu.texmode;
        tu = m_unitWords[u];
        tu.filter_mode = filter;
        tu.texmode = wrap;
    }
}

SamplerUnit RasterState::sampler(uint32_t unit) const
{
    if (unit >= kTextureUnitCount || !unitIsCurrent(unit))
        return {};
    SamplerUnit s = m_units[unit];
    s.filterMode = m_block.texture_units[unit].filter_mode;
    s.wrap = m_block.texture_units[unit].texmode;
    return s;
}

Fixed RasterState::tableDivide(int64_t a, Fixed d, int32_t shiftAdjust) const
{
    const Reciprocal q = reciprocalScale(*m_tables, d);
    return static_cast<int32_t>((static_cast<__int128>(a) * q.r) >> (q.shift - shiftAdjust));
}

void RasterState::computeClipFactors(int setBox)
{
    if (!m_tables)
        return;
    RasterStateBlock& s = m_block;
    const int64_t W = s.viewport_W, H = s.viewport_H;
    const Fixed L = s.frustum_L, R = s.frustum_R, B = s.frustum_B, T = s.frustum_T, N = s.frustum_N,
                F = s.frustum_F;
    const Fixed df = s.depthrange_f, dn = s.depthrange_n;
    const bool ortho = s.projection_matrix_mode == 1;
    const Fixed rl = wrapSub(R, L), tb = wrapSub(T, B), fn = wrapSub(F, N);
    s.cfx0 = static_cast<int32_t>((W >> 1) * (kFixedOne - tableDivide(static_cast<int64_t>(L) + R, rl)) +
                                  (static_cast<int64_t>(s.viewport_X) << 16));
    s.cfy0 = static_cast<int32_t>((H >> 1) * (kFixedOne - tableDivide(static_cast<int64_t>(B) + T, tb)) +
                                  (static_cast<int64_t>(s.viewport_Y) << 16));
    const Fixed fOverFn = tableDivide(F, fn);
    if (!ortho) {
        s.cfx1 = tableDivide((N >> 8) * W, rl, 8);
        s.cfy1 = tableDivide((N >> 8) * H, tb, 8);
        s.cfz0 = wrapSub(fixMul(fOverFn, dn), fixMul(N, tableDivide(df, fn)));
        const int32_t nRange = static_cast<int32_t>((static_cast<int64_t>(N) * wrapSub(df, dn)) >> 32);
        s.cfz1 = static_cast<int32_t>((static_cast<int64_t>(fOverFn) * nRange) >> 16);
        if (setBox) {
            s.ccx0 = tableDivide(L, N);
            s.ccx1 = tableDivide(R, N);
            s.ccy0 = tableDivide(B, N);
            s.ccy1 = tableDivide(T, N);
        }
    } else {
        s.cfx1 = tableDivide(W << 16, rl);
        s.cfy1 = tableDivide(H << 16, tb);
        s.cfz0 = wrapSub(fixMul(fOverFn, df), tableDivide(fixMul(N, dn), fn));
        s.cfz1 = wrapSub(0, tableDivide(wrapSub(df, dn), fn));
        if (setBox) {
            s.ccx0 = L;
            s.ccx1 = R;
            s.ccy0 = B;
            s.ccy1 = T;
        }
    }
    if (setBox) {
        s.ccz0 = wrapSub(0, F);
        s.ccz1 = wrapSub(0, N);
    }
    s.cfy1 = wrapSub(0, s.cfy1);  // screen y grows downwards
    const Fixed hFixed = static_cast<int32_t>(static_cast<uint32_t>(s.viewport_H) << 16);
    if (s.ccy1 < s.ccy0) {
        std::swap(s.ccy0, s.ccy1);
        if (ortho)
            s.cfy0 = wrapSub(s.cfy0, hFixed);
    } else if (ortho) {
        s.cfy0 = wrapAdd(s.cfy0, hFixed);
    }
}

uint32_t RasterState::outcode3D(Fixed* v) const
{
    const RasterStateBlock& s = m_block;
    const Fixed z = v[kVertexOutZ], w0 = v[kVertexInW];
    uint32_t code = outcodeXY(s, v[kVertexOutX], v[kVertexOutY], v[kVertexOutW]);
    code |= exceeds(z, w0, s.ccz1) ? 16 : 0;
    code |= below(z, w0, s.ccz0) ? 32 : 0;
    v[kVertexOutcode] = static_cast<int32_t>(code);
    return code;
}

uint32_t RasterState::outcode2D(Fixed* v) const
{
    const RasterStateBlock& s = m_block;
    // Without the w factor the box itself is the bound: w = 1.0 does that.
    const Fixed w = s.viewportMappingMode ? kFixedOne : v[kVertexOutW];
    const uint32_t code = outcodeXY(s, v[kVertexOutX], v[kVertexOutY], w);
    v[kVertexOutcode] = static_cast<int32_t>(code);
    return code;
}

Fixed RasterState::mipLevel(Fixed scale)
{
    if (scale < 0x8000)
        return static_cast<Fixed>(0xFFFF0000u);
    if (scale < kFixedOne)
        return (scale - 0x8000) * 2;
    Fixed levels = 0;
    while (scale >= 2 * kFixedOne) {
        scale >>= 1;
        levels += kFixedOne;
    }
    return scale + levels;
}

RSBFormat RasterState::entryFormat(int32_t slot) const
{
    const TextureEntry* e = m_store ? m_store->entry(slot) : nullptr;
    return e ? e->format : 0;
}

const uint8_t* RasterState::entryLevel(int32_t slot, uint32_t level) const
{
    const TextureEntry* e = m_store ? m_store->entry(slot) : nullptr;
    return e && level < kTextureLevelCount ? e->levels[level] : nullptr;
}

uint32_t RasterState::entryPixelWord(int32_t slot) const
{
    const TextureEntry* e = m_store ? m_store->entry(slot) : nullptr;
    if (!e || e->isFree())
        return 0;
    uint32_t word = 0;
    for (size_t i = 0; i < std::min<size_t>(e->bytes, 4); ++i)
        word |= static_cast<uint32_t>(e->levels[0][i]) << (8 * i);
    return word;
}
