// Texture store: slot reuse and capacity, texel packing of every format,
// fills, lines, clipped copies and mipmap chains.
#include "gfx2d/raster/TextureStore.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>


namespace {

using namespace PixelFormat;

TEST(TextureStore, SlotsAreReusedLastFirstAndTheTableNeverOverflows)
{
    auto store = std::make_unique<TextureStore>();
    EXPECT_EQ(store->createEntry(2, 2, A8R8G8B8, 0), 0);
    EXPECT_EQ(store->createEntry(2, 2, A8R8G8B8, 0), 1);
    EXPECT_EQ(store->createEntry(2, 2, A8R8G8B8, 0x12345), 2);
    EXPECT_EQ(store->entry(2)->flags, 0x2345u);
    store->freeEntry(0);
    store->freeEntry(1);
    store->freeEntry(-1);
    EXPECT_EQ(store->createEntry(4, 4, L8, 0), 1);
    EXPECT_EQ(store->createEntryStrict(0, 4, L8, 0), -1);
    EXPECT_EQ(store->createEntry(0, 4, L8, 0), 0);  // no memory: it reads as free at once
    EXPECT_TRUE(store->entry(0)->isFree());
    EXPECT_EQ(store->entry(3), nullptr);
    EXPECT_EQ(store->entry(-1), nullptr);

    auto full = std::make_unique<TextureStore>();
    for (int32_t i = 0; i < kTextureStoreCapacity; ++i)
        ASSERT_EQ(full->createEntry(1, 1, L8, 0), i);
    EXPECT_EQ(full->createEntry(1, 1, L8, 0), -1);
    EXPECT_EQ(full->count(), kTextureStoreCapacity);
    full->freeEntry(5);
    EXPECT_EQ(full->createEntry(1, 1, L8, 0), 5);
}

TEST(TextureStore, ReinitialisingRenewsSideArraysAndKeepsEntries)
{
    auto store = std::make_unique<TextureStore>();
    for (int32_t i = 0; i < kTextureSideArrays; ++i)
        ASSERT_NE(store->sideArray(i), nullptr) << i;
    EXPECT_EQ(store->sideArray(kTextureSideArrays), nullptr);
    const uint8_t* last = store->sideArray(kTextureSideArrays - 1);
    EXPECT_TRUE(std::all_of(last, last + kTextureSideArrayBytes, [](uint8_t b) { return b == 0; }));
    EXPECT_EQ(store->finalWord(), 0u);

    const int32_t slot = store->createEntry(2, 2, L8, 0);
    store->setFontAtlas(0, slot);
    store->setFontAtlas(1, slot);
    std::memset(store->sideArray(kTextureSideArrays - 1), 0xAB, kTextureSideArrayBytes);
    ASSERT_TRUE(store->reinitialise());
    EXPECT_EQ(store->fontAtlas(0), -1);
    EXPECT_EQ(store->fontAtlas(1), -1);
    last = store->sideArray(kTextureSideArrays - 1);
    EXPECT_TRUE(std::all_of(last, last + kTextureSideArrayBytes, [](uint8_t b) { return b == 0; }));
    ASSERT_NE(store->entry(slot), nullptr);
    EXPECT_FALSE(store->entry(slot)->isFree());
}

TEST(TextureStore, TexelsRoundTripToEachFormatsPrecision)
{
    struct Case {
        RSBFormat format;
        TexelColour stored;  // what a read gives after writing (0x9C, 0x5A, 0xE7, 0x31)
        uint8_t bytes[16];
    };
    const TexelColour in{0x9C, 0x5A, 0xE7, 0x31};
    const Case cases[] = {
        {A8R8G8B8, {0x9C, 0x5A, 0xE7, 0x31}, {0x31, 0xE7, 0x5A, 0x9C}},
        {X14R6G6B6, {255, 0x58, 0xE4, 0x30}, {0x4C, 0x6E, 0x01, 0x00}},
        {R8G8B8, {255, 0x5A, 0xE7, 0x31}, {0x5A, 0xE7, 0x31}},
        {A4R4G4B4, {0x90, 0x50, 0xE0, 0x30}, {0xE3, 0x95}},
        {R4G4B4, {255, 0x50, 0xE0, 0x30}, {0xE3, 0x95}},
        {R5G6B5, {255, 0x58, 0xE4, 0x30}, {0x26, 0x5F}},
        {A1R5G5B5, {255, 0x58, 0xE0, 0x30}, {0x86, 0xAF}},
        {I8, {0x5A, 0x5A, 0x5A, 0x5A}, {0x5A}},
        {L8, {255, 0x5A, 0x5A, 0x5A}, {0x5A}},
        {A8, {0x9C, 0, 0, 0}, {0x9C}},
        {A8L8, {0x9C, 0x31, 0x31, 0x31}, {0x31, 0x9C}},
        {ArgbFixed, {0x9C, 0x5A, 0xE7, 0x31}, {0, 0x9C, 0, 0, 0, 0x5A, 0, 0, 0, 0xE7, 0, 0, 0, 0x31, 0, 0}},
        {Z32, {255, 0x5A, 0x5A, 0x5A}, {0, 0x5A, 0, 0}},
    };
    for (const Case& c : cases) {
        uint8_t memory[16] = {};
        ASSERT_EQ(writeTexel(memory, c.format, in), 1) << formatName(c.format);
        EXPECT_EQ(0, std::memcmp(memory, c.bytes, bytesPerPixel(c.format))) << formatName(c.format);
        TexelColour out{-1, -1, -1, -1};
        ASSERT_EQ(readTexel(memory, c.format, out), 1);
        EXPECT_EQ(out.a, c.stored.a) << formatName(c.format);
        EXPECT_EQ(out.r, c.stored.r) << formatName(c.format);
        EXPECT_EQ(out.g, c.stored.g) << formatName(c.format);
        EXPECT_EQ(out.b, c.stored.b) << formatName(c.format);
    }
    uint8_t memory[4] = {1, 2, 3, 4};
    TexelColour untouched{7, 7, 7, 7};
    EXPECT_EQ(readTexel(memory, X8R8G8B8, untouched), 0);
    EXPECT_EQ(untouched.a, 7);
    EXPECT_EQ(writeTexel(memory, P8A8R8G8B8, in), 0);
    EXPECT_EQ(memory[0], 1);
    // A1 alpha is all or nothing.
    TexelColour half{0x7F, 0, 0, 0};
    writeTexel(memory, A1R5G5B5, half);
    readTexel(memory, A1R5G5B5, half);
    EXPECT_EQ(half.a, 0);
}

// The texels of an L8 entry as a string of '.' (0) and '#' (anything else).
std::string picture(const TextureStore& s, int32_t slot)
{
    const TextureEntry* e = s.entry(slot);
    std::string out;
    for (uint32_t y = 0; y < e->height; ++y) {
        for (uint32_t x = 0; x < e->width; ++x)
            out += e->levels[0][y * e->width + x] ? '#' : '.';
        out += '/';
    }
    return out;
}

TEST(TextureStore, FillsLinesAndCopiesStayInsideTheirEntries)
{
    auto s = std::make_unique<TextureStore>();
    const int32_t a = s->createEntry(5, 3, L8, 0);
    s->fillRect(a, 4, 2, 1, 0, 255, 9, 9, 9);  // corners in reverse
    EXPECT_EQ(picture(*s, a), ".###./.###./...../");
    s->fillRect(a, 0, 0, 0, 3, 255, 9, 9, 9);
    s->fillRect(a, -10, -10, 100, 1, 255, 300, 0, 0);
    EXPECT_EQ(picture(*s, a), "#####/.###./...../");
    EXPECT_EQ(s->entry(a)->levels[0][0], 255);  // channels clamp to 255

    const int32_t line = s->createEntry(5, 3, L8, 0);
    s->drawLine(line, 0, 0, 3, 1, 255, 1, 1, 1);
    EXPECT_EQ(picture(*s, line), "##.../..##./...../");
    s->drawLine(line, 2, -3, 2, 7, 255, 1, 1, 1);  // only the texels inside
    EXPECT_EQ(picture(*s, line), "###../..##./..#../");
    const int32_t far = s->createEntry(5, 3, L8, 0);  // lines from far outside, one across the int range
    s->drawLine(far, -7, -2, 9, 3, 255, 1, 1, 1);
    s->drawLine(far, 2, INT32_MAX, 2, INT32_MIN, 255, 1, 1, 1);
    EXPECT_EQ(picture(*s, far), "#.#../.####/..#../");

    // Overhanging rectangles are cut to both entries, with format conversion.
    const int32_t src = s->createEntry(4, 4, A8R8G8B8, 0);
    for (int32_t y = 0; y < 4; ++y)
        for (int32_t x = 0; x < 4; ++x)
            s->writeTexel(src, x, y, {255, 10 * x + y + 1, 0, 0});
    const int32_t dst = s->createEntry(3, 3, L8, 0);
    s->copyRect(dst, src, -1, 1, -1, 10, 1, -1);
    const uint8_t* d = s->entry(dst)->levels[0];
    // Source (x, y) lands on (x + 2, y - 2): only source column 0 of rows
    // 2-3 falls inside both entries.
    const uint8_t want[9] = {0, 0, 3, 0, 0, 4, 0, 0, 0};
    EXPECT_EQ(0, std::memcmp(d, want, 9));
    s->copyRect(dst, src, 0, 0, 0, 4, 0, 0);  // zero columns copy nothing
    s->copyRect(dst, 99, 0, 0, 1, 1, 0, 0);   // a missing slot copies nothing
    EXPECT_EQ(d[0], 0);
    s->copyRect(src, src, 0, 0, 3, 3, 1, 1);  // onto itself: each texel as it was before
    TexelColour c{};
    EXPECT_TRUE(s->readTexel(src, 3, 3, c) && c.r == 23);
}

TEST(TextureStore, MipmapChainsHoldEveryLevelAveraged)
{
    auto s = std::make_unique<TextureStore>();
    const int32_t slot = s->createEntry(8, 2, A8R8G8B8, 0);
    for (int32_t y = 0; y < 2; ++y)
        for (int32_t x = 0; x < 8; ++x)
            s->writeTexel(slot, x, y, {255, 16 * x, 100 * y, x * y});
    s->buildMipmaps(slot);
    const TextureEntry* e = s->entry(slot);
    ASSERT_EQ(e->miptype, kMiptypeChain);
    ASSERT_EQ(e->levelCount, 3);
    // Levels of 4 x 1, 2 x 1 and 1 x 1 follow one another, each at least a word.
    EXPECT_EQ(e->levels[1] - e->levels[0], 64);
    EXPECT_EQ(e->levels[2] - e->levels[1], 16);
    EXPECT_EQ(e->levels[3] - e->levels[2], 8);
    EXPECT_EQ(e->bytes, 64u + 16 + 8 + 4);
    auto texel = [&](int level, int x) {
        TexelColour c;
        readTexel(e->levels[level] + 4 * x, A8R8G8B8, c);
        return c;
    };
    // Reference: level 1 texel x averages columns 2x, 2x+1 of both rows.
    for (int x = 0; x < 4; ++x) {
        const TexelColour c = texel(1, x);
        EXPECT_EQ(c.r, (16 * 2 * x + 16 * (2 * x + 1)) * 2 / 4);
        EXPECT_EQ(c.g, 200 / 4);
        EXPECT_EQ(c.b, (2 * x + 2 * x + 1) / 4);
    }
    // One texel high: two-texel horizontal averages.
    EXPECT_EQ(texel(2, 0).r, (texel(1, 0).r + texel(1, 1).r) >> 1);
    EXPECT_EQ(texel(3, 0).r, (texel(2, 0).r + texel(2, 1).r) >> 1);

    s->dropMipmaps(slot);
    EXPECT_EQ(e->miptype, kMiptypeSingle);
    EXPECT_EQ(e->bytes, 64u);
    TexelColour c;
    s->readTexel(slot, 7, 1, c);
    EXPECT_EQ(c.r, 112);
    EXPECT_EQ(c.b, 7);

    // A 1024-texel side would need eleven levels; the chain stops at ten.
    const int32_t big = s->createEntry(1024, 2, L8, 0);
    s->buildMipmaps(big);
    EXPECT_EQ(s->entry(big)->levelCount, kTextureLevelCount - 1);

    // Every other stored row is kept when rows are compacted.
    const int32_t rows = s->createEntry(2, 4, L8, 0);
    for (int32_t y = 0; y < 4; ++y)
        s->fillRect(rows, 0, y, 2, y + 1, 255, y + 1, 0, 0);
    s->interleaveRows(rows);
    s->compactRows(rows);
    const uint8_t* p = s->entry(rows)->levels[0];
    EXPECT_EQ(p[0], 1);
    EXPECT_EQ(p[2], 3);
    EXPECT_EQ(p[4], 0);  // its stored row 4 lies beyond the block
}

}  // namespace
