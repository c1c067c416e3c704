// A task run once a frame by a task list: forever, a set number of times, or
// once every period of game time. One-shot listeners can delete themselves.
#pragma once

#include "framework/events/Prioritized.h"

// The frame a listener is updated in, as the frame ticker measured it.
struct TickInfo {
    uint32_t phase = 0;       // 0: a full frame; 1: only the render remains
    int32_t stepMs = 0;
    int32_t stepSeconds = 0;  // 16.16
    HashedObject* ticker = nullptr;
};

// The frame ticker installs the source of the current frame; without one the
// frame is idle (phase 0, no step).
void setTickSource(TickInfo (*source)());
TickInfo currentTick();

class Listener : public Prioritized {
public:
    explicit Listener(uint32_t typeId = TypeId::Listener) : Prioritized(typeId) {}

    // amount: 1 in a render-only frame, else the period; the tick gives the step.
    virtual int run(uint32_t amount, const TickInfo& tick) = 0;

    // One frame: 0 runs remain to be done, 1 no runs remain, 2 it deleted itself.
    int update(const TickInfo& tick);
    int update() { return update(currentTick()); }

    uint32_t m_remainingRuns = RunForever;
    int32_t m_period = 0;       // 16.16 seconds
    int32_t m_accumulated = 0;  // 16.16 seconds
    uint8_t m_running = 0;
    uint8_t m_autoDelete = 0;
};
