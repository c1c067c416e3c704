// Reads fixed-width values (1 to 16 bits) from a copied bit string, wrapping
// at its end, and draws unbiased values below a bound from them.
#pragma once

#include <cstdint>
#include <memory>

class BitReader {
public:
    virtual ~BitReader() = default;

    // Copies the bytes; 0 when bitsPerValue is outside 1..16.
    int load(const void* data, uint32_t size, uint32_t bitsPerValue);
    // The next value; the first bits read end up most significant.
    uint32_t next();
    void seek(uint32_t bitPosition) { m_bitPosition = m_totalBits ? bitPosition % m_totalBits : 0; }
    // A value below n, dropping draws from the top group that n does not fill.
    uint32_t nextBelow(uint32_t n);

    uint32_t valuesLeft() const { return m_valuesLeft; }

private:
    uint32_t m_bitPosition = 0;
    uint32_t m_totalBits = 0;
    uint32_t m_bitsPerValue = 0;
    uint32_t m_valueRange = 0;
    uint32_t m_valuesLeft = 0;
    std::unique_ptr<uint8_t[]> m_data;
};
