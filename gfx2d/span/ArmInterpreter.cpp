// The interpreter. A program is decoded once into operations, each naming
// the code made for its operation, S bit and operand form; the run loop
// jumps from one operation's code straight to the next one's, so that a
// span's inner loop pays one indirect jump per instruction instead of a
// decode and a call. The flag rules are the ones span programs were written against
// (C after ADC and SBC ignores the carry-in, logical S forms clear C and V).
#include "gfx2d/span/ArmInterpreter.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <new>
#include <utility>
#include <vector>

#include "gfx2d/raster/UnalignedAccess.h"

const uint32_t CONDITION_TABLE[16] = {
    0xF0F0, 0x0F0F, 0xCCCC, 0x3333, 0xFF00, 0x00FF, 0xAAAA, 0x5555,
    0x0C0C, 0xF3F3, 0xAA55, 0x55AA, 0x0A05, 0xF5FA, 0xFFFF, 0x0000,
};

namespace {

constexpr int kContinue = 0, kFault = 1;

struct Context {
    uint32_t r[16];
    uint32_t flags;  // NZCV, unless those of a subtraction are pending
    // A compare-and-branch leaves its subtraction here; its flags are formed
    // only when something reads them, which a loop's next compare never does.
    uint32_t subA, subB;
    bool pending;
    const SpanAddressSpace* space;
};

// What an operation runs, one piece of code each in the run loop: 0-255 data
// processing (opcode << 4 | S << 3 | form), 256-511 transfers (load << 7 |
// size << 5 | indexing << 3 | form), 512-515 MUL, MULS, MLA, MLAS.
enum Kind : uint16_t {
    kTransferKinds = 256,
    kMultiplyKinds = 512,
    kMultiplyLong = 516,
    kBlock,
    kBranch,
    kBranchIf,  // a conditional branch tests its own condition
    kCompareBranch,  // a compare (kCompares) and a branch on condition 0-13: the loop ends and tests
    kSkip = kCompareBranch + 4 * 14,
    kEnd,
    kLeftCode,
    kConditional,  // tests the condition, then runs `then`
    kRuns,         // a run of operations in one step (below)
};

struct ArmOp {
    const void* code;  // where the run loop goes for kind, once the program has run
    uint32_t imm;      // operand, offset, branch target or the raw word
    uint16_t condition;  // mask from CONDITION_TABLE
    uint16_t kind;
    uint16_t then;
    uint16_t index;  // of the word in the program
    uint8_t rd, rn, rm, rs;
    uint8_t amount;  // immediate shift amount
    uint8_t type;    // shift type of a shift by register
    uint8_t pad;
    uint32_t down;  // register-offset transfers: all ones to subtract the offset, 0 to add it
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

[[gnu::always_inline]] inline void setFlags(Context& c, uint32_t flags)
{
    c.flags = flags;
    c.pending = false;
}

// The flags of a - b, formed only when read.
[[gnu::always_inline]] inline void setSubtraction(Context& c, uint32_t a, uint32_t b)
{
    c.subA = a, c.subB = b, c.pending = true;
}

[[gnu::always_inline]] inline uint32_t flagsOf(Context& c)
{
    if (c.pending)
        setFlags(c, subFlags(c.subA, c.subB, c.subA - c.subB));
    return c.flags;
}

// Condition `Cond` after a - b, the same as testing the flags of the
// subtraction against CONDITION_TABLE.
template <uint32_t Cond>
[[gnu::always_inline]] inline bool holdsAfter(uint32_t a, uint32_t b)
{
    const auto sa = static_cast<int32_t>(a), sb = static_cast<int32_t>(b);
    const auto difference = static_cast<int32_t>(a - b);
    int32_t wrapped;
    if constexpr (Cond == 0) return a == b;
    else if constexpr (Cond == 1) return a != b;
    else if constexpr (Cond == 2) return a >= b;
    else if constexpr (Cond == 3) return a < b;
    else if constexpr (Cond == 4) return difference < 0;
    else if constexpr (Cond == 5) return difference >= 0;
    else if constexpr (Cond == 6) return __builtin_sub_overflow(sa, sb, &wrapped);
    else if constexpr (Cond == 7) return !__builtin_sub_overflow(sa, sb, &wrapped);
    else if constexpr (Cond == 8) return a > b;
    else if constexpr (Cond == 9) return a <= b;
    else if constexpr (Cond == 10) return sa >= sb;
    else if constexpr (Cond == 11) return sa < sb;
    else if constexpr (Cond == 12) return sa > sb;
    else return sa <= sb;
}

inline uint32_t rotateRight(uint32_t v, uint32_t n) { return n ? (v >> n) | (v << (32 - n)) : v; }

// down: all ones to subtract the offset, 0 to add it.
inline uint32_t signedOffset(uint32_t offset, uint32_t down) { return (offset ^ down) - down; }

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
[[gnu::always_inline]] inline uint32_t operand(Context& c, const ArmOp& o)
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
        const uint32_t flags = flagsOf(c);
        setFlags(c, (flags & ~kFlagC) | ((rm & 1) ? kFlagC : 0));
        return ((flags & kFlagC) << 30) | (rm >> 1);
    }
}

