#include "game/shell/FontManager.h"

#include <gtest/gtest.h>

#include <vector>

#include "game/shell/testing/SamplePackScene.h"
#include "gfx2d/font/BitmapFont.h"
#include "tests/support/GoldenImage.h"
#include "tools/font/FontWriter.h"
#include "tools/samplefonts/SampleFonts.h"

namespace {

constexpr int kW = 64, kH = 44;
constexpr char16_t kText[] = u"PENNYFALL 2009!";

} // namespace

TEST(FontManager, EachSampleFontLoadsOnceAndDrawsItsInk)
{
    SamplePackScene scene(kW, kH);
    FontManager fonts;
    std::vector<uint32_t> expected(size_t(kW) * kH, 0xFF000000u);
    for (uint32_t i = 0; i < kDefinedFonts; ++i) {
        BitmapFont* font = fonts.getFont(i);
        ASSERT_NE(font, nullptr) << i;
        EXPECT_EQ(fonts.getFont(i), font);
        EXPECT_TRUE(font->isLoaded()) << i;
        EXPECT_EQ(scene.refs(kFontDefinitions[i].imageId), 1u) << "the glyph image stays, once";
        EXPECT_EQ(scene.refs(kFontDefinitions[i].dataId), 0u) << "the data is released";
        const int y = 1 + int(i) * font->getLineHeight();
        font->drawString(kText, -1, 2, y, -1, -1);

        // Reference: the alphabet's rows in the font's ink, pens 3 + 1 apart,
        // a space moving 2 + 1.
        int x = 2;
        for (const char16_t* c = kText; *c; ++c) {
            if (*c != u' ') {
                const uint8_t* rows = sheetGlyphRows(*c);
                for (int gy = 0; gy < 5; ++gy)
                    for (int gx = 0; gx < 3; ++gx)
                        if ((rows[gy] >> (2 - gx)) & 1)
                            expected[size_t(y + gy) * kW + x + gx] = 0xFF000000u | sampleFontInk(i);
            }
            x += *c == u' ' ? 3 : 4;
        }
    }
    const uint32_t* pixels = targetPixels(scene.target);
    std::vector<uint32_t> actual(pixels, pixels + size_t(kW) * kH);
    for (uint32_t& p : actual)
        p |= 0xFF000000u;
    EXPECT_EQ(actual, expected);
    EXPECT_TRUE(matchesGolden("game/shell/testdata/sample_fonts.png", actual.data(), kW, kH));

    EXPECT_EQ(fonts.getFont(kDefinedFonts), nullptr);
    fonts.releaseFont(3);
    EXPECT_EQ(scene.refs(kFontDefinitions[3].imageId), 0u);
    fonts.releaseFont(3);
    EXPECT_NE(fonts.getFont(3), nullptr) << "made again";
    EXPECT_EQ(scene.refs(kFontDefinitions[3].imageId), 1u);
}
