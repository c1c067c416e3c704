// The span-program interpreter: runs the subset of ARM code that stored span
// programs use, one span per call. Registers hold span addresses; every load
// and store goes through the span address space, so a program can reach only
// the memory its caller mapped.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "gfx2d/raster/SpanAddress.h"

// Executes when bit (NZCV) of the mask for the condition field is set.
extern const uint32_t CONDITION_TABLE[16];

inline constexpr uint32_t kFlagN = 8;
inline constexpr uint32_t kFlagZ = 4;
inline constexpr uint32_t kFlagC = 2;
inline constexpr uint32_t kFlagV = 1;

// Words a span may execute (skipped ones included) before it is stopped,
// counted at each taken branch: the longest span (2048 pixels) at a few
// hundred words a pixel.
inline constexpr uint32_t kSpanInstructionBudget = 1u << 20;

enum class SpanRun : uint8_t {
    Returned,   // a BX-class word ended the program
    Fault,      // an access outside every mapped region; that access did nothing
    OutOfTime,  // the budget ran out
    LeftCode,   // the program counter left the code
};

struct ArmMachine {
    uint32_t r[16];
    uint32_t flags;
    uint32_t executed;  // words fetched
};

// code: codeBytes of little-endian instruction words (host memory); the run
// starts at its first word. machine, when given, receives the final registers.
SpanRun runArmCode(const SpanAddressSpace& space, SpanAddress stateBase, const uint8_t* code, uint32_t codeBytes,
                   uint32_t r0, uint32_t r1, uint32_t r2, uint32_t budget = kSpanInstructionBudget,
                   ArmMachine* machine = nullptr);

// The same starting from caller-set registers and flags (tests of single
// instruction classes start from a chosen machine state).
SpanRun runArmMachine(const SpanAddressSpace& space, ArmMachine& m, const uint8_t* code, uint32_t codeBytes,
                      uint32_t budget = kSpanInstructionBudget);

// A program decoded once for many spans. The code is compared with the
// decoded copy when prepared, not on every run: the pointer stays valid,
// and the code must stay as it was, until the next prepare on this thread.
struct ArmProgram;
const ArmProgram* prepareArmCode(const uint8_t* code, uint32_t codeBytes);
// A program decoded for an owner that keeps its code unchanged as long as
// it keeps the program (a span-program set its records); null when memory
// ran out.
struct ArmProgramDeleter {
    void operator()(ArmProgram* program) const;
};
using OwnedArmProgram = std::unique_ptr<ArmProgram, ArmProgramDeleter>;
OwnedArmProgram decodeArmCode(const uint8_t* code, uint32_t codeBytes);
// Bytes a decoded program holds.
size_t armProgramBytes(const ArmProgram& program);
// The code the program was prepared from (the cache may have moved on since).
const uint8_t* preparedCode(const ArmProgram& program);
SpanRun runArmProgram(const SpanAddressSpace& space, const ArmProgram& program, ArmMachine& m,
                      uint32_t budget = kSpanInstructionBudget);
// What the interpreter has done on this thread: words decoded into programs
// and words run, for rows that count work.
struct ArmWork {
    uint64_t decodedWords = 0;
    uint64_t runWords = 0;
};
const ArmWork& armWork();

// The registers runArmCode starts a span with.
ArmMachine spanMachine(SpanAddress stateBase, uint32_t r0, uint32_t r1, uint32_t r2);

// Debug text of one instruction appended at out (terminated, never past
// capacity); returns the new length. address: byte offset of the word in its
// code, for branch labels.
size_t disassembleArm(uint32_t instruction, uint32_t address, char* out, size_t length, size_t capacity);
// The raster-state field a load or store through r12 addresses, appended;
// returns the new length (unchanged for other instructions).
size_t describeStateOperand(uint32_t instruction, char* out, size_t length, size_t capacity);
