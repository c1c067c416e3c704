// Debug text for span programs: one instruction at a time, and the name of
// the raster-state field a load or store through the state register reaches.
#include <cstdarg>
#include <cstdio>

#include "gfx2d/span/ArmInterpreter.h"

namespace {

constexpr uint32_t kStateRegister = 12;

const char* const kConditions[16] = {"eq", "ne", "cs", "cc", "mi", "pl", "vs", "vc",
                                     "hi", "ls", "ge", "lt", "gt", "le", "",   "nv"};
const char* const kOpcodes[16] = {"and", "eor", "sub", "rsb", "add", "adc", "sbc", "rsc",
                                  "tst", "teq", "cmp", "cmn", "orr", "mov", "bic", "mvn"};
// Immediate and register-amount texts of LSL, LSR, ASR, ROR.
const char* const kShiftImmediate[4] = {"<<", " lsr#", ">>", " ror#"};
const char* const kShiftRegister[4] = {"<<r", " lsr r", ">>r", " ror r"};
const char* const kBlockModes[4] = {"da", "ia", "db", "ib"};
const char* const kMultiplies[8] = {"mul", "mla", "?", "?", "umull", "umlal", "smull", "smlal"};

struct StateField {
    uint32_t offset;
    const char* name;
};
const StateField kFields[] = {
    {kRsScissorX0, "scissorx0"}, {kRsScissorY0, "scissory0"}, {kRsScissorX1, "scissorx1"},
    {kRsScissorY1, "scissory1"}, {kRsAlphaRefval, "alphaRefval"}, {kRsStencilRefval, "stencilRefval"},
    {kRsStencilMask, "stencilMask"}, {kRsSpSave, "spsave"}, {kRsSpSave + 4, "lsave"},
    {kRsSpSave + 8, "rsave"}, {kRsSpSave + 12, "r0save"}, {kRsRecipTableSizeM1, "recipTableSizeM1"},
    {kRsRecipTable, "recipTable"}, {kRsRecipTable4, "recipTable4"}, {kRsRecipShiftTable, "recipShiftTable"},
    {kRsCosTable, "cosTable"}, {kRsSqrtTableSizeM1, "sqrtTableSizeM1"}, {kRsSqrtTable, "sqrtTable"},
    {kRsDestBase, "destbase"}, {kRsDestHeight, "destheight"}, {kRsDestStride, "deststride"},
    {kRsDestPtr, "destptr"}, {kRsZBase, "zbase"}, {kRsZStride, "zstride"}, {kRsZPtr, "zptr"},
    {kRsStencilBase, "stencilbase"}, {kRsStencilPtr, "stencilptr"}, {kRsStencilStride, "stencilstride"},
    {kRsPerspective, "perspective"}, {kRsFinalLimit, "final_limit"},
};
// Twenty-word arrays from K1 on, in layout order.
const char* const kArrays[] = {"K1", "K2x", "K3y", "K3ys", "le", "re", "dl", "dr",
                               "intp", "intdp", "pcintp", "pcintdp", "pcnextp"};
const StateField kUnitFields[] = {
    {kTuFormat, "b.format"}, {kTuFlags, "b.flags"}, {kTuWidth, "b.width"}, {kTuHeight, "b.height"},
    {kTuPalette, "b.palette"}, {kTuMiptype, "b.miptype"}, {kTuMaxD, "b.maxD"}, {kTuWidthLog2, "width_log2"},
    {kTuHeightLog2, "height_log2"}, {kTuBpp, "bpp"}, {kTuCpp, "cpp"}, {kTuFilterMode, "filter_mode"},
    {kTuTexmode, "texmode"}, {kTuBoundSlot, "boundSlot"},
};

// snprintf that never writes past capacity and keeps the text terminated.
size_t put(char* out, size_t length, size_t capacity, const char* format, ...)
{
    if (!out || length + 1 >= capacity)
        return length;
    va_list args;
    va_start(args, format);
    const int n = std::vsnprintf(out + length, capacity - length, format, args);
    va_end(args);
    if (n < 0)
        return length;
    return length + static_cast<size_t>(n) < capacity ? length + static_cast<size_t>(n) : capacity - 1;
}

size_t operand2(uint32_t w, char* out, size_t n, size_t cap)
{
    if (w & (1u << 25)) {
        const uint32_t imm = w & 0xFF, rot = ((w >> 8) & 15) * 2;
        return put(out, n, cap, "#0x%08x", rot ? (imm >> rot) | (imm << (32 - rot)) : imm);
    }
    n = put(out, n, cap, "r%u", w & 15);
    const uint32_t type = (w >> 5) & 3;
    if (w & 0x10)
        return put(out, n, cap, "%s%u", kShiftRegister[type], (w >> 8) & 15);
    const uint32_t amount = (w >> 7) & 31;
    if (amount == 0 && type == 0)
        return n;
    if (amount == 0 && type == 3)
        return put(out, n, cap, " rrx");
    return put(out, n, cap, "%s%u", kShiftImmediate[type], amount ? amount : 32);
}

}  // namespace

