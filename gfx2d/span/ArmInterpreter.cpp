// The interpreter's execution loop: one condition lookup and one switch on
// bits 20-27 per word, with the shifter and the flag rules beside it. The
// flag rules are the ones span programs were written against (C after ADC
// and SBC ignores the carry-in, logical S forms clear C and V).
#include "gfx2d/span/ArmInterpreter.h"

#include "gfx2d/raster/UnalignedAccess.h"

const uint32_t CONDITION_TABLE[16] = {
    0xF0F0, 0x0F0F, 0xCCCC, 0x3333, 0xFF00, 0x00FF, 0xAAAA, 0x5555,
    0x0C0C, 0xF3F3, 0xAA55, 0x55AA, 0x0A05, 0xF5FA, 0xFFFF, 0x0000,
};

namespace {

constexpr uint32_t kRegisterCount = 16;

inline uint32_t nz(uint32_t v) { return (v & 0x80000000u ? kFlagN : 0) | (v == 0 ? kFlagZ : 0); }

inline uint32_t addFlags(uint32_t a, uint32_t b, uint32_t result)
{
    return nz(result) | (a > ~b ? kFlagC : 0) | ((~(a ^ b) & (a ^ result)) >> 31 ? kFlagV : 0);
}

inline uint32_t subFlags(uint32_t a, uint32_t b, uint32_t result)
{
    return nz(result) | (a >= b ? kFlagC : 0) | (((a ^ b) & (a ^ result)) >> 31 ? kFlagV : 0);
}

// Operand 2 in register form; RRX writes C even without S.
inline uint32_t shifted(uint32_t w, const uint32_t* r, uint32_t& flags)
{
    const uint32_t rm = r[w & 15];
    const uint32_t type = (w >> 5) & 3;
    uint32_t amount;
    if (w & 0x10) {
        amount = r[(w >> 8) & 15] & 0xFF;
        if (amount == 0)
            return rm;
    } else {
        amount = (w >> 7) & 31;
        if (amount == 0) {
            switch (type) {
            case 0: return rm;
            case 1: return 0;
            case 2: return rm & 0x80000000u ? 0xFFFFFFFFu : 0;
            default: {
                const uint32_t out = ((flags & kFlagC) << 30) | (rm >> 1);
                flags = (flags & ~kFlagC) | ((rm & 1) ? kFlagC : 0);
                return out;
            }
            }
        }
    }
    switch (type) {
    case 0: return amount >= 32 ? 0 : rm << amount;
    case 1: return amount >= 32 ? 0 : rm >> amount;
    case 2: return amount >= 32 ? (rm & 0x80000000u ? 0xFFFFFFFFu : 0)
                                : static_cast<uint32_t>(static_cast<int32_t>(rm) >> amount);
    default: amount &= 31; return amount ? (rm >> amount) | (rm << (32 - amount)) : rm;
    }
}

inline uint32_t rotatedImmediate(uint32_t w)
{
    const uint32_t imm = w & 0xFF, rot = ((w >> 8) & 15) * 2;
    return rot ? (imm >> rot) | (imm << (32 - rot)) : imm;
}

// One data-processing operation; the compares write only the flags.
inline void dataProcessing(uint32_t w, uint32_t op2, uint32_t* r, uint32_t& flags)
{
    const uint32_t opcode = (w >> 21) & 15;
    const bool s = w & (1u << 20);
    const uint32_t a = r[(w >> 16) & 15];
    uint32_t& d = r[(w >> 12) & 15];
    uint32_t result;
    switch (opcode) {
    case 0x0: result = a & op2; break;
    case 0x1: result = a ^ op2; break;
    case 0x2: result = a - op2; if (s) flags = subFlags(a, op2, result); d = result; return;
    case 0x3: result = op2 - a; if (s) flags = subFlags(op2, a, result); d = result; return;
    case 0x4: result = a + op2; if (s) flags = addFlags(a, op2, result); d = result; return;
    case 0x5:
        result = a + op2 + ((flags & kFlagC) ? 1 : 0);
        if (s)
            flags = addFlags(a, op2, result);
        d = result;
        return;
    case 0x6:
        result = a - op2 - ((flags & kFlagC) ? 0 : 1);
        if (s)
            flags = subFlags(a, op2, result);
        d = result;
        return;
    case 0x7:
        result = op2 - a - ((flags & kFlagC) ? 0 : 1);
        if (s)
            flags = subFlags(op2, a, result);
        d = result;
        return;
    case 0x8: flags = nz(a & op2); return;
    case 0x9: flags = nz(a ^ op2); return;
    case 0xA: flags = subFlags(a, op2, a - op2); return;
    case 0xB: flags = addFlags(a, op2, a + op2); return;
    case 0xC: result = a | op2; break;
    case 0xD: result = op2; break;
    case 0xE: result = a & ~op2; break;
    default: result = ~op2; break;
    }
    if (s)
        flags = nz(result);
    d = result;
}

// Long multiplies in exact 64-bit arithmetic.
inline void multiply(uint32_t w, uint32_t* r, uint32_t& flags)
{
    const uint32_t op = (w >> 20) & 31;
    const bool s = op & 1;
    const uint32_t rm = r[w & 15], rs = r[(w >> 8) & 15];
    uint32_t& hi = r[(w >> 16) & 15];
    uint32_t& lo = r[(w >> 12) & 15];
    if (op < 4) {
        const uint32_t result = rm * rs + ((op & 2) ? lo : 0);
        hi = result;
        if (s)
            flags = nz(result);
        return;
    }
    if (op < 8)
        return;
    const bool isSigned = op & 4, accumulate = op & 2;
    uint64_t p = isSigned ? static_cast<uint64_t>(static_cast<int64_t>(static_cast<int32_t>(rm)) *
                                                  static_cast<int32_t>(rs))
                          : static_cast<uint64_t>(rm) * rs;
    if (accumulate)
        p += (static_cast<uint64_t>(hi) << 32) | lo;
    lo = static_cast<uint32_t>(p);
    hi = static_cast<uint32_t>(p >> 32);
    if (s)
        flags = isSigned ? ((p >> 63) ? kFlagN : 0) | (p == 0 ? kFlagZ : 0) : (p == 0 ? kFlagZ : 0);
}

}  // namespace

