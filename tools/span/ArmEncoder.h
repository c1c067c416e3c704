// A small ARM encoder for exactly the instruction subset the span-program
// interpreter runs: data processing with every operand-2 form, word, byte
// and halfword transfers, block transfers, branches with labels, BX and the
// multiplies. The span-program generator writes its records with it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

enum ArmCond : uint32_t {
    kEq, kNe, kCs, kCc, kMi, kPl, kVs, kVc, kHi, kLs, kGe, kLt, kGt, kLe, kAl, kNv,
};
enum ArmOpcode : uint32_t {
    kAnd, kEor, kSub, kRsb, kAdd, kAdc, kSbc, kRsc, kTst, kTeq, kCmp, kCmn, kOrr, kMov, kBic, kMvn,
};
enum ArmShift : uint32_t { kLsl, kLsr, kAsr, kRor };
enum ArmBlockMode : uint32_t { kDa, kIa, kDb, kIb };
enum ArmMultiply : uint32_t { kMul = 0, kMla = 1, kUmull = 4, kUmlal = 5, kSmull = 6, kSmlal = 7 };

// Operand 2 (or a register offset): the encoded low bits and the immediate flag.
struct ArmOperand {
    uint32_t bits = 0;
    bool immediate = false;
    bool valid = true;
};

// An 8-bit value rotated right by an even amount; invalid when none fits.
ArmOperand armImm(uint32_t value);
// shift amount 1-32 (32 only for LSR and ASR), or 0 for none.
ArmOperand armReg(uint32_t rm, ArmShift shift = kLsl, uint32_t amount = 0);
ArmOperand armRegByReg(uint32_t rm, ArmShift shift, uint32_t rs);
ArmOperand armRrx(uint32_t rm);

uint32_t armDataProcessing(ArmCond c, ArmOpcode op, bool s, uint32_t rd, uint32_t rn, ArmOperand op2);
// Word or byte transfer with a 12-bit immediate; offset's sign picks the direction.
uint32_t armTransfer(ArmCond c, bool load, bool byte, uint32_t rd, uint32_t rn, int32_t offset, bool pre = true,
                     bool writeBack = false);
uint32_t armTransferRegister(ArmCond c, bool load, bool byte, uint32_t rd, uint32_t rn, bool up, ArmOperand rm,
                             bool pre = true, bool writeBack = false);
uint32_t armHalfword(ArmCond c, bool load, uint32_t rd, uint32_t rn, int32_t offset, bool pre = true,
                     bool writeBack = false);
uint32_t armHalfwordRegister(ArmCond c, bool load, uint32_t rd, uint32_t rn, bool up, uint32_t rm, bool pre = true,
                             bool writeBack = false);
uint32_t armBlock(ArmCond c, bool load, ArmBlockMode mode, bool writeBack, uint32_t rn, uint16_t registers);
// words: the target's distance from the branch's address + 8, in words.
uint32_t armBranch(ArmCond c, int32_t words);
uint32_t armBx(ArmCond c, uint32_t rm);
// MUL/MLA: (rd, rm, rs[, rn]) as a = rn; long forms: (rdLo, rdHi, rm, rs).
uint32_t armMultiply(ArmCond c, ArmMultiply op, bool s, uint32_t rdOrLo, uint32_t rnOrHi, uint32_t rm, uint32_t rs);

// Emits words with forward and backward labels.
class ArmAssembler {
public:
    int newLabel();
    void bind(int label);
    void emit(uint32_t word) { m_code.push_back(word); }
    void branch(int label, ArmCond c = kAl);

    void dp(ArmOpcode op, uint32_t rd, uint32_t rn, ArmOperand op2, bool s = false, ArmCond c = kAl)
    {
        check(op2);
        emit(armDataProcessing(c, op, s, rd, rn, op2));
    }
    void mov(uint32_t rd, ArmOperand op2, ArmCond c = kAl) { dp(kMov, rd, 0, op2, false, c); }
    void cmp(uint32_t rn, ArmOperand op2, ArmCond c = kAl) { dp(kCmp, 0, rn, op2, true, c); }
    void ldr(uint32_t rd, uint32_t rn, int32_t offset, ArmCond c = kAl) { emit(armTransfer(c, true, false, rd, rn, offset)); }
    void str(uint32_t rd, uint32_t rn, int32_t offset, ArmCond c = kAl) { emit(armTransfer(c, false, false, rd, rn, offset)); }
    // Loads the constant with MOV and ORRs of encodable bytes.
    void loadConstant(uint32_t rd, uint32_t value);

    // The words, or an empty list when an operand or a label was bad.
    std::vector<uint32_t> finish();

private:
    void check(const ArmOperand& o)
    {
        if (!o.valid)
            m_failed = true;
    }
    std::vector<uint32_t> m_code;
    std::vector<int32_t> m_labels;
    std::vector<std::pair<size_t, int>> m_fixups;
    bool m_failed = false;
};