size_t disassembleArm(uint32_t w, uint32_t address, char* out, size_t n, size_t cap)
{
    const char* cond = kConditions[w >> 28];
    const uint32_t op = (w >> 20) & 0xFF;
    const uint32_t rd = (w >> 12) & 15, rn = (w >> 16) & 15;
    if ((w & 0x0E000090) == 0x90) {
        const uint32_t kind = (w >> 4) & 15;
        if (kind == 0x9 && op <= 15) {
            const char* name = kMultiplies[(op >> 1) & 7];
            const char* s = (op & 1) ? "s" : "";
            if (op < 2)
                return put(out, n, cap, "%s%s%s r%d,r%d,r%d", name, cond, s, rn, w & 15, (w >> 8) & 15);
            if (op < 4)
                return put(out, n, cap, "%s%s%s r%d,r%d,r%d,r%d", name, cond, s, rn, w & 15, (w >> 8) & 15, rd);
            return put(out, n, cap, "%s%s%s r%d,r%d,r%d,r%d", name, cond, s, rd, rn, w & 15, (w >> 8) & 15);
        }
        if (kind == 0xB) {
            n = put(out, n, cap, "%sh%s r%d,[r%d", (w & (1u << 20)) ? "ldr" : "str", cond, rd, rn);
            const bool pre = w & (1u << 24);
            const char* sign = (w & (1u << 23)) ? "" : "-";
            n = put(out, n, cap, pre ? "," : "],");
            if (w & (1u << 22))
                n = put(out, n, cap, "#%s%u", sign, ((w >> 4) & 0xF0) | (w & 15));
            else
                n = put(out, n, cap, "%sr%u", sign, w & 15);
            return put(out, n, cap, pre ? ((w & (1u << 21)) ? "]!" : "]") : "");
        }
        return put(out, n, cap, "?%08x", w);
    }
    if (op == 0x12)
        return put(out, n, cap, "bx%s r%u", cond, w & 15);
    if (op > 0xAF)
        return put(out, n, cap, "?%08x", w);
    if (op < 0x40) {
        const uint32_t opcode = (op >> 1) & 15;
        const bool compare = opcode >= 8 && opcode < 12;
        if (compare && !(op & 1))
            return put(out, n, cap, "?%08x", w);
        n = put(out, n, cap, "%s%s%s ", kOpcodes[opcode], cond, (op & 1) && !compare ? "s" : "");
        if (compare)
            n = put(out, n, cap, "r%u,", rn);
        else if (opcode == 13 || opcode == 15)
            n = put(out, n, cap, "r%u,", rd);
        else
            n = put(out, n, cap, "r%u,r%u,", rd, rn);
        return operand2(w, out, n, cap);
    }
    if (op < 0x80) {
        const bool pre = op & 0x10;
        n = put(out, n, cap, "%s%s%s r%d,[r%d", (op & 1) ? "ldr" : "str", (op & 4) ? "b" : "", cond, rd, rn);
        const char* sign = (op & 8) ? "" : "-";
        n = put(out, n, cap, pre ? "," : "],");
        if (op < 0x60)
            n = put(out, n, cap, "#%s%u", sign, w & 0xFFF);
        else
            n = operand2((w & ~(1u << 25)), out, put(out, n, cap, "%s", sign), cap);
        return put(out, n, cap, pre ? ((op & 2) ? "]!" : "]") : "");
    }
    if (op < 0xA0) {
        n = put(out, n, cap, "%s%s%s r%u%s,{", (op & 1) ? "ldm" : "stm", kBlockModes[(op >> 3) & 3], cond, rn,
                (op & 2) ? "!" : "");
        const char* comma = "";
        for (uint32_t i = 0; i < 16; ++i)
            if (w & (1u << i)) {
                n = put(out, n, cap, "%sr%u", comma, i);
                comma = ",";
            }
        return put(out, n, cap, "}");
    }
    const int32_t imm = static_cast<int32_t>(w << 8) >> 8;
    return put(out, n, cap, "b%s .L%d", cond, static_cast<int32_t>(address) + 8 + 4 * imm);
}

size_t describeStateOperand(uint32_t w, char* out, size_t n, size_t cap)
{
    const uint32_t op = (w >> 20) & 0xFF;
    // Immediate-offset word and byte transfers, upwards, through r12.
    if (op < 0x40 || op >= 0x60 || !(op & 8) || ((w >> 16) & 15) != kStateRegister)
        return n;
    const uint32_t offset = w & 0xFFF;
    // The register areas print byte offsets, as the span code addresses them.
    if (offset < kRsRegs)
        return put(out, n, cap, "s->CPUregs[%u]", offset);
    if (offset < kRsScissorX0)
        return put(out, n, cap, "s->regs[%u]", offset - kRsRegs);
    for (const StateField& f : kFields)
        if (f.offset == offset)
            return put(out, n, cap, "s->%s", f.name);
    if (offset >= kRsTextureUnits && offset < kRsPerspective) {
        const uint32_t unit = (offset - kRsTextureUnits) / kTextureUnitSize;
        const uint32_t within = (offset - kRsTextureUnits) % kTextureUnitSize;
        for (const StateField& f : kUnitFields)
            if (f.offset == within)
                return put(out, n, cap, "s->texture_units[%u].%s", unit, f.name);
        if (within >= kTuLevels && within < kTuWidthLog2)
            return put(out, n, cap, "s->texture_units[%u].b.levels[%u]", unit, (within - kTuLevels) / 4);
    }
    if (offset >= kRsK1 && offset < kRsViewport) {
        const uint32_t word = (offset - kRsK1) / 4;
        return put(out, n, cap, "s->%s[%u]", kArrays[word / 20], word % 20);
    }
    return put(out, n, cap, "r%u,#%u", kStateRegister, offset);
}
