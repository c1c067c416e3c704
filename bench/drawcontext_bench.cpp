// HUD-sized draws through the drawing context on a 240 × 320 X8R8G8B8
// screen: small keyed sprites (plain, and turned through the span path) and
// filled bars, each a whole call with its state resolution, target lock and
// blit-loop lookup, beside memcpy and memset of the same pixel bytes.
// Per-call overhead shows as the gap.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "gfx2d/drawcontext/testing/DrawScene.h"

namespace {

constexpr int kScreenW = 240, kScreenH = 320;

struct Hud : DrawScene {
    MemorySurface sprite;

    explicit Hud(int size) : DrawScene(kScreenW, kScreenH)
    {
        makeImage(sprite, size, size, [size](int x, int y) {
            const uint32_t i = uint32_t(y * size + x);
            return i % 7 == 0 ? 0xFF00FF : 0xFF000000u | (i * 2654435761u >> 8);
        });
    }
};

// Turned sprites take the span path: set-up, clipping (some reach past the
// screen's edges) and the interpreted span program.
void keyedSprites(benchmark::State& state, bool turned)
{
    const int size = int(state.range(0));
    Hud hud(size);
    hud.dc.enable(DrawGroup::ColourKey);
    int64_t pixels = 0;
    for (auto _ : state) {
        for (int i = 0; i < 64; ++i) {
            hud.dc.loadIdentity();
            if (turned) {
                hud.dc.translate(((i * 37) % kScreenW - size / 2) << 16, ((i * 53) % kScreenH - size / 2) << 16);
                hud.dc.rotate((i * 29 % 360) << 16);
            } else {
                hud.dc.translate(((i * 37) % (kScreenW - size)) << 16, ((i * 53) % (kScreenH - size)) << 16);
            }
            hud.dc.drawImage(&hud.sprite, 0, nullptr);
        }
        pixels += 64 * size * size;
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(pixels);
}
BENCHMARK_CAPTURE(keyedSprites, plain, false)->Name("drawImage/keyed")->Arg(8)->Arg(32);
BENCHMARK_CAPTURE(keyedSprites, turned, true)->Name("drawImage/keyed-turned")->Arg(8)->Arg(32);

void memcpySprites(benchmark::State& state)
{
    const int size = int(state.range(0));
    std::vector<uint32_t> src(size * size, 0x123456), dst(kScreenW * kScreenH);
    int64_t pixels = 0;
    for (auto _ : state) {
        for (int i = 0; i < 64; ++i) {
            uint32_t* d = dst.data() + ((i * 53) % (kScreenH - size)) * kScreenW + (i * 37) % (kScreenW - size);
            for (int y = 0; y < size; ++y)
                std::memcpy(d + y * kScreenW, src.data() + y * size, size_t(size) * 4);
        }
        pixels += 64 * size * size;
        benchmark::DoNotOptimize(dst.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(pixels);
}
BENCHMARK(memcpySprites)->Name("memcpy/sprite-rows")->Arg(8)->Arg(32);

void bars(benchmark::State& state)
{
    Hud hud(8);
    int64_t pixels = 0;
    for (auto _ : state) {
        for (int i = 0; i < 64; ++i)
            fillRect(i, i * 4, i + 100, i * 4 + 3, 0xFF204080);
        pixels += 64 * 300;
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(pixels);
}
BENCHMARK(bars)->Name("fillRect/100x3");

void memsetBars(benchmark::State& state)
{
    std::vector<uint32_t> dst(kScreenW * kScreenH);
    int64_t pixels = 0;
    for (auto _ : state) {
        for (int i = 0; i < 64; ++i)
            for (int y = 0; y < 3; ++y)
                std::fill_n(dst.data() + (i * 4 + y) * kScreenW + i, 100, 0xFF204080u);
        pixels += 64 * 300;
        benchmark::DoNotOptimize(dst.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(pixels);
}
BENCHMARK(memsetBars)->Name("fill/100x3-rows");

} // namespace
