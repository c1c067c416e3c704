// The CRC-32 service that guards the save files: polynomial 0x04C11DB7,
// most significant bit first, initial 0xFFFFFFFF, result complemented
// (the CRC-32/BZIP2 parameters).
#pragma once

#include <cstdint>

#include "framework/services/Service.h"
#include "framework/services/ServiceIds.h"

constexpr uint32_t kCrcPolynomial = 0x04C11DB7;

class CrcService : public Service {
public:
    CrcService() : Service(ServiceId::Crc) {}

    // 0 for no bytes.
    uint32_t compute(const void* data, uint32_t n);

private:
    void buildTable();

    // Built on the first computation; entry 1 is the polynomial once built.
    uint32_t m_table[256] = {};
};

// The registered service, created on first use; null without an application.
CrcService* getCrcService();