template <uint32_t Opcode, bool S, Form F>
[[gnu::always_inline]] inline int dataProcessing(Context& c, const ArmOp& o)
{
    const uint32_t b = operand<F>(c, o);
    const uint32_t a = c.r[o.rn];
    uint32_t& d = c.r[o.rd];
    constexpr bool readsCarry = Opcode == 0x5 || Opcode == 0x6 || Opcode == 0x7;
    const uint32_t carry = readsCarry && (flagsOf(c) & kFlagC) ? 1 : 0;
    if constexpr (Opcode == 0x8) {
        setFlags(c, nz(a & b));
    } else if constexpr (Opcode == 0x9) {
        setFlags(c, nz(a ^ b));
    } else if constexpr (Opcode == 0xA) {
        setSubtraction(c, a, b);
    } else if constexpr (Opcode == 0xB) {
        setFlags(c, addFlags(a, b, a + b));
    } else if constexpr (Opcode == 0x2 || Opcode == 0x6) {
        const uint32_t result = a - b - (Opcode == 0x6 ? 1 - carry : 0);
        if constexpr (S && Opcode == 0x2)
            setSubtraction(c, a, b);
        else if constexpr (S)
            setFlags(c, subFlags(a, b, result));
        d = result;
    } else if constexpr (Opcode == 0x3 || Opcode == 0x7) {
        const uint32_t result = b - a - (Opcode == 0x7 ? 1 - carry : 0);
        if constexpr (S && Opcode == 0x3)
            setSubtraction(c, b, a);
        else if constexpr (S)
            setFlags(c, subFlags(b, a, result));
        d = result;
    } else if constexpr (Opcode == 0x4 || Opcode == 0x5) {
        const uint32_t result = a + b + (Opcode == 0x5 ? carry : 0);
        if constexpr (S)
            setFlags(c, addFlags(a, b, result));
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
            setFlags(c, nz(result));
        d = result;
    }
    return kContinue;
}

enum Size : uint8_t { kWord, kByte, kHalf };
// Pre/write-back combinations of a transfer: post-indexed (always writes
// back), pre-indexed, pre-indexed with write-back.
enum Indexing : uint8_t { kPost, kPre, kPreWriteBack };