SpanRun runArmMachine(const SpanAddressSpace& space, ArmMachine& m, const uint8_t* code, uint32_t codeBytes,
                      uint32_t budget)
{
    uint32_t* r = m.r;
    uint32_t flags = m.flags & 15;
    const uint32_t words = codeBytes / 4;
    uint32_t pc = 0, executed = 0;
    SpanRun outcome = SpanRun::LeftCode;
    while (pc < words) {
        if (executed == budget) {
            outcome = SpanRun::OutOfTime;
            break;
        }
        ++executed;
        const uint32_t here = pc++;
        const uint32_t w = loadUnaligned<uint32_t>(code + 4 * here);
        if (!((CONDITION_TABLE[w >> 28] >> flags) & 1))
            continue;
        if ((w & 0x0E000090) == 0x90) {
            const uint32_t kind = (w >> 4) & 15;
            if (kind == 0x9 && ((w >> 20) & 0xFF) <= 15) {
                multiply(w, r, flags);
            } else if (kind == 0xB) {
                const uint32_t puiwl = (w >> 20) & 31;
                if (puiwl >= 16 || (puiwl & 2) == 0) {
                    const uint32_t offset = (w & (1u << 22)) ? ((w >> 4) & 0xF0) | (w & 15) : r[w & 15];
                    uint32_t& base = r[(w >> 16) & 15];
                    const uint32_t moved = (w & (1u << 23)) ? base + offset : base - offset;
                    const bool pre = puiwl >= 16;
                    uint8_t* p = space.translate(pre ? moved : base, 2);
                    if (!p) {
                        outcome = SpanRun::Fault;
                        break;
                    }
                    uint32_t& rd = r[(w >> 12) & 15];
                    if (w & (1u << 20)) {
                        const uint32_t value = loadUnaligned<uint16_t>(p);
                        if (pre) {
                            if (w & (1u << 21))
                                base = moved;
                            rd = value;
                        } else {
                            rd = value;
                            base = moved;
                        }
                    } else {
                        storeUnaligned<uint16_t>(p, static_cast<uint16_t>(rd));
                        if (!pre || (w & (1u << 21)))
                            base = moved;
                    }
                }
            }
            continue;
        }
        const uint32_t op = (w >> 20) & 0xFF;
        if (op > 0xAF)
            continue;
        if (op == 0x12) {
            outcome = SpanRun::Returned;
            break;
        }
        switch (op >> 4) {
        case 0x0:
            dataProcessing(w, shifted(w, r, flags), r, flags);
            break;
        case 0x1:
            if ((op & 1) || op >= 0x18)
                dataProcessing(w, shifted(w, r, flags), r, flags);
            break;
        case 0x2:
            dataProcessing(w, rotatedImmediate(w), r, flags);
            break;
        case 0x3:
            if ((op & 1) || op >= 0x38)
                dataProcessing(w, rotatedImmediate(w), r, flags);
            break;
        case 0x4: case 0x5: case 0x6: case 0x7: {
            const bool registerOffset = op >= 0x60;
            const bool pre = op & 0x10;
            // Post-indexed forms with W are the user-mode transfers: not run.
            if (!pre && (op & 2))
                break;
            const uint32_t offset = registerOffset ? shifted(w, r, flags) : (w & 0xFFF);
            uint32_t& base = r[(w >> 16) & 15];
            const uint32_t moved = (op & 8) ? base + offset : base - offset;
            const bool byte = op & 4;
            uint8_t* p = space.translate(pre ? moved : base, byte ? 1 : 4);
            if (!p) {
                outcome = SpanRun::Fault;
                goto done;
            }
            uint32_t& rd = r[(w >> 12) & 15];
            const bool writeBack = !pre || (op & 2);
            if (op & 1) {
                const uint32_t value = byte ? *p : loadUnaligned<uint32_t>(p);
                // Post-indexed: the base wins; pre-indexed: the loaded value wins.
                if (pre) {
                    if (writeBack)
                        base = moved;
                    rd = value;
                } else {
                    rd = value;
                    base = moved;
                }
            } else {
                if (byte)
                    *p = static_cast<uint8_t>(rd);
                else
                    storeUnaligned<uint32_t>(p, rd);
                if (writeBack)
                    base = moved;
            }
            break;
        }
        case 0x8: case 0x9: {
            if (op & 4)
                break;  // the S forms
            const uint32_t list = w & 0xFFFF;
            const uint32_t count = static_cast<uint32_t>(__builtin_popcount(list));
            uint32_t& base = r[(w >> 16) & 15];
            const bool up = op & 8, before = op & 0x10;
            uint32_t start = up ? base : base - 4 * count;
            if (up == before)
                start += 4;
            // The whole block is checked first, so a fault transfers nothing.
            uint8_t* p = count ? space.translate(start, 4 * count) : nullptr;
            if (count && !p) {
                outcome = SpanRun::Fault;
                goto done;
            }
            const uint32_t moved = up ? base + 4 * count : base - 4 * count;
            for (uint32_t i = 0; i < kRegisterCount; ++i) {
                if (!(list & (1u << i)))
                    continue;
                if (op & 1)
                    r[i] = loadUnaligned<uint32_t>(p);
                else
                    storeUnaligned<uint32_t>(p, r[i]);
                p += 4;
            }
            if (op & 2)
                base = moved;
            break;
        }
        case 0xA: {
            const int32_t imm = static_cast<int32_t>(w << 8) >> 8;
            pc = here + 2 + static_cast<uint32_t>(imm);
            break;
        }
        default:
            break;
        }
    }
done:
    m.flags = flags;
    m.executed = executed;
    return outcome;
}

SpanRun runArmCode(const SpanAddressSpace& space, SpanAddress stateBase, const uint8_t* code, uint32_t codeBytes,
                   uint32_t r0, uint32_t r1, uint32_t r2, uint32_t budget, ArmMachine* machine)
{
    ArmMachine local{};
    ArmMachine& m = machine ? *machine : local;
    m = ArmMachine{};
    m.r[0] = r0;
    m.r[1] = r1;
    m.r[2] = r2;
    m.r[13] = stateBase + kRsInterpreterStackTop;
    return runArmMachine(space, m, code, codeBytes, budget);
}
