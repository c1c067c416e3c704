#include "framework/util/KeyIndex.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// Keys a file could choose: multiples of a power of two, which a hash of the
// key alone or one masked to the table would pile into a few slots, and keys
// whose mix, were the seed left out of its first step, agrees in the low 45
// bits that the rest of the mix reads for a table this size. Each index
// places them by a seed of its own, in a few probes a key.
TEST(KeyIndex, PlacesChosenKeysByItsOwnSeed)
{
    constexpr uint64_t kMix = 0x9E3779B97F4A7C15ull;
    uint64_t inverse = kMix; // Newton's steps to the mix's inverse
    for (int i = 0; i < 5; ++i)
        inverse *= 2 - kMix * inverse;
    const auto unmixed = [&](uint64_t h) { return (h ^ h >> 29 ^ h >> 58) * inverse; };
    for (const uint64_t stride : {1ull << 12, 1ull << 16, 0x10001ull, 0ull}) {
        KeyIndex<uint32_t, uint64_t> indexes[2];
        std::vector<uint64_t> orders[2];
        for (int k = 0; k < 2; ++k) {
            for (uint32_t i = 0; i < 4096; ++i)
                ASSERT_EQ(*indexes[k].claim(stride ? i * stride : unmixed(uint64_t(i) << 45), i), i);
            EXPECT_LT(indexes[k].probes(), 4096u * 8) << stride;
            indexes[k].forEach([&](uint64_t key, uint32_t) { orders[k].push_back(key); });
        }
        EXPECT_NE(orders[0], orders[1]) << stride;
    }
}

} // namespace
