// The sample pack's six fonts, made from the font writer's bitmap alphabet:
// per font a font file, a BMP glyph sheet and the memory-surface description
// that shows the sheet as the font's glyph image.
#pragma once

#include <cstdint>
#include <vector>

struct SampleFontEntry {
    uint32_t id;
    uint32_t type;
    std::vector<uint8_t> payload;
};

// The ink colour of font i's glyphs (0xRRGGBB); the rest of each cell is
// the drawing's key colour.
uint32_t sampleFontInk(uint32_t font);
// The characters every sample font draws.
extern const char16_t kSampleFontCharacters[];
// The pack id of font i's sheet picture, in the sample's own range.
uint32_t sampleFontSheetId(uint32_t font);

std::vector<SampleFontEntry> sampleFontEntries();
