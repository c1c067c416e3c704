#include "framework/util/BinarySearch.h"

#include <gtest/gtest.h>

#include <climits>

namespace {

TEST(BinarySearch, FindsIndexOrMinusOne)
{
    const int32_t values[] = {1, 3, 7, 9};
    struct Case {
        int32_t value;
        int index;
    };
    for (const Case& c : {Case{7, 2}, Case{4, -1}, Case{1, 0}, Case{9, 3}, Case{0, -1}, Case{10, -1}})
        EXPECT_EQ(binarySearch(values, 4, c.value), c.index) << c.value;

    const int32_t extremes[] = {INT_MIN, -1, 0, INT_MAX};
    EXPECT_EQ(binarySearch(extremes, 4, INT_MIN), 0);
    EXPECT_EQ(binarySearch(extremes, 4, INT_MAX), 3);
    EXPECT_EQ(binarySearch(extremes, 4, -1), 1);
}

TEST(BinarySearch, RejectsNullArrayAndEmptyCount)
{
    const int32_t values[] = {5};
    EXPECT_EQ(binarySearch(nullptr, 4, 5), -1);
    EXPECT_EQ(binarySearch(values, 0, 5), -1);
    EXPECT_EQ(binarySearch(values, -3, 5), -1);
    EXPECT_EQ(binarySearch(values, 1, 5), 0);
}

} // namespace
