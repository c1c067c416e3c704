// Start-up of the whole program on the sample pack, headless on the virtual
// clock: services, pack, flow and the first frame's update and paint, then
// the shutdown that follows it. Needs PF_BUILD_DIR naming the build folder.
#include <benchmark/benchmark.h>

#include "game/level/GameRunSetup.h"

namespace {

void BM_StartupToFirstFrame(benchmark::State& state)
{
    const std::string folder = startGameRun();
    if (folder.empty()) {
        state.SkipWithError("no sample pack: set PF_BUILD_DIR");
        return;
    }
    for (auto _ : state) {
        reinstallGameRun();
        hostTestCloseAfterTicks(1);
        benchmark::DoNotOptimize(WinMain(nullptr, nullptr, nullptr, 0));
    }
    endGameRun(folder);
}
BENCHMARK(BM_StartupToFirstFrame)->Unit(benchmark::kMillisecond);

} // namespace
