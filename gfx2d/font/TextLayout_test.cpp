// Line breaking on fixed texts with the writer's sheet font (advance 3,
// spacing 1, space 2): newlines, blank lines, spaces, cut words, and blank
// lines that start past index 255.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <utility>
#include <vector>

#include "gfx2d/font/BitmapFont.h"
#include "gfx2d/font/TextLayout.h"
#include "tools/font/FontWriter.h"

namespace {

using Lines = std::vector<std::pair<uint32_t, uint32_t>>;

Lines linesOf(TextLayout& layout, FontBase* font, const std::u16string& text, int width)
{
    layout.font = font;
    layout.text = text.c_str();
    layout.width = width;
    EXPECT_EQ(layout.layout(), 0);
    Lines lines;
    for (int i = 0; i < layout.lineCount(); ++i) {
        lines.emplace_back(layout.lineStart(i), layout.lineLength(i));
        EXPECT_EQ(layout.lineText(i), text.c_str() + layout.lineStart(i));
    }
    return lines;
}

TEST(TextLayout, BreaksAtNewlinesThenSpacesThenTheWidth)
{
    const ImageBytes bytes = writeFont(makeGlyphSheet(u"ABCDEF").font);
    BitmapFont font;
    ASSERT_EQ(font.load(bytes.data(), uint32_t(bytes.size())), 1);
    const std::u16string longLine = std::u16string(299, u'A') + u"\n\nB";
    struct Case {
        std::u16string text;
        int width;
        Lines lines;
    } cases[] = {
        {u"AB\nCD", 100, {{0, 2}, {3, 2}}},
        {u"AB\n\nCD", 100, {{0, 2}, {4, 0}, {4, 2}}},
        {u"AB\n\n", 100, {{0, 2}}},
        {u"\nAB", 100, {{1, 0}, {1, 2}}},
        {u"A", 2, {}},
        {u"ABCDEF", 11, {{0, 2}, {2, 2}, {4, 2}}},
        {u"AB CD EF", 20, {{0, 5}, {6, 2}}},
        {u"AB  CD", 11, {{0, 3}, {4, 2}}},
        // The backward scan for a space stops short of the line's start, so
        // a line that begins with a space is cut at the width instead.
        {u"AB   CDEF", 11, {{0, 3}, {4, 3}, {7, 2}}},
        {u"AB CD\nEF", 100, {{0, 5}, {6, 2}}},
        {u"AB", 0, {}},
        {longLine, 20000, {{0, 299}, {301, 0}, {301, 1}}},
    };
    TextLayout layout;
    EXPECT_EQ(layout.m_typeId, 0xF166A300u);
    for (const Case& c : cases) {
        EXPECT_EQ(linesOf(layout, &font, c.text, c.width), c.lines) << c.width;
        EXPECT_EQ(layout.lineStart(layout.lineCount()), 0u);
        EXPECT_EQ(layout.lineText(-1), c.text.c_str());
    }
    layout.text = nullptr;
    EXPECT_EQ(layout.layout(), 0);
    EXPECT_EQ(layout.lineCount(), 0);
    EXPECT_EQ(layout.lineText(0), nullptr);
}

// The font as a layout that measures the whole rest of the text for every
// line sees it: the lines the breaking rules give.
class WholeRest : public FontBase {
public:
    explicit WholeRest(const BitmapFont& font) : m_font(font) {}
    int getLineHeight() const override { return m_font.getLineHeight(); }
    int getLineGap() const override { return m_font.getLineGap(); }
    int measureString(const char16_t* text, int, int maxWidth, int* fit) const override
    {
        return m_font.measureString(text, -1, maxWidth, fit);
    }
    int charAdvance(char16_t c) const override { return m_font.charAdvance(c); }
    void drawString(const char16_t*, int, int, int, int, int) override {}

private:
    const BitmapFont& m_font;
};

// Fonts of any advances and spacing a file can give (zero and negative
// ones too) and texts long enough that a line measures more than once.
TEST(TextLayout, LinesFollowTheRulesWithAnyFont)
{
    std::mt19937 random(66);
    const auto pick = [&](int low, int high) { return std::uniform_int_distribution<int>(low, high)(random); };
    for (int round = 0; round < 200; ++round) {
        // Half the texts have no newline, so lines run long.
        const std::u16string units = round % 2 ? u"AB#~| \n" : u"AB#~| ";
        FontSpec spec;
        spec.spacing = int8_t(pick(-2, 2));
        for (char16_t c : {u'A', u'B', u'#'})
            spec.glyphs.push_back({c, 0, 0, 1, 1, 0, 0, int8_t(pick(-2, 4)), 0});
        spec.overrides = {{u' ', 0, int8_t(pick(0, 3))}, {u'|', 0, 0}};
        const ImageBytes bytes = writeFont(spec);
        BitmapFont font;
        ASSERT_EQ(font.load(bytes.data(), uint32_t(bytes.size())), 1);
        WholeRest rules(font);
        std::u16string text(size_t(pick(0, 400)), u'A');
        for (char16_t& c : text)
            c = units[size_t(pick(0, int(units.size()) - 1))];
        TextLayout layout, reference;
        const int width = pick(1, 12);
        EXPECT_EQ(linesOf(layout, &font, text, width), linesOf(reference, &rules, text, width)) << "round " << round;
    }
}

} // namespace
