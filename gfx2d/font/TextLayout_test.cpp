// Line breaking on fixed texts with the writer's sheet font (advance 3,
// spacing 1, space 2): newlines, blank lines, spaces, cut words, and blank
// lines that start past index 255.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "gfx2d/font/BitmapFont.h"
#include "gfx2d/font/TextLayout.h"
#include "tools/font/FontWriter.h"

namespace {

using Lines = std::vector<std::pair<uint32_t, uint32_t>>;

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
    layout.font = &font;
    for (const Case& c : cases) {
        layout.text = c.text.c_str();
        layout.width = c.width;
        ASSERT_EQ(layout.layout(), 0);
        Lines lines;
        for (int i = 0; i < layout.lineCount(); ++i) {
            lines.emplace_back(layout.lineStart(i), layout.lineLength(i));
            EXPECT_EQ(layout.lineText(i), c.text.c_str() + layout.lineStart(i));
        }
        EXPECT_EQ(lines, c.lines) << c.width;
        EXPECT_EQ(layout.lineStart(layout.lineCount()), 0u);
        EXPECT_EQ(layout.lineText(-1), c.text.c_str());
    }
    layout.text = nullptr;
    EXPECT_EQ(layout.layout(), 0);
    EXPECT_EQ(layout.lineCount(), 0);
    EXPECT_EQ(layout.lineText(0), nullptr);
}

} // namespace
