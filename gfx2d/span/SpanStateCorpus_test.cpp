// The span-state fuzz target's seeds and committed findings, replayed under
// the sanitizers: after each, a reopened drawing context draws a clean image
// and clean vertex runs exactly as before, so nothing a program stored
// outlives its draw to steer the host.
#include <filesystem>
#include <fstream>
#include <iterator>

#include <gtest/gtest.h>

#include "gfx2d/drawcontext/testing/SpanStateFuzz.h"
#include "tools/span/SpanPrograms.h"

TEST(SpanStateCorpus, EveryStoreIntoTheRecordLeavesTheNextDrawsAsTheyWere)
{
    SpanStateScene scene;
    ASSERT_TRUE(scene.tableOpen);
    const std::vector<uint8_t> clean = spanStateInput(1 | 2 << 2 | 3 << 4, {}, {});
    const std::vector<int16_t> shapes = {2, 3, 30, 1, 38, 25, 6, 28, 10, 10, 20, 20};
    auto picture = [&] {
        // The 2D matrix stack is the context's own, kept in the record where
        // spans can write it: a new context starts it afresh.
        scene.dc.endDraw();
        scene.dc.close(0, 0);
        scene.dc.open(0, 0);
        scene.dc.beginDraw();
        std::fill_n(const_cast<uint32_t*>(scene.pixels()), scene.kWidth * scene.kHeight, 0xFF102030u);
        scene.run(clean.data(), clean.size());
        scene.drawArrays(shapes);
        return std::vector<uint32_t>(scene.pixels(), scene.pixels() + scene.kWidth * scene.kHeight);
    };
    const std::vector<uint32_t> expected = picture();
    ASSERT_NE(expected, std::vector<uint32_t>(scene.kWidth * scene.kHeight, 0xFF102030u));

    auto seeds = makeSpanStateSeeds();
    for (const auto& file : std::filesystem::directory_iterator(PF_SPAN_STATE_CORPUS)) {
        std::ifstream in(file.path(), std::ios::binary);
        seeds.emplace_back(file.path().filename().string(),
                           std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {}));
    }
    ASSERT_GT(seeds.size(), 362u);
    for (const auto& [name, bytes] : seeds) {
        scene.run(bytes.data(), bytes.size());
        EXPECT_TRUE(scene.readOnlyIntact()) << name;
        EXPECT_TRUE(picture() == expected) << name;
    }
}
