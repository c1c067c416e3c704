// 16.16 fixed-point functions. Products are formed in 64 bits and truncated to
// 32 after their shift, as the device's long multiplies did; magnitudes are
// taken unsigned so that INT32_MIN cannot overflow.
#include "engine/core/math/FixedMath.h"

#include <cstdlib>

namespace {

constexpr std::array<int32_t, 513> makeReciprocalTable()
{
    std::array<int32_t, 513> table{};
    table[0] = 0x7FFFFFFF;
    for (int32_t i = 1; i <= 512; ++i)
        table[i] = (int32_t{1} << 30) / i;
    return table;
}

uint32_t magnitude(int32_t x) { return x < 0 ? 0u - static_cast<uint32_t>(x) : static_cast<uint32_t>(x); }
int32_t negate(int32_t x) { return static_cast<int32_t>(0u - static_cast<uint32_t>(x)); }

int32_t saturate32(int64_t v)
{
    if (v > INT32_MAX)
        return INT32_MAX;
    if (v < INT32_MIN)
        return INT32_MIN;
    return static_cast<int32_t>(v);
}

} // namespace

extern const std::array<int32_t, 513> RECIPROCAL_TABLE = makeReciprocalTable();
extern const std::array<int32_t, 4> ATAN_OFFSETS = {0, 34315, 102944, 68629};

int32_t fixedReciprocal(int32_t x, int32_t fractionBits)
{
    // Zero reads the table's 0x7FFFFFFF and takes the same final shift.
    uint32_t a = magnitude(x);
    int32_t f = fractionBits;
    int32_t r;
    if (a <= 512) {
        r = RECIPROCAL_TABLE[a];
    } else {
        // Bring a into 256..511; frac keeps the eight bits below it.
        uint64_t frac = static_cast<uint64_t>(a) << 8;
        while (a >= 4096) {
            a >>= 4;
            f -= 4;
            frac >>= 4;
        }
        while (a >= 512) {
            a >>= 1;
            f -= 1;
            frac >>= 1;
        }
        const int32_t t0 = RECIPROCAL_TABLE[a];
        const int32_t t1 = RECIPROCAL_TABLE[a + 1];
        r = t0 + (((t1 - t0) * static_cast<int32_t>(frac & 255)) >> 8);
    }
    const int32_t d = f - 30;
    if (d < 0)
        r = -d >= 32 ? 0 : r >> -d;
    else if (d > 0)
        r = d >= 32 ? 0 : static_cast<int32_t>(static_cast<uint32_t>(r) << d);
    return x < 0 ? negate(r) : r;
}

Fixed fixedReciprocal32(Fixed x)
{
    return fixedReciprocal(x, 32);
}

Fixed fixedInvSqrt(uint32_t x)
{
    if (x == 0)
        return 0x7FFFFFFF;
    if (x == 1)
        return 0x01000000;
    if (x == 2)
        return 11863283;
    uint32_t n = x;
    int32_t l = 0;
    if (x < 0x8000) {
        n <<= 16;
        l += 16;
    }
    if (n < 0x800000) {
        n <<= 8;
        l += 8;
    }
    if (n < 0x8000000) {
        n <<= 4;
        l += 4;
    }
    if (n < 0x20000000) {
        n <<= 2;
        l += 2;
    }
    const int32_t sh = 22 - l / 2;
    int32_t y;
    if (n < 0x40000000) {
        const uint32_t d = (0xA0000000u - n) >> sh;
        y = static_cast<int32_t>(d + (d >> 1));
    } else {
        y = static_cast<int32_t>((0xA0000000u - (n >> 1)) >> sh);
    }
    const bool large = y >= 6554;
    const int64_t xs = x;
    for (int step = 0; step < 2; ++step) {
        const int32_t t = large ? mulShift16(mulShift16(y, y), xs) : mulShift16(mulShift16(xs, y), y);
        y = mulShift16((0x30000 - static_cast<int64_t>(t)) >> 1, y);
    }
    return y;
}

Fixed fixedSqrt(uint32_t x)
{
    return mulShift16(fixedInvSqrt(x), static_cast<int64_t>(x));
}

void fixedSinCos(Fixed angle, Fixed* sinOut, Fixed* cosOut)
{
    if (angle == 0) {
        *sinOut = 0;
        *cosOut = kFixedOne;
        return;
    }
    if (angle >= kFixedHalfPi) {
        *sinOut = kFixedOne;
        *cosOut = 0;
        return;
    }
    // Start vectors are pre-scaled so the five rotations end at unit length.
    int32_t c, s, a;
    if (angle > 51471) {
        c = 19899, s = 59695, a = 81856;
    } else if (angle > 0) {
        c = 59695, s = 19899, a = 21086;
    } else if (angle > -51471) {
        c = 59696, s = -19899, a = -21086;
    } else {
        c = 19898, s = -59695, a = -81856;
    }
    static constexpr int32_t kSteps[5] = {16054, 8149, 4090, 2047, 1023};
    for (int k = 2; k <= 6; ++k) {
        const int32_t step = kSteps[k - 2];
        const int32_t c0 = c, s0 = s;
        if (angle <= a) {
            c = c0 + (s0 >> k);
            s = s0 - (c0 >> k);
            a -= step;
        } else {
            c = c0 - (s0 >> k);
            s = s0 + (c0 >> k);
            a += step;
        }
    }
    const int64_t r = (static_cast<int64_t>(angle - a) * 16777557) >> 24;
    *sinOut = s + wrap32((r * c) >> 16);
    *cosOut = c - wrap32((r * s) >> 16);
}

