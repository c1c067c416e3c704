// Span programs written with the ARM encoder. Entry (triangle driver):
// r0 = raster state, r1/r2 = the row's left and right x in 16.16. Register
// use in the pixel loop: r12 state, r0 destination, r1 pixels left, r2/r3 u
// and its step, r4/r5 v and its step, r6 texels, r7 width, r8 height,
// r9 palette (or a temporary), r10 the colour, r11/r13/r14 temporaries. The
// loop that needs no clamps has no use for the height and keeps a constant
// in r8 instead, and a blending one the alpha in r12. 5-6-5 texels are
// copied as stored unless blended, which widens them first.
#include "tools/span/SpanPrograms.h"

#include <cstring>

#include "framework/resources/ResourceIds.h"
#include "gfx2d/raster/SpanAddress.h"
#include "gfx2d/raster/SpanRecordWords.h"
#include "gfx2d/span/SpanIds.h"
#include "tools/span/ArmEncoder.h"

namespace {

constexpr uint32_t kState = 12, kLr = 14;
constexpr uint32_t kMaskWord = 0;   // CPU word holding 0x00FF00FF
constexpr uint32_t kAlphaWord = 4;  // CPU word holding the alpha, 0-255
constexpr uint8_t kSetHeader[3] = {1, 0, 0};

int32_t unitField(uint32_t field) { return static_cast<int32_t>(kRsTextureUnits + field); }
int32_t intp(uint32_t k) { return static_cast<int32_t>(kRsIntp + 4 * k); }
int32_t intdp(uint32_t k) { return static_cast<int32_t>(kRsIntp + 80 + 4 * k); }

void ldrb(ArmAssembler& a, uint32_t rd, uint32_t rn, ArmOperand rm, ArmCond c = kAl)
{
    a.emit(armTransferRegister(c, true, true, rd, rn, true, rm));
}

// Pixel bound of an edge in 16.16: (x + 0x7FFF) >> 16, held to the scissor.
void pixelBound(ArmAssembler& a, uint32_t r, int32_t scissor, ArmCond beyond)
{
    a.dp(kAdd, r, r, armImm(0x7F00));
    a.dp(kAdd, r, r, armImm(0xFF));
    a.mov(r, armReg(r, kAsr, 16));
    a.ldr(10, kState, scissor);
    a.cmp(r, armReg(10));
    a.mov(r, armReg(10), beyond);
}

// x0 = max(left bound, scissorx0), x1 = min(right bound, scissorx1); r11 =
// the pixel count; an empty span returns.
void spanRange(ArmAssembler& a)
{
    a.mov(kState, armReg(0));
    pixelBound(a, 1, kRsScissorX0, kLt);
    pixelBound(a, 2, kRsScissorX1, kGt);
    a.dp(kSub, 11, 2, armReg(1), true);
    a.emit(armBx(kLe, kLr));
}

// An interpolant at the centre of pixel x0 (r1): intp + x0 * intdp + intdp / 2.
void interpolantAtX0(ArmAssembler& a, uint32_t value, uint32_t step, uint32_t k)
{
    a.ldr(value, kState, intp(k));
    a.ldr(step, kState, intdp(k));
    a.emit(armMultiply(kAl, kMla, false, value, value, 1, step));
    a.dp(kAdd, value, value, armReg(step, kAsr, 1));
}

// A texel coordinate clamped to [0, size - 1].
void clampedCoordinate(ArmAssembler& a, uint32_t rd, uint32_t fixedValue, uint32_t size)
{
    a.mov(rd, armReg(fixedValue, kAsr, 16));
    a.dp(kBic, rd, rd, armReg(rd, kAsr, 31));
    a.cmp(rd, armReg(size));
    a.dp(kSub, rd, size, armImm(1), false, kGe);
}

// Where the blend finds its mask (0x00FF00FF, which is also the key colour)
// and alpha: registers in the unclamped loop; the clamped loop has none to
// spare and loads each into r9 when it is due.
struct BlendConstants {
    uint32_t mask = 0, alpha = 0;  // 0: load from the CPU word
};

class ConstantRegisters {
public:
    ConstantRegisters(ArmAssembler& a, BlendConstants k) : m_a(a), m_k(k) {}
    uint32_t mask() { return get(m_k.mask, kMaskWord); }
    uint32_t alpha() { return get(m_k.alpha, kAlphaWord); }

private:
    uint32_t get(uint32_t reg, int32_t word)
    {
        if (reg)
            return reg;
        if (m_loaded != word)
            m_a.ldr(9, kState, word);
        m_loaded = word;
        return 9;
    }
    ArmAssembler& m_a;
    BlendConstants m_k;
    int32_t m_loaded = -1;
};

// One pair of fields blended in place: s = s * a + d * (255 - a), as
// (s - d) * a + d * 255; each 16-bit field of the result stays below 65536,
// so the borrows between fields cancel. d is clobbered.
void blendFields(ArmAssembler& a, uint32_t s, uint32_t d, uint32_t alpha)
{
    a.dp(kSub, s, s, armReg(d));
    a.dp(kRsb, d, d, armReg(d, kLsl, 8));
    a.emit(armMultiply(kAl, kMla, false, s, d, s, alpha));
}

// r11 = d (0x00RRGGBB), r10 = source colour: r10 = blend of both with the
// alpha, opaque; r13/r14 clobbered. The red-blue pair is blended in one
// product, the green channel in another.
void blend8888(ArmAssembler& a, BlendConstants constants)
{
    ConstantRegisters k(a, constants);
    a.dp(kAnd, 13, 10, armReg(k.mask()));
    a.dp(kAnd, 10, 10, armImm(0xFF00));
    a.dp(kAnd, 14, 11, armReg(k.mask()));
    a.dp(kAnd, 11, 11, armImm(0xFF00));
    blendFields(a, 13, 14, k.alpha());
    blendFields(a, 10, 11, k.alpha());
    a.dp(kAnd, 13, k.mask(), armReg(13, kLsr, 8));
    a.dp(kAnd, 10, 10, armImm(0xFF0000));
    a.dp(kOrr, 10, 13, armReg(10, kLsr, 8));
    a.dp(kOrr, 10, 10, armImm(0xFF000000));
}

// r11 = d (R5G6B5), r10 = source colour: r10's low half = the blend of both
// with the alpha, narrowed to R5G6B5; r13/r14 clobbered. d is widened
// straight into the two products' fields: a 5-bit channel as (c * 33) >> 2,
// the 6-bit green as (c * 65) >> 4, in the upper field so that its narrowed
// bits are the top six of the word.
void blend565(ArmAssembler& a, BlendConstants constants)
{
    ConstantRegisters k(a, constants);
    a.dp(kAnd, 14, 11, armImm(0x7E0));
    a.dp(kAdd, 14, 14, armReg(14, kLsl, 6));
    a.dp(kAnd, 14, k.mask(), armReg(14, kLsl, 7));
    a.dp(kAnd, 13, 11, armImm(0xF800));
    a.dp(kAnd, 11, 11, armImm(0x1F));
    a.dp(kOrr, 11, 11, armReg(13, kLsl, 5));
    a.dp(kAdd, 11, 11, armReg(11, kLsl, 5));
    a.dp(kAnd, 11, k.mask(), armReg(11, kLsr, 2));
    a.dp(kAnd, 13, k.mask(), armReg(10, kLsl, 8));
    a.dp(kAnd, 10, 10, armReg(k.mask()));
    blendFields(a, 10, 11, k.alpha());
    blendFields(a, 13, 14, k.alpha());
    // Red's top five bits are the word's, blue's bits 11-15, green's 26-31.
    a.mov(11, armReg(10, kLsr, 11));
    a.dp(kAnd, 14, 11, armImm(0x1F));
    a.dp(kAnd, 11, 11, armImm(0x1F0000));
    a.dp(kOrr, 14, 14, armReg(11, kLsr, 5));
    a.mov(13, armReg(13, kLsr, 26));
    a.dp(kOrr, 10, 14, armReg(13, kLsl, 5));
}

// r10 narrowed to R5G6B5; r11, r13 clobbered.
void narrow565(ArmAssembler& a)
{
    a.dp(kAnd, 11, 10, armImm(0xF80000));
    a.mov(13, armReg(11, kLsr, 8));
    a.dp(kAnd, 11, 10, armImm(0xFC00));
    a.dp(kOrr, 13, 13, armReg(11, kLsr, 5));
    a.dp(kAnd, 11, 10, armImm(0xF8));
    a.dp(kOrr, 10, 13, armReg(11, kLsr, 3));
}

// Branches to outside unless value and value + (count - 1) * step (r14 =
// count - 1), formed exactly in 64 bits, both lie in [0, size << 16).
void coordinateRangeCheck(ArmAssembler& a, uint32_t value, uint32_t step, uint32_t size, int outside)
{
    a.emit(armMultiply(kAl, kSmull, false, 10, 11, 14, step));
    a.dp(kAdd, 10, 10, armReg(value), true);
    a.dp(kAdc, 11, 11, armReg(value, kAsr, 31));
    a.cmp(11, armImm(0));
    a.branch(outside, kNe);
    a.mov(13, armReg(size, kLsl, 16));
    a.cmp(10, armReg(13));
    a.branch(outside, kCs);
    a.cmp(value, armReg(13));
    a.branch(outside, kCs);
}

// r10 = the texel's colour (a 5-6-5 texel as stored), its coordinates
// clamped to the texture or (when the whole span lies inside) taken as they are.
void fetch(ArmAssembler& a, bool clamp, RSBFormat source, bool blended)
{
    const bool paletted = source == PixelFormat::P8X8R8G8B8;
    if (!clamp && paletted) {
        a.mov(11, armReg(4, kLsr, 16));
        a.emit(armMultiply(kAl, kMla, false, 10, 6, 11, 7));
        ldrb(a, 10, 10, armReg(2, kLsr, 16));
        a.emit(armTransferRegister(kAl, true, false, 10, 9, true, armReg(10, kLsl, 2)));
        return;
    }
    if (clamp) {
        clampedCoordinate(a, 10, 2, 7);
        clampedCoordinate(a, 11, 4, 8);
    } else {
        a.mov(10, armReg(2, kLsr, 16));
        a.mov(11, armReg(4, kLsr, 16));
    }
    a.emit(armMultiply(kAl, kMla, false, 10, 10, 11, 7));
    if (paletted) {
        // The clamped blend uses the palette register for its constants.
        if (blended)
            a.ldr(9, kState, unitField(kTuPalette));
        ldrb(a, 10, 6, armReg(10));
        a.emit(armTransferRegister(kAl, true, false, 10, 9, true, armReg(10, kLsl, 2)));
    } else if (source == PixelFormat::R5G6B5) {
        // A halfword load takes no shifted offset.
        a.mov(10, armReg(10, kLsl, 1));
        a.emit(armHalfwordRegister(kAl, true, 10, 6, true, 10));
    } else {
        a.emit(armTransferRegister(kAl, true, false, 10, 6, true, armReg(10, kLsl, 2)));
    }
}

// r10, a 5-6-5 texel, widened to 0x00RRGGBB as the blit loops widen it: a
// 5-bit channel as (c * 33) >> 2, the 6-bit green as (c * 65) >> 4; r11
// and r13 clobbered.
void widen565(ArmAssembler& a)
{
    a.dp(kAnd, 11, 10, armImm(0xF800));
    a.dp(kAnd, 13, 10, armImm(0x7E0));
    a.dp(kAnd, 10, 10, armImm(0x1F));
    a.dp(kAdd, 10, 10, armReg(10, kLsl, 5));
    a.mov(10, armReg(10, kLsr, 2));
    a.dp(kAdd, 11, 11, armReg(11, kLsl, 5));
    a.mov(11, armReg(11, kLsr, 13));
    a.dp(kOrr, 10, 10, armReg(11, kLsl, 16));
    a.dp(kAdd, 13, 13, armReg(13, kLsl, 6));
    a.mov(13, armReg(13, kLsr, 9));
    a.dp(kOrr, 10, 10, armReg(13, kLsl, 8));
}

// Branches to skip when r10's low 24 bits are the key. key: a register
// holding 0xFF00FF00 (one compare), mask: one holding the key itself, or
// neither.
void skipKey(ArmAssembler& a, int skip, uint32_t key, uint32_t mask)
{
    if (key) {
        a.cmp(key, armReg(10, kLsl, 8));
    } else {
        a.dp(kBic, 11, 10, armImm(0xFF000000));
        if (mask) {
            a.cmp(11, armReg(mask));
        } else {
            a.dp(kEor, 11, 11, armImm(0xFF0000));
            a.cmp(11, armImm(0xFF));
        }
    }
    a.branch(skip, kEq);
}

void nextPixel(ArmAssembler& a, int loop)
{
    a.dp(kSub, 1, 1, armImm(1), true);
    a.branch(loop, kNe);
    a.emit(armBx(kAl, kLr));
}

// One pixel a turn: fetch, key, blend, write; the destination pointer moves
// on with the store. The unclamped loop keeps its constants in r8 (free of
// the height there) and, when blending, the alpha in r12.
void pixelLoop(ArmAssembler& a, bool clamp, bool wide, RSBFormat source, bool keyed, bool blended)
{
    const int loop = a.newLabel(), skip = a.newLabel();
    const uint32_t bpp = wide ? 4 : 2;
    const bool paletted = source == PixelFormat::P8X8R8G8B8, from565 = source == PixelFormat::R5G6B5;
    a.bind(loop);
    fetch(a, clamp, source, blended);
    a.dp(kAdd, 2, 2, armReg(3));
    a.dp(kAdd, 4, 4, armReg(5));
    if (keyed && from565) {
        // The key of 5-6-5 pixels, 0xF81F, is in r8 when r8 is free for it.
        if (clamp || blended) {
            a.dp(kEor, 11, 10, armImm(0xF800));
            a.cmp(11, armImm(0x1F));
        } else {
            a.cmp(10, armReg(8));
        }
        a.branch(skip, kEq);
    } else if (keyed) {
        skipKey(a, skip, clamp || blended ? 0 : 8, clamp || !blended ? 0 : 8);
    }
    const BlendConstants constants = clamp ? BlendConstants{} : BlendConstants{8, kState};
    if (blended && from565)
        widen565(a);
    if (blended && wide) {
        a.ldr(11, 0, 0);
        blend8888(a, constants);
    } else if (blended) {
        a.emit(armHalfword(kAl, true, 11, 0, 0));
        blend565(a, constants);
    } else if (!wide && !from565) {
        narrow565(a);
    } else if (paletted) {
        // Palette entries are opaque on a 32-bit target.
        a.dp(kOrr, 10, 10, armImm(0xFF000000));
    }
    if (wide)
        a.emit(armTransfer(kAl, false, false, 10, 0, 4, false));
    else
        a.emit(armHalfword(kAl, false, 10, 0, 2, false));
    nextPixel(a, loop);
    if (keyed) {
        a.bind(skip);
        a.dp(kAdd, 0, 0, armImm(bpp));
        nextPixel(a, loop);
    }
}

}  // namespace

