// Font files from the writer: metrics and lookup in both record layouts
// (including a character above U+8000 and an override sharing a glyph's
// code), measuring with and without a width, and where glyphs are placed.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>
#include <vector>

#include "gfx2d/drawcontext/testing/DrawScene.h"
#include "gfx2d/font/BitmapFont.h"
#include "gfx2d/font/TextLayout.h"
#include "tests/support/GoldenImage.h"
#include "tools/font/FontWriter.h"

namespace {

// Advance 3, spacing 1, space 2 (an override), height 5, gap 2.
BitmapFont& sheetFont(BitmapFont& font, int8_t format, int8_t spacing = 1)
{
    GlyphSheet sheet = makeGlyphSheet(u"AB12.\u00E9\u9F8D-");
    sheet.font.format = format;
    sheet.font.spacing = spacing;
    sheet.font.overrides.push_back({u'-', 0, 6});  // drawn never: the override wins
    const ImageBytes bytes = writeFont(sheet.font);
    EXPECT_EQ(font.load(bytes.data(), uint32_t(bytes.size())), 1);
    return font;
}

TEST(BitmapFont, BothLayoutsGiveTheSameMetricsAndLookups)
{
    for (int8_t format : {int8_t(2), int8_t(0)}) {
        BitmapFont font;
        EXPECT_EQ(font.m_typeId, 0x6EFF79D2u);
        sheetFont(font, format);
        EXPECT_EQ(font.getLineHeight(), 7);
        EXPECT_EQ(font.getLineGap(), 2);
        EXPECT_EQ(font.glyphCount(), 8);
        struct Case {
            char16_t c;
            int advance;
            int cellX;  // -1: no glyph
        } cases[] = {
            {u'A', 3, 1}, {u'2', 3, 13}, {u'\u00E9', 3, 21}, {u'\u9F8D', 3, 25},
            {u' ', 2, -1}, {u'-', 6, 29}, {u'Z', 0, -1}, {u'\uFFFF', 0, -1},
        };
        for (const Case& c : cases) {
            EXPECT_EQ(font.charAdvance(c.c), c.advance) << int(c.c);
            const GlyphRecord* g = font.findGlyph(c.c);
            EXPECT_EQ(g ? g->x : -1, c.cellX) << int(c.c);
        }
        // A refused load leaves nothing of the font before it.
        const uint8_t shortHeader[11] = {};
        EXPECT_EQ(font.load(shortHeader, sizeof shortHeader), 0);
        EXPECT_FALSE(font.isLoaded());
        EXPECT_EQ(font.charAdvance(u'A'), 0);
        EXPECT_EQ(font.getLineHeight(), 0);
    }
}

// Twice the records and text cost at most 2.3 times the counted lookups, and
// each character at least one; the first of two overrides of one code wins.
// Codes are base + i % mod.
TEST(BitmapFont, LookupsStayInProportionToTheText)
{
    const struct { bool overrides; int base, mod; } rows[] = {{true, 0x2000, 0}, {false, 0x100, 0x7000}, {false, 0x7C00, 0x7000}, {false, 0x4000, 2}};
    for (const auto& row : rows) {
        uint64_t probes[2] = {};
        for (int k = 0; k < 2; ++k) {
            const int n = 2000 << k;
            FontSpec spec;
            std::u16string text;
            for (int i = 0; i <= n; ++i) {
                const uint16_t code = uint16_t(row.base + i % (row.mod ? row.mod : n));
                if (row.overrides)
                    spec.overrides.push_back({code, 0, int8_t(i % 7 + 1)});
                else
                    spec.glyphs.push_back({code, 0, 0, 1, 1, 0, 0, 2, 0});
                text.insert(text.begin(), char16_t(code));
            }
            const ImageBytes bytes = writeFont(spec);
            BitmapFont font;
            ASSERT_EQ(font.load(bytes.data(), uint32_t(bytes.size())), 1);
            font.measureString(text.data(), int(text.size()), -1, nullptr);
            probes[k] = font.probes();
            EXPECT_GE(probes[k], text.size()) << row.base;
            EXPECT_EQ(font.charAdvance(char16_t(row.base)), row.overrides ? 1 : 2) << row.base;
        }
        EXPECT_LE(probes[1] * 10, probes[0] * 23) << row.base << ": " << probes[0] << " then " << probes[1];
    }
}

TEST(BitmapFont, MeasuresStepsAndStopsWhereTheNextCharacterWouldNotFit)
{
    struct Case {
        const char16_t* text;
        int length, maxWidth, spacing, width, fit;
    } cases[] = {
        {u"", -1, -1, 1, 0, 0},
        {u"A", -1, -1, 1, 3, 1},
        {u"AB", -1, -1, 1, 7, 2},
        {u"A B", -1, -1, 1, 10, 3},
        {u"AZB", -1, -1, 1, 8, 3},  // Z is unknown: one spacing step
        {u"AB12", 2, -1, 1, 7, 2},
        {u"A", -1, 0, 1, 0, 0},
        {u"AB1", -1, 7, 1, 3, 1},   // B's step of 4 exceeds the 3 left
        {u"AB1", -1, 8, 1, 7, 2},
        {u"AB1", -1, 6, -3, 3, 3},  // steps of 0: the advance itself must fit
        {u"ABAB", -1, 2, -3, 0, 0},
        {u"AAAA", -1, INT_MAX, -4, 0, 4},  // steps of -1 leave more room than INT_MAX
    };
    for (const Case& c : cases) {
        BitmapFont font;
        sheetFont(font, 2, int8_t(c.spacing));
        int fit = -1;
        EXPECT_EQ(font.measureString(c.text, c.length, c.maxWidth, &fit), c.width) << c.maxWidth;
        EXPECT_EQ(fit, c.fit) << c.maxWidth;
    }
}

TEST(BitmapFont, GlyphsAreCutAtTheLimitsAndClippedToTheImage)
{
    // Cells of A and B lie at x 1 and 5, y 1; the image is 33 × 7.
    GlyphSheet sheet = makeGlyphSheet(u"AB");
    sheet.font.glyphs[1].x = 31;          // B's cell hangs over the right edge
    sheet.font.glyphs[0].yOffset = -2;    // A sits 2 above the pen
    const ImageBytes bytes = writeFont(sheet.font);
    BitmapFont font;
    ASSERT_EQ(font.load(bytes.data(), uint32_t(bytes.size())), 1);

    struct Case {
        int maxWidth, maxHeight, imageWidth;
        std::vector<BlitPiece> expected;
    } cases[] = {
        {-1, -1, 100, {{10, 18, 1, 1, 3, 5}, {17, 20, 31, 1, 3, 5}}},
        {-1, -1, 33, {{10, 18, 1, 1, 3, 5}, {17, 20, 31, 1, 2, 5}}},
        {8, 4, 100, {{10, 18, 1, 1, 3, 5}, {17, 20, 31, 1, 1, 4}}},  // A's height limit is 4 + 2
        {5, -1, 100, {{10, 18, 1, 1, 3, 5}, {17, 20, 31, 1, 0, 5}}},  // still submitted
        {INT_MAX, INT_MAX, 100, {{10, 18, 1, 1, 3, 5}, {17, 20, 31, 1, 3, 5}}},
    };
    for (const Case& c : cases) {
        std::vector<BlitPiece> placed;
        const int n = font.placeGlyphs(
            u"A B", -1, 10, 20, c.maxWidth, c.maxHeight, c.imageWidth, 7,
            [](void* context, const BlitPiece& g) { static_cast<std::vector<BlitPiece>*>(context)->push_back(g); },
            &placed);
        ASSERT_EQ(n, 2);
        for (size_t i = 0; i < placed.size(); ++i) {
            const BlitPiece& a = placed[i];
            const BlitPiece& e = c.expected[i];
            EXPECT_EQ(std::vector<int32_t>({a.x, a.y, a.srcX, a.srcY, a.width, a.height}),
                      std::vector<int32_t>({e.x, e.y, e.srcX, e.srcY, e.width, e.height}))
                << c.maxWidth << " " << i;
        }
    }
}

TEST(BitmapFont, LaidOutTextDrawsItsGlyphCellsAtTheirPens)
{
    constexpr int kW = 48, kH = 30;
    DrawScene scene(kW, kH);
    const std::u16string alphabet = u"AB12.?\u00E9\u9F8D";
    const GlyphSheet sheet = makeGlyphSheet(alphabet);
    MemorySurface glyphs;
    ASSERT_TRUE(makeImage(glyphs, sheet.picture.width, sheet.picture.height, [&](int x, int y) {
        return 0xFF000000u | sheet.picture.palette[sheet.picture.indices[size_t(y) * sheet.picture.width + x]];
    }));
    const ImageBytes bytes = writeFont(sheet.font);
    BitmapFont font;
    font.setImage(&glyphs);
    ASSERT_EQ(font.load(bytes.data(), uint32_t(bytes.size())), 1);

    const std::u16string text = u"AB 12 \u9F8D\n\n\u00E9.?";
    TextLayout layout;
    layout.font = &font;
    layout.text = text.c_str();
    layout.width = 24;
    ASSERT_EQ(layout.layout(), 0);
    ASSERT_EQ(layout.lineCount(), 4);  // "AB 12", "\u9F8D", blank, "\u00E9.?"
    std::memset(const_cast<uint32_t*>(scene.pixels()), 0, size_t(kW) * kH * 4);
    for (int i = 0; i < layout.lineCount(); ++i)
        font.drawString(layout.lineText(i), int(layout.lineLength(i)), 2, 1 + i * font.getLineHeight(), -1, -1);
    font.drawString(u"BA", -1, 30, 15, 5, 3);  // cut to 5 wide (B whole, A's first column), 3 high
    font.drawString(u"AA", -1, 40000, 0, -1, -1);  // wraps far off the target, without overflow
    font.drawString(u"AA", -1, INT32_MAX - 2, 1000, -1, -1);  // the pen wraps past the top of the range

    // The reference paints the alphabet's own rows: 3 x 5 cells whose pens
    // step by the advance 3 plus the spacing 1, a space moving 2 + 1.
    std::vector<uint32_t> expected(size_t(kW) * kH, 0xFF000000u);
    auto paint = [&](const std::u16string& line, int x, int y, int maxW, int maxH) {
        for (char16_t c : line) {
            if (c == u' ') {
                x += 3;
                continue;
            }
            const uint8_t* rows = sheetGlyphRows(c);
            for (int gy = 0; gy < 5 && (maxH < 0 || gy < maxH); ++gy) {
                for (int gx = 0; gx < 3 && (maxW < 0 || gx < maxW); ++gx) {
                    const bool ink = (rows[gy] >> (2 - gx)) & 1;
                    expected[size_t(y + gy) * kW + x + gx] = 0xFF000000u | sheet.picture.palette[ink];
                }
            }
            maxW = maxW < 0 ? maxW : maxW - 4;
            x += 4;
        }
    };
    paint(u"AB 12", 2, 1, -1, -1);
    paint(u"\u9F8D", 2, 8, -1, -1);
    paint(u"\u00E9.?", 2, 22, -1, -1);
    paint(u"BA", 30, 15, 5, 3);

    std::vector<uint32_t> actual(scene.pixels(), scene.pixels() + size_t(kW) * kH);
    for (uint32_t& p : actual)
        p |= 0xFF000000u;
    EXPECT_EQ(actual, expected);
    EXPECT_TRUE(matchesGolden("gfx2d/font/BitmapFont_text.png", actual.data(), kW, kH));
}

} // namespace
