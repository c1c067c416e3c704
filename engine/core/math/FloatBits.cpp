// Float checks and conversions at the engine's boundary, done on bit patterns
// so that they give the same answers as the device's software floats.
#include "engine/core/math/FloatBits.h"

#include "engine/core/runtime/Trap.h"

namespace {

constexpr uint32_t kExponentMask = 0x7F800000u;
constexpr uint32_t kLargestFloatBits = 0x7F7FFFFFu;

uint32_t exponentOf(uint32_t bits) { return (bits >> 23) & 0xFF; }

} // namespace

uint32_t checkFloat(uint32_t bits)
{
    const uint32_t exponent = exponentOf(bits);
    if (exponent == 0)
        return 0;
    if (exponent == 0xFF)
        leave(KErrInvalidFloat);
    return bits;
}

float floatExp(float x)
{
    if (x == 0.0f)
        return 1.0f;
    if (x < -88.0f)
        return 0.0f;
    if (x > 88.0f)
        return bitsFloat(kLargestFloatBits);
    const float t = x * bitsFloat(0x3FB8AA3B); // log2(e)
    const int32_t n = saturateToInt(t);
    const float g = (t - static_cast<float>(n)) - 0.5f;
    const float g2 = g * g;
    const float p = ((g2 * bitsFloat(0x4272759C) + bitsFloat(0x46EC9DF2)) * g2 + bitsFloat(0x49FDF403)) * g;
    const float q = ((g2 + bitsFloat(0x44DAA935)) * g2 + bitsFloat(0x48A005A5)) * g2 + bitsFloat(0x4AB73041);
    const float r = ((q + p) * bitsFloat(0x3FB504F3)) / (q - p); // 2^(g + 0.5)
    const int32_t e = static_cast<int32_t>(exponentOf(floatBits(r))) + n;
    if (e < 1)
        return 0.0f;
    if (e < 255)
        return bitsFloat((floatBits(r) & ~kExponentMask) | (static_cast<uint32_t>(e) << 23));
    return bitsFloat(kLargestFloatBits);
}

Fixed floatToFixed(uint32_t bits)
{
    if (bits == 0)
        return 0;
    const int32_t e = static_cast<int32_t>(exponentOf(bits)) - 134;
    const int32_t m = static_cast<int32_t>((bits & 0x7FFFFF) | 0x800000);
    int32_t v;
    if (e >= 8)
        v = 0x7FFFFFFF;
    else if (e >= 0)
        v = m << e;
    else if (e >= -24)
        v = m >> -e;
    else
        v = 0;
    return (bits & 0x80000000u) != 0 ? -v : v;
}

void fixedToFloatBytes(Fixed x, uint8_t* out)
{
    storeWordBytes(floatBits(fixedToFloat(x)), out);
}

float fixedToFloat(Fixed x)
{
    if (x == 0)
        return 0.0f;
    const uint32_t sign = x < 0 ? 0x80000000u : 0;
    // Unsigned magnitude: |INT32_MIN| is 2^31, which the comparisons below
    // handle where bit tests on a signed word would loop.
    uint32_t v = x < 0 ? 0u - static_cast<uint32_t>(x) : static_cast<uint32_t>(x);
    uint32_t e = 134;
    while (v < 0x800000u) {
        v <<= 1;
        --e;
    }
    while (v >= 0x2000000u) {
        v >>= 1;
        ++e;
    }
    while (v >= 0x1000000u) {
        v = (v + 1) >> 1; // rounds the last dropped bit up
        ++e;
    }
    return bitsFloat((v & 0x7FFFFF) | (e << 23) | sign);
}

void storeWordBytes(uint32_t word, uint8_t* out)
{
    out[0] = static_cast<uint8_t>(word);
    out[1] = static_cast<uint8_t>(word >> 8);
    out[2] = static_cast<uint8_t>(word >> 16);
    out[3] = static_cast<uint8_t>(word >> 24);
}

int32_t roundClamp(float x, int32_t low, int32_t high)
{
    // The half is added in float, as the device rounds; NaN counts as 0.
    int32_t r = INT32_MIN;
    if (x < 0.0f && x > -2147483648.0f)
        r = -saturateToInt(-x + 0.5f);
    else if (!(x < 0.0f))
        r = saturateToInt(x + 0.5f);
    if (r <= low)
        return low;
    return r > high ? high : r;
}

namespace {

int32_t channelByte(float c)
{
    return saturateToInt(c * 255.0f + 0.5f);
}

int32_t setChannel(uint32_t* colour, int shift, float c)
{
    const int32_t value = channelByte(c) & 0xFF;
    *colour = (*colour & ~(0xFFu << shift)) | (static_cast<uint32_t>(value) << shift);
    return value;
}

} // namespace

void colorSetRgb(uint32_t* colour, float r, float g, float b)
{
    setChannel(colour, 16, clampFloat(r, 0.0f, 1.0f));
    setChannel(colour, 8, clampFloat(g, 0.0f, 1.0f));
    setChannel(colour, 0, clampFloat(b, 0.0f, 1.0f));
}

int32_t colorSetRed(uint32_t* colour, float c) { return setChannel(colour, 16, c); }
int32_t colorSetGreen(uint32_t* colour, float c) { return setChannel(colour, 8, c); }
int32_t colorSetBlue(uint32_t* colour, float c) { return setChannel(colour, 0, c); }
int32_t colorSetAlpha(uint32_t* colour, float c) { return setChannel(colour, 24, c); }
