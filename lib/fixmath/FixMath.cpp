// Integer square root behind fixSqrt.
#include "lib/fixmath/FixMath.h"

int32_t fixSqrt(int32_t x)
{
    if (x <= 0)
        return 0;
    // Bit-by-bit root of the 32-bit value: sqrt(v / 2^16) * 2^16 = sqrt(v) * 2^8.
    uint32_t v = static_cast<uint32_t>(x), root = 0, bit = 1u << 30;
    while (bit > v)
        bit >>= 2;
    while (bit != 0) {
        if (v >= root + bit) {
            v -= root + bit;
            root = (root >> 1) + bit;
        } else {
            root >>= 1;
        }
        bit >>= 2;
    }
    return static_cast<int32_t>(root << 8);
}
