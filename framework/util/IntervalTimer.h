// A countdown that reports how many times it expired in a step, for one-shot
// delays and repeating intervals in any time unit the caller steps it by.
#pragma once

#include <cstdint>

class IntervalTimer {
public:
    IntervalTimer() = default;
    virtual ~IntervalTimer() = default;

    // remaining = delay; repeats every delay when repeat is set. A repeating
    // timer needs a positive delay; with 0 or less it fires once.
    void start(int32_t delay, bool repeat);
    void stop() { m_running = 0; }
    bool isRunning() const { return m_running != 0; }
    int32_t remaining() const { return m_remaining; }

    // Counts down by elapsed and returns the expiries in this step; several
    // when a repeating timer was stepped past more than one period.
    uint32_t update(int32_t elapsed);

private:
    int32_t m_period = 0; // 0 = one-shot
    int32_t m_remaining = 0;
    uint8_t m_running = 0;
};
