// The interpreter instruction class by instruction class, from machine
// states set in the test, with the flag rules span programs rely on; the
// conditions against their definitions; and hostile programs.
#include "gfx2d/span/ArmInterpreter.h"

#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tools/span/ArmEncoder.h"

namespace {

constexpr uint32_t N = kFlagN, Z = kFlagZ, C = kFlagC, V = kFlagV;
constexpr uint32_t kMem = spanAddress(1, 0);
constexpr uint32_t kMemBytes = 64;

struct Machine {
    std::vector<uint8_t> memory = std::vector<uint8_t>(kMemBytes, 0xAA);
    SpanAddressSpace space;
    ArmMachine m{};
    Machine() { space.map(1, memory.data(), memory.size(), SpanAccess::ReadWrite); }
    SpanRun run(const std::vector<uint32_t>& code, uint32_t budget = 1000)
    {
        return runArmMachine(space, m, reinterpret_cast<const uint8_t*>(code.data()),
                             static_cast<uint32_t>(code.size() * 4), budget);
    }
    uint32_t word(uint32_t at) const
    {
        uint32_t v;
        std::memcpy(&v, memory.data() + at, 4);
        return v;
    }
};

const uint32_t kBx = armBx(kAl, 14);

uint32_t dp(ArmOpcode op, bool s, uint32_t rd, uint32_t rn, ArmOperand o, ArmCond c = kAl)
{
    return armDataProcessing(c, op, s, rd, rn, o);
}

}  // namespace

