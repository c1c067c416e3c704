// The per-frame update shared by every listener.
#include "framework/events/Listener.h"

#include <algorithm>

namespace {
TickInfo (*s_tickSource)() = nullptr;
}

void setTickSource(TickInfo (*source)())
{
    s_tickSource = source;
}

TickInfo currentTick()
{
    return s_tickSource ? s_tickSource() : TickInfo{};
}

int Listener::update(const TickInfo& tick)
{
    if (m_remainingRuns != 0) {
        m_running = 1;
        bool ran = false;
        if (tick.phase != 0) {
            run(1, tick);
            ran = true;
        } else {
            // Saturating: a period near the top of the range must come due, not wrap.
            const int64_t sum = int64_t(m_accumulated) + tick.stepSeconds;
            m_accumulated = int32_t(std::clamp<int64_t>(sum, INT32_MIN, INT32_MAX));
            if (m_accumulated >= m_period) {
                run(uint32_t(m_period), tick);
                m_accumulated = 0;
                ran = true;
            }
        }
        if (ran && m_remainingRuns != RunForever)
            --m_remainingRuns;
        m_running = 0;
    }
    if (m_autoDelete && m_remainingRuns == 0) {
        delete this;
        return 2;
    }
    return m_remainingRuns == 0 ? 1 : 0;
}
