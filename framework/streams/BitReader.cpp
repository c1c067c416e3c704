// Bit reader: bits are taken from the least significant end of each byte;
// each slice taken from a byte is placed above the slices taken after it.
#include "framework/streams/BitReader.h"

#include <cstring>

int BitReader::load(const void* data, uint32_t size, uint32_t bitsPerValue)
{
    if (bitsPerValue == 0 || bitsPerValue > 16 || (data == nullptr && size != 0) || size > 0x1FFFFFFF)
        return 0;
    m_data.reset(new uint8_t[size != 0 ? size : 1]);
    if (size != 0)
        std::memcpy(m_data.get(), data, size);
    m_totalBits = size * 8;
    m_bitPosition = 0;
    m_valuesLeft = size * 8;
    m_bitsPerValue = bitsPerValue;
    m_valueRange = 1u << bitsPerValue;
    return 1;
}

uint32_t BitReader::next()
{
    if (m_totalBits == 0)
        return 0;
    uint32_t value = 0;
    uint32_t wanted = m_bitsPerValue;
    while (wanted != 0) {
        uint32_t bit = m_bitPosition & 7;
        uint32_t take = 8 - bit;
        if (take > wanted)
            take = wanted;
        uint32_t slice = (m_data[m_bitPosition >> 3] >> bit) & ((1u << take) - 1);
        value = (value << take) | slice;
        wanted -= take;
        m_bitPosition += take;
        if (m_bitPosition >= m_totalBits)
            m_bitPosition = 0;
    }
    --m_valuesLeft;
    return value;
}

uint32_t BitReader::nextBelow(uint32_t n)
{
    if (n == 0)
        return 0;
    // A bound above the range can never be rejected against; take one draw.
    if (n > m_valueRange || m_totalBits == 0)
        return next() % n;
    uint32_t top = m_valueRange / n;
    // The positions repeat within totalBits draws; bits that only ever give
    // top-group values must not hang the caller.
    uint32_t value = next();
    for (uint32_t tries = 0; value / n == top && tries < m_totalBits; ++tries)
        value = next();
    return value % n;
}
