// The pack scaling table: every relation a pack can hold, alone and with
// every other, at N and 2N, through the game's open, preload and layout.
// Each relation's cells in two tests, the relation alone in the first, so
// each stays quick.
#include "tools/pack/PackScaling.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "framework/util/LoadLedger.h"
#include "gfx2d/display/Surface.h"
#include "gfx2d/image/PixelFormat.h"
#include "tools/pack/ResourceWriters.h"

namespace {

class PackPairs : public testing::TestWithParam<int> {};

TEST_P(PackPairs, WorkAtTwiceThePackStaysWithinTwiceAndABit)
{
    const std::vector<PackCell> cells = packCells(GetParam() / 2);
    const size_t half = (cells.size() + 1) / 2;
    const bool second = GetParam() % 2 != 0;
    for (size_t i = second ? half : 0; i < (second ? cells.size() : half); ++i) {
        const PackCell& cell = cells[i];
        const PackRun atN = runScalingPack(writeScalingPack(cell.at(1)));
        const PackRun at2N = runScalingPack(writeScalingPack(cell.at(2)));
        for (const std::string& fault : packFaults(cell, atN, at2N))
            ADD_FAILURE() << fault;
    }
}

INSTANTIATE_TEST_SUITE_P(EveryRelation, PackPairs, testing::Range(0, 2 * int(PackRelation::Count)),
                         [](const testing::TestParamInfo<int>& info) {
                             std::string name = packRelations()[size_t(info.param / 2)].name;
                             std::replace(name.begin(), name.end(), '-', '_');
                             return name + (info.param % 2 != 0 ? "_pairs2" : "_pairs1");
                         });

// Descriptions that each make three large sources and let them go, keeping
// one shared picture, hold little: the list stops once its loads have made
// its budget, a load past it at most.
TEST(PackLists, AListMakesNoMoreThanItsBudgetHoweverLittleItKeeps)
{
    constexpr uint32_t kSources = 0x03002000, kTops = 0x03003000, kList = 0x05000001;
    PackWriter pack;
    std::vector<uint32_t> tops;
    for (uint32_t s = 0; s < 4; ++s) {
        Bytes d;
        for (uint32_t w : {SurfaceKey::Width, 2048u, SurfaceKey::Height, 2048u, SurfaceKey::Format0,
                           uint32_t(PixelFormat::X8R8G8B8)})
            putU32(d, w);
        pack.add(kSources + s, ResourceType::MemorySurface, d);
    }
    for (uint32_t t = 0; t < 8; ++t) {
        Bytes d;
        for (uint32_t s = 0; s < 4; ++s)
            putU32(d, SurfaceKey::Source), putU32(d, kSources + s);
        pack.add(kTops + t, ResourceType::MemorySurface, d);
        tops.push_back(kTops + t);
    }
    pack.add(ResourceIds::ResourceTableEntry, ResourceType::Data, encodeResourceTable({}), true);
    pack.add(kList, ResourceType::IdList, encodeIdList(tops));
    Bytes bytes;
    ASSERT_TRUE(pack.build(PackIndexForm::Sorted, bytes));
    const PackRun run = runScalingPack(bytes);
    EXPECT_TRUE(run.opened);
    EXPECT_FALSE(run.preloaded);
    EXPECT_LE(run.work[PackCounter::MadeBytes], 2 * kMaxBytesPerPack + kMaxBytesPerLoad);
    EXPECT_LT(run.work[PackCounter::HeldBytes], kMaxBytesPerLoad);
}

} // namespace
