#include "framework/util/KeyIndex.h"

#include <gtest/gtest.h>

#include <functional>
#include <vector>

namespace {

// Keys a file could choose: multiples of a power of two, which a hash of the
// key alone or one masked to the table would pile into a few slots, and keys
// that the index's mix, were the seed left out of its first step, sends to
// one slot whatever the rest. Each index places them by a seed of its own,
// in a few probes a key.
TEST(KeyIndex, PlacesChosenKeysByItsOwnSeed)
{
    constexpr uint64_t kMix = 0x9E3779B97F4A7C15ull;
    uint64_t inverse = kMix; // Newton's steps to the mix's inverse
    for (int i = 0; i < 5; ++i)
        inverse *= 2 - kMix * inverse;
    const std::function<uint64_t(uint64_t)> rows[] = {
        [](uint64_t i) { return i << 12; },
        [](uint64_t i) { return i << 16; },
        [](uint64_t i) { return i * 0x10001; },
        [&](uint64_t i) {
            // Mixed values alike in their low 45 bits, before the shift
            // and the seeded multiply that take no more than those.
            const uint64_t mixed = 0x123456789ABull + (i << 45);
            return (mixed ^ mixed >> 29 ^ mixed >> 58) * inverse;
        },
    };
    for (const auto& key : rows) {
        const size_t row = size_t(&key - rows);
        KeyIndex<uint32_t, uint64_t> indexes[2];
        std::vector<uint64_t> orders[2];
        for (int k = 0; k < 2; ++k) {
            for (uint32_t i = 0; i < 4096; ++i)
                ASSERT_EQ(*indexes[k].claim(key(i), i), i);
            EXPECT_LT(indexes[k].probes(), 4096u * 8) << row;
            indexes[k].forEach([&](uint64_t at, uint32_t) { orders[k].push_back(at); });
        }
        EXPECT_NE(orders[0], orders[1]) << row;
    }
}

} // namespace
