// Table-driven CRC-32, one byte a step.
#include "framework/files/CrcService.h"

#include <new>

#include "framework/services/ServiceAccessors.h"

void CrcService::buildTable()
{
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t c = i << 24;
        for (int bit = 0; bit < 8; ++bit)
            c = (c & 0x80000000u) ? (c << 1) ^ kCrcPolynomial : c << 1;
        m_table[i] = c;
    }
}

uint32_t CrcService::compute(const void* data, uint32_t n)
{
    if (data == nullptr || n == 0)
        return 0;
    if (m_table[1] == 0)
        buildTable();
    const auto* bytes = static_cast<const uint8_t*>(data);
    uint32_t crc = 0xFFFFFFFFu;
    for (uint32_t i = 0; i < n; ++i)
        crc = m_table[(bytes[i] ^ (crc >> 24)) & 0xFF] ^ (crc << 8);
    return ~crc;
}

CrcService* getCrcService()
{
    return static_cast<CrcService*>(
        findOrCreateService(ServiceId::Crc, [] { return static_cast<HashedObject*>(new (std::nothrow) CrcService()); }));
}
