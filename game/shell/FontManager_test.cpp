#include "game/shell/FontManager.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "framework/strings/WideString.h"
#include "game/shell/ShellText.h"
#include "game/shell/testing/SamplePackScene.h"
#include "gfx2d/font/BitmapFont.h"
#include "tests/support/GoldenImage.h"
#include "tools/samplefonts/SampleFonts.h"

namespace {

constexpr int kW = 64, kH = 44;
constexpr char16_t kText[] = u"PENNYFALL 2009!";

} // namespace

// The pack's resources of each font, as the game has always named them.
TEST(FontManager, FontsComeFromTheirFixedResources)
{
    const FontDefinition ids[] = {{0x3000108, 0x1c0}, {0x30001a1, 0x1fb}, {0x3000203, 0x24d},
                                  {0x3000278, 0x1c1}, {0x3000189, 0x272}, {0x300023e, 0x10f}};
    static_assert(sizeof ids / sizeof ids[0] == kDefinedFonts);
    for (uint32_t i = 0; i < kDefinedFonts; ++i) {
        EXPECT_EQ(kFontDefinitions[i].dataId, ids[i].dataId) << i;
        EXPECT_EQ(kFontDefinitions[i].imageId, ids[i].imageId) << i;
    }
    EXPECT_EQ(FontManager::kId, 0x70990b0eu);
}

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
        paintSampleText(expected, kW, kText, 2, y, sampleFontInk(i));
    }
    const std::vector<uint32_t> actual = scenePixels(scene, kW, kH);
    EXPECT_EQ(actual, expected);
    EXPECT_TRUE(matchesGolden("game/shell/testdata/sample_fonts.png", actual.data(), kW, kH));

    EXPECT_EQ(fonts.getFont(kDefinedFonts), nullptr);
    fonts.releaseFont(3);
    EXPECT_EQ(scene.refs(kFontDefinitions[3].imageId), 0u);
    fonts.releaseFont(3);
    EXPECT_NE(fonts.getFont(3), nullptr) << "made again";
    EXPECT_EQ(scene.refs(kFontDefinitions[3].imageId), 1u);
}

// Every character a text of the sample pack can show, in either language,
// is a glyph of every sample font that draws its ink and nothing around it:
// a new text cannot bring a character the fonts lack.
TEST(FontManager, EveryCharacterOfThePackTextsDrawsCleanly)
{
    constexpr uint32_t kGround = 0xFF203048;
    SamplePackScene scene(kW, kH);
    std::u16string shown = u"0123456789-";  // what the texts' numbers format to
    const uint32_t languages = scene.manager->languageCount();
    ASSERT_EQ(languages, 2u);
    for (uint32_t language = 0; language < languages; ++language) {
        shown += scene.manager->languageName(language);
        ASSERT_EQ(scene.manager->loadListEntry(language), ResourceResult::Loaded);
        for (uint32_t row = 0; row < 0x8000; ++row) {
            WideString text;
            loadTextById(text, 0x21ff0000 | row);
            for (uint32_t i = 0; i < text.length(); ++i) {
                // A conversion stands for the number or character it formats.
                if (text.chars()[i] == u'%' && i + 1 < text.length())
                    ++i;
                else
                    shown += text.chars()[i];
            }
        }
    }
    ASSERT_GT(shown.size(), 1000u);
    FontManager fonts;
    for (char16_t c : shown) {
        if (c == u' ')
            continue;
        for (uint32_t f = 0; f < kDefinedFonts; ++f) {
            BitmapFont* font = fonts.getFont(f);
            ASSERT_NE(font, nullptr);
            fillRect(0, 0, kW, kH, kGround);
            font->drawString(&c, 1, 4, 4, -1, -1);
            uint32_t ink = 0, other = 0;
            for (uint32_t p : scenePixels(scene, kW, kH)) {
                ink += p == (0xFF000000u | sampleFontInk(f));
                other += p != kGround && p != (0xFF000000u | sampleFontInk(f));
            }
            ASSERT_GT(ink, 0u) << "no glyph for U+" << std::hex << int(c) << " in font " << f;
            ASSERT_EQ(other, 0u) << "U+" << std::hex << int(c) << " in font " << f;
        }
    }
}
