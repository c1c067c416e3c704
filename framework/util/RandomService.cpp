// MT19937 as published: 624 words of state, middle distance 397, standard tempering.
#include "framework/util/RandomService.h"

#include "framework/services/ServiceAccessors.h"
#include "framework/services/ServiceIds.h"
#include "framework/util/Clock.h"

#include <new>

namespace {
constexpr uint32_t kMiddle = 397;
constexpr uint32_t kUpperMask = 0x80000000u;
constexpr uint32_t kLowerMask = 0x7FFFFFFFu;
} // namespace

RandomService::RandomService() : Service(ServiceId::Random)
{
    seed(unixTimeNow());
}

void RandomService::seed(uint32_t s)
{
    m_state[0] = s;
    for (uint32_t i = 1; i < kStateSize; ++i)
        m_state[i] = 1812433253u * (m_state[i - 1] ^ (m_state[i - 1] >> 30)) + i;
    m_index = kNeedsRegenerate;
}

void RandomService::regenerate()
{
    uint32_t k = 0;
    for (; k < kStateSize - kMiddle; ++k) {
        const uint32_t y = (m_state[k] & kUpperMask) | (m_state[k + 1] & kLowerMask);
        m_state[k] = m_state[k + kMiddle] ^ (y >> 1) ^ m_matrix[y & 1];
    }
    for (; k < kStateSize - 1; ++k) {
        const uint32_t y = (m_state[k] & kUpperMask) | (m_state[k + 1] & kLowerMask);
        m_state[k] = m_state[k + kMiddle - kStateSize] ^ (y >> 1) ^ m_matrix[y & 1];
    }
    const uint32_t y = (m_state[kStateSize - 1] & kUpperMask) | (m_state[0] & kLowerMask);
    m_state[kStateSize - 1] = m_state[kMiddle - 1] ^ (y >> 1) ^ m_matrix[y & 1];
    m_index = 0;
}

uint32_t RandomService::nextRaw()
{
    if (m_index >= kNeedsRegenerate) {
        if (m_index == kNeverSeeded)
            seed(unixTimeNow());
        regenerate();
    }
    uint32_t y = m_state[m_index++];
    y ^= y >> 11;
    y ^= (y << 7) & 0x9D2C5680u;
    y ^= (y << 15) & 0xEFC60000u;
    y ^= y >> 18;
    return y;
}

uint32_t RandomService::next(uint32_t n)
{
    return n == 0 ? 0 : nextRaw() % n;
}

int32_t RandomService::range(int32_t lo, int32_t hi)
{
    if (lo > hi) {
        const int32_t t = lo;
        lo = hi;
        hi = t;
    }
    // The span wraps to 0 only for the full int range, where every raw value fits.
    const uint32_t span = static_cast<uint32_t>(hi) - static_cast<uint32_t>(lo) + 1u;
    const uint32_t offset = span == 0 ? nextRaw() : nextRaw() % span;
    return static_cast<int32_t>(static_cast<uint32_t>(lo) + offset);
}

namespace {
HashedObject* createRandomService()
{
    return new (std::nothrow) RandomService();
}
} // namespace

RandomService* getRandom()
{
    return static_cast<RandomService*>(findOrCreateService(ServiceId::Random, &createRandomService));
}