TEST(ArmInterpreter, InstructionClassesGiveTheirResultsAndFlags)
{
    struct Case {
        const char* what;
        std::vector<uint32_t> code;
        uint32_t r1, r2, r3, flagsIn;
        uint32_t expectR0, expectFlags;
    };
    const Case cases[] = {
        {"adds overflow", {dp(kAdd, true, 0, 1, armReg(2))}, 0x7FFFFFFF, 1, 0, 0, 0x80000000, N | V},
        {"subs equal", {dp(kSub, true, 0, 1, armReg(2))}, 5, 5, 0, 0, 0, Z | C},
        {"subs borrow and overflow", {dp(kSub, true, 0, 1, armReg(2))}, 0x80000000, 1, 0, 0, 0x7FFFFFFF, C | V},
        {"rsbs swaps", {dp(kRsb, true, 0, 1, armImm(0))}, 1, 0, 0, 0, 0xFFFFFFFF, N},
        {"ands clears C and V", {dp(kAnd, true, 0, 1, armReg(2))}, 0xF0, 0x0F, 0, C | V, 0, Z},
        {"adc adds the carry", {dp(kAdc, false, 0, 1, armReg(2))}, 1, 2, 0, C, 4, C},
        {"adcs carry ignores carry-in", {dp(kAdc, true, 0, 1, armReg(2))}, 0xFFFFFFFF, 0, 0, C, 0, Z},
        {"sbcs borrows without C", {dp(kSbc, true, 0, 1, armReg(2))}, 5, 5, 0, 0, 0xFFFFFFFF, N | C},
        {"rscs", {dp(kRsc, true, 0, 1, armReg(2))}, 2, 9, 0, C, 7, C},
        {"cmn carries", {dp(kCmn, true, 0, 1, armReg(2)), dp(kMov, false, 0, 0, armImm(1), kCs)}, 0xFFFFFFFF, 1, 0, 0, 1, Z | C},
        {"teq", {dp(kTeq, true, 0, 1, armReg(2))}, 0x80000000, 0, 0, C | V, 0, N},
        {"tst", {dp(kTst, true, 0, 1, armImm(1))}, 2, 0, 0, 0, 0, Z},
        {"mvn", {dp(kMvn, false, 0, 0, armReg(1))}, 0, 0, 0, 0, 0xFFFFFFFF, 0},
        {"bic", {dp(kBic, false, 0, 1, armImm(0xFF000000))}, 0x12345678, 0, 0, 0, 0x00345678, 0},
        {"eor", {dp(kEor, false, 0, 1, armReg(2, kLsl, 4))}, 0xFF, 0x0F, 0, 0, 0x0F, 0},
        {"orr rotated immediate", {dp(kOrr, false, 0, 1, armImm(0x3FC))}, 1, 0, 0, 0, 0x3FD, 0},
        {"lsr #32 gives 0", {dp(kMov, false, 0, 0, armReg(1, kLsr, 32))}, 0xFFFFFFFF, 0, 0, 0, 0, 0},
        {"asr #32 gives the sign", {dp(kMov, false, 0, 0, armReg(1, kAsr, 32))}, 0x80000000, 0, 0, 0, 0xFFFFFFFF, 0},
        {"lsl by register 32 gives 0", {dp(kMov, false, 0, 0, armRegByReg(1, kLsl, 2))}, 1, 32, 0, 0, 0, 0},
        {"lsl by register 0 keeps Rm", {dp(kMov, false, 0, 0, armRegByReg(1, kLsl, 2))}, 7, 0x100, 0, 0, 7, 0},
        {"ror by register is modulo 32", {dp(kMov, false, 0, 0, armRegByReg(1, kRor, 2))}, 0x12345678, 36, 0, 0, 0x81234567, 0},
        {"asr by register 40 gives the sign", {dp(kMov, false, 0, 0, armRegByReg(1, kAsr, 2))}, 0x40000000, 40, 0, 0, 0, 0},
        {"rrx writes C without S", {dp(kMov, false, 0, 0, armRrx(1))}, 3, 0, 0, C, 0x80000001, C},
        {"rrx clears C", {dp(kMov, false, 0, 0, armRrx(1))}, 2, 0, 0, C | Z, 0x80000001, Z},
        // Flags a subtraction or compare leaves, read by the carry's readers.
        {"cmp then rrx", {dp(kCmp, true, 0, 1, armReg(2)), dp(kMov, false, 0, 0, armRrx(3))}, 5, 3, 2, 0, 0x80000001, 0},
        {"cmp and branch then rrx",
         {dp(kCmp, true, 0, 1, armImm(3)), armBranch(kNe, 0), dp(kMov, false, 0, 0, armImm(9)),
          dp(kMov, false, 0, 0, armRrx(3))}, 5, 0, 3, 0, 0x80000001, C},
        {"subs then adc", {dp(kSub, true, 4, 1, armReg(2)), dp(kAdc, false, 0, 3, armImm(0))}, 5, 3, 10, 0, 11, C},
        {"cmp borrows then sbc", {dp(kCmp, true, 0, 1, armReg(2)), dp(kSbc, false, 0, 3, armImm(1))}, 3, 5, 10, C, 8, N},
        {"subs then rsc", {dp(kSub, true, 4, 1, armReg(2)), dp(kRsc, false, 0, 3, armImm(20))}, 5, 5, 10, 0, 10, Z | C},
        {"subs then adcs", {dp(kSub, true, 4, 1, armReg(2)), dp(kAdc, true, 0, 3, armImm(0))}, 0, 1, 7, C, 7, 0},
        {"moveq with Z clear", {dp(kMov, false, 0, 0, armImm(9), kEq)}, 0, 0, 0, 0, 0, 0},
        {"bxne with Z set runs on", {armBx(kNe, 14), dp(kMov, false, 0, 0, armImm(9))}, 0, 0, 0, Z, 9, Z},
        {"bl is skipped", {0xEB000005, dp(kMov, false, 0, 0, armImm(9))}, 0, 0, 0, 0, 9, 0},
        {"swi and coprocessor words are skipped", {0xEF000000, 0xEE000000, dp(kMov, false, 0, 0, armImm(3))}, 0, 0, 0, 0, 3, 0},
        {"mrs is skipped", {0xE10F0000, dp(kMov, false, 0, 0, armImm(3))}, 0, 0, 0, 0, 3, 0},
        {"muls", {armMultiply(kAl, kMul, true, 0, 0, 1, 2)}, 0x10000, 0x10000, 0, C | V, 0, Z},
        {"mla", {armMultiply(kAl, kMla, false, 0, 3, 1, 2)}, 6, 7, 100, 0, 142, 0},
        {"branch back and forth", {armBranch(kAl, 0), dp(kMov, false, 0, 0, armImm(1)), dp(kAdd, false, 0, 0, armImm(2))}, 0, 0, 0, 0, 2, 0},
    };
    for (const Case& c : cases) {
        Machine mc;
        std::vector<uint32_t> code = c.code;
        code.push_back(kBx);
        mc.m.r[1] = c.r1, mc.m.r[2] = c.r2, mc.m.r[3] = c.r3, mc.m.flags = c.flagsIn;
        EXPECT_EQ(mc.run(code), SpanRun::Returned) << c.what;
        EXPECT_EQ(mc.m.r[0], c.expectR0) << c.what;
        EXPECT_EQ(mc.m.flags, c.expectFlags) << c.what;
    }
    // Decoded programs are reused only while their bytes are unchanged.
    std::vector<uint32_t> code = {dp(kMov, false, 0, 0, armImm(1)), kBx};
    Machine mc;
    mc.run(code);
    EXPECT_EQ(mc.m.r[0], 1u);
    code[0] = dp(kMov, false, 0, 0, armImm(2));
    mc.run(code);
    EXPECT_EQ(mc.m.r[0], 2u);
}

