// The span-state fuzz target's seeds and committed findings, replayed under
// the sanitizers: after each, the drawing context draws a clean image and
// clean vertex runs exactly as before, so nothing a program stored outlives
// its draw to steer the host, and memory spans only read is as it was.
#include <filesystem>
#include <fstream>
#include <iterator>

#include <gtest/gtest.h>

#include "gfx2d/drawcontext/testing/SpanStateFuzz.h"

TEST(SpanStateCorpus, EveryStoreIntoTheRecordLeavesTheNextDrawsAsTheyWere)
{
    SpanStateScene scene;
    ASSERT_TRUE(scene.tableOpen);
    ASSERT_NE(scene.madePicture, std::vector<uint32_t>(scene.kWidth * scene.kHeight, 0xFF102030u));

    auto seeds = makeSpanStateSeeds();
    for (const auto& file : std::filesystem::directory_iterator(PF_SPAN_STATE_CORPUS)) {
        std::ifstream in(file.path(), std::ios::binary);
        seeds.emplace_back(file.path().filename().string(),
                           std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {}));
    }
    ASSERT_GT(seeds.size(), 491u);
    for (const auto& [name, bytes] : seeds) {
        scene.run(bytes.data(), bytes.size());
        EXPECT_TRUE(scene.readOnlyIntact()) << name;
        EXPECT_TRUE(scene.drawsAsAtFirst()) << name;
    }
}
