// ARM encodings of the span-program subset.
#include "tools/span/ArmEncoder.h"

namespace {

constexpr uint32_t cond(ArmCond c) { return static_cast<uint32_t>(c) << 28; }
constexpr uint32_t reg(uint32_t r, int at) { return (r & 15) << at; }

}  // namespace

ArmOperand armImm(uint32_t value)
{
    for (uint32_t rot = 0; rot < 16; ++rot) {
        // Rotating left by 2 * rot undoes the right rotation the decoder applies.
        const uint32_t amount = 2 * rot;
        const uint32_t imm = amount ? (value << amount) | (value >> (32 - amount)) : value;
        if (imm <= 0xFF)
            return {rot << 8 | imm, true, true};
    }
    return {0, true, false};
}

ArmOperand armReg(uint32_t rm, ArmShift shift, uint32_t amount)
{
    if (amount == 0)
        return {rm & 15, false, true};
    const bool valid = amount < 32 || (amount == 32 && (shift == kLsr || shift == kAsr));
    return {((amount & 31) << 7) | (static_cast<uint32_t>(shift) << 5) | (rm & 15), false, valid};
}

ArmOperand armRegByReg(uint32_t rm, ArmShift shift, uint32_t rs)
{
    return {reg(rs, 8) | (static_cast<uint32_t>(shift) << 5) | 0x10 | (rm & 15), false, true};
}

ArmOperand armRrx(uint32_t rm) { return {(static_cast<uint32_t>(kRor) << 5) | (rm & 15), false, true}; }

uint32_t armDataProcessing(ArmCond c, ArmOpcode op, bool s, uint32_t rd, uint32_t rn, ArmOperand op2)
{
    const bool compare = op >= kTst && op <= kCmn;
    const bool move = op == kMov || op == kMvn;
    return cond(c) | (op2.immediate ? 1u << 25 : 0) | (static_cast<uint32_t>(op) << 21) | ((s || compare) ? 1u << 20 : 0) |
           reg(move ? 0 : rn, 16) | reg(compare ? 0 : rd, 12) | op2.bits;
}

uint32_t armTransfer(ArmCond c, bool load, bool byte, uint32_t rd, uint32_t rn, int32_t offset, bool pre,
                     bool writeBack)
{
    const bool up = offset >= 0;
    const uint32_t magnitude = (up ? static_cast<uint32_t>(offset) : 0u - static_cast<uint32_t>(offset)) & 0xFFF;
    return cond(c) | 0x04000000 | (pre ? 1u << 24 : 0) | (up ? 1u << 23 : 0) | (byte ? 1u << 22 : 0) |
           (pre && writeBack ? 1u << 21 : 0) | (load ? 1u << 20 : 0) | reg(rn, 16) | reg(rd, 12) | magnitude;
}

uint32_t armTransferRegister(ArmCond c, bool load, bool byte, uint32_t rd, uint32_t rn, bool up, ArmOperand rm,
                             bool pre, bool writeBack)
{
    return cond(c) | 0x06000000 | (pre ? 1u << 24 : 0) | (up ? 1u << 23 : 0) | (byte ? 1u << 22 : 0) |
           (pre && writeBack ? 1u << 21 : 0) | (load ? 1u << 20 : 0) | reg(rn, 16) | reg(rd, 12) | (rm.bits & 0xFEF);
}

uint32_t armHalfword(ArmCond c, bool load, uint32_t rd, uint32_t rn, int32_t offset, bool pre, bool writeBack)
{
    const bool up = offset >= 0;
    const uint32_t m = (up ? static_cast<uint32_t>(offset) : 0u - static_cast<uint32_t>(offset)) & 0xFF;
    return cond(c) | (pre ? 1u << 24 : 0) | (up ? 1u << 23 : 0) | (1u << 22) | (pre && writeBack ? 1u << 21 : 0) |
           (load ? 1u << 20 : 0) | reg(rn, 16) | reg(rd, 12) | ((m & 0xF0) << 4) | 0xB0 | (m & 15);
}

uint32_t armHalfwordRegister(ArmCond c, bool load, uint32_t rd, uint32_t rn, bool up, uint32_t rm, bool pre,
                             bool writeBack)
{
    return cond(c) | (pre ? 1u << 24 : 0) | (up ? 1u << 23 : 0) | (pre && writeBack ? 1u << 21 : 0) |
           (load ? 1u << 20 : 0) | reg(rn, 16) | reg(rd, 12) | 0xB0 | (rm & 15);
}

uint32_t armBlock(ArmCond c, bool load, ArmBlockMode mode, bool writeBack, uint32_t rn, uint16_t registers)
{
    return cond(c) | 0x08000000 | (static_cast<uint32_t>(mode) << 23) | (writeBack ? 1u << 21 : 0) |
           (load ? 1u << 20 : 0) | reg(rn, 16) | registers;
}

uint32_t armBranch(ArmCond c, int32_t words) { return cond(c) | 0x0A000000 | (static_cast<uint32_t>(words) & 0xFFFFFF); }

uint32_t armBx(ArmCond c, uint32_t rm) { return cond(c) | 0x012FFF10 | (rm & 15); }

uint32_t armMultiply(ArmCond c, ArmMultiply op, bool s, uint32_t rdOrLo, uint32_t rnOrHi, uint32_t rm, uint32_t rs)
{
    const uint32_t base = cond(c) | (static_cast<uint32_t>(op) << 21) | (s ? 1u << 20 : 0) | reg(rs, 8) | 0x90 | (rm & 15);
    if (op == kMul || op == kMla)
        return base | reg(rdOrLo, 16) | reg(op == kMla ? rnOrHi : 0, 12);
    return base | reg(rnOrHi, 16) | reg(rdOrLo, 12);
}

int ArmAssembler::newLabel()
{
    m_labels.push_back(-1);
    return static_cast<int>(m_labels.size() - 1);
}

void ArmAssembler::bind(int label) { m_labels.at(static_cast<size_t>(label)) = static_cast<int32_t>(m_code.size()); }

void ArmAssembler::branch(int label, ArmCond c)
{
    m_fixups.emplace_back(m_code.size(), label);
    emit(armBranch(c, 0));
}

void ArmAssembler::loadConstant(uint32_t rd, uint32_t value)
{
    const ArmOperand whole = armImm(value);
    if (whole.valid) {
        mov(rd, whole);
        return;
    }
    bool first = true;
    for (int at = 0; at < 32; at += 8) {
        const uint32_t part = value & (0xFFu << at);
        if (!part)
            continue;
        dp(first ? kMov : kOrr, rd, rd, armImm(part));
        first = false;
    }
}

std::vector<uint32_t> ArmAssembler::finish()
{
    for (const auto& [at, label] : m_fixups) {
        const int32_t target = m_labels.at(static_cast<size_t>(label));
        if (target < 0)
            m_failed = true;
        m_code[at] |= static_cast<uint32_t>(target - static_cast<int32_t>(at) - 2) & 0xFFFFFF;
    }
    if (m_failed)
        return {};
    return m_code;
}