TEST(ArmInterpreter, ConditionsFollowTheirDefinitionsForAllSixteenFlagValues)
{
    for (uint32_t cond = 0; cond < 16; ++cond) {
        for (uint32_t f = 0; f < 16; ++f) {
            const bool n = f & N, z = f & Z, c = f & C, v = f & V;
            const bool expected[16] = {z, !z, c, !c, n, !n, v, !v, c && !z, !c || z, n == v, n != v,
                                       !z && n == v, z || n != v, true, false};
            Machine mc;
            mc.m.flags = f;
            mc.run({dp(kMov, false, 0, 0, armImm(1), static_cast<ArmCond>(cond)), kBx});
            EXPECT_EQ(mc.m.r[0], expected[cond] ? 1u : 0u) << "cond " << cond << " flags " << f;
            EXPECT_EQ(((CONDITION_TABLE[cond] >> f) & 1) != 0, expected[cond]);
        }
    }
    // CMP or SUBS and a conditional branch run as one operation that tests
    // the operands: the same outcome, result and flags. Operand b is an
    // immediate, r2 or r2 << 4.
    const uint32_t values[] = {0, 1, 5, 0x7FFFFFFF, 0x80000000, 0xFFFFFFFF};
    for (uint32_t cond = 0; cond < 14; ++cond)
        for (uint32_t form = 0; form < 4; ++form)
            for (uint32_t a : values)
                for (uint32_t r2 : {0u, 1u, 0x80000000u}) {
                    const bool subs = form == 3;
                    const ArmOperand operands[] = {armImm(r2), armReg(2), armReg(2, kLsl, 4), armImm(r2)};
                    const uint32_t b = form == 2 ? r2 << 4 : r2;
                    Machine mc;
                    mc.m.r[1] = a;
                    mc.m.r[2] = r2;
                    mc.run({dp(subs ? kSub : kCmp, true, 1, 1, operands[form]), armBranch(static_cast<ArmCond>(cond), 0),
                            dp(kMov, false, 0, 0, armImm(1)), kBx});
                    const uint32_t r = a - b;
                    const uint32_t f = (r >> 31 ? N : 0) | (r == 0 ? Z : 0) | (a >= b ? C : 0) |
                                       (((a ^ b) & (a ^ r)) >> 31 ? V : 0);
                    EXPECT_EQ(mc.m.r[0], (CONDITION_TABLE[cond] >> f) & 1 ? 0u : 1u) << cond << " " << a << " " << b;
                    EXPECT_EQ(mc.m.flags, f);
                    EXPECT_EQ(mc.m.r[1], subs ? r : a);
                }
}

