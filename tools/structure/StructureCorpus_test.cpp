// Replays the structure fuzz corpus in every run: each input's scene loads,
// copies and takes its clips, and its archive loads or is refused, as its
// plan says.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "engine/core/io/IoTestKit.h"
#include "tools/structure/StructureInput.h"
#include "tools/structure/StructureScaling.h"

namespace {

TEST(StructureCorpus, EverySeedEndsAsItsPlanSays)
{
    CountingEngine engine;
    ASSERT_TRUE(engine.ready());
    ScratchFolder folder;
    int replayed = 0;
    for (const auto& file : std::filesystem::directory_iterator(PF_STRUCTURE_CORPUS)) {
        std::ifstream in(file.path(), std::ios::binary);
        const std::vector<uint8_t> input((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        const StructurePlan plan = decodeStructure(input.data(), input.size());
        const StructureOutcome outcome = runStructure(engine.api(), folder.path(), plan);
        EXPECT_TRUE(structureOutcomeHolds(plan, outcome))
            << file.path() << ": work " << outcome.work << " for " << outcome.inputBytes << " bytes";
        ++replayed;
    }
    EXPECT_EQ(replayed, int(structureSeeds().size()));
}

} // namespace
