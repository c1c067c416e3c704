// The sample fonts: one alphabet in six inks.
#include "tools/samplefonts/SampleFonts.h"

#include "framework/resources/ResourceIds.h"
#include "game/shell/FontDefinitions.h"
#include "gfx2d/blit/BlitKey.h"
#include "gfx2d/display/Surface.h"
#include "tools/font/FontWriter.h"

namespace {

constexpr uint32_t kFirstSheetId = 0x03007E10;
constexpr uint32_t kInks[kDefinedFonts] = {0xFFFFFF, 0xF0E0A0, 0x80E0FF, 0xFF8040, 0x60FF60, 0xFF60C0};

void putWord(std::vector<uint8_t>& out, uint32_t v)
{
    for (int shift = 0; shift < 32; shift += 8)
        out.push_back(uint8_t(v >> shift));
}

} // namespace

const char16_t kSampleFontCharacters[] = u"0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz.,:!?-\u00E9";

uint32_t sampleFontInk(uint32_t font)
{
    return font < kDefinedFonts ? kInks[font] : 0;
}

uint32_t sampleFontSheetId(uint32_t font)
{
    return kFirstSheetId + font;
}

std::vector<SampleFontEntry> sampleFontEntries()
{
    std::vector<SampleFontEntry> entries;
    for (uint32_t i = 0; i < kDefinedFonts; ++i) {
        GlyphSheet sheet = makeGlyphSheet(kSampleFontCharacters);
        // The cells' ground is the colour the game's drawing keys out, so a
        // glyph draws only its ink on any page.
        sheet.picture.palette = {kKeyRgb, kInks[i]};
        entries.push_back({kFontDefinitions[i].dataId, ResourceType::Data, writeFont(sheet.font)});
        entries.push_back({sampleFontSheetId(i), ResourceType::BmpFile, writeBmp(sheetAsBmp(sheet))});
        std::vector<uint8_t> description;
        putWord(description, SurfaceKey::Stream);
        putWord(description, sampleFontSheetId(i));
        entries.push_back({kFontDefinitions[i].imageId, ResourceType::MemorySurface, description});
    }
    return entries;
}
