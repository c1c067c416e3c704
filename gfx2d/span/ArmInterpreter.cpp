// The interpreter. A program is decoded once into handler calls, each an
// instance made for its operation, S bit and operand form, so that a
// span's inner loop pays one predictable call per instruction instead of a
// decode. The flag rules are the ones span programs were written against
// (C after ADC and SBC ignores the carry-in, logical S forms clear C and V).
#include "gfx2d/span/ArmInterpreter.h"

#include <array>
#include <cstring>
#include <utility>
#include <vector>

#include "gfx2d/raster/UnalignedAccess.h"

const uint32_t CONDITION_TABLE[16] = {
    0xF0F0, 0x0F0F, 0xCCCC, 0x3333, 0xFF00, 0x00FF, 0xAAAA, 0x5555,
    0x0C0C, 0xF3F3, 0xAA55, 0x55AA, 0x0A05, 0xF5FA, 0xFFFF, 0x0000,
};

namespace {

constexpr int kContinue = 0, kReturned = 1, kFault = 2, kLeftCode = 3;

struct Context {
    uint32_t r[16];
    uint32_t flags;
    uint32_t pc;
    const SpanAddressSpace* space;
};

struct ArmOp;
using Handler = int (*)(Context&, const ArmOp&);

struct ArmOp {
    Handler run;
    uint32_t condition;  // mask from CONDITION_TABLE
    uint32_t imm;        // operand, offset, branch target or the raw word
    uint8_t rd, rn, rm, rs;
    uint8_t amount;      // immediate shift amount
    uint8_t type;        // shift type of a shift by register
    uint8_t up;          // transfers: add the offset
};

// Operand-2 forms. LSR #0 decodes as the immediate 0, ASR #0 as ASR #31
// (both give what a shift by 32 gives) and ROR #0 as RRX.
enum Form : uint8_t { kImm, kReg, kLsl, kLsr, kAsr, kRor, kByReg, kRrx, kFormCount };

inline uint32_t nz(uint32_t v) { return (v & 0x80000000u ? kFlagN : 0) | (v == 0 ? kFlagZ : 0); }

inline uint32_t addFlags(uint32_t a, uint32_t b, uint32_t result)
{
    return nz(result) | (a > ~b ? kFlagC : 0) | ((~(a ^ b) & (a ^ result)) >> 31 ? kFlagV : 0);
}

inline uint32_t subFlags(uint32_t a, uint32_t b, uint32_t result)
{
    return nz(result) | (a >= b ? kFlagC : 0) | (((a ^ b) & (a ^ result)) >> 31 ? kFlagV : 0);
}

inline uint32_t rotateRight(uint32_t v, uint32_t n) { return n ? (v >> n) | (v << (32 - n)) : v; }

uint32_t shiftByRegister(uint32_t rm, uint32_t type, uint32_t amount)
{
    if (amount == 0)
        return rm;
    switch (type) {
    case 0: return amount >= 32 ? 0 : rm << amount;
    case 1: return amount >= 32 ? 0 : rm >> amount;
    case 2: return amount >= 32 ? (rm & 0x80000000u ? 0xFFFFFFFFu : 0)
                                : static_cast<uint32_t>(static_cast<int32_t>(rm) >> amount);
    default: return rotateRight(rm, amount & 31);
    }
}

template <Form F>
inline uint32_t operand(Context& c, const ArmOp& o)
{
    const uint32_t rm = c.r[o.rm];
    if constexpr (F == kImm)
        return o.imm;
    else if constexpr (F == kReg)
        return rm;
    else if constexpr (F == kLsl)
        return rm << o.amount;
    else if constexpr (F == kLsr)
        return rm >> o.amount;
    else if constexpr (F == kAsr)
        return static_cast<uint32_t>(static_cast<int32_t>(rm) >> o.amount);
    else if constexpr (F == kRor)
        return rotateRight(rm, o.amount);
    else if constexpr (F == kByReg)
        return shiftByRegister(rm, o.type, c.r[o.rs] & 0xFF);
    else {
        // RRX writes C even without S.
        const uint32_t out = ((c.flags & kFlagC) << 30) | (rm >> 1);
        c.flags = (c.flags & ~kFlagC) | ((rm & 1) ? kFlagC : 0);
        return out;
    }
}

template <uint32_t Opcode, bool S, Form F>
int dataProcessing(Context& c, const ArmOp& o)
{
    const uint32_t b = operand<F>(c, o);
    const uint32_t a = c.r[o.rn];
    uint32_t& d = c.r[o.rd];
    uint32_t& flags = c.flags;
    const uint32_t carry = (flags & kFlagC) ? 1 : 0;
    if constexpr (Opcode == 0x8) {
        flags = nz(a & b);
    } else if constexpr (Opcode == 0x9) {
        flags = nz(a ^ b);
    } else if constexpr (Opcode == 0xA) {
        flags = subFlags(a, b, a - b);
    } else if constexpr (Opcode == 0xB) {
        flags = addFlags(a, b, a + b);
    } else if constexpr (Opcode == 0x2 || Opcode == 0x6) {
        const uint32_t result = a - b - (Opcode == 0x6 ? 1 - carry : 0);
        if constexpr (S)
            flags = subFlags(a, b, result);
        d = result;
    } else if constexpr (Opcode == 0x3 || Opcode == 0x7) {
        const uint32_t result = b - a - (Opcode == 0x7 ? 1 - carry : 0);
        if constexpr (S)
            flags = subFlags(b, a, result);
        d = result;
    } else if constexpr (Opcode == 0x4 || Opcode == 0x5) {
        const uint32_t result = a + b + (Opcode == 0x5 ? carry : 0);
        if constexpr (S)
            flags = addFlags(a, b, result);
        d = result;
    } else {
        uint32_t result;
        if constexpr (Opcode == 0x0)
            result = a & b;
        else if constexpr (Opcode == 0x1)
            result = a ^ b;
        else if constexpr (Opcode == 0xC)
            result = a | b;
        else if constexpr (Opcode == 0xD)
            result = b;
        else if constexpr (Opcode == 0xE)
            result = a & ~b;
        else
            result = ~b;
        if constexpr (S)
            flags = nz(result);
        d = result;
    }
    return kContinue;
}

enum Size : uint8_t { kWord, kByte, kHalf };
// Pre/write-back combinations of a transfer: post-indexed (always writes
// back), pre-indexed, pre-indexed with write-back.
enum Indexing : uint8_t { kPost, kPre, kPreWriteBack };

template <bool Load, Size Z, Indexing X, Form F>
int transfer(Context& c, const ArmOp& o)
{
    const uint32_t offset = operand<F>(c, o);
    uint32_t& base = c.r[o.rn];
    const uint32_t moved = o.up ? base + offset : base - offset;
    constexpr uint32_t width = Z == kWord ? 4 : Z == kHalf ? 2 : 1;
    uint8_t* p = c.space->translate(X == kPost ? base : moved, width);
    if (!p)
        return kFault;
    uint32_t& rd = c.r[o.rd];
    if constexpr (Load) {
        const uint32_t value = Z == kWord ? loadUnaligned<uint32_t>(p) : Z == kHalf ? loadUnaligned<uint16_t>(p) : *p;
        // Post-indexed: the base wins; pre-indexed: the loaded value wins.
        if constexpr (X == kPost) {
            rd = value;
            base = moved;
        } else {
            if constexpr (X == kPreWriteBack)
                base = moved;
            rd = value;
        }
    } else {
        if constexpr (Z == kWord)
            storeUnaligned<uint32_t>(p, rd);
        else if constexpr (Z == kHalf)
            storeUnaligned<uint16_t>(p, static_cast<uint16_t>(rd));
        else
            *p = static_cast<uint8_t>(rd);
        if constexpr (X != kPre)
            base = moved;
    }
    return kContinue;
}

int block(Context& c, const ArmOp& o)
{
    const uint32_t w = o.imm;
    const uint32_t list = w & 0xFFFF;
    const uint32_t count = static_cast<uint32_t>(__builtin_popcount(list));
    uint32_t& base = c.r[o.rn];
    const bool up = w & (1u << 23), before = w & (1u << 24);
    uint32_t start = up ? base : base - 4 * count;
    if (up == before)
        start += 4;
    if (count == 0)
        return kContinue;
    // The whole block is checked first, so a fault transfers nothing.
    uint8_t* p = c.space->translate(start, 4 * count);
    if (!p)
        return kFault;
    const uint32_t moved = up ? base + 4 * count : base - 4 * count;
    for (uint32_t i = 0; i < 16; ++i) {
        if (!(list & (1u << i)))
            continue;
        if (w & (1u << 20))
            c.r[i] = loadUnaligned<uint32_t>(p);
        else
            storeUnaligned<uint32_t>(p, c.r[i]);
        p += 4;
    }
    if (w & (1u << 21))
        base = moved;
    return kContinue;
}

template <bool S, bool Accumulate>
int multiply(Context& c, const ArmOp& o)
{
    // Rd is bits 16-19, the accumulator bits 12-15.
    const uint32_t result = c.r[o.rm] * c.r[o.rs] + (Accumulate ? c.r[o.rd] : 0);
    c.r[o.rn] = result;
    if constexpr (S)
        c.flags = nz(result);
    return kContinue;
}

// Long multiplies in exact 64-bit arithmetic.
int multiplyLong(Context& c, const ArmOp& o)
{
    const uint32_t op = o.imm;
    const uint32_t rm = c.r[o.rm], rs = c.r[o.rs];
    uint32_t& hi = c.r[o.rn];
    uint32_t& lo = c.r[o.rd];
    const bool isSigned = op & 4;
    uint64_t p = isSigned ? static_cast<uint64_t>(static_cast<int64_t>(static_cast<int32_t>(rm)) *
                                                  static_cast<int32_t>(rs))
                          : static_cast<uint64_t>(rm) * rs;
    if (op & 2)
        p += (static_cast<uint64_t>(hi) << 32) | lo;
    lo = static_cast<uint32_t>(p);
    hi = static_cast<uint32_t>(p >> 32);
    if (op & 1)
        c.flags = isSigned ? ((p >> 63) ? kFlagN : 0) | (p == 0 ? kFlagZ : 0) : (p == 0 ? kFlagZ : 0);
    return kContinue;
}

int branch(Context& c, const ArmOp& o)
{
    c.pc = o.imm;
    return kContinue;
}

int skip(Context&, const ArmOp&) { return kContinue; }
int end(Context&, const ArmOp&) { return kReturned; }
// Stands one past the last word: running off the code or branching out of
// it lands here, so the loop needs no bounds check of its own.
int leftCode(Context&, const ArmOp&) { return kLeftCode; }

template <size_t... I>
constexpr std::array<Handler, sizeof...(I)> dataProcessingTable(std::index_sequence<I...>)
{
    return {&dataProcessing<(I >> 4) & 15, ((I >> 3) & 1) != 0, static_cast<Form>(I & 7)>...};
}
// Index: opcode << 4 | S << 3 | form.
constexpr auto kDataProcessing = dataProcessingTable(std::make_index_sequence<256>{});

template <size_t... I>
constexpr std::array<Handler, sizeof...(I)> transferTable(std::index_sequence<I...>)
{
    // Index values 3 of the size and indexing fields are never decoded.
    return {&transfer<((I >> 7) & 1) != 0, static_cast<Size>(((I >> 5) & 3) % 3), static_cast<Indexing>(((I >> 3) & 3) % 3),
                      static_cast<Form>(I & 7)>...};
}
// Index: load << 7 | size << 5 | indexing << 3 | form.
constexpr auto kTransfer = transferTable(std::make_index_sequence<256>{});

Form registerForm(uint32_t w, ArmOp& o)
{
    const uint32_t type = (w >> 5) & 3, amount = (w >> 7) & 31;
    if (w & 0x10) {
        o.type = static_cast<uint8_t>(type);
        return kByReg;
    }
    o.amount = static_cast<uint8_t>(amount);
    if (amount == 0) {
        switch (type) {
        case 0: return kReg;
        case 1: o.imm = 0; return kImm;
        case 2: o.amount = 31; return kAsr;
        default: return kRrx;
        }
    }
    static constexpr Form kShifted[4] = {kLsl, kLsr, kAsr, kRor};
    return kShifted[type];
}

uint32_t rotatedImmediate(uint32_t w) { return rotateRight(w & 0xFF, ((w >> 8) & 15) * 2); }

Handler transferHandler(bool load, Size size, Indexing indexing, Form form)
{
    return kTransfer[(load ? 128u : 0u) | static_cast<uint32_t>(size) << 5 | static_cast<uint32_t>(indexing) << 3 | form];
}

ArmOp decode(uint32_t w, uint32_t index, uint32_t words)
{
    ArmOp o{};
    o.run = skip;
    o.condition = CONDITION_TABLE[w >> 28];
    o.rd = static_cast<uint8_t>((w >> 12) & 15);
    o.rn = static_cast<uint8_t>((w >> 16) & 15);
    o.rm = static_cast<uint8_t>(w & 15);
    o.rs = static_cast<uint8_t>((w >> 8) & 15);
    o.up = (w >> 23) & 1;
    if ((w & 0x0E000090) == 0x90) {
        const uint32_t kind = (w >> 4) & 15, op = (w >> 20) & 31;
        if (kind == 0x9 && ((w >> 20) & 0xFF) <= 15) {
            static constexpr Handler kShort[4] = {multiply<false, false>, multiply<true, false>, multiply<false, true>,
                                                  multiply<true, true>};
            o.imm = op;
            if (op < 4)
                o.run = kShort[op];
            else if (op >= 8)
                o.run = multiplyLong;
        } else if (kind == 0xB && (op >= 16 || (op & 2) == 0)) {
            const bool immediate = w & (1u << 22);
            o.imm = ((w >> 4) & 0xF0) | (w & 15);
            const Indexing x = op < 16 ? kPost : (op & 2) ? kPreWriteBack : kPre;
            o.run = transferHandler(op & 1, kHalf, x, immediate ? kImm : kReg);
        }
        return o;
    }
    const uint32_t op = (w >> 20) & 0xFF;
    if (op > 0xAF)
        return o;
    if (op == 0x12) {
        o.run = end;
        return o;
    }
    const uint32_t opcode = (op >> 1) & 15, s = op & 1;
    switch (op >> 4) {
    case 0x0: case 0x1: case 0x2: case 0x3: {
        // The compares without S (status and BX words) do nothing.
        if (opcode >= 8 && opcode < 12 && !s)
            return o;
        const bool immediate = op >= 0x20;
        if (immediate)
            o.imm = rotatedImmediate(w);
        const Form form = immediate ? kImm : registerForm(w, o);
        o.run = kDataProcessing[opcode << 4 | s << 3 | form];
        return o;
    }
    case 0x4: case 0x5: case 0x6: case 0x7: {
        const bool pre = op & 0x10;
        // Post-indexed forms with W are the user-mode transfers: not run.
        if (!pre && (op & 2))
            return o;
        o.imm = w & 0xFFF;
        const Form form = op >= 0x60 ? registerForm(w, o) : kImm;
        const Indexing x = !pre ? kPost : (op & 2) ? kPreWriteBack : kPre;
        o.run = transferHandler(op & 1, (op & 4) ? kByte : kWord, x, form);
        return o;
    }
    case 0x8: case 0x9:
        if (!(op & 4)) {  // no S forms
            o.imm = w;
            o.run = block;
        }
        return o;
    default: {
        const int32_t imm = static_cast<int32_t>(w << 8) >> 8;
        o.imm = index + 2 + static_cast<uint32_t>(imm);
        if (o.imm > words)
            o.imm = words;
        o.run = branch;
        return o;
    }
    }
}

// Recently run programs, decoded. A hit needs the same bytes, not only the
// same address, so a record rewritten in place decodes again.
struct DecodedProgram {
    const uint8_t* code = nullptr;
    std::vector<uint8_t> bytes;
    std::vector<ArmOp> ops;
};
constexpr uint32_t kDecodedPrograms = 4;

const std::vector<ArmOp>& decoded(const uint8_t* code, uint32_t codeBytes)
{
    thread_local DecodedProgram cache[kDecodedPrograms];
    thread_local uint32_t oldest = 0;
    DecodedProgram* slot = nullptr;
    for (DecodedProgram& p : cache) {
        if (p.code != code || p.ops.empty())
            continue;
        if (p.bytes.size() == codeBytes && (codeBytes == 0 || std::memcmp(p.bytes.data(), code, codeBytes) == 0))
            return p.ops;
        slot = &p;
    }
    if (!slot) {
        slot = &cache[oldest];
        oldest = (oldest + 1) % kDecodedPrograms;
    }
    slot->code = code;
    slot->bytes.assign(code, code + codeBytes);
    const uint32_t words = codeBytes / 4;
    slot->ops.resize(words + 1);
    for (uint32_t i = 0; i < words; ++i)
        slot->ops[i] = decode(loadUnaligned<uint32_t>(code + 4 * i), i, words);
    slot->ops[words] = ArmOp{leftCode, 0xFFFF, 0, 0, 0, 0, 0, 0, 0, 0};
    return slot->ops;
}

}  // namespace

SpanRun runArmMachine(const SpanAddressSpace& space, ArmMachine& m, const uint8_t* code, uint32_t codeBytes,
                      uint32_t budget)
{
    const std::vector<ArmOp>& ops = decoded(code, codeBytes);
    const ArmOp* program = ops.data();
    Context c;
    std::memcpy(c.r, m.r, sizeof c.r);
    c.flags = m.flags & 15;
    c.pc = 0;
    c.space = &space;
    uint32_t executed = 0;
    SpanRun outcome;
    static constexpr SpanRun kOutcomes[4] = {SpanRun::Returned, SpanRun::Returned, SpanRun::Fault, SpanRun::LeftCode};
    for (;;) {
        if (executed == budget) {
            outcome = SpanRun::OutOfTime;
            break;
        }
        ++executed;
        const ArmOp& o = program[c.pc++];
        if (!((o.condition >> c.flags) & 1))
            continue;
        if (const int stop = o.run(c, o)) {
            outcome = kOutcomes[stop];
            // The sentinel is no instruction of the program.
            executed -= stop == kLeftCode;
            break;
        }
    }
    std::memcpy(m.r, c.r, sizeof c.r);
    m.flags = c.flags;
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