std::vector<uint32_t> spanProgramCode(SpanMode mode, RSBFormat destination, RSBFormat source)
{
    const bool wide = destination == PixelFormat::X8R8G8B8;
    const bool paletted = source == PixelFormat::P8X8R8G8B8;
    // 5-6-5 pictures are drawn onto 5-6-5 targets.
    const bool from565 = source == PixelFormat::R5G6B5 && !wide;
    if ((!wide && destination != PixelFormat::R5G6B5) || (!paletted && !from565 && source != PixelFormat::X8R8G8B8))
        return {};
    const bool keyed = mode != SpanMode::Opaque, blended = mode == SpanMode::KeyedBlend;
    ArmAssembler a;
    spanRange(a);
    if (blended) {
        // Alpha 0 draws nothing.
        a.ldr(10, kState, static_cast<int32_t>(kRsRegs + 4 * kSpanConstantAlpha));
        a.dp(kAnd, 10, 10, armImm(0xFF), true);
        a.emit(armBx(kEq, kLr));
        a.str(10, kState, kAlphaWord);
        a.loadConstant(10, 0x00FF00FF);
        a.str(10, kState, kMaskWord);
    }
    interpolantAtX0(a, 2, 3, kSpanInterpolantU);
    interpolantAtX0(a, 4, 5, kSpanInterpolantV);
    a.ldr(0, kState, kRsDestPtr);
    a.dp(kAdd, 0, 0, armReg(1, kLsl, wide ? 2 : 1));
    a.mov(1, armReg(11));
    a.ldr(6, kState, unitField(kTuLevels));
    a.ldr(7, kState, unitField(kTuWidth));
    a.ldr(8, kState, unitField(kTuHeight));
    if (paletted)
        a.ldr(9, kState, unitField(kTuPalette));
    // When the first and the last pixel's texels lie inside the texture,
    // every pixel's does (u and v are linear): that loop needs no clamps.
    const int clamped = a.newLabel();
    a.dp(kSub, 14, 1, armImm(1));
    coordinateRangeCheck(a, 2, 3, 7, clamped);
    coordinateRangeCheck(a, 4, 5, 8, clamped);
    if (blended) {
        a.ldr(8, kState, kMaskWord);
        a.ldr(kState, kState, kAlphaWord);
    } else if (keyed) {
        a.loadConstant(8, from565 ? kSpanColourKey565 : 0xFF00FF00);
    }
    pixelLoop(a, false, wide, source, keyed, blended);
    a.bind(clamped);
    pixelLoop(a, true, wide, source, keyed, blended);
    return a.finish();
}