namespace {

// |x| reduced into [0, 2 pi].
int32_t reduceAngle(int32_t x)
{
    int64_t a = x < 0 ? -static_cast<int64_t>(x) : x;
    if (a > kFixedTwoPi)
        a -= ((a - (kFixedTwoPi + 1)) / kFixedTwoPi + 1) * kFixedTwoPi;
    return static_cast<int32_t>(a);
}

Fixed sinOf(Fixed a)
{
    Fixed s, c;
    fixedSinCos(a, &s, &c);
    return s;
}

Fixed cosOf(Fixed a)
{
    Fixed s, c;
    fixedSinCos(a, &s, &c);
    return c;
}

} // namespace

Fixed fixedSin(Fixed x)
{
    int32_t a = reduceAngle(x);
    bool negative = x < 0;
    if (a >= kFixedPi) {
        negative = !negative;
        a = kFixedTwoPi - a;
    }
    const Fixed s = sinOf(a < kFixedHalfPi ? a : kFixedPi - a);
    return negative ? -s : s;
}

Fixed fixedCos(Fixed x)
{
    int32_t a = reduceAngle(x);
    if (a >= kFixedPi)
        a = kFixedTwoPi - a;
    if (a >= kFixedHalfPi)
        return -cosOf(kFixedPi - a);
    return cosOf(a);
}

Fixed fixedAtan(Fixed t)
{
    const bool negative = t < 0;
    int64_t a = magnitude(t);
    int32_t k = 0;
    if (a > kFixedOne) {
        a = fixedReciprocal32(saturate32(a));
        k = 2;
    }
    if (a > 17560) {
        // (a sqrt(3) - 1) / (a + sqrt(3)): atan(a) - pi/6
        a = ((((a * 47976) >> 16) + a - kFixedOne) * 65536) / (a + 113512);
        k += 1;
    }
    const int64_t z = (a * a) >> 16;
    int64_t q = z + 984613;
    q = ((q * z) >> 16) + 3904533;
    q = ((q * z) >> 16) + 5646408;
    q = ((q * z) >> 16) + 2691322;
    int64_t p = ((z * -54891) >> 16) - 556703;
    p = ((p * z) >> 16) - 1343871;
    p = ((p * z) >> 16) - 897106;
    p = (p * z) >> 16;
    p = (p * a) >> 16;
    const int64_t quotient = q == 0 ? -1 : (p * 65536) / q;
    int64_t r = a + quotient;
    if (k > 1)
        r = -r;
    r += ATAN_OFFSETS[k];
    return static_cast<Fixed>(negative ? -r : r);
}

Fixed fixedAtan2(Fixed y, Fixed x)
{
    if (x == 0 && y == 0)
        return 0;
    const int64_t ax = magnitude(x);
    const int64_t ay = magnitude(y);
    if (ax * 32768 < ay)
        return y < 0 ? -kFixedHalfPi : kFixedHalfPi;
    if (ay * 32768 < ax) {
        if (x > 0)
            return 0;
        return y < 0 ? -kFixedPi : kFixedPi;
    }
    const Fixed r = fixedAtan(saturate32((static_cast<int64_t>(y) * 65536) / x));
    if (x > 0)
        return r;
    return y < 0 ? r - kFixedPi : r + kFixedPi;
}

Fixed fixedPowInt(Fixed x, int32_t n)
{
    if (n == 0)
        return kFixedOne;
    if (n == 1)
        return x;
    if (n < 0)
        return kFixedOne;
    int32_t result = kFixedOne;
    // b is unsigned so the doubling past bit 30 ends the loop instead of wrapping.
    for (uint32_t b = 1; b <= static_cast<uint32_t>(n); b <<= 1) {
        if ((static_cast<uint32_t>(n) & b) != 0)
            result = mulShift16(result, x);
        x = mulShift16(x, x);
    }
    return result;
}

Fixed fixedPow(Fixed x, Fixed y)
{
    const int32_t n = y >> 16;
    int32_t p;
    if (n == 0)
        p = kFixedOne;
    else if (n == 1)
        p = x;
    else
        p = y >= kFixedOne ? fixedPowInt(x, n) : kFixedOne;
    const int32_t f = y & 0xFFFF;
    if (f == 0)
        return p;
    const int64_t fp = (static_cast<int64_t>(f) * p) >> 16;
    return wrap32(p + (((static_cast<int64_t>(x) - kFixedOne) * fp) >> 16));
}

int64_t fixedDiv64(int64_t a, int64_t b)
{
    if (b == 0 || (a == INT64_MIN && b == -1))
        return INT64_MAX;
    return a / b;
}

int32_t safeDivide(int32_t a, int32_t b)
{
    if (b == 0 || (a == INT32_MIN && b == -1))
        return INT32_MAX;
    return a / b;
}

uint32_t safeDivideUnsigned(uint32_t a, uint32_t b)
{
    return b == 0 ? 0xFFFFFFFFu : a / b;
}