TEST(ArmInterpreter, LongMultipliesAreExactAtTheExtremes)
{
    const uint32_t values[] = {0, 1, 0x7FFFFFFF, 0x80000000, 0xFFFFFFFF, 0x12345678, 0x80000001};
    for (uint32_t a : values) {
        for (uint32_t b : values) {
            for (ArmMultiply op : {kUmull, kUmlal, kSmull, kSmlal}) {
                Machine mc;
                mc.m.r[1] = 0x9ABCDEF0;  // lo
                mc.m.r[2] = 0x87654321;  // hi
                mc.m.r[3] = a, mc.m.r[4] = b;
                mc.run({armMultiply(kAl, op, true, 1, 2, 3, 4), kBx});
                const bool isSigned = op == kSmull || op == kSmlal;
                unsigned __int128 p = isSigned ? static_cast<unsigned __int128>(
                                                     static_cast<__int128>(static_cast<int32_t>(a)) * static_cast<int32_t>(b))
                                               : static_cast<unsigned __int128>(a) * b;
                if (op == kUmlal || op == kSmlal)
                    p += (static_cast<uint64_t>(0x87654321) << 32) | 0x9ABCDEF0;
                const uint64_t r = static_cast<uint64_t>(p);
                EXPECT_EQ(mc.m.r[1], static_cast<uint32_t>(r)) << a << " * " << b << " op " << op;
                EXPECT_EQ(mc.m.r[2], static_cast<uint32_t>(r >> 32)) << a << " * " << b << " op " << op;
                const uint32_t flags = (r == 0 ? Z : 0) | (isSigned && (r >> 63) ? N : 0);
                EXPECT_EQ(mc.m.flags, flags);
            }
        }
    }
}

TEST(ArmInterpreter, TransfersAddressAndWriteBackInTheirOrder)
{
    struct Case {
        const char* what;
        uint32_t word;
        uint32_t expectR1, expectR2;
    };
    // r1 = the base (the region's byte 8), r2 = 0x11223344; memory holds
    // its offset in every byte pair of words 0-15 (word i = i * 0x01010101).
    const uint32_t base = kMem + 8;
    const Case cases[] = {
        {"ldr pre", armTransfer(kAl, true, false, 2, 1, 4), base, 3 * 0x01010101u},
        {"ldr pre down with writeback", armTransfer(kAl, true, false, 2, 1, -4, true, true), base - 4, 0x01010101u},
        {"ldr post", armTransfer(kAl, true, false, 2, 1, 8, false), base + 8, 0x82828282u},
        {"ldrb zero-extends", armTransfer(kAl, true, true, 2, 1, 0), base, 0x82},
        {"ldr post into the base: the base wins", armTransfer(kAl, true, false, 1, 1, 4, false), base + 4, 0x11223344},
        {"ldr pre with writeback into the base: the value wins", armTransfer(kAl, true, false, 1, 1, 4, true, true), 3 * 0x01010101u, 0x11223344},
        {"ldr register offset", armTransferRegister(kAl, true, false, 2, 1, true, armReg(3, kLsl, 2)), base, 4 * 0x01010101u},
        {"ldrh zero-extends", armHalfword(kAl, true, 2, 1, 0), base, 0x8282},
        {"ldrh post register down", armHalfwordRegister(kAl, true, 2, 1, false, 3, false), base - 2, 0x8282},
        {"ldrh pre with writeback into the base", armHalfword(kAl, true, 1, 1, 4, true, true), 0x0303, 0x11223344},
    };
    for (const Case& c : cases) {
        Machine mc;
        for (uint32_t i = 0; i < 16; ++i) {
            const uint32_t w = (i == 2 ? 0x82 : i) * 0x01010101u;
            std::memcpy(mc.memory.data() + 4 * i, &w, 4);
        }
        mc.m.r[1] = base, mc.m.r[2] = 0x11223344, mc.m.r[3] = 2;
        EXPECT_EQ(mc.run({c.word, kBx}), SpanRun::Returned) << c.what;
        EXPECT_EQ(mc.m.r[1], c.expectR1) << c.what;
        EXPECT_EQ(mc.m.r[2], c.expectR2) << c.what;
    }

    // Stores, and the block transfers in their four modes.
    Machine mc;
    mc.m.r[1] = kMem + 16, mc.m.r[2] = 0xA1B2C3D4, mc.m.r[3] = 0x55, mc.m.r[15] = 0xF15;
    mc.run({armTransfer(kAl, false, false, 2, 1, -16), armTransfer(kAl, false, true, 3, 1, -12),
            armHalfword(kAl, false, 2, 1, -8), armBlock(kAl, false, kIb, true, 1, 0x800C),
            armBlock(kAl, true, kDa, false, 1, 0x0030), armBlock(kAl, false, kDb, false, 1, 0x0002), kBx});
    EXPECT_EQ(mc.word(0), 0xA1B2C3D4u);
    EXPECT_EQ(mc.word(4), 0xAAAAAA55u);
    EXPECT_EQ(mc.word(8), 0xAAAAC3D4u);
    EXPECT_EQ(mc.word(20), 0xA1B2C3D4u);  // r2, r3, r15 from byte 20 (IB)
    EXPECT_EQ(mc.word(28), 0xF15u);
    EXPECT_EQ(mc.m.r[1], kMem + 28);
    EXPECT_EQ(mc.m.r[4], 0x55u);  // DA from byte 28 down: r4, r5 = bytes 24, 28
    EXPECT_EQ(mc.m.r[5], 0xF15u);
    EXPECT_EQ(mc.word(24), kMem + 28);  // then DB put r1 just below it
    EXPECT_EQ(mc.word(16), 0xAAAAAAAAu);
    // The stack pointer starts at the state's stack top.
    ArmMachine out;
    const std::vector<uint32_t> code = {kBx};
    runArmCode(mc.space, spanAddress(2, 0), reinterpret_cast<const uint8_t*>(code.data()), 4, 1, 2, 3, 10, &out);
    EXPECT_EQ(out.r[13], spanAddress(2, kRsInterpreterStackTop));
    EXPECT_EQ(out.r[0] + out.r[1] + out.r[2], 6u);
}

