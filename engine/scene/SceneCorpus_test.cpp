// Replays the 3D file corpus through the Loader into the real scene classes
// in every run: each input ends with a load outcome, and the mesh seeds load.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "engine/scene/SceneFuzzInput.h"

namespace {

TEST(SceneCorpus, EveryInputEndsWithALoadOutcome)
{
    const char* source = std::getenv("PF_SOURCE_DIR");
    ASSERT_NE(source, nullptr);
    SceneEngine engine;
    ASSERT_TRUE(engine.ready());
    int meshes = 0;
    int animated = 0;
    for (const auto& entry : std::filesystem::directory_iterator(std::filesystem::path(source) / "tools/m3g/corpus")) {
        std::ifstream in(entry.path(), std::ios::binary);
        const std::vector<uint8_t> input((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        const EngineResult result = loadFuzzInput(engine, input);
        EXPECT_TRUE(isLoadOutcome(result)) << entry.path() << " gave " << result;
        if (entry.path().filename() == "mesh-file") {
            EXPECT_EQ(result, 0);
            ++meshes;
        }
        if (entry.path().filename() == "animation-file") {
            EXPECT_EQ(result, 0);
            ++animated;
        }
    }
    EXPECT_EQ(meshes, 1);
    EXPECT_EQ(animated, 1);
}

} // namespace