template <bool Load, Size Z, Indexing X, Form F>
[[gnu::always_inline]] inline int transfer(Context& c, const ArmOp& o)
{
    const uint32_t offset = operand<F>(c, o);
    const uint32_t base = c.r[o.rn];
    // An immediate offset was given its sign when decoded.
    const uint32_t moved = base + (F == kImm ? offset : signedOffset(offset, o.down));
    constexpr uint32_t width = Z == kWord ? 4 : Z == kHalf ? 2 : 1;
    uint8_t* p;
    if (!c.space->access<!Load>(X == kPost ? base : moved, width, p))
        return kFault;
    if constexpr (Load) {
        const uint32_t value = Z == kWord ? loadUnaligned<uint32_t>(p) : Z == kHalf ? loadUnaligned<uint16_t>(p) : *p;
        // Post-indexed: the base wins; pre-indexed: the loaded value wins.
        if constexpr (X == kPost) {
            c.r[o.rd] = value;
            c.r[o.rn] = moved;
        } else {
            if constexpr (X == kPreWriteBack)
                c.r[o.rn] = moved;
            c.r[o.rd] = value;
        }
    } else {
        const uint32_t rd = c.r[o.rd];
        if constexpr (Z == kWord)
            storeUnaligned<uint32_t>(p, rd);
        else if constexpr (Z == kHalf)
            storeUnaligned<uint16_t>(p, static_cast<uint16_t>(rd));
        else
            *p = static_cast<uint8_t>(rd);
        if constexpr (X != kPre)
            c.r[o.rn] = moved;
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
    const bool load = w & (1u << 20);
    uint8_t* p;
    if (!(load ? c.space->access<false>(start, 4 * count, p) : c.space->access<true>(start, 4 * count, p)))
        return kFault;
    const uint32_t moved = up ? base + 4 * count : base - 4 * count;
    for (uint32_t i = 0; i < 16; ++i) {
        if (!(list & (1u << i)))
            continue;
        if (load)
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
[[gnu::always_inline]] inline int multiply(Context& c, const ArmOp& o)
{
    // Rd is bits 16-19, the accumulator bits 12-15.
    const uint32_t result = c.r[o.rm] * c.r[o.rs] + (Accumulate ? c.r[o.rd] : 0);
    c.r[o.rn] = result;
    if constexpr (S)
        setFlags(c, nz(result));
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
        setFlags(c, isSigned ? ((p >> 63) ? kFlagN : 0) | (p == 0 ? kFlagZ : 0) : (p == 0 ? kFlagZ : 0));
    return kContinue;
}


constexpr uint16_t dpKind(uint32_t opcode, bool s, Form form)
{
    return static_cast<uint16_t>(opcode << 4 | (s ? 8u : 0u) | form);
}

constexpr uint16_t transferKind(bool load, Size size, Indexing indexing, Form form)
{
    return static_cast<uint16_t>(kTransferKinds + ((load ? 128u : 0u) | static_cast<uint32_t>(size) << 5 |
                                                   static_cast<uint32_t>(indexing) << 3 | form));
}

// The code of one operation kind that runs on its own (not a branch).
template <uint16_t Kind>
[[gnu::always_inline]] inline int execute(Context& c, const ArmOp& o)
{
    if constexpr (Kind < kTransferKinds)
        return dataProcessing<(Kind >> 4) & 15, ((Kind >> 3) & 1) != 0, static_cast<Form>(Kind & 7)>(c, o);
    else if constexpr (Kind < kMultiplyKinds)  // values 3 of the size and indexing fields are never decoded
        return transfer<((Kind >> 7) & 1) != 0, static_cast<Size>(((Kind >> 5) & 3) % 3),
                        static_cast<Indexing>(((Kind >> 3) & 3) % 3), static_cast<Form>(Kind & 7)>(c, o);
    else
        return multiply<(Kind & 1) != 0, (Kind & 2) != 0>(c, o);
}

// Runs of two to eight operations that go in one step, each one's code
// following the last's without a jump between: the runs the span programs'
// pixel loops repeat (texel fetches and steps, 5-6-5 widening and packing,
// blends, stores). Every operation of a run keeps its own entry, so a branch
// into a run goes on from there alone.
template <uint16_t First, uint16_t... Rest>
[[gnu::always_inline]] inline bool runAll(Context& c, const ArmOp*& op)
{
    if (execute<First>(c, *op))
        return false;  // op stays at the operation that faulted
    if constexpr (sizeof...(Rest) > 0) {
        ++op;
        return runAll<Rest...>(c, op);
    }
    return true;
}

constexpr uint16_t kAndImm = dpKind(0x0, false, kImm), kAndReg = dpKind(0x0, false, kReg);
constexpr uint16_t kAndLsl = dpKind(0x0, false, kLsl), kAndLsr = dpKind(0x0, false, kLsr);
constexpr uint16_t kSubReg = dpKind(0x2, false, kReg), kRsbLsl = dpKind(0x3, false, kLsl);
constexpr uint16_t kAddReg = dpKind(0x4, false, kReg), kAddLsl = dpKind(0x4, false, kLsl);
constexpr uint16_t kOrrImm = dpKind(0xC, false, kImm), kOrrLsl = dpKind(0xC, false, kLsl);
constexpr uint16_t kOrrLsr = dpKind(0xC, false, kLsr), kMovLsr = dpKind(0xD, false, kLsr);
constexpr uint16_t kMla = kMultiplyKinds + 2;
constexpr uint16_t kLdrScaled = transferKind(true, kWord, kPre, kLsl), kLdrbLsr = transferKind(true, kByte, kPre, kLsr);
constexpr uint16_t kStrPost = transferKind(false, kWord, kPost, kImm), kStrhPost = transferKind(false, kHalf, kPost, kImm);
constexpr uint16_t kSubsImm = dpKind(0x2, true, kImm), kCmpImm = dpKind(0xA, true, kImm);
constexpr uint16_t kCmpReg = dpKind(0xA, true, kReg), kCmpLsl = dpKind(0xA, true, kLsl);
// The compares a conditional branch after them joins, in kind order:
// X(index, kind, operand form, writes the difference).
#define PF_COMPARES(X) \
    X(0, kSubsImm, kImm, true) X(1, kCmpImm, kImm, false) X(2, kCmpReg, kReg, false) X(3, kCmpLsl, kLsl, false)
#define PF_COMPARE_KIND(k, kind, ...) kind,
constexpr uint16_t kCompares[] = {PF_COMPARES(PF_COMPARE_KIND)};
#undef PF_COMPARE_KIND
static_assert(std::size(kCompares) * 14 == kSkip - kCompareBranch);
// Longer runs first: the first that matches is taken.
#define PF_RUNS(X)                                                                              \
    X(0, kMovLsr, kMovLsr, kMla, kLdrScaled, kAddReg, kAddReg)   /* fetch and step */           \
    X(1, kMovLsr, kMla, kLdrbLsr, kLdrScaled, kAddReg, kAddReg)                                 \
    X(2, kAndImm, kMovLsr, kAndImm, kOrrLsr, kAndImm, kOrrLsr, kStrhPost)   /* narrow, store */ \
    X(3, kAndReg, kAndImm, kAndReg, kAndImm, kSubReg, kRsbLsl, kMla)        /* blend */         \
    X(4, kSubReg, kRsbLsl, kMla, kAndLsr, kAndImm, kOrrLsr, kOrrImm, kStrPost)                  \
    X(5, kAndImm, kAddLsl, kAndLsl, kAndImm, kAndImm, kOrrLsl, kAddLsl, kAndLsr) /* 5-6-5 */    \
    X(6, kAndLsl, kAndReg, kSubReg, kRsbLsl, kMla, kSubReg, kRsbLsl, kMla)                      \
    X(7, kMovLsr, kAndImm, kAndImm, kOrrLsr, kMovLsr, kOrrLsl, kStrhPost)                       \
    X(8, kOrrImm, kStrPost)
constexpr uint32_t kLongestRun = 8;
struct FusedRun {
    uint16_t kinds[kLongestRun];
    uint32_t length;
};
template <uint16_t... Kinds>
constexpr FusedRun fusedRun()
{
    return {{Kinds...}, sizeof...(Kinds)};
}
#define PF_RUN_KINDS(n, ...) fusedRun<__VA_ARGS__>(),
constexpr FusedRun kFusedRuns[] = {PF_RUNS(PF_RUN_KINDS)};
#undef PF_RUN_KINDS
constexpr uint16_t kRunCount = static_cast<uint16_t>(std::size(kFusedRuns));
constexpr uint16_t kKindCount = kRuns + kRunCount;
static_assert(kRunCount <= 32);
// For each kind, the runs that start with it, one bit a run in list order.
constexpr auto kRunsStartingWith = [] {
    std::array<uint32_t, kRuns> runs{};
    for (uint16_t k = 0; k < kRunCount; ++k)
        runs[kFusedRuns[k].kinds[0]] |= 1u << k;
    return runs;
}();

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

ArmOp decodeOperation(uint32_t w, uint32_t index, uint32_t words)
{
    ArmOp o{};
    o.kind = kSkip;
    o.condition = static_cast<uint16_t>(CONDITION_TABLE[w >> 28]);
    o.index = static_cast<uint16_t>(index);
    o.rd = static_cast<uint8_t>((w >> 12) & 15);
    o.rn = static_cast<uint8_t>((w >> 16) & 15);
    o.rm = static_cast<uint8_t>(w & 15);
    o.rs = static_cast<uint8_t>((w >> 8) & 15);
    o.down = (w >> 23) & 1 ? 0 : 0xFFFFFFFFu;
    if ((w & 0x0E000090) == 0x90) {
        const uint32_t kind = (w >> 4) & 15, op = (w >> 20) & 31;
        if (kind == 0x9 && ((w >> 20) & 0xFF) <= 15) {
            o.imm = op;
            if (op < 4)
                o.kind = static_cast<uint16_t>(kMultiplyKinds + op);
            else if (op >= 8)
                o.kind = kMultiplyLong;
        } else if (kind == 0xB && (op >= 16 || (op & 2) == 0)) {
            const bool immediate = w & (1u << 22);
            o.imm = signedOffset(((w >> 4) & 0xF0) | (w & 15), o.down);
            const Indexing x = op < 16 ? kPost : (op & 2) ? kPreWriteBack : kPre;
            o.kind = transferKind(op & 1, kHalf, x, immediate ? kImm : kReg);
        }
        return o;
    }
    const uint32_t op = (w >> 20) & 0xFF;
    if (op > 0xAF)
        return o;
    if (op == 0x12) {
        o.kind = kEnd;
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
        o.kind = static_cast<uint16_t>(opcode << 4 | s << 3 | form);
        return o;
    }
    case 0x4: case 0x5: case 0x6: case 0x7: {
        const bool pre = op & 0x10;
        // Post-indexed forms with W are the user-mode transfers: not run.
        if (!pre && (op & 2))
            return o;
        o.imm = signedOffset(w & 0xFFF, o.down);
        const Form form = op >= 0x60 ? registerForm(w, o) : kImm;
        const Indexing x = !pre ? kPost : (op & 2) ? kPreWriteBack : kPre;
        o.kind = transferKind(op & 1, (op & 4) ? kByte : kWord, x, form);
        return o;
    }
    case 0x8: case 0x9:
        if (!(op & 4)) {  // no S forms
            o.imm = w;
            o.kind = kBlock;
        }
        return o;
    default: {
        const int32_t imm = static_cast<int32_t>(w << 8) >> 8;
        o.imm = index + 2 + static_cast<uint32_t>(imm);
        if (o.imm > words)
            o.imm = words;
        o.kind = kBranch;
        return o;
    }
    }
}

// Operations that may not run test their condition first; those that never
// run are skipped outright.
ArmOp decode(uint32_t w, uint32_t index, uint32_t words)
{
    ArmOp o = decodeOperation(w, index, words);
    if (o.condition == 0)
        o.kind = kSkip;
    else if (o.condition != 0xFFFF && o.kind == kBranch)
        o.kind = kBranchIf;
    else if (o.condition != 0xFFFF && o.kind != kSkip)
        o.then = std::exchange(o.kind, kConditional);
    return o;
}

constexpr uint32_t kDecodedPrograms = 4;

}  // namespace

struct ArmProgram {
    const uint8_t* code = nullptr;
    std::vector<uint8_t> bytes;
    std::vector<ArmOp> ops;
    bool linked = false;  // the ops' code addresses are set
};

const uint8_t* preparedCode(const ArmProgram& program) { return program.code; }

namespace {

thread_local ArmWork t_work;

// Decodes into the program, which keeps the code's address.
void decodeInto(ArmProgram& program, const uint8_t* code, uint32_t codeBytes)
{
    program.code = code;
    const uint32_t words = codeBytes / 4;
    t_work.decodedWords += words;
    // Sized exactly: nothing past the sentinel may look like an operation.
    std::vector<ArmOp>& ops = program.ops;
    ops = std::vector<ArmOp>(words + 1);
    for (uint32_t i = 0; i < words; ++i)
        ops[i] = decode(loadUnaligned<uint32_t>(code + 4 * i), i, words);
    for (uint32_t i = 0; i + 1 < words; ++i) {
        ArmOp& o = ops[i];
        const auto compare = std::find(std::begin(kCompares), std::end(kCompares), o.kind);
        if (ops[i + 1].kind == kBranchIf && compare != std::end(kCompares))
            o.kind = static_cast<uint16_t>(kCompareBranch + 14 * (compare - std::begin(kCompares)) +
                                           (loadUnaligned<uint32_t>(code + 4 * (i + 1)) >> 28));
    }
    // Runs, from the kinds as decoded: an operation followed by a
    // compare-and-branch ends none.
    for (uint32_t i = 0; i < words; ++i) {
        const uint16_t first = ops[i].kind;
        for (uint32_t runs = first < kRuns ? kRunsStartingWith[first] : 0; runs; runs &= runs - 1) {
            const uint32_t k = static_cast<uint32_t>(__builtin_ctz(runs));
            const FusedRun& run = kFusedRuns[k];
            uint32_t matched = 0;
            while (matched < run.length && i + matched < words && ops[i + matched].kind == run.kinds[matched])
                ++matched;
            if (matched == run.length) {
                ops[i].kind = static_cast<uint16_t>(kRuns + k);
                break;
            }
        }
    }
    // One past the last word: running off the code or branching out of it
    // lands here, so the run needs no bounds check of its own.
    ops[words] = ArmOp{};
    ops[words].kind = kLeftCode;
    ops[words].index = static_cast<uint16_t>(words);
    program.linked = false;
}

}  // namespace

const ArmWork& armWork() { return t_work; }

// Recently run programs, decoded. A hit needs the same bytes, not only the
// same address, so a record rewritten in place decodes again.
const ArmProgram* prepareArmCode(const uint8_t* code, uint32_t codeBytes)
{
    thread_local ArmProgram cache[kDecodedPrograms];
    thread_local uint32_t oldest = 0;
    ArmProgram* slot = nullptr;
    for (ArmProgram& p : cache) {
        if (p.code != code || p.ops.empty())
            continue;
        if (p.bytes.size() == codeBytes && (codeBytes == 0 || std::memcmp(p.bytes.data(), code, codeBytes) == 0))
            return &p;
        slot = &p;
    }
    if (!slot) {
        slot = &cache[oldest];
        oldest = (oldest + 1) % kDecodedPrograms;
    }
    slot->bytes.assign(code, code + codeBytes);
    decodeInto(*slot, code, codeBytes);
    return slot;
}

void ArmProgramDeleter::operator()(ArmProgram* program) const { delete program; }

size_t armProgramBytes(const ArmProgram& program)
{
    return sizeof program + program.bytes.capacity() + program.ops.capacity() * sizeof(ArmOp);
}

OwnedArmProgram decodeArmCode(const uint8_t* code, uint32_t codeBytes)
{
    try {
        OwnedArmProgram program(new ArmProgram);
        decodeInto(*program, code, codeBytes);
        return program;
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

// Sixteen rows of sixteen: X(H, L) for every hex byte 0xHL.
#define PF_HEX_ROW(X, H) X(H, 0) X(H, 1) X(H, 2) X(H, 3) X(H, 4) X(H, 5) X(H, 6) X(H, 7) \
    X(H, 8) X(H, 9) X(H, A) X(H, B) X(H, C) X(H, D) X(H, E) X(H, F)
#define PF_HEX_ALL(X) PF_HEX_ROW(X, 0) PF_HEX_ROW(X, 1) PF_HEX_ROW(X, 2) PF_HEX_ROW(X, 3) PF_HEX_ROW(X, 4) \
    PF_HEX_ROW(X, 5) PF_HEX_ROW(X, 6) PF_HEX_ROW(X, 7) PF_HEX_ROW(X, 8) PF_HEX_ROW(X, 9) PF_HEX_ROW(X, A)    \
    PF_HEX_ROW(X, B) PF_HEX_ROW(X, C) PF_HEX_ROW(X, D) PF_HEX_ROW(X, E) PF_HEX_ROW(X, F)
#define PF_DP_ADDRESS(H, L) &&dp##H##L,
#define PF_TRANSFER_ADDRESS(H, L) &&transfer##H##L,
#define PF_RUN_ADDRESS(n, ...) &&run##n,
#define PF_NEXT          \
    do {                 \
        ++op;            \
        goto* op->code;  \
    } while (0)
#define PF_RUN(label, ...) \
    label : __VA_ARGS__;   \
    PF_NEXT;
#define PF_DP(H, L)                       \
    dp##H##L : execute<0x##H##L>(c, *op); \
    PF_NEXT;
// The conditions a compare-and-branch tests: all but AL and NV.
#define PF_CONDITIONS_OF(X, ...) X(__VA_ARGS__, 0) X(__VA_ARGS__, 1) X(__VA_ARGS__, 2) X(__VA_ARGS__, 3) \
    X(__VA_ARGS__, 4) X(__VA_ARGS__, 5) X(__VA_ARGS__, 6) X(__VA_ARGS__, 7) X(__VA_ARGS__, 8) X(__VA_ARGS__, 9) \
    X(__VA_ARGS__, 10) X(__VA_ARGS__, 11) X(__VA_ARGS__, 12) X(__VA_ARGS__, 13)
#define PF_COMPARE_ADDRESS(k, kind, form, write, n) &&compare##k##_##n,
#define PF_COMPARE_ADDRESSES(...) PF_CONDITIONS_OF(PF_COMPARE_ADDRESS, __VA_ARGS__)
#define PF_COMPARE_BRANCH(k, kind, form, write, n)              \
    compare##k##_##n : {                                       \
        const uint32_t a = c.r[op->rn], b = operand<form>(c, *op); \
        if (write)                                             \
            c.r[op->rd] = a - b;                               \
        setSubtraction(c, a, b);                               \
        ++op;                                                  \
        if (!holdsAfter<n>(a, b))                              \
            PF_NEXT;                                           \
        goto branch;                                           \
    }
#define PF_COMPARE_BRANCHES(...) PF_CONDITIONS_OF(PF_COMPARE_BRANCH, __VA_ARGS__)
#define PF_FUSED(n, ...)                                        \
    run##n : if (!runAll<__VA_ARGS__>(c, op)) goto fault;       \
    PF_NEXT;
#define PF_TRANSFER(H, L)                                                      \
    transfer##H##L : if (execute<kTransferKinds + 0x##H##L>(c, *op)) goto fault; \
    PF_NEXT;

// The budget is counted in words fetched and checked at every taken branch:
// a program without a backward branch ends within its 608 words anyway.
SpanRun runArmProgram(const SpanAddressSpace& space, const ArmProgram& decoded, ArmMachine& m, uint32_t budget)
{
    static void* const kCode[kKindCount] = {
        PF_HEX_ALL(PF_DP_ADDRESS) PF_HEX_ALL(PF_TRANSFER_ADDRESS) &&mul, &&muls, &&mla, &&mlas, &&multiplyLong_,
        &&block_, &&branch, &&branchIf, PF_COMPARES(PF_COMPARE_ADDRESSES)
        &&skip, &&end, &&leftCode, &&conditional,
        PF_RUNS(PF_RUN_ADDRESS)
    };
    // Code addresses exist only here: the program learns them on its first run.
    ArmProgram& program = const_cast<ArmProgram&>(decoded);
    if (!program.linked) {
        for (ArmOp& o : program.ops)
            o.code = kCode[o.kind];
        program.linked = true;
    }
    const ArmOp* const first = program.ops.data();
    Context c;
    std::memcpy(c.r, m.r, sizeof c.r);
    c.flags = m.flags & 15;
    c.pending = false;
    c.space = &space;
    const ArmOp* op = first;
    uint32_t run = 0;  // index of the first word of the straight run under way
    uint64_t executed = 0;
    SpanRun outcome = SpanRun::OutOfTime;
    if (budget == 0)
        goto done;
    goto* op->code;

    PF_HEX_ALL(PF_DP)
    PF_HEX_ALL(PF_TRANSFER)
    PF_RUNS(PF_FUSED)
    PF_RUN(mul, execute<kMultiplyKinds>(c, *op))
    PF_RUN(muls, execute<kMultiplyKinds + 1>(c, *op))
    PF_RUN(mla, execute<kMultiplyKinds + 2>(c, *op))
    PF_RUN(mlas, execute<kMultiplyKinds + 3>(c, *op))
    PF_RUN(multiplyLong_, multiplyLong(c, *op))
block_:
    if (block(c, *op))
        goto fault;
    PF_NEXT;
conditional:
    if ((op->condition >> flagsOf(c)) & 1)
        goto* kCode[op->then];
    PF_NEXT;
skip:
    PF_NEXT;
    PF_COMPARES(PF_COMPARE_BRANCHES)
branchIf:
    if (!((op->condition >> flagsOf(c)) & 1))
        PF_NEXT;
branch:
    executed += op->index + 1u - run;
    if (executed >= budget)
        goto done;
    run = op->imm;
    op = first + run;
    goto* op->code;
end:
    outcome = SpanRun::Returned;
    executed += op->index + 1u - run;
    goto done;
fault:
    outcome = SpanRun::Fault;
    executed += op->index + 1u - run;
    goto done;
leftCode:
    // The sentinel is no instruction of the program.
    outcome = SpanRun::LeftCode;
    executed += op->index - run;
done:
    t_work.runWords += executed;
    std::memcpy(m.r, c.r, sizeof c.r);
    m.flags = flagsOf(c);
    m.executed = static_cast<uint32_t>(std::min<uint64_t>(executed, UINT32_MAX));
    return outcome;
}

#undef PF_HEX_ROW
#undef PF_HEX_ALL
#undef PF_DP_ADDRESS
#undef PF_TRANSFER_ADDRESS
#undef PF_RUN_ADDRESS
#undef PF_CONDITIONS_OF
#undef PF_COMPARE_ADDRESS
#undef PF_COMPARE_ADDRESSES
#undef PF_COMPARE_BRANCH
#undef PF_COMPARE_BRANCHES
#undef PF_COMPARES
#undef PF_FUSED
#undef PF_RUNS
#undef PF_NEXT
#undef PF_RUN
#undef PF_DP
#undef PF_TRANSFER

SpanRun runArmMachine(const SpanAddressSpace& space, ArmMachine& m, const uint8_t* code, uint32_t codeBytes,
                      uint32_t budget)
{
    return runArmProgram(space, *prepareArmCode(code, codeBytes), m, budget);
}

ArmMachine spanMachine(SpanAddress stateBase, uint32_t r0, uint32_t r1, uint32_t r2)
{
    ArmMachine m{};
    m.r[0] = r0;
    m.r[1] = r1;
    m.r[2] = r2;
    m.r[13] = stateBase + kRsInterpreterStackTop;
    return m;
}

SpanRun runArmCode(const SpanAddressSpace& space, SpanAddress stateBase, const uint8_t* code, uint32_t codeBytes,
                   uint32_t r0, uint32_t r1, uint32_t r2, uint32_t budget, ArmMachine* machine)
{
    ArmMachine local;
    ArmMachine& m = machine ? *machine : local;
    m = spanMachine(stateBase, r0, r1, r2);
    return runArmMachine(space, m, code, codeBytes, budget);
}
