// Remaps the phone's native key codes to game key codes from the
// "KOR_KEYCODE_" lines of "properties.dat", ahead of the platform's own table.
#pragma once

#include <cstdint>
#include <memory>

#include "framework/services/HashedObject.h"

class KeyCodeMap : public HashedObject {
public:
    KeyCodeMap() = default;

    // Rebuilds the map from properties text: the bytes of "properties.dat"
    // the configuration was parsed from, none without the file.
    void loadFromText(const char* text, uint32_t length);
    // The game key of the first pair whose value's low 16 bits are the
    // native code, or 0.
    uint32_t lookup(uint32_t nativeKey) const;
    uint32_t count() const { return m_count; }
    // The value of pair i as its line gave it, or 0.
    uint32_t valueAt(uint32_t i) const { return i < m_count ? m_pairs[i].nativeKey : 0; }

    // The game key a "KOR_KEYCODE_..." name selects, or 0.
    static uint32_t gameKeyOf(const char* name, uint32_t length);

private:
    struct Pair {
        uint32_t nativeKey; // as read; lookups compare its low 16 bits
        uint32_t gameKey;
    };

    std::unique_ptr<Pair[]> m_pairs;
    uint32_t m_count = 0;
};

// The application's key-code map, or null.
KeyCodeMap* getKeyCodeMap();
// The platform's key-code lookup, answered by the application's map.
uint32_t lookupKeyCode(HashedObject* map, uint32_t nativeKey);
