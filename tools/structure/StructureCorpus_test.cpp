// Replays the structure fuzz corpus in every run: each input's scene loads,
// copies and takes its clips, and its archive loads or is refused, as its
// plan says.
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
        const StructurePlan plan = decodeStructure(input.data(), input.size());
        EXPECT_TRUE(structureOutcomeHolds(plan, runStructure(engine.api(), folder.path(), plan))) << file.path();
        ++replayed;
    }
    EXPECT_EQ(replayed, int(structureSeeds().size()));
}

} // namespace
