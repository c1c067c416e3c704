// The scaling table: every relation a file can hold, alone and with every
// other, at N and 2N, through every operation a game does; and each budget
// of a whole input met many times in one file. One test for each relation
// and its pairs, one for each budget, so each stays quick.
#include <gtest/gtest.h>

#include "engine/core/io/IoTestKit.h"
#include "tools/structure/StructureScaling.h"

namespace {

void expectCellHolds(const ScalingCell& cell)
{
    ScratchFolder folder;
    const auto run = [&](const ScalingFile& file) {
        CountingEngine engine;
        EXPECT_TRUE(engine.ready());
        return runScaling(engine.api(), folder.path(), file);
    };
    const ScalingFile small = writeScalingScene(cell.at(1)), large = writeScalingScene(cell.at(2));
    const ScalingRun atN = run(small), at2N = run(large);
    for (const std::string& fault : scalingFaults(cell, small, atN, large, at2N))
        ADD_FAILURE() << fault;
    // An operation a budget refuses at 2N is judged by that refusal there:
    // what it does before it is held one halving down instead.
    bool stopped = false;
    for (int op = 0; op < ScalingOp::Count; ++op)
        stopped = stopped || (atN.result[op] == 0 && at2N.result[op] != 0);
    if (!stopped)
        return;
    ScalingCell half = cell;
    half.name += " (halved)";
    half.shows = ScalingBudget::Count;
    for (uint32_t& n : half.perN)
        n /= 2;
    const ScalingFile quarter = writeScalingScene(half.at(1));
    const bool even = half.at(2) == cell.at(1);
    const ScalingFile middle = even ? small : writeScalingScene(half.at(2));
    for (const std::string& fault : scalingFaults(half, quarter, run(quarter), middle, even ? atN : run(middle)))
        ADD_FAILURE() << fault;
}

std::string testName(const char* name)
{
    std::string out;
    for (const char* c = name; *c != 0; ++c)
        out += *c == '-' || *c == '+' ? '_' : *c;
    return out;
}

// Each relation's cells in two halves, the relation alone in the first.
class StructurePairs : public testing::TestWithParam<int> {};

TEST_P(StructurePairs, WorkAtTwiceTheFileStaysWithinTwiceAndABit)
{
    const std::vector<ScalingCell> cells = scalingCells(GetParam() / 2, false);
    const size_t half = (cells.size() + 1) / 2;
    const bool second = GetParam() % 2 != 0;
    for (size_t i = second ? half : 0; i < (second ? cells.size() : half); ++i)
        expectCellHolds(cells[i]);
}

INSTANTIATE_TEST_SUITE_P(EveryRelation, StructurePairs, testing::Range(0, 2 * int(Relation::Count)),
                         [](const testing::TestParamInfo<int>& info) {
                             return testName(scalingRelations()[size_t(info.param / 2)].name)
                                 + (info.param % 2 != 0 ? "_pairs2" : "_pairs1");
                         });

class StructureBudgets : public testing::TestWithParam<size_t> {};

TEST_P(StructureBudgets, ManyItemsAtTheirLimitStayWithinTheWholeInputsBudget)
{
    expectCellHolds(scalingBudgetCells(false)[GetParam()]);
}

INSTANTIATE_TEST_SUITE_P(EveryBudget, StructureBudgets, testing::Range(size_t(0), scalingBudgetCells(false).size()),
                         [](const testing::TestParamInfo<size_t>& info) {
                             return testName(scalingBudgetCells(false)[info.param].name.c_str());
                         });

} // namespace
