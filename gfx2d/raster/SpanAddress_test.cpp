// The span address space: null stays null, every access is bounded by its
// mapping, stores by a mapping spans may write, and blocks longer than their
// regions reach are refused.
#include "gfx2d/raster/SpanAddress.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>


namespace {

TEST(SpanAddressSpace, TranslationsStayInsideTheirRegions)
{
    auto space = std::make_unique<SpanAddressSpace>();
    uint8_t block[100];
    const uint8_t table[8] = {};
    EXPECT_EQ(space->map(0, block, sizeof block, SpanAccess::ReadWrite), 0);  // region 0 keeps 0 a null pointer
    EXPECT_EQ(space->map(256, block, sizeof block, SpanAccess::ReadWrite), 0);
    EXPECT_EQ(space->map(7, block, kSpanRegionLimit + 1, SpanAccess::ReadWrite), 0);
    EXPECT_EQ(space->map(250, block, sizeof block, SpanAccess::ReadWrite, 7), 0);
    ASSERT_EQ(space->map(7, block, sizeof block, SpanAccess::ReadWrite), 1);
    ASSERT_EQ(space->map(9, table, sizeof table, SpanAccess::Read), 1);
    // Past 16 MB a block runs on into the next region (nothing is read there).
    const auto* large = reinterpret_cast<const uint8_t*>(uintptr_t(1) << 40);
    ASSERT_EQ(space->map(16, large, 3 * kSpanRegionLimit - 8, SpanAccess::Read, kSpanBlockRegions), 1);
    struct Case {
        SpanAddress address;
        uint32_t size;
        const uint8_t* load;
        bool stores;
    };
    const Case cases[] = {
        {spanAddress(7, 0), 4, block, true},
        {spanAddress(7, 96), 4, block + 96, true},
        {spanAddress(7, 97), 4, nullptr, false},
        {spanAddress(7, 100), 0, block + 100, true},
        {spanAddress(7, 100), 1, nullptr, false},
        {spanAddress(7, 0), 101, nullptr, false},
        {spanAddress(7, kSpanOffsetMask), 0xFFFFFFFF, nullptr, false},  // cannot wrap around
        {spanAddress(8, 0), 1, nullptr, false},
        {spanAddress(9, 4), 4, table + 4, false},
        {spanAddress(9, 5), 4, nullptr, false},
        {spanAddress(16, kSpanOffsetMask - 1), 4, large + kSpanOffsetMask - 1, false},
        {spanAddress(17, 5), 8, large + kSpanRegionLimit + 5, false},
        {spanAddress(18, kSpanOffsetMask - 8), 1, large + 3 * kSpanRegionLimit - 9, false},
        {spanAddress(18, kSpanOffsetMask - 8), 2, nullptr, false},
        {spanAddress(19, 0), 1, nullptr, false},
        {0, 1, nullptr, false},
        {0xFFFFFFFF, 1, nullptr, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(space->translate(c.address, c.size), c.load) << std::hex << c.address << " " << c.size;
        EXPECT_EQ(space->writable(c.address, c.size) != nullptr, c.stores) << std::hex << c.address << " " << c.size;
    }
    EXPECT_EQ(spanRegionOf(spanAddress(7, 5)), 7u);
    EXPECT_EQ(spanOffsetOf(spanAddress(7, 5)), 5u);
    space->unmap(7);
    EXPECT_EQ(space->translate(spanAddress(7, 0), 1), nullptr);
    EXPECT_EQ(space->regionSize(7), 0u);
    space->unmap(16, kSpanBlockRegions);
    EXPECT_EQ(space->regionSize(17), 0u);
}

}  // namespace
