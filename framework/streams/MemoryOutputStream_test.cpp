// Memory output streams: typed writers, capacity, and modified UTF-8 writers
// that write whole units only with an exact length prefix.
#include "framework/streams/MemoryOutputStream.h"

#include <gtest/gtest.h>

#include <vector>

#include "framework/streams/MemoryInputStream.h"

namespace {

using Bytes = std::vector<uint8_t>;

TEST(MemoryOutputStream, TypedWritersInBothByteOrders)
{
    for (uint8_t swap : {0, 1}) {
        uint8_t buffer[14] = {};
        MemoryOutputStream out(swap);
        ASSERT_EQ(out.open(buffer, sizeof buffer), 1);
        EXPECT_EQ(out.writeU16(0x1234), 2u);
        EXPECT_EQ(out.writeU32(0x89ABCDEF), 4u);
        EXPECT_EQ(out.writeS64(-2), 8u);
        MemoryInputStream in(swap);
        in.open(buffer, sizeof buffer);
        EXPECT_EQ(buffer[0], swap ? 0x12 : 0x34);
        EXPECT_EQ(in.readU16(), 0x1234);
        EXPECT_EQ(in.readU32(), 0x89ABCDEFu);
        EXPECT_EQ(in.readS64(), -2);
        EXPECT_FALSE(out.hasError());
    }
}

TEST(MemoryOutputStream, WriteBeyondCapacityStoresWhatFits)
{
    uint8_t buffer[4] = {};
    MemoryOutputStream out;
    out.open(buffer, 4);
    const uint8_t six[] = {1, 2, 3, 4, 5, 6};
    EXPECT_EQ(out.write(six, 6), 4u);
    EXPECT_TRUE(out.hasError());
    EXPECT_EQ(out.position(), 4u);
    EXPECT_EQ(Bytes(buffer, buffer + 4), (Bytes{1, 2, 3, 4}));
}

TEST(MemoryOutputStream, Utf8WritersKeepWholeUnitsAndAnExactPrefix)
{
    // "a", U+00E9 (2 bytes), U+20AC (3 bytes), U+0000 (2 bytes)
    const char16_t text[] = {u'a', 0x00E9, 0x20AC, 0x0000};
    const char16_t withNul[] = {u'a', 0x0000, u'b', 0};
    struct Case {
        const char* name;
        uint32_t capacity;
        bool prefixed;
        const char16_t* units;
        uint32_t count;
        Bytes expected;
        bool error;
    };
    const Case cases[] = {
        {"everything fits", 8, true, text, 3, {0, 6, 'a', 0xC3, 0xA9, 0xE2, 0x82, 0xAC}, false},
        {"three-byte unit cut whole", 7, true, text, 3, {0, 3, 'a', 0xC3, 0xA9}, true},
        {"no room for the prefix", 1, true, text, 3, {}, true},
        {"nul as two bytes", 8, true, withNul, 3, {0, 4, 'a', 0xC0, 0x80, 'b'}, false},
        {"plain fits", 6, false, text, 0, {'a', 0xC3, 0xA9, 0xE2, 0x82, 0xAC}, false},
        {"plain cut whole", 5, false, text, 0, {'a', 0xC3, 0xA9}, true},
        {"plain short room", 2, false, text, 0, {'a'}, true},
    };
    for (const Case& c : cases) {
        Bytes buffer(c.capacity, 0xEE);
        MemoryOutputStream out;
        out.open(buffer.data(), c.capacity);
        if (c.prefixed)
            out.writeUtf8WithLength(c.units, c.count);
        else
            out.writeUtf8(c.capacity, c.units);
        EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + out.position()), c.expected) << c.name;
        EXPECT_EQ(out.hasError() != 0, c.error) << c.name;
        if (c.prefixed && out.position() >= 2) {
            MemoryInputStream in;
            in.open(buffer.data(), out.position());
            char16_t back[8];
            in.readUtf8WithLength(back, 8);
            EXPECT_FALSE(in.hasError()) << c.name;
            EXPECT_EQ(in.available(), 0u) << c.name;
        }
    }
}

} // namespace
