// The pack scaling table: every relation a pack can hold, alone and with
// every other, at N and 2N, through the game's open, preload and layout.
// Each relation's cells in two tests, the relation alone in the first, so
// each stays quick.
#include "tools/pack/PackScaling.h"

#include <gtest/gtest.h>

#include <algorithm>

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

} // namespace