TEST(ArmInterpreter, HostileProgramsStopWithoutTouchingMemoryOutsideTheirRegions)
{
    // executed: the words fetched, the one that faulted included; a loop
    // stops at the branch that reaches the budget (100).
    struct Case {
        const char* what;
        std::vector<uint32_t> code;
        uint32_t r1;
        SpanRun expected;
        uint32_t executed;
    };
    const uint32_t end = kMem + kMemBytes;
    const std::vector<uint32_t> countdown = {dp(kSub, true, 1, 1, armImm(1)), armBranch(kNe, -3), kBx};
    const Case cases[] = {
        {"store to region 0", {armTransfer(kAl, false, false, 2, 1, 0), kBx}, 4, SpanRun::Fault, 1},
        {"store to an unmapped region", {dp(kMov, false, 3, 0, armImm(1)), armTransfer(kAl, false, false, 2, 1, 0), kBx},
         spanAddress(9, 0), SpanRun::Fault, 2},
        {"word straddling the end", {armTransfer(kAl, false, false, 2, 1, -2), kBx}, end, SpanRun::Fault, 1},
        {"word one byte past the end", {armTransfer(kAl, false, false, 2, 1, -3), kBx}, end, SpanRun::Fault, 1},
        {"load one byte past the end", {armTransfer(kAl, true, false, 2, 1, -3), kBx}, end, SpanRun::Fault, 1},
        {"halfword past the end", {armHalfword(kAl, false, 2, 1, 0), kBx}, end, SpanRun::Fault, 1},
        {"block straddling the end", {armBlock(kAl, false, kIa, true, 1, 0x00FF), kBx}, end - 16, SpanRun::Fault, 1},
        {"load below the start", {armTransfer(kAl, true, false, 2, 1, -4), kBx}, kMem, SpanRun::Fault, 1},
        {"endless loop", {armBranch(kAl, -2)}, 0, SpanRun::OutOfTime, 100},
        {"a loop whose last branch reaches the budget", countdown, 51, SpanRun::OutOfTime, 100},
        {"a loop whose last branch stays under it", countdown, 50, SpanRun::Returned, 101},
        {"branch out of the code", {armBranch(kAl, 100), kBx}, 0, SpanRun::LeftCode, 1},
        {"branch one past the end", {armBranch(kAl, 1), kBx}, 0, SpanRun::LeftCode, 1},
        {"branch before the code", {armBranch(kAl, -5)}, 0, SpanRun::LeftCode, 1},
        {"no return", {dp(kMov, false, 0, 0, armImm(1))}, 0, SpanRun::LeftCode, 1},
        // A fault inside a run of operations the interpreter takes in one
        // step ends the program there, as it does anywhere else.
        {"store faulting in a fused run",
         {dp(kOrr, false, 2, 2, armImm(1)), armTransfer(kAl, false, false, 2, 1, 4, false), kBx}, 4, SpanRun::Fault, 2},
        {"load faulting in a fused run",
         {dp(kMov, false, 4, 0, armReg(5, kLsr, 16)), dp(kMov, false, 6, 0, armReg(7, kLsr, 16)),
          armMultiply(kAl, kMla, false, 6, 4, 6, 8), armTransferRegister(kAl, true, false, 2, 1, true, armReg(6, kLsl, 2)),
          dp(kAdd, false, 5, 5, armReg(9)), dp(kAdd, false, 7, 7, armReg(10)), kBx}, 4, SpanRun::Fault, 4},
        {"misaligned word inside", {armTransfer(kAl, false, false, 2, 1, 1), kBx}, kMem + 58, SpanRun::Returned, 2},
    };
    for (const Case& c : cases) {
        Machine mc;
        mc.m.r[1] = c.r1, mc.m.r[2] = 0x01020304;
        EXPECT_EQ(mc.run(c.code, 100), c.expected) << c.what;
        EXPECT_EQ(mc.m.executed, c.executed) << c.what;
        if (c.expected == SpanRun::Returned)
            continue;
        for (uint32_t i = 0; i < kMemBytes; ++i)
            ASSERT_EQ(mc.memory[i], 0xAA) << c.what << " wrote byte " << i;
    }
    Machine mc;
    mc.m.r[1] = kMem + 58, mc.m.r[2] = 0x01020304;
    mc.run({armTransfer(kAl, false, false, 2, 1, 1), kBx});
    EXPECT_EQ(mc.memory[58], 0xAA);
    EXPECT_EQ(mc.memory[59], 0x04);
    EXPECT_EQ(mc.memory[62], 0x01);
    EXPECT_EQ(mc.memory[63], 0xAA);
}

