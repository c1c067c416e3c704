// Traps and leaves over C++ exceptions. The trap stack in the engine context
// tells a leave whether anyone will catch it; the catching trap then destroys
// what the cleanup stack holds for it.
#include "engine/core/runtime/Trap.h"

#include <cstdio>
#include <cstdlib>

#include "engine/core/port/Port.h"
#include "engine/core/runtime/CleanupStack.h"
#include "engine/core/runtime/EngineContext.h"

void engineFatal(const char* reason)
{
    std::fprintf(stderr, "engine fatal error: %s\n", reason);
    std::fflush(stderr);
    std::abort();
}

void leave(int32_t code)
{
    TrapStack* traps = engineTrapStack();
    if (traps == nullptr || traps->count == 0 || traps->frames[traps->count - 1]->armed == 0)
        kwExit();
    throw CkwLeave{code};
}

TrapFrame* trapEnter(TrapFrame* frame)
{
    frame->armed = 0;
    frame->marked = 0;
    TrapStack* traps = engineTrapStack();
    if (traps == nullptr)
        engineFatal("trap set without an engine context");
    if (traps->count >= kMaxTraps)
        engineFatal("more than five nested traps");
    traps->frames[traps->count++] = frame;
    frame->armed = 1;
    return frame;
}

void trapMark(TrapFrame* frame)
{
    engineContextL().cleanupStack->mark();
    frame->marked = 1;
}

void trapExit()
{
    EngineContext& context = engineContextL();
    TrapStack* traps = context.trapStack;
    TrapFrame* frame = traps->frames[--traps->count];
    frame->armed = 0;
    context.cleanupStack->unwindAndClose();
}

int32_t trapCatch(TrapFrame* frame, int32_t code)
{
    EngineContext* context = engineContext();
    if (context == nullptr || frame->armed == 0)
        return code;
    TrapStack* traps = context->trapStack;
    // Only this frame can be on top: inner traps pop themselves.
    if (traps->count > 0 && traps->frames[traps->count - 1] == frame)
        --traps->count;
    frame->armed = 0;
    if (frame->marked != 0)
        context->cleanupStack->unwindAndClose();
    else
        context->cleanupStack->unwind();
    return code;
}
