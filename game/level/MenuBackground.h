// The 3D scene behind the menus and the outfit colours of the thieves'
// textures, which the menus and the character dressing share.
#pragma once

#include <cstdint>

class GameWorld;

namespace PaletteSlice {
// Each outfit part recolours its own run of the texture's 256 entries; the
// first run (skin, hair, outline) stays the texture's own.
constexpr int32_t Entries = 64;
constexpr int32_t Parts = 3;
} // namespace PaletteSlice

// The palette resource's 24-bit RGB entries, as many as fit the part's slice,
// into the RGB565 palette; how many were converted (0 for a missing resource
// or a part outside 0-2). Both thieves' textures lay the slices out alike.
int32_t loadPaletteRgb565(uint16_t* palette, uint32_t resourceId, int32_t part, bool boy);
// The same over bytes in memory.
int32_t convertPaletteRgb565(uint16_t* palette, const uint8_t* rgb, uint32_t size, int32_t part);

class MenuBackground {
public:
    // After a level the background starts over: its scene is shown again
    // only once it has been set up and rendered anew.
    void resetAfterLevel()
    {
        m_settled = 0;
        m_startClock = -1;
    }

    uint8_t m_settled = 0;
    int32_t m_startClock = -1;
};
