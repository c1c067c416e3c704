#include "gfx2d/raster/FixedPoint.h"

#include <gtest/gtest.h>

namespace {

TEST(FixedPoint, ProductsShiftSixtyFourBitIntermediatesArithmetically)
{
    const struct {
        int32_t got, expected;
    } cases[] = {
        {fixMul(0x30000, 0x28000), 0x78000},
        {fixMul(-0x10000, 0x8000), -0x8000},
        {fixMul(-1, 1), -1},  // floors, never rounds towards zero
        {fixMul(0x7FFF0000, 0x20000), int32_t(0xFFFE0000)},  // the low 32 bits of 0xFFFE0000
        {fixMul24(0x1000000, 0x300), 0x300},
        {fixMul30(0x40000000, -7), -7},
        {mulShift(0x40000000, 0x40000000, 40), 0x100000},
        {dot3Shift(0x10000, 2, 0x20000, 3, -0x10000, 4, 16), 4},
        {dot3Shift(0x7FFFFFFF, 0x7FFFFFFF, 0x7FFFFFFF, 0x7FFFFFFF, 0, 0, 33), 0x3FFFFFFF},
    };
    for (size_t i = 0; i < std::size(cases); ++i)
        EXPECT_EQ(cases[i].got, cases[i].expected) << i;

    // Two vectors of four words: component 3 from x, y, z in place.
    int32_t v[8] = {0x10000, 0x20000, 0x30000, 9, -0x10000, 0, 0x8000, 9};
    transformComponent(v, 2, 4, 3, 0x10000, 0x8000, -0x20000);
    EXPECT_EQ(v[3], 0x10000 + 0x10000 - 0x60000);
    EXPECT_EQ(v[7], -0x10000 - 0x10000);
    EXPECT_EQ(v[0], 0x10000);
}

} // namespace
