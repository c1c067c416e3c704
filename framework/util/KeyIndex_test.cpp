// Key index against a plain map over random claims and erasures, with keys
// from a narrow range so that runs of occupied slots form and break.
#include "framework/util/KeyIndex.h"

#include <gtest/gtest.h>

#include <map>
#include <random>

TEST(KeyIndex, AnswersAsAMapOverRandomClaimsAndErasures)
{
    std::mt19937 random(61);
    for (const uint32_t range : {40u, 3000u}) {
        KeyIndex<int32_t> index;
        std::map<uint32_t, int32_t> reference;
        for (int32_t step = 0; step < 40000; ++step) {
            const uint32_t key = random() % range * 1024;
            if (random() % 3 != 0) {
                ASSERT_NE(index.claim(key, step), nullptr);
                reference.emplace(key, step);  // the first claim wins in both
            } else {
                EXPECT_EQ(index.erase(key), static_cast<int>(reference.erase(key)));
            }
            const uint32_t probe = random() % range * 1024;
            const int32_t* found = index.find(probe);
            const auto expected = reference.find(probe);
            ASSERT_EQ(found != nullptr, expected != reference.end()) << step;
            if (found) {
                ASSERT_EQ(*found, expected->second) << step;
            }
        }
        EXPECT_EQ(index.size(), reference.size());
        uint64_t visited = 0;
        index.forEach([&](uint32_t key, int32_t value) {
            ++visited;
            EXPECT_EQ(reference.at(key), value);
        });
        EXPECT_EQ(visited, reference.size());
    }
}
