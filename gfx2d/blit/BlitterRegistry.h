// The table of blit loops: a service filled once at library start-up and
// searched in the order of adding, first match wins.
#pragma once

#include <cstdint>

#include "framework/services/Service.h"
#include "gfx2d/blit/BlitKey.h"

class BlitterRegistry : public Service {
public:
    static constexpr uint32_t kCapacity = 55;

    BlitterRegistry() : Service(kBlitterRegistryServiceId) {}

    // The registered registry, made on first use; null without an application.
    static BlitterRegistry* instance();

    // 0 when the table is full or there is no registry.
    static int add(RSBFormat sourceFormat, RSBFormat destFormat, uint32_t keyMode, uint32_t alphaTest,
                   uint32_t blendMode, uint32_t operation, BlitFunction function);
    // 1 and query.function set for the first matching entry; else null and 0.
    int find(BlitKey& query) const;

    uint32_t count() const { return m_count; }
    const BlitKey& entry(uint32_t i) const { return m_entries[i]; }

private:
    friend int registerBlitters();
    uint32_t m_count = 0;
    uint8_t m_builtInsAdded = 0;
    BlitKey m_entries[kCapacity];
};

// Adds the library's loops once; later calls find them there and add nothing.
int registerBlitters();
// find through the registry; null without one.
BlitFunction findBlitter(BlitKey& query);
