// Replays the structure fuzz corpus in every run: each input's scene loads,
// copies and takes its clips, and its archive loads or is refused, as its
// spec says.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "engine/core/io/IoTestKit.h"
#include "engine/scene/SceneFuzzInput.h"
#include "tools/structure/StructureInput.h"

namespace {

TEST(StructureCorpus, EverySeedEndsAsItsSpecSays)
{
    SceneEngine engine;
    ASSERT_TRUE(engine.ready());
    ScratchFolder folder;
    int replayed = 0;
    for (const auto& file : std::filesystem::directory_iterator(PF_STRUCTURE_CORPUS)) {
        std::ifstream in(file.path(), std::ios::binary);
        const std::vector<uint8_t> input((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        const StructureSpec spec = decodeStructure(input.data(), input.size());
        EXPECT_TRUE(structureOutcomeHolds(spec, runStructure(engine.api(), folder.path(), spec))) << file.path();
        ++replayed;
    }
    EXPECT_EQ(replayed, int(structureSeeds().size()));
}

} // namespace
