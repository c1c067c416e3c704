// The host-code textured span over a screen row: against the sampler alone
// on the same texels (what the span adds: depth, stepping, packing) and a
// plain nearest-texel copy (the floor any span has to stand on).
#include <benchmark/benchmark.h>

#include <vector>

#include "gfx2d/span/TexturedSpan.h"

namespace {

constexpr int kRow = 240;
constexpr uint32_t kSide = 64;

struct Row {
    std::vector<uint32_t> colour = std::vector<uint32_t>(kRow, 0);
    std::vector<uint32_t> depth = std::vector<uint32_t>(kRow, 0);
    RasterState rs;
    RenderTargetView view;

    explicit Row(int32_t filter)
    {
        rs.init(16);
        view.flags = SurfaceFlag::RasterTarget | kTargetColourPlane | kTargetDepthPlane;
        view.colour = {reinterpret_cast<uint8_t*>(colour.data()), kRow * 4, kRow * 4, PixelFormat::X8R8G8B8};
        view.depth = {reinterpret_cast<uint8_t*>(depth.data()), kRow * 4, kRow * 4, PixelFormat::Z32};
        rs.bindTarget(&view);
        TextureStore& store = *rs.textureStore();
        const int32_t slot = store.createEntry(kSide, kSide, PixelFormat::A8R8G8B8, 0);
        for (uint32_t i = 0; i < kSide * kSide; ++i)
            store.writeTexel(slot, int32_t(i % kSide), int32_t(i / kSide),
                             {255, int32_t(i & 255), int32_t(i >> 4 & 255), int32_t(i >> 8 & 255)});
        rs.bindTextureUnit(0, slot);
        RasterStateBlock& s = rs.block();
        s.texture_units[0].filter_mode = filter;
        s.texture_units[0].texmode = kWrapRepeat;
        s.scissorx0 = 0, s.scissorx1 = kRow;
        s.drawBytes[0] = s.drawBytes[1] = 1;
        s.intp[1] = 0, s.intdp[1] = 0xC000;  // three quarters of a texel a pixel
        s.intp[2] = 0x48000, s.intdp[2] = 0x2000;
    }
};

void BM_TexturedSpan(benchmark::State& state)
{
    Row row(int32_t(state.range(0)));
    RasterStateBlock& s = row.rs.block();
    int32_t depth = 1;
    for (auto _ : state) {
        // A fresh depth every run, so every pixel passes the test and is written.
        s.intp[0] = depth++, s.intdp[0] = 0;
        s.destptr = s.destbase, s.zptr = s.zbase;
        texturedSpan(row.rs, 0, uint32_t(kRow) << 16);
        benchmark::DoNotOptimize(row.colour.data());
    }
    state.SetItemsProcessed(state.iterations() * kRow);
}
BENCHMARK(BM_TexturedSpan)->Arg(kFilterNearest)->Arg(kFilterBilinear);

void BM_SamplerAlone(benchmark::State& state)
{
    Row row(int32_t(state.range(0)));
    const SamplerUnit unit = row.rs.sampler(0);
    for (auto _ : state) {
        Fixed u = 0x6000, v = 0x49000;
        for (int x = 0; x < kRow; ++x, u += 0xC000, v += 0x2000) {
            uint32_t c[4];
            sampleTexture(unit, u, v, 0, c);
            row.colour[size_t(x)] = (c[1] & 0xFF00) << 8 | (c[2] & 0xFF00) | c[3] >> 8;
        }
        benchmark::DoNotOptimize(row.colour.data());
    }
    state.SetItemsProcessed(state.iterations() * kRow);
}
BENCHMARK(BM_SamplerAlone)->Arg(kFilterNearest)->Arg(kFilterBilinear);

void BM_PlainNearestCopy(benchmark::State& state)
{
    std::vector<uint32_t> texels(kSide * kSide, 0x123456);
    std::vector<uint32_t> out(kRow);
    for (auto _ : state) {
        uint32_t u = 0x6000, v = 0x49000;
        for (int x = 0; x < kRow; ++x, u += 0xC000, v += 0x2000)
            out[size_t(x)] = texels[((v >> 16) & (kSide - 1)) * kSide + ((u >> 16) & (kSide - 1))] & 0xFFFFFF;
        benchmark::DoNotOptimize(out.data());
    }
    state.SetItemsProcessed(state.iterations() * kRow);
}
BENCHMARK(BM_PlainNearestCopy);

} // namespace
