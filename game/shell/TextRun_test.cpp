#include "game/shell/TextRun.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "game/shell/testing/SamplePackScene.h"
#include "gfx2d/font/BitmapFont.h"
#include "tests/support/AllocationWatch.h"
#include "tools/font/FontWriter.h"

namespace {

// The sample alphabet without a glyph image: measured, never drawn. Glyphs
// step 3 + 1, a space 2 + 1, lines 7 apart. With spacing 0, as the font
// writer makes fonts unless told, '#' is a glyph and '|' an override that
// move the pen nowhere, and '~', which the font lacks, is as narrow.
BitmapFont& alphabet(int8_t spacing = 1)
{
    static BitmapFont fonts[2];
    BitmapFont& font = fonts[spacing == 0];
    if (!font.isLoaded()) {
        FontSpec spec = makeGlyphSheet(u"ABCDEFGHIJKLMNOPQRSTUVWXYZ").font;
        spec.spacing = spacing;
        if (spacing == 0) {
            spec.glyphs.push_back({u'#', 1, 1, 3, 5, 0, 0, 0, 0});
            spec.overrides.push_back({u'|', 0, 0});
        }
        const ImageBytes bytes = writeFont(spec);
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

    // Texts of n units cost at 2n at most 2.3 times their lookups, bytes and
    // characters scanned at n, whatever the font makes of the units' widths:
    // a line measured, or searched for a newline, to the end of the text
    // would cost the text's square, and so would lines kept in storage made
    // again for each.
    const struct {
        const char16_t* unit;
        int8_t spacing;
        int32_t width;
    } grown[] = {
        {u"#\n", 0, 48},          // zero-wide glyphs, each on its line
        {u"~\n", 0, 48},          // characters the font lacks, spacing 0
        {u"|\n", 0, 48},          // zero-wide overrides
        {u"#", 0, 48},            // one line of zero-wide glyphs
        {u"# ~| ", 0, 48},        // zero-wide words
        {u"AB CD\n", 1, 48},      // words and lines
        {u"ABCDEFGHIJ", 1, 10},   // words wider than the line
        {u"#AB ~CD|\n\n", 0, 16}, // all of them, with blank lines
    };
    for (const auto& g : grown) {
        const size_t row = size_t(&g - grown);
        BitmapFont& font = alphabet(g.spacing);
        uint64_t lookups[2] = {}, bytes[2] = {}, scanned[2] = {};
        for (int k = 0; k < 2; ++k) {
            std::u16string text;
            for (uint32_t i = 0; i < 1000u << k; ++i)
                text += g.unit;
            const uint64_t before = font.probes();
            const AllocationWatch watch(SIZE_MAX);
            drawTextLines(font, text.c_str(), 0, g.width, 10, 100, true);
            lookups[k] = font.probes() - before;
            bytes[k] = watch.bytes();
            TextLayout layout;
            layout.font = &font;
            layout.text = text.c_str();
            layout.width = g.width;
            layout.layout();
            scanned[k] = layout.scanned();
        }
        EXPECT_LE(lookups[1] * 10, lookups[0] * 23) << "row " << row << ": " << lookups[0] << " then " << lookups[1];
        EXPECT_LE(bytes[1] * 10, bytes[0] * 23) << "row " << row << ": " << bytes[0] << " then " << bytes[1];
        EXPECT_LE(scanned[1] * 10, scanned[0] * 23) << "row " << row << ": " << scanned[0] << " then " << scanned[1];
    }
}

// Kept lines are a fresh layout's after each change of what they hang on,
// in turn: the width, the id (a longer text), the language, an edit that
// grows the text, the id again after the edit, and the font.
// Each change moves the lines, so lines left stale show, and so do lines
// left in a text's freed storage under the sanitizer.
TEST(TextRun, KeptLinesFollowEveryChangeOfTheirTextFontAndWidth)
{
    SamplePackScene scene(8, 8);
    ASSERT_EQ(scene.manager->loadListEntry(0), ResourceResult::Loaded);
    BitmapFont* font = &alphabet();
    TextLines kept;
    int32_t width = 80;
    uint32_t id = 0x21ff0147;
    std::u16string edited; // empty: the text of the id
    const std::function<void()> changes[] = {
        [&] { kept.showId(id); },
        [&] { width = 30; },
        [&] { kept.showId(id = 0x21ff7e04); },
        [&] {
            ASSERT_EQ(scene.manager->loadListEntry(1), ResourceResult::Loaded);
            kept.showId(id);
        },
        [&] {
            kept.edit().append(std::u16string(300, u'A').c_str());
            edited = kept.text().chars();
        },
        [&] { edited.clear(); kept.showId(id); },
        [&] { font = &alphabet(0); },
    };
    int32_t last = 0;
    for (const auto& change : changes) {
        const size_t row = size_t(&change - changes);
        change();
        TextLines fresh;
        if (edited.empty())
            fresh.showId(id);
        else
            fresh.edit().append(edited.c_str());
        const int32_t below = fresh.draw(*font, 0, width, 0, INT32_MAX, TextAlign::Right);
        EXPECT_NE(below, last) << row;
        EXPECT_EQ(kept.draw(*font, 0, width, 0, INT32_MAX, TextAlign::Right), below) << row;
        last = below;
    }
}

} // namespace
