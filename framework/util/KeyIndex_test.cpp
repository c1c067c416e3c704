#include "framework/util/KeyIndex.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// Keys a file could choose: multiples of a power of two, which a hash of the
// key alone, or one masked to the table, would pile into a few slots. Each
// index places them by a seed of its own, so two indexes differ in where,
// and neither takes more than a few probes a key.
TEST(KeyIndex, PlacesChosenKeysByItsOwnSeed)
{
    for (const uint32_t stride : {1u << 12, 1u << 16, 0x10001u}) {
        KeyIndex<uint32_t> first, second;
        for (uint32_t i = 0; i < 4096; ++i) {
            ASSERT_NE(first.claim(i * stride, i), nullptr);
            ASSERT_NE(second.claim(i * stride, i), nullptr);
        }
        for (uint32_t i = 0; i < 4096; ++i)
            ASSERT_EQ(*first.find(i * stride), i) << stride;
        EXPECT_LT(first.probes(), 4096u * 8) << stride;
        std::vector<uint32_t> orders[2];
        first.forEach([&](uint32_t key, uint32_t) { orders[0].push_back(key); });
        second.forEach([&](uint32_t key, uint32_t) { orders[1].push_back(key); });
        EXPECT_NE(orders[0], orders[1]) << stride;
    }
}

} // namespace
