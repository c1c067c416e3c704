#include "framework/util/KeyIndex.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// Keys a file could choose, multiples of a power of two, which a hash of the
// key alone or one masked to the table would pile into a few slots: each
// index places them by a seed of its own, in a few probes a key.
TEST(KeyIndex, PlacesChosenKeysByItsOwnSeed)
{
    for (const uint32_t stride : {1u << 12, 1u << 16, 0x10001u}) {
        KeyIndex<uint32_t> indexes[2];
        std::vector<uint32_t> orders[2];
        for (int k = 0; k < 2; ++k) {
            for (uint32_t i = 0; i < 4096; ++i)
                ASSERT_EQ(*indexes[k].claim(i * stride, i), i);
            EXPECT_LT(indexes[k].probes(), 4096u * 8) << stride;
            indexes[k].forEach([&](uint32_t key, uint32_t) { orders[k].push_back(key); });
        }
        EXPECT_NE(orders[0], orders[1]) << stride;
    }
}

} // namespace
