// The engine's small linear congruential generator.
#pragma once

#include <cstdint>

class CkwRandomNumber {
public:
    // The low 16 bits of seed = seed x 1664525 + 1013904223.
    uint32_t next()
    {
        m_seed = m_seed * 1664525u + 1013904223u;
        return m_seed & 0xFFFFu;
    }
    uint32_t seed() const { return m_seed; }
    void setSeed(uint32_t seed) { m_seed = seed; }

private:
    uint32_t m_seed = 0;
};
