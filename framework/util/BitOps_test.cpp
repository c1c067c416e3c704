#include "framework/util/BitOps.h"
#include "framework/util/ColourUtils.h"

#include <gtest/gtest.h>

namespace {

TEST(BitOps, LeadingZerosAndTopBits)
{
    struct Case {
        int32_t v;
        int zeros;
    };
    for (const Case& c : {Case{0, 32}, Case{1, 31}, Case{0x40000000, 1}, Case{0x7FFFFFFF, 1},
                          Case{0xFFFF, 16}, Case{-1, 0}, Case{INT32_MIN, 0}})
        EXPECT_EQ(clz(c.v), c.zeros) << c.v;

    EXPECT_EQ(isBit30Top(0x40000000u), 1);
    EXPECT_EQ(isBit30Top(0x7FFFFFFFu), 1);
    EXPECT_EQ(isBit30Top(0xC0000000u), 0);
    EXPECT_EQ(isBit30Top(0x03000102u), 0);
    EXPECT_EQ(signBit(0x80000000u), 1);
    EXPECT_EQ(signBit(0x7FFFFFFFu), 0);
}

TEST(ColourUtils, ChannelsClampToBytes)
{
    struct Case {
        int32_t channel;
        uint8_t byte;
    };
    for (const Case& c : {Case{0, 0}, Case{0x80FF, 0x80}, Case{0xFFFF, 255}, Case{0x10000, 255},
                          Case{-1, 0}, Case{-0x10000, 0}, Case{INT32_MAX, 255}})
        EXPECT_EQ(channelToByte(c.channel), c.byte) << c.channel;
    EXPECT_EQ(alphaOf1555(0x8000), 255);
    EXPECT_EQ(alphaOf1555(0x7FFF), 0);
}

} // namespace