TEST(ArmInterpreter, DisassemblerAndOperandNamerPrintTheirTexts)
{
    struct Case {
        uint32_t word;
        const char* text;
    };
    const Case cases[] = {
        {dp(kMov, false, 12, 0, armReg(0)), "mov r12,r0"},
        {dp(kAdd, true, 1, 2, armReg(3, kLsl, 2), kNe), "addnes r1,r2,r3<<2"},
        {dp(kSub, false, 1, 2, armRegByReg(3, kLsr, 4)), "sub r1,r2,r3 lsr r4"},
        {dp(kCmp, true, 0, 1, armImm(0xFF)), "cmp r1,#0x000000ff"},
        {armTransfer(kAl, true, false, 1, 12, kRsScissorX0), "ldr r1,[r12,#1024]s->scissorx0"},
        {armTransfer(kAl, true, false, 2, 12, kRsTextureUnits + kTextureUnitSize + kTuTexmode), "ldr r2,[r12,#1340]s->texture_units[1].texmode"},
        {armTransfer(kAl, false, false, 3, 12, 8), "str r3,[r12,#8]s->CPUregs[8]"},
        {armTransfer(kAl, true, false, 3, 12, kRsRegs + 4), "ldr r3,[r12,#516]s->regs[4]"},
        {armTransfer(kAl, true, false, 3, 12, kRsIntp + 84), "ldr r3,[r12,#2772]s->intdp[1]"},
        {armTransfer(kAl, false, true, 3, 4, 4, false), "strb r3,[r4],#4"},
        {armHalfword(kAl, true, 1, 2, -6, true, true), "ldrh r1,[r2,#-6]!"},
        {armBlock(kAl, false, kDb, true, 13, 0x4010), "stmdb r13!,{r4,r14}"},
        {armMultiply(kAl, kSmlal, true, 1, 2, 3, 4), "smlals r1,r2,r3,r4"},
        {armBranch(kGt, -3), "bgt .L-4"},
        {armBx(kAl, 14), "bx r14"},
        {0xEF000000, "?ef000000"},
    };
    for (const Case& c : cases) {
        char text[64];
        size_t n = disassembleArm(c.word, 0, text, 0, sizeof text);
        n = describeStateOperand(c.word, text, n, sizeof text);
        EXPECT_EQ(std::string(text, n), c.text);
    }
    char tiny[8];
    const size_t n = disassembleArm(armBlock(kAl, false, kDb, true, 13, 0xFFFF), 0, tiny, 0, sizeof tiny);
    EXPECT_EQ(n, 7u);
    EXPECT_EQ(tiny[7], 0);
}
