// Memory input streams and the typed readers: sticky errors, zero-fill on a
// short read, both byte orders, length-prefixed modified UTF-8.
#include "framework/streams/MemoryInputStream.h"

#include <gtest/gtest.h>

namespace {

TEST(MemoryInputStream, TypedReadersInBothByteOrders)
{
    const uint8_t bytes[] = {0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC, 0xDE, 0xF0, 0x80, 0xFF, 0xFE};
    struct Case {
        uint8_t swap;
        uint16_t u16;
        uint32_t u32;
        uint64_t u64;
    };
    const Case cases[] = {
        {0, 0x3412, 0x78563412, 0xF0DEBC9A78563412ull},
        {1, 0x1234, 0x12345678, 0x123456789ABCDEF0ull},
    };
    for (const Case& c : cases) {
        MemoryInputStream stream(c.swap);
        ASSERT_EQ(stream.open(bytes, sizeof bytes), 1);
        EXPECT_EQ(stream.readU16(), c.u16);
        ASSERT_EQ(stream.open(bytes, sizeof bytes), 1);
        EXPECT_EQ(stream.readU32(), c.u32);
        ASSERT_EQ(stream.open(bytes, sizeof bytes), 1);
        EXPECT_EQ(stream.readU64(), c.u64);
        EXPECT_EQ(stream.readS8(), -128);
        EXPECT_EQ(stream.readS16(), c.swap ? int16_t(0xFFFE) : int16_t(0xFEFF));
        EXPECT_FALSE(stream.hasError());
        EXPECT_EQ(stream.available(), 0u);
    }
}

TEST(MemoryInputStream, ShortReadZeroFillsAndErrorIsSticky)
{
    const uint8_t bytes[] = {1, 2, 3};
    MemoryInputStream stream;
    ASSERT_EQ(stream.open(bytes, 3), 1);
    EXPECT_EQ(stream.readU32(), 0u);
    EXPECT_TRUE(stream.hasError());
    EXPECT_EQ(stream.readU8(), 0);
    EXPECT_EQ(stream.available(), 0u);
    uint8_t buffer[2] = {7, 7};
    stream.read(buffer, 2);
    EXPECT_EQ(buffer[0], 0);
    EXPECT_EQ(buffer[1], 0);
    stream.skip(0);
    EXPECT_TRUE(stream.hasError());
    ASSERT_EQ(stream.open(bytes, 3), 1);  // a new open clears it
    stream.skip(4);
    EXPECT_TRUE(stream.hasError());
}

TEST(MemoryInputStream, OpenRules)
{
    MemoryInputStream stream;
    EXPECT_EQ(stream.open(nullptr, 0), 1);
    EXPECT_FALSE(stream.hasError());
    EXPECT_EQ(stream.available(), 0u);
    EXPECT_EQ(stream.open(nullptr, 4), 0);
    EXPECT_TRUE(stream.hasError());
}

TEST(MemoryInputStream, Utf8WithLengthIgnoresSwapFlag)
{
    const uint8_t bytes[] = {0x00, 0x03, 'a', 'b', 'c', 0x00, 0x02, 0xC3, 0xA9, 0x00, 0x09, 'x'};
    for (uint8_t swap : {0, 1}) {
        MemoryInputStream stream(swap);
        ASSERT_EQ(stream.open(bytes, sizeof bytes), 1);
        char16_t out[8];
        EXPECT_EQ(stream.readUtf8WithLength(out, 8), 3u);
        EXPECT_EQ(std::u16string(out), u"abc");
        EXPECT_EQ(stream.position(), 5u);
        EXPECT_EQ(stream.swapBytes(), swap);
        EXPECT_EQ(stream.readUtf8WithLength(out, 8), 1u);
        EXPECT_EQ(out[0], 0x00E9);
        // A count past the end fails and leaves an empty text.
        EXPECT_EQ(stream.readUtf8WithLength(out, 8), 0u);
        EXPECT_EQ(out[0], 0);
        EXPECT_TRUE(stream.hasError());
    }
}

} // namespace
