// The game's six fonts: the resource of each font's data and of its glyph
// image. The font manager loads them; the sample-pack tool writes them.
#pragma once

#include <cstdint>

struct FontDefinition {
    uint32_t dataId;
    uint32_t imageId;
};

constexpr uint32_t kFontSlots = 12;
constexpr uint32_t kDefinedFonts = 6;
constexpr FontDefinition kFontDefinitions[kDefinedFonts] = {
    {0x3000108, 0x1c0}, {0x30001a1, 0x1fb}, {0x3000203, 0x24d},
    {0x3000278, 0x1c1}, {0x3000189, 0x272}, {0x300023e, 0x10f},
};
