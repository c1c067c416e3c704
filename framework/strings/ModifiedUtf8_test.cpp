#include "framework/strings/ModifiedUtf8.h"

#include <gtest/gtest.h>

#include <vector>

TEST(ModifiedUtf8, EveryUtf16UnitRoundTrips)
{
    for (uint32_t u = 0; u <= 0xFFFF; ++u) {
        const char16_t unit = char16_t(u);
        uint8_t bytes[8] = {};
        const uint32_t size = utf16ToUtf8(&unit, 1, bytes, sizeof bytes);
        ASSERT_EQ(size, utf8SizeOfUtf16(&unit, 1)) << u;
        ASSERT_EQ(size, u >= 1 && u <= 0x7F ? 1u : u <= 0x7FF ? 2u : 3u) << u;
        ASSERT_NE(bytes[0], 0) << u; // no zero byte, even for U+0000
        ASSERT_EQ(utf16LengthOfUtf8(bytes, size), 1u) << u;
        char16_t back[2] = {0xFFFF, 0xFFFF};
        ASSERT_EQ(utf8ToUtf16(bytes, size, back, 2), 1u) << u;
        ASSERT_EQ(back[0], unit) << u;
        ASSERT_EQ(back[1], 0) << u;
    }
}

TEST(ModifiedUtf8, KnownEncodings)
{
    const struct {
        std::vector<char16_t> units;
        std::vector<uint8_t> bytes;
    } cases[] = {
        {{0x0000}, {0xC0, 0x80}},
        {{0x0041}, {0x41}},
        {{0x00E9}, {0xC3, 0xA9}},
        {{0x07FF}, {0xDF, 0xBF}},
        {{0x0800}, {0xE0, 0xA0, 0x80}},
        {{0xD83D, 0xDE00}, {0xED, 0xA0, 0xBD, 0xED, 0xB8, 0x80}}, // a surrogate pair, unit by unit
    };
    for (const auto& c : cases) {
        std::vector<uint8_t> out(c.bytes.size() + 3);
        EXPECT_EQ(utf16ToUtf8(c.units.data(), uint32_t(c.units.size()), out.data(), uint32_t(out.size())),
                  c.bytes.size());
        out.resize(c.bytes.size());
        EXPECT_EQ(out, c.bytes);
        EXPECT_EQ(utf8SizeWithPrefix(c.units.data(), uint32_t(c.units.size())), c.bytes.size() + 2);
        std::vector<char16_t> back(c.units.size() + 1);
        EXPECT_EQ(utf8ToUtf16(c.bytes.data(), uint32_t(c.bytes.size()), back.data(), uint32_t(back.size())),
                  c.units.size());
        back.pop_back();
        EXPECT_EQ(back, c.units);
    }
}

TEST(ModifiedUtf8, BadSequencesEmptyTheOutput)
{
    const struct {
        std::vector<uint8_t> bytes;
        uint32_t decodedBefore;
    } cases[] = {
        {{0xC3}, 0},                   // input ends inside a sequence
        {{0x41, 0xE0, 0xA0}, 1},
        {{0x41, 0x42, 0xC3, 0x41}, 2}, // continuation byte missing
        {{0x80}, 0},                   // stray continuation
        {{0xF0, 0x9F, 0x98, 0x80}, 0}, // no four-byte forms
        {{0x41, 0xFF}, 1},
    };
    for (const auto& c : cases) {
        char16_t out[8] = {0x1234, 0x1234};
        EXPECT_EQ(utf8ToUtf16(c.bytes.data(), uint32_t(c.bytes.size()), out, 8), c.decodedBefore);
        EXPECT_EQ(out[0], 0);
        EXPECT_EQ(utf16LengthOfUtf8(c.bytes.data(), uint32_t(c.bytes.size())), 0u);
    }
}

TEST(ModifiedUtf8, OutputsStayWithinTheirCapacity)
{
    const uint8_t abc[] = {'a', 'b', 'c'};
    char16_t out[4] = {9, 9, 9, 9};
    // Room for two units and the terminator: the count says what was stored.
    EXPECT_EQ(utf8ToUtf16(abc, 3, out, 3), 2u);
    EXPECT_EQ(out[0], u'a');
    EXPECT_EQ(out[1], u'b');
    EXPECT_EQ(out[2], 0);
    EXPECT_EQ(out[3], 9);
    EXPECT_EQ(utf8ToUtf16(abc, 3, out, 1), 0u);
    EXPECT_EQ(out[0], 0);
    EXPECT_EQ(utf8ToUtf16(nullptr, 3, out, 4), 0u);
    EXPECT_EQ(utf8ToUtf16(abc, 0, out, 4), 0u);

    const char16_t text[] = {0x800, 0x800, 0x800};
    uint8_t bytes[7];
    std::fill(std::begin(bytes), std::end(bytes), uint8_t(0xAA));
    // Encodes while fewer than capacity - 3 bytes are written: one unit here.
    EXPECT_EQ(utf16ToUtf8(text, 3, bytes, 6), 9u);
    EXPECT_EQ(bytes[3], 0xAA);
    EXPECT_EQ(utf16ToUtf8(text, 3, bytes, 2), 0u);
}

// ASCII texts of every length up to a few words, into exactly the units they
// need plus the terminator, and into one unit less: the text comes whole, or
// loses just its last unit, and nothing past the capacity is touched.
TEST(ModifiedUtf8, AllAsciiTextDecodesWholeAtItsExactCapacity)
{
    const char ascii[] = "Pennyfall 0123456789 ~!@#$%^&*()_+{}|:<>?";
    const uint32_t guard = 0xBEEF;
    for (uint32_t length = 1; length < sizeof ascii; ++length) {
        const auto* bytes = reinterpret_cast<const uint8_t*>(ascii);
        for (uint32_t capacity : {length + 1, length}) {
            std::vector<char16_t> out(capacity + 1, char16_t(guard));
            const uint32_t stored = capacity - 1;
            ASSERT_EQ(utf8ToUtf16(bytes, length, out.data(), capacity), stored) << length << " in " << capacity;
            for (uint32_t i = 0; i < stored; ++i)
                ASSERT_EQ(out[i], char16_t(ascii[i])) << length << " in " << capacity << " at " << i;
            EXPECT_EQ(out[stored], 0) << length << " in " << capacity;
            EXPECT_EQ(out[capacity], guard) << length << " in " << capacity;
        }
        EXPECT_EQ(utf16LengthOfUtf8(bytes, length), length);
    }
}

TEST(ModifiedUtf8, NarrowCopiesAlwaysTerminate)
{
    char narrow[4];
    EXPECT_EQ(wideToNarrow(narrow, sizeof narrow, u"abcdef"), 3u);
    EXPECT_STREQ(narrow, "abc");
    EXPECT_EQ(wideToNarrow(narrow, sizeof narrow, u"\u00e9\u20ac"), 2u);
    EXPECT_STREQ(narrow, "\xE9?");
    char16_t wide[3];
    EXPECT_EQ(narrowToWide(wide, 3, "x\xE9yz"), 2u);
    EXPECT_EQ(wide[0], u'x');
    EXPECT_EQ(wide[1], u'\u00e9');
    EXPECT_EQ(wide[2], 0);
}