std::vector<uint8_t> spanRecord(const std::vector<uint32_t>& code, const SpanRecordKeys& keys)
{
    std::vector<uint8_t> r(kSpanRecordBytes, 0);
    if (code.size() * 4 > kSpanCodeBytes)
        return {};
    std::memcpy(r.data() + kSpanRecordCodeOffset, code.data(), code.size() * 4);
    auto put = [&r](uint32_t word, uint32_t value) { std::memcpy(r.data() + 4 * word, &value, 4); };
    put(kSpanWordKey1, keys.destination);
    put(kSpanWordKey2, keys.source);
    put(kSpanWordKey3, kSpanKey3Image);
    put(kSpanWordKey4, kSpanKey4Image);
    put(kSpanWordKey5, static_cast<uint32_t>(keys.depthSource));
    put(kSpanWordKey6, kSpanKey6Image);
    put(kSpanWordBinding, keys.bindingWord);
    put(kSpanWordDepthInterpolant, static_cast<uint32_t>(keys.depthInterpolant + kSpanInterpolantBase));
    put(kSpanWordInterpolantCount, static_cast<uint32_t>(keys.interpolants));
    put(kSpanWordDriverKind, static_cast<uint32_t>(keys.driverKind));
    return r;
}

std::vector<uint8_t> spanProgramRecord(SpanMode mode, RSBFormat destination, RSBFormat source)
{
    const std::vector<uint32_t> code = spanProgramCode(mode, destination, source);
    if (code.empty())
        return {};
    SpanRecordKeys keys;
    keys.destination = destination;
    keys.source = source;
    return spanRecord(code, keys);
}

std::vector<SpanPackEntry> spanPackEntries()
{
    const SpanMode modes[kSpanSetCount] = {SpanMode::Opaque, SpanMode::Keyed, SpanMode::KeyedBlend};
    std::vector<SpanPackEntry> entries;
    for (uint32_t s = 0; s < kSpanSetCount; ++s) {
        entries.push_back({kSpanSets[s].set, ResourceType::SpanPrograms, {kSetHeader, kSetHeader + 3}});
        for (uint32_t r = 0; r < kSpanSetRecordIdsPerSet; ++r)
            entries.push_back({kSpanSets[s].records[r], kSpanRecordTag,
                               spanProgramRecord(modes[s], kSpanFormatPairs[r].destination, kSpanFormatPairs[r].source)});
    }
    return entries;
}
