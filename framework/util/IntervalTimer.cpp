// Countdown timer.
#include "framework/util/IntervalTimer.h"

#include <climits>

void IntervalTimer::start(int32_t delay, bool repeat)
{
    m_running = 1;
    m_remaining = delay;
    // A repeating period of 0 or less would expire on every update forever.
    m_period = (repeat && delay > 0) ? delay : 0;
}

uint32_t IntervalTimer::update(int32_t elapsed)
{
    if (!m_running)
        return 0;
    int64_t remaining = int64_t(m_remaining) - elapsed;
    if (remaining > 0) {
        m_remaining = static_cast<int32_t>(remaining);
        return 0;
    }
    if (m_period <= 0) {
        m_running = 0;
        m_remaining = static_cast<int32_t>(remaining < INT32_MIN ? INT32_MIN : remaining);
        return 1;
    }
    // The number of periods that lift remaining above 0, each one an expiry.
    const int64_t periods = -remaining / m_period + 1;
    remaining += periods * m_period;
    m_remaining = static_cast<int32_t>(remaining);
    return static_cast<uint32_t>(periods);
}
