// Replays the 3D file corpus through the Loader interface in every run: each
// input must end with a load outcome, and the whole-file seeds must load.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "engine/core/loader/LoaderFuzzInput.h"

namespace {

TEST(LoaderCorpus, EveryInputEndsWithALoadOutcome)
{
    const char* source = std::getenv("PF_SOURCE_DIR");
    ASSERT_NE(source, nullptr);
    InterfaceEngine engine;
    ASSERT_TRUE(engine.ready());
    int replayed = 0;
    for (const auto& entry : std::filesystem::directory_iterator(std::filesystem::path(source) / "tools/m3g/corpus")) {
        std::ifstream in(entry.path(), std::ios::binary);
        const std::vector<uint8_t> input((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        const EngineResult result = loadFuzzInput(engine, input);
        EXPECT_TRUE(isLoadOutcome(result)) << entry.path() << " gave " << result;
        ++replayed;
    }
    EXPECT_GT(replayed, 10);
    const std::vector<uint8_t> png = pngBytes(4, 4, PNG_COLOR_TYPE_RGB, 3);
    EXPECT_EQ(loadFuzzInput(engine, png), 0);
}

} // namespace
