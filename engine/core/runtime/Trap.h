// Leave and trap: the engine's error mechanism. A failing operation leaves
// with a negative code; the innermost trap receives it after the objects that
// were pushed on the cleanup stack since the trap was marked are destroyed,
// last pushed first.
//
// A leave is a small C++ exception carrying the code. It is thrown only when
// an armed trap exists; a leave with no trap ends the process with exit code 1.
// Traps nest at most kMaxTraps deep; a deeper one is a fatal error.
#pragma once

#include <cstdint>
#include <new>
#include <utility>

#include "engine/core/runtime/EngineErrors.h"

// What a leave throws. Only a trap catches it.
struct CkwLeave {
    int32_t code;
};

// One trap, living on the stack of the function that sets it.
struct TrapFrame {
    uint8_t armed = 0;  // 1 while the frame is on the trap stack
    uint8_t marked = 0; // 1 once a cleanup level was opened for it
};

constexpr int32_t kMaxTraps = 5;

struct TrapStack {
    TrapFrame* frames[kMaxTraps] = {};
    int32_t count = 0;
};

// Leaves to the innermost trap; never returns.
[[noreturn]] void leave(int32_t code);
inline void leaveIfZero(int64_t value, int32_t code)
{
    if (value == 0)
        leave(code);
}

// The steps of a trapped call; engineTrap below is how code writes one.
TrapFrame* trapEnter(TrapFrame* frame);
void trapMark(TrapFrame* frame);
void trapExit();
// The failure side of a trap: pops the frame and destroys what the cleanup
// stack holds for it. Returns the code.
int32_t trapCatch(TrapFrame* frame, int32_t code);

// Prints the reason and aborts: for broken invariants that must never pass
// silently (a sixth nested trap).
[[noreturn]] void engineFatal(const char* reason);

// Runs body inside a trap and returns 0, or the code of the leave that ended
// it. Memory exhaustion reported by the C++ runtime (std::bad_alloc) counts
// as a leave with -4.
template <class Body>
int32_t engineTrap(Body&& body)
{
    TrapFrame frame;
    trapEnter(&frame);
    try {
        trapMark(&frame);
        std::forward<Body>(body)();
        trapExit();
        return KErrNone;
    } catch (const CkwLeave& e) {
        return trapCatch(&frame, e.code);
    } catch (const std::bad_alloc&) {
        return trapCatch(&frame, KErrNoMemory);
    } catch (...) {
        trapCatch(&frame, KErrGeneral);
        throw;
    }
}
