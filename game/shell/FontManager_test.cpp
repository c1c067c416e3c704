#include "game/shell/FontManager.h"

#include <gtest/gtest.h>

#include <algorithm>
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
    ASSERT_EQ(scene.manager->languageCount(), 2u);
    for (uint32_t language = 0; language < 2; ++language) {
        shown += scene.manager->languageName(language);
        ASSERT_EQ(scene.manager->loadListEntry(language), ResourceResult::Loaded);
        for (uint32_t row = 0; row < 0x8000; ++row) {
            WideString text;
            loadTextById(text, 0x21ff0000 | row);
            // A conversion stands for the number or character it formats.
            for (uint32_t i = 0; i < text.length(); i += text.chars()[i] == u'%' ? 2 : 1)
                shown += text.chars()[i] == u'%' ? u'0' : text.chars()[i];
        }
    }
    ASSERT_GT(shown.size(), 1000u);
    FontManager fonts;
    for (uint32_t f = 0; f < kDefinedFonts; ++f) {
        const uint32_t ink = 0xFF000000u | sampleFontInk(f);
        for (char16_t c : shown) {
            fillRect(0, 0, kW, kH, kGround);
            fonts.getFont(f)->drawString(&c, 1, 4, 4, -1, -1);
            const std::vector<uint32_t> px = scenePixels(scene, kW, kH);
            ASSERT_EQ(std::count(px.begin(), px.end(), ink) + std::count(px.begin(), px.end(), kGround), kW * kH)
                << "U+" << std::hex << int(c) << " in font " << f;
            ASSERT_TRUE(c == u' ' || std::count(px.begin(), px.end(), ink) > 0) << "U+" << std::hex << int(c);
        }
    }
}
