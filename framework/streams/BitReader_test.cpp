// Bit reader: bit order, wrapping and bounded draws.
#include "framework/streams/BitReader.h"

#include <gtest/gtest.h>

namespace {

TEST(BitReader, TakesLowBitsFirstAndPutsEarlierSlicesHigher)
{
    const uint8_t bytes[] = {0xB4, 0x0F};  // 1011 0100, 0000 1111
    BitReader reader;
    ASSERT_EQ(reader.load(bytes, 2, 4), 1);
    EXPECT_EQ(reader.next(), 0x4u);
    EXPECT_EQ(reader.next(), 0xBu);
    EXPECT_EQ(reader.next(), 0xFu);
    EXPECT_EQ(reader.next(), 0x0u);
    EXPECT_EQ(reader.next(), 0x4u);  // wrapped
    reader.load(bytes, 2, 6);
    reader.seek(6);
    // bits 6-7 of byte 0 (10b) above bits 0-3 of byte 1 (1111b)
    EXPECT_EQ(reader.next(), 0x2Fu);
    EXPECT_EQ(reader.load(bytes, 2, 17), 0);
}

TEST(BitReader, NextBelowStaysBelowAndNeverHangs)
{
    const uint8_t ones[] = {0xFF, 0xFF};
    BitReader reader;
    reader.load(ones, 2, 4);
    EXPECT_LT(reader.nextBelow(10), 10u);  // every draw is 15, in the top group
    EXPECT_EQ(reader.nextBelow(0), 0u);
    EXPECT_LT(reader.nextBelow(100), 100u);
    const uint8_t mixed[] = {0x21, 0x43};
    reader.load(mixed, 2, 4);
    EXPECT_EQ(reader.nextBelow(3), 1u);  // 1 % 3
}

} // namespace
