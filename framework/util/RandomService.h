// The program's random numbers: a Mersenne Twister (MT19937) registered as a
// service, seeded from the Unix time when created.
#pragma once

#include "framework/services/Service.h"

#include <cstdint>

class RandomService : public Service {
public:
    static constexpr uint32_t kStateSize = 624;

    RandomService();

    void seed(uint32_t s);
    // The next tempered 32-bit output; a never seeded service seeds itself first.
    uint32_t nextRaw();
    // nextRaw mod n; 0 for n = 0.
    uint32_t next(uint32_t n);
    // A value in [lo, hi]; a reversed range is taken the right way round, and
    // the full int range draws raw values.
    int32_t range(int32_t lo, int32_t hi);

private:
    static constexpr uint32_t kNeedsRegenerate = kStateSize;
    static constexpr uint32_t kNeverSeeded = kStateSize + 1;

    void regenerate();

    uint32_t m_index = kNeverSeeded;
    uint32_t m_matrix[2] = {0, 0x9908B0DFu}; // picked by the low bit of the mixed word
    uint32_t m_state[kStateSize];
};

// The registered service, created on first use; null while there is no
// registry or when it cannot be allocated.
RandomService* getRandom();
