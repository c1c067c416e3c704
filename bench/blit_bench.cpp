// Full-screen (240 × 320) image copies through every registered image-copy
// loop, in pixels per second, beside memcpy of the same destination bytes.
// The opaque same-format copies must keep at least half of memcpy's rate.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "gfx2d/blit/BlitterRegistry.h"
#include "tests/support/TestApp.h"

namespace {

using namespace PixelFormat;

constexpr int kWidth = 240;
constexpr int kHeight = 320;
constexpr int64_t kPixels = int64_t(kWidth) * kHeight;

struct Loop {
    const char* name;
    RSBFormat src, dst;
    uint32_t key, blend;
};
constexpr Loop kLoops[] = {
    {"565/copy", R5G6B5, R5G6B5, 0, 0},           {"565/key", R5G6B5, R5G6B5, 2, 0},
    {"565/key+alpha", R5G6B5, R5G6B5, 2, 1},      {"p8-565/copy", P8X8R8G8B8, R5G6B5, 0, 0},
    {"p8-565/key", P8X8R8G8B8, R5G6B5, 2, 0},     {"p8-565/key+alpha", P8X8R8G8B8, R5G6B5, 2, 1},
    {"x888/copy", X8R8G8B8, X8R8G8B8, 0, 0},      {"x888/key", X8R8G8B8, X8R8G8B8, 2, 0},
    {"x888/key+alpha", X8R8G8B8, X8R8G8B8, 2, 1}, {"p8-x888/copy", P8X8R8G8B8, X8R8G8B8, 0, 0},
    {"p8-x888/key", P8X8R8G8B8, X8R8G8B8, 2, 0},  {"p8-x888/key+alpha", P8X8R8G8B8, X8R8G8B8, 2, 1},
};

std::vector<uint8_t> picture(size_t bytes)
{
    std::vector<uint8_t> out(bytes);
    uint32_t seed = 99;
    for (uint8_t& b : out) {
        seed = seed * 1664525 + 1013904223;
        b = uint8_t(seed >> 24);
    }
    return out;
}

void memcpyScreen(benchmark::State& state)
{
    const size_t bytes = size_t(kPixels) * size_t(state.range(0));
    const std::vector<uint8_t> src = picture(bytes);
    std::vector<uint8_t> dst(bytes);
    for (auto _ : state) {
        std::memcpy(dst.data(), src.data(), bytes);
        benchmark::DoNotOptimize(dst.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kPixels);
    state.SetBytesProcessed(state.iterations() * int64_t(bytes));
}
BENCHMARK(memcpyScreen)->Name("memcpy/16-bit")->Arg(2);
BENCHMARK(memcpyScreen)->Name("memcpy/32-bit")->Arg(4);

void blitScreen(benchmark::State& state, const Loop& loop)
{
    static TestApp app;
    registerBlitters();
    BlitKey key{loop.src, loop.dst, loop.key, 0, loop.blend, BlitOperation::ImageCopy, nullptr};
    const BlitFunction function = findBlitter(key);
    if (function == nullptr) {
        state.SkipWithError("no loop");
        return;
    }
    const int sb = int(bytesPerPixel(loop.src)), db = int(bytesPerPixel(loop.dst));
    const std::vector<uint8_t> src = picture(size_t(kPixels) * sb);
    std::vector<uint8_t> dst(size_t(kPixels) * db);
    std::vector<uint32_t> palette(256);
    for (uint32_t i = 0; i < 256; ++i)
        palette[i] = i * 0x010203;
    BlitImageJob job;
    job.srcPitch = kWidth * sb;
    job.srcPixels = src.data();
    job.palette = palette.data();
    job.dstPitch = kWidth * db;
    job.dstPixels = dst.data();
    job.width = kWidth;
    job.height = kHeight;
    job.alpha = 160;
    for (auto _ : state) {
        function(&job);
        benchmark::DoNotOptimize(dst.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kPixels);
    state.SetBytesProcessed(state.iterations() * kPixels * db);
}

const bool registered = [] {
    for (const Loop& loop : kLoops)
        benchmark::RegisterBenchmark((std::string("blit/") + loop.name).c_str(), blitScreen, loop);
    return true;
}();

} // namespace
