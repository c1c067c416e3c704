// 16.16 vectors: conversion rounding, prescale, reduce, normalise, and the
// fixed colour channels.
#include "engine/core/math/CkwFixedVector3D.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

namespace {

TEST(CkwFixedVector3D, ConversionPrescaleAndReduce)
{
    CkwFixedVector3D v;
    CkwFixedVector3D::fromFloat(v, {-1.5f, 1.5f, 1e12f});
    EXPECT_EQ(v.x, -98303);
    EXPECT_EQ(v.y, 98304);
    EXPECT_EQ(v.z, INT32_MAX); // saturated, not undefined

    CkwFixedVector3D p = {0x50000, 0, 0};
    CkwFixedVector3D::prescale(p);
    EXPECT_EQ(p.x, 0x14000);
    CkwFixedVector3D small = {3, -1, 0};
    CkwFixedVector3D::prescale(small);
    EXPECT_EQ(small.x, 0x18000);
    EXPECT_EQ(small.y, -0x8000);
    CkwFixedVector3D none = {0, 0, 0};
    CkwFixedVector3D::prescale(none);
    EXPECT_EQ(none.x, 0);
    // Against the walk one bit at a time, across every magnitude and the
    // edges of the target range.
    for (int32_t bit = 0; bit < 31; ++bit)
        for (const int32_t offset : {-1, 0, 1}) {
            const int32_t x = std::max(1, (1 << bit) + offset);
            CkwFixedVector3D got = {x, -x / 3, 1};
            CkwFixedVector3D walked = got;
            uint32_t m = static_cast<uint32_t>(x) | static_cast<uint32_t>(x / 3) | 1u;
            for (; m > 0x20000u; m >>= 1)
                walked = {walked.x >> 1, walked.y >> 1, walked.z >> 1};
            for (; m < 0x10000u; m <<= 1)
                walked = {walked.x * 2, walked.y * 2, walked.z * 2};
            CkwFixedVector3D::prescale(got);
            EXPECT_TRUE(got.x == walked.x && got.y == walked.y && got.z == walked.z) << x;
        }

    CkwFixedVector3D big = {0x1000000, 0x10, -0x800000};
    EXPECT_EQ(CkwFixedVector3D::reduce(big), 4);
    EXPECT_EQ(big.x, 0x100000);
    CkwFixedVector3D quiet = {0x400000, 0, 0};
    EXPECT_EQ(CkwFixedVector3D::reduce(quiet), 0);

    CkwFixedVector3D s = {-8, 9, INT32_MIN};
    CkwFixedVector3D::shiftRight(s, 40);
    EXPECT_EQ(s.x, -1);
    EXPECT_EQ(s.y, 0);
    EXPECT_EQ(absFixed(INT32_MIN), INT32_MAX);
}

TEST(CkwFixedVector3D, NormalizeGivesUnitLength)
{
    for (int32_t scale : {1, 7, 0x100, 0x10000, 0x123456, 0x7FFFFF}) {
        CkwFixedVector3D v = {3 * scale, -4 * scale, 12 * scale};
        CkwFixedVector3D::normalize(v);
        // Two Newton steps of the 16.16 reciprocal root: about 0.1 percent.
        EXPECT_NEAR(v.x, 3.0 / 13.0 * 65536.0, 100.0) << scale;
        EXPECT_NEAR(v.z, 12.0 / 13.0 * 65536.0, 100.0) << scale;
    }
    CkwFixedVector3D zero = {0, 0, 0};
    CkwFixedVector3D::normalize(zero);
    EXPECT_EQ(zero.x, 0);
}

TEST(CkwFixedVector3D, ArithmeticAndColours)
{
    CkwFixedVector3D a = {0x10000, 0x20000, 0x30000};
    const CkwFixedVector3D b = {0x8000, 0, -0x10000};
    CkwFixedVector3D::add(a, b);
    EXPECT_EQ(a.x, 0x18000);
    CkwFixedVector3D d;
    CkwFixedVector3D::sub(a, d, b);
    EXPECT_EQ(d.z, 0x30000);
    CkwFixedVector3D::scale(d, d, 0x8000);
    EXPECT_EQ(d.y, 0x10000);
    EXPECT_EQ(CkwFixedVector3D::lengthSquared({0x20000, 0, 0}), 0x40000);
    CkwFixedVector3D c;
    CkwFixedVector3D::cross({0x10000, 0, 0}, c, {0, 0x10000, 0});
    EXPECT_EQ(c.z, 0x10000);
}

} // namespace
