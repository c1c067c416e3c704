// The font reader's fuzz run and its seeds.
#include "tools/font/FontFuzzInput.h"

#include <algorithm>

#include "gfx2d/font/BitmapFont.h"
#include "gfx2d/font/TextLayout.h"
#include "tools/font/FontWriter.h"

namespace {

constexpr char16_t kText[] = u"AB 12\n\nLONG WORDS WRAP\u00E9\u9F8D\uFFFF";

void countPlaced(void* context, const BlitPiece& g)
{
    // Placed rectangles stay inside the 16 × 8 image handed over.
    if (g.width > 0 && g.height > 0 && g.srcX >= 0 && g.srcY >= 0 && g.srcX + g.width <= 16 && g.srcY + g.height <= 8)
        ++*static_cast<int*>(context);
}

FontSpec seedFont(int8_t format)
{
    FontSpec font = makeGlyphSheet(u"AB12LONGWRDSP.\u00E9\u9F8D").font;
    font.format = format;
    font.overrides.push_back({0xFFFF, 0, 5});
    return font;
}

void setS16(ImageBytes& bytes, size_t at, int v)
{
    bytes[at] = uint8_t(v);
    bytes[at + 1] = uint8_t(v >> 8);
}

} // namespace

FontFuzzOutcome readFontFuzzInput(const uint8_t* data, size_t size)
{
    FontFuzzOutcome outcome;
    BitmapFont font;
    outcome.loaded = font.load(data, uint32_t(std::min<size_t>(size, 0xFFFFFFFFu)));
    outcome.glyphs = font.glyphCount();
    outcome.overrides = font.overrideCount();
    // Files sort their records, so every stored code must be found (hostile
    // files may not be sorted; the lookup must still stay inside).
    for (int i = 0; i < font.glyphCount(); ++i) {
        const char16_t code = char16_t(font.glyphs()[i].code);
        const GlyphRecord* g = font.findGlyph(code);
        outcome.found += g != nullptr && g->code == int16_t(code);
    }
    int fit = 0;
    font.measureString(kText, -1, 30, &fit);
    font.measureString(kText, 5, -1, nullptr);
    int placed = 0;
    font.placeGlyphs(kText, -1, -3, 2, 40, 6, 16, 8, countPlaced, &placed);
    TextLayout layout;
    layout.font = &font;
    layout.text = kText;
    layout.width = 20;
    layout.layout();
    outcome.lines = layout.lineCount();
    return outcome;
}

std::vector<std::pair<std::string, ImageBytes>> makeFontSeeds()
{
    std::vector<std::pair<std::string, ImageBytes>> seeds;
    const ImageBytes text = writeFont(seedFont(2));
    seeds.emplace_back("ok-text-codes", text);
    seeds.emplace_back("ok-record-codes", writeFont(seedFont(0)));
    FontSpec empty;
    seeds.emplace_back("ok-header-only", writeFont(empty));
    FontSpec negative = seedFont(0);
    negative.glyphs[0].x = -40;
    negative.glyphs[1].width = 100;
    negative.spacing = -3;
    seeds.emplace_back("ok-cells-outside-image", writeFont(negative));

    seeds.emplace_back("bad-empty", ImageBytes{});
    seeds.emplace_back("bad-short-header", ImageBytes(text.begin(), text.begin() + 11));
    seeds.emplace_back("bad-truncated-records", ImageBytes(text.begin(), text.end() - 1));
    ImageBytes manyGlyphs = text;
    setS16(manyGlyphs, 8, 0x7FFF);
    seeds.emplace_back("bad-glyph-count", manyGlyphs);
    ImageBytes manyOverrides = writeFont(seedFont(0));
    setS16(manyOverrides, 10, 40);
    seeds.emplace_back("bad-override-count", manyOverrides);
    // The code block names fewer characters than there are records.
    FontSpec shortCodes = seedFont(2);
    ImageBytes shortBlock = writeFont(shortCodes);
    setS16(shortBlock, 8, int(shortCodes.glyphs.size()) + 1);
    shortBlock.insert(shortBlock.end(), 10, 0);
    seeds.emplace_back("bad-code-block-short", shortBlock);
    ImageBytes badUtf8 = text;
    badUtf8[14] = 0xFF;
    seeds.emplace_back("bad-code-block-utf8", badUtf8);
    // Whole codes, then a bad byte the decoder meets only when the override
    // section needs the larger code buffer.
    FontSpec trailing;
    trailing.glyphs.push_back({u'A', 1, 1, 3, 5, 0, 0, 3, 0});
    trailing.overrides = {{u' ', 0, 2}, {u'-', 0, 2}, {u'.', 0, 2}};
    ImageBytes trailingBad = writeFont(trailing);
    trailingBad.insert(trailingBad.begin() + 15, 0xFF);
    trailingBad[13] = 2;
    seeds.emplace_back("bad-code-block-trailing-utf8", trailingBad);
    return seeds;
}
