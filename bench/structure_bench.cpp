// Work on a scene's structure against loading the same file: duplicating a
// scene of N aligned groups, copying N clips onto an N-deep chain or a
// mirrored chain onto it, and searching through tracks shared by every leaf,
// each at N = 8,000, 32,000 and 64,000 nodes beside BM_Load of the same file.
// Each step should cost about as much as the load at every N (a step whose
// ratio to the load grows with N is not linear); compare medians with
// --benchmark_repetitions=10 --benchmark_enable_random_interleaving=true.
// BM_Scaling runs every cell of the scaling table (each relation alone and
// with every other, and each budget met many times) at a large N (halved
// until no budget refuses the file) and 2N through every operation a game
// does: a cell fails where a count at 2N passes 2.3 times its value at N
// without a budget holding it, and each step's time at 2N over its time at
// N is a column.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <map>
#include <utility>

#include "engine/core/interface/InterfaceIds.h"
#include "engine/core/io/IoTestKit.h"
#include "game/shell/AnimCopy.h"
#include "tools/structure/StructureInput.h"
#include "tools/structure/StructureScaling.h"

namespace {

enum Case { AlignedDuplicate, ClipsOntoChain, ChainOntoChain, SharedSearch };

StructurePlan specOf(int which, uint32_t n)
{
    switch (which) {
    case AlignedDuplicate:
        return {.width = n, .alignment = StructureAlignment::LeavesToTheFirst};
    case ClipsOntoChain:
        return {.depth = n, .width = 1, .controllers = 64, .clipChildren = n};
    case ChainOntoChain:
        return {.depth = n / 2, .width = 1, .controllers = 64, .clipChain = true};
    default:
        return {.width = n, .tracks = 4000, .tracksPerLeaf = 8, .controllers = 1000};
    }
}

CountingEngine& engine()
{
    static CountingEngine e;
    return e;
}

const std::vector<uint8_t>& file(int which, uint32_t n)
{
    static std::map<std::pair<int, uint32_t>, std::vector<uint8_t>> files;
    auto& f = files[{which, n}];
    if (f.empty())
        f = writeStructureScene(specOf(which, n));
    return f;
}

EngineRef load(const std::vector<uint8_t>& bytes)
{
    EngineRef loader;
    EngineRef world;
    engine().api().createEngineObject(kIidLoader, loader.out());
    const IkwLoaderTable& api = loader.table<IkwLoaderTable>();
    if (api.loadBuffer(loader.get(), uint32_t(bytes.size()), bytes.data(), nullptr) == 0)
        api.getRoot(loader.get(), 0, world.out());
    return world;
}

EngineRef duplicate(const EngineRef& object)
{
    EngineRef copy;
    object.table<IkwObject3DTable>().duplicate(object.get(), copy.out());
    return copy;
}

void BM_Load(benchmark::State& state)
{
    const std::vector<uint8_t>& bytes = file(int(state.range(0)), uint32_t(state.range(1)));
    for (auto _ : state)
        benchmark::DoNotOptimize(load(bytes));
}

void BM_Step(benchmark::State& state)
{
    const int which = int(state.range(0));
    const EngineRef world = load(file(which, uint32_t(state.range(1))));
    const EngineRef scene = findObject(world, 2, kIidGroup);
    const EngineRef clips = findObject(world, 1, kIidGroup);
    for (auto _ : state) {
        if (which == AlignedDuplicate) {
            benchmark::DoNotOptimize(duplicate(scene));
        } else if (which == SharedSearch) {
            benchmark::DoNotOptimize(findObject(world, 0x7fffffff, kIidNode));
        } else {
            state.PauseTiming();
            EngineRef copy = duplicate(scene);
            state.ResumeTiming();
            assignAnimationIds(clips, copy, 1);
            state.PauseTiming();
            copy.reset();
            state.ResumeTiming();
        }
    }
}

void sizes(benchmark::internal::Benchmark* b)
{
    for (int which : {AlignedDuplicate, ClipsOntoChain, ChainOntoChain, SharedSearch})
        for (int n : {8000, 32000, 64000})
            b->Args({which, n});
    b->Unit(benchmark::kMillisecond);
}

BENCHMARK(BM_Load)->Apply(sizes);
BENCHMARK(BM_Step)->Apply(sizes);

// Whether no budget refused any of the run's operations.
bool accepted(const ScalingRun& run)
{
    return std::all_of(run.result, run.result + ScalingOp::Count, [](EngineResult r) { return r == 0; });
}

// The cell with every grown count halved, none below one; false when none
// can shrink.
bool halve(ScalingCell& cell)
{
    bool shrank = false;
    for (uint32_t& n : cell.perN)
        if (n > 1) {
            n /= 2;
            shrank = true;
        }
    return shrank;
}

// One cell of the scaling table at N and 2N, each on an engine of its own,
// N the bench's or, where a budget refuses that file, the largest halving of
// it that every operation accepts, so that no cell measures a refusal at N
// (the halvings a column): the time each operation of a millisecond or more
// took at 2N over its time at N as columns, and the cell fails when a count
// grew past 2.3 times without a budget holding it.
void BM_Scaling(benchmark::State& state, ScalingCell cell)
{
    static ScratchFolder folder;
    const auto run = [&](const ScalingFile& file) {
        CountingEngine engine;
        return runScaling(engine.api(), folder.path(), file);
    };
    ScalingFile small = writeScalingScene(cell.at(1));
    ScalingRun atN = run(small);
    int halvings = 0;
    while (!accepted(atN) && halve(cell)) {
        ++halvings;
        small = writeScalingScene(cell.at(1));
        atN = run(small);
    }
    if (!accepted(atN)) {
        state.SkipWithError("refused at every N");
        return;
    }
    const ScalingFile large = writeScalingScene(cell.at(2));
    ScalingRun at2N;
    for (auto _ : state)
        at2N = run(large);
    const std::vector<std::string> faults = scalingFaults(cell, small, atN, large, at2N);
    if (!faults.empty())
        state.SkipWithError(faults.front().c_str());
    // Steps shorter than a millisecond time the clock more than the step.
    for (int op = 0; op < ScalingOp::Count; ++op)
        if (at2N.seconds[op] >= 1e-3)
            state.counters[std::string(scalingOpName(op)) + "_x"] = at2N.seconds[op] / atN.seconds[op];
    state.counters["file_bytes"] = double(large.size());
    state.counters["halvings"] = halvings;
}

const bool registered = [] {
    std::vector<ScalingCell> cells = scalingBudgetCells(true);
    for (int r = 0; r < Relation::Count; ++r)
        for (ScalingCell& cell : scalingCells(r, true))
            cells.push_back(std::move(cell));
    for (const ScalingCell& cell : cells)
        benchmark::RegisterBenchmark(("BM_Scaling/" + cell.name).c_str(), BM_Scaling, cell)
            ->Iterations(1)
            ->Unit(benchmark::kMillisecond);
    return true;
}();

} // namespace
