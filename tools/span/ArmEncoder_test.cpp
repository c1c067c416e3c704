// The encoder against words GNU as (armv4t) produced once for the same
// instructions; the table, not the assembler, is what the build checks.
#include "tools/span/ArmEncoder.h"

#include <gtest/gtest.h>

TEST(ArmEncoder, EncodingsMatchTheAssemblersTable)
{
    struct Case {
        uint32_t encoded;
        uint32_t expected;
        const char* text;
    };
    const Case cases[] = {
        {armDataProcessing(kAl, kAnd, false, 1, 2, armReg(3)), 0xe0021003, "and r1, r2, r3"},
        {armDataProcessing(kAl, kEor, true, 4, 5, armReg(6, kLsl, 3)), 0xe0354186, "eors r4, r5, r6, lsl #3"},
        {armDataProcessing(kAl, kSub, false, 0, 0, armImm(0xFF000000)), 0xe24004ff, "sub r0, r0, #0xFF000000"},
        {armDataProcessing(kAl, kRsb, true, 7, 8, armReg(9, kLsr, 32)), 0xe0787029, "rsbs r7, r8, r9, lsr #32"},
        {armDataProcessing(kAl, kAdd, false, 10, 11, armReg(12, kAsr, 7)), 0xe08ba3cc, "add r10, r11, r12, asr #7"},
        {armDataProcessing(kAl, kAdc, false, 1, 2, armReg(3, kRor, 5)), 0xe0a212e3, "adc r1, r2, r3, ror #5"},
        {armDataProcessing(kAl, kSbc, true, 1, 2, armRrx(3)), 0xe0d21063, "sbcs r1, r2, r3, rrx"},
        {armDataProcessing(kAl, kRsc, false, 1, 2, armRegByReg(3, kLsl, 4)), 0xe0e21413, "rsc r1, r2, r3, lsl r4"},
        {armDataProcessing(kAl, kTst, true, 0, 1, armImm(0x3FC)), 0xe3110fff, "tst r1, #0x3FC"},
        {armDataProcessing(kAl, kTeq, true, 0, 2, armRegByReg(3, kAsr, 5)), 0xe1320553, "teq r2, r3, asr r5"},
        {armDataProcessing(kAl, kCmp, true, 0, 1, armImm(1)), 0xe3510001, "cmp r1, #1"},
        {armDataProcessing(kAl, kCmn, true, 0, 3, armReg(4)), 0xe1730004, "cmn r3, r4"},
        {armDataProcessing(kAl, kOrr, false, 1, 1, armImm(0xFF00)), 0xe3811cff, "orr r1, r1, #0xFF00"},
        {armDataProcessing(kAl, kMov, false, 12, 0, armReg(0)), 0xe1a0c000, "mov r12, r0"},
        {armDataProcessing(kAl, kBic, false, 11, 10, armImm(0xFF000000)), 0xe3cab4ff, "bic r11, r10, #0xFF000000"},
        {armDataProcessing(kAl, kMvn, true, 0, 0, armRegByReg(1, kRor, 2)), 0xe1f00271, "mvns r0, r1, ror r2"},
        {armTransfer(kAl, true, false, 1, 2, 8), 0xe5921008, "ldr r1, [r2, #8]"},
        {armTransfer(kAl, true, false, 1, 2, -4, true, true), 0xe5321004, "ldr r1, [r2, #-4]!"},
        {armTransfer(kAl, false, false, 3, 4, 4, false), 0xe4843004, "str r3, [r4], #4"},
        {armTransfer(kAl, false, true, 5, 6, -255), 0xe54650ff, "strb r5, [r6, #-255]"},
        {armTransfer(kAl, true, true, 7, 8, -1, false), 0xe4587001, "ldrb r7, [r8], #-1"},
        {armTransferRegister(kAl, true, false, 10, 6, true, armReg(10, kLsl, 2)), 0xe796a10a, "ldr r10, [r6, r10, lsl #2]"},
        {armTransferRegister(kAl, true, true, 10, 6, false, armReg(10)), 0xe756a00a, "ldrb r10, [r6, -r10]"},
        {armTransferRegister(kAl, false, false, 1, 2, true, armReg(3, kAsr, 3), true, true), 0xe7a211c3, "str r1, [r2, r3, asr #3]!"},
        {armHalfword(kAl, true, 11, 0, 0), 0xe1d0b0b0, "ldrh r11, [r0]"},
        {armHalfword(kAl, false, 10, 0, -34), 0xe140a2b2, "strh r10, [r0, #-34]"},
        {armHalfword(kAl, true, 1, 2, 255, false), 0xe0d21fbf, "ldrh r1, [r2], #255"},
        {armHalfwordRegister(kAl, false, 1, 2, true, 3), 0xe18210b3, "strh r1, [r2, r3]"},
        {armHalfwordRegister(kAl, true, 1, 2, false, 3, true, true), 0xe13210b3, "ldrh r1, [r2, -r3]!"},
        {armBlock(kAl, true, kIa, true, 1, 0x800C), 0xe8b1800c, "ldmia r1!, {r2, r3, r15}"},
        {armBlock(kAl, false, kDb, true, 13, 0x4FF0), 0xe92d4ff0, "stmdb r13!, {r4-r11, r14}"},
        {armBlock(kAl, true, kDa, false, 0, 0x0002), 0xe8100002, "ldmda r0, {r1}"},
        {armBlock(kAl, false, kIb, false, 2, 0x0003), 0xe9820003, "stmib r2, {r0, r1}"},
        {armMultiply(kAl, kMul, false, 9, 0, 13, 9), 0xe009099d, "mul r9, r13, r9"},
        {armMultiply(kAl, kMla, false, 10, 7, 10, 11), 0xe02a7b9a, "mla r10, r10, r11, r7"},
        {armMultiply(kAl, kMul, true, 1, 0, 2, 3), 0xe0110392, "muls r1, r2, r3"},
        {armMultiply(kAl, kUmull, false, 1, 2, 3, 4), 0xe0821493, "umull r1, r2, r3, r4"},
        {armMultiply(kAl, kUmlal, true, 1, 2, 3, 4), 0xe0b21493, "umlals r1, r2, r3, r4"},
        {armMultiply(kAl, kSmull, false, 5, 6, 7, 8), 0xe0c65897, "smull r5, r6, r7, r8"},
        {armMultiply(kAl, kSmlal, false, 5, 6, 7, 8), 0xe0e65897, "smlal r5, r6, r7, r8"},
        {armBx(kAl, 14), 0xe12fff1e, "bx lr"},
        {armBx(kLe, 14), 0xd12fff1e, "bxle lr"},
        {armDataProcessing(kLt, kMov, false, 1, 0, armReg(10)), 0xb1a0100a, "movlt r1, r10"},
        {armDataProcessing(kGe, kSub, false, 10, 7, armImm(1)), 0xa247a001, "subge r10, r7, #1"},
        {armBranch(kNe, -3), 0x1afffffd, "bne .-4"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.encoded, c.expected) << c.text;

    EXPECT_FALSE(armImm(0x101).valid);
    EXPECT_FALSE(armReg(1, kLsl, 32).valid);
    ArmAssembler bad;
    bad.branch(bad.newLabel());
    EXPECT_TRUE(bad.finish().empty()) << "a branch to a label never bound";
}

TEST(ArmEncoder, LabelsResolveForwardAndBackward)
{
    ArmAssembler a;
    const int back = a.newLabel(), ahead = a.newLabel();
    a.bind(back);
    a.emit(0xE1A00000);
    a.branch(ahead, kEq);
    a.branch(back);
    a.bind(ahead);
    a.loadConstant(3, 0x00FF00FF);
    const std::vector<uint32_t> code = a.finish();
    ASSERT_EQ(code.size(), 5u);
    EXPECT_EQ(code[1], 0x0A000000u);  // to word 3: 3 - 1 - 2
    EXPECT_EQ(code[2], 0xEAFFFFFCu);  // to word 0: 0 - 2 - 2
    EXPECT_EQ(code[3], 0xE3A030FFu);  // mov r3, #0xFF
    EXPECT_EQ(code[4], 0xE38338FFu);  // orr r3, r3, #0xFF0000
}
