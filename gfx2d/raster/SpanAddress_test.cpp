// The span address space: null stays null, every access is bounded by its
// region, and blocks a 24-bit offset cannot cover are refused.
#include "gfx2d/raster/SpanAddress.h"

#include <gtest/gtest.h>

#include <memory>


namespace {

TEST(SpanAddressSpace, TranslationsStayInsideTheirRegions)
{
    auto space = std::make_unique<SpanAddressSpace>();
    uint8_t block[100];
    EXPECT_EQ(space->map(0, block, sizeof block), 0);  // region 0 keeps 0 a null pointer
    EXPECT_EQ(space->map(256, block, sizeof block), 0);
    EXPECT_EQ(space->map(7, block, kSpanRegionLimit + 1), 0);
    ASSERT_EQ(space->map(7, block, sizeof block), 1);
    struct Case {
        SpanAddress address;
        uint32_t size;
        const uint8_t* want;
    };
    const Case cases[] = {
        {spanAddress(7, 0), 4, block},
        {spanAddress(7, 96), 4, block + 96},
        {spanAddress(7, 97), 4, nullptr},
        {spanAddress(7, 100), 0, block + 100},
        {spanAddress(7, 100), 1, nullptr},
        {spanAddress(7, 0), 101, nullptr},
        {spanAddress(7, kSpanOffsetMask), 0xFFFFFFFF, nullptr},  // cannot wrap around
        {spanAddress(8, 0), 1, nullptr},
        {0, 1, nullptr},
        {0xFFFFFFFF, 1, nullptr},
    };
    for (const Case& c : cases)
        EXPECT_EQ(space->translate(c.address, c.size), c.want) << std::hex << c.address << " " << c.size;
    EXPECT_EQ(spanRegionOf(spanAddress(7, 5)), 7u);
    EXPECT_EQ(spanOffsetOf(spanAddress(7, 5)), 5u);
    space->unmap(7);
    EXPECT_EQ(space->translate(spanAddress(7, 0), 1), nullptr);
    EXPECT_EQ(space->regionSize(7), 0u);
}

}  // namespace
