#include "lib/fixmath/FixMath.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

TEST(FixMath, SquareRootIsTheIntegerRootShiftedBy8)
{
    const struct {
        int32_t x, root;
    } cases[] = {{0x10000, 0x10000}, {0x40000, 0x20000}, {0x4000, 0x8000}, {0, 0},
                 {-0x10000, 0}, {INT32_MIN, 0}, {1, 0x100}, {3, 0x100}, {0x7FFFFFFF, 46340 << 8}};
    for (const auto& c : cases)
        EXPECT_EQ(fixSqrt(c.x), c.root) << std::hex << c.x;
    // Against floor(sqrt) over a spread of values.
    for (int64_t x = 1; x < INT32_MAX; x = x * 3 + 7)
        EXPECT_EQ(fixSqrt(int32_t(x)), int32_t(std::floor(std::sqrt(double(x)))) << 8) << x;
}

TEST(FixMath, MatrixRecordStartsWithClearedCounters)
{
    Mat2 m;
    EXPECT_EQ(m.dirty, 0);
    EXPECT_EQ(m.operations, 0);
    EXPECT_EQ(m.orthonormaliseLimit, 0);
}

} // namespace
