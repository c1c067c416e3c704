#include "game/shell/TextRun.h"

#include <gtest/gtest.h>

#include <string>

#include "gfx2d/font/BitmapFont.h"
#include "tools/font/FontWriter.h"

namespace {

// The sample alphabet without a glyph image: measured, never drawn. Glyphs
// step 3 + 1, a space 2 + 1, lines 7 apart.
BitmapFont& alphabet()
{
    static BitmapFont font;
    if (!font.isLoaded()) {
        const ImageBytes bytes = writeFont(makeGlyphSheet(u"ABCDEFGHIJKLMNOPQRSTUVWXYZ").font);
        font.load(bytes.data(), uint32_t(bytes.size()));
    }
    return font;
}

// The y below the lines is the layout's whatever the bottom, and lines from
// the bottom down cost nothing: a word of any length costs lookups in
// proportion to it, and a text that runs far below the screen costs as much
// as the lines it shows.
TEST(TextRun, LinesAreTheLayoutsAndCostInProportionToWhatIsLaidOut)
{
    const struct {
        std::u16string text;
        int32_t width;
        int32_t bottom;
        int32_t below;        // y below the lines, from 10
        uint64_t maxLookups;  // of the whole frame
    } cases[] = {
        {u"PAUSED PRESS SELECT", 30, 100, 10 + 3 * 7, 80},
        {u"PAUSED PRESS SELECT", 60, 100, 10 + 2 * 7, 80},
        {u"GO ON", 40, 10, 10 + 7, 10},
        {std::u16string(20000, u'W'), 48, 100, 10 + 1667 * 7, 20000 + 2 * 1667 + 100},
        {std::u16string(40000, u'W'), 48, 100, 10 + 3334 * 7, 40000 + 2 * 3334 + 100},
        {std::u16string(40000, u'W'), 48, 1 << 30, 10 + 3334 * 7, 2 * 40000 + 4 * 3334},
        {u"", 48, 100, 10, 0},
    };
    // A lookup bisects the font's 26 glyphs: at most five steps.
    constexpr uint64_t kStepsPerLookup = 5;
    for (const auto& c : cases) {
        const uint64_t before = alphabet().probes();
        EXPECT_EQ(drawTextLines(alphabet(), c.text.c_str(), 0, c.width, 10, c.bottom, true), c.below)
            << c.text.size() << ' ' << c.width;
        EXPECT_LE(alphabet().probes() - before, c.maxLookups * kStepsPerLookup) << c.text.size() << ' ' << c.width;
    }
}

} // namespace
