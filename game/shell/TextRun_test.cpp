#include "game/shell/TextRun.h"

#include <gtest/gtest.h>

#include <string>

#include "gfx2d/font/BitmapFont.h"
#include "tools/font/FontWriter.h"

namespace {

// The sample alphabet: glyphs step 3 + 1, a space 2 + 1.
BitmapFont& alphabet()
{
    static BitmapFont font;
    if (!font.isLoaded()) {
        const ImageBytes bytes = writeFont(makeGlyphSheet(u"ABCDEFGHIJKLMNOPQRSTUVWXYZ").font);
        font.load(bytes.data(), uint32_t(bytes.size()));
    }
    return font;
}

TEST(TextRun, LinesFillTheFitWidthAndCarryTheLastWordWhileItFits)
{
    const struct {
        const char16_t* text;
        int32_t fit;
        int32_t max;
        int32_t run;
    } cases[] = {
        {u"PAUSED PRESS SELECT", 30, 40, 7},  // "PAUSED PRESS" is 46 wide: the word waits
        {u"PAUSED PRESS SELECT", 30, 60, 12}, // carried to its end
        {u"PAUSED PRESS SELECT", 24, 24, 6},  // stops on the space
        {u"GO ON", 14, 40, 5},                // the text's end ends the word
        {u"ABCDEFGHIJKLMNOP", 20, 24, 5},     // wider than the line: cut
        {u"ABCDEFGHIJKLMNOP", 2, 2, 1},       // not even a glyph fits: one goes
        {u"", 20, 24, 0},
    };
    for (const auto& c : cases) {
        const std::u16string text(c.text);
        EXPECT_EQ(nextLineRun(alphabet(), text.c_str(), int32_t(text.size()), c.fit, c.max), c.run)
            << text.size() << ' ' << c.fit;
    }
}

// The pause screen's loop over a text with a word wider than the screen:
// every line fits, the lines give the text back, and the loop ends.
TEST(TextRun, AWordWiderThanTheScreenIsCutAndTheLoopEnds)
{
    const std::u16string text = u"PAUSED ABCDEFGHIJKLMNOPQRSTUVWXYZABCDEFGHIJ GO ON";
    for (int32_t width : {1, 3, 16, 40, 96}) {
        std::u16string joined;
        int lines = 0;
        for (int32_t i = 0; i < int32_t(text.size()) && lines <= int(text.size()); ++lines) {
            const int32_t run = nextLineRun(alphabet(), text.c_str() + i, int32_t(text.size()) - i, width * 3 / 4, width);
            ASSERT_GE(run, 1);
            const int32_t w = alphabet().measureString(text.c_str() + i, run, -1, nullptr);
            EXPECT_TRUE(w <= width || run == 1) << width << ' ' << i;
            joined += text.substr(size_t(i), size_t(run));
            i += run;
        }
        EXPECT_LE(lines, int(text.size())) << width;
        EXPECT_EQ(joined, text) << width;
    }
}

} // namespace
