// Rasterizer fetch paths: checked span-address loads against plain loads,
// the sampler per texel against a memcpy of the same texels, and vertex
// fetch per vertex against copying its bytes.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "gfx2d/raster/SpanAddress.h"
#include "gfx2d/raster/TexelFetch.h"
#include "gfx2d/raster/VertexArray.h"

namespace {

constexpr int kSpan = 256;

void BM_SpanLoadsTranslated(benchmark::State& state)
{
    std::vector<uint32_t> block(4096, 3);
    SpanAddressSpace space;
    space.map(3, block.data(), block.size() * 4, SpanAccess::Read);
    for (auto _ : state) {
        uint32_t sum = 0;
        for (uint32_t i = 0; i < kSpan; ++i) {
            const uint8_t* p = space.translate(spanAddress(3, i * 4), 4);
            uint32_t v;
            std::memcpy(&v, p, 4);
            sum += v;
        }
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * kSpan);
}
BENCHMARK(BM_SpanLoadsTranslated);

void BM_SpanLoadsPlain(benchmark::State& state)
{
    std::vector<uint32_t> block(4096, 3);
    for (auto _ : state) {
        const uint32_t* p = block.data();
        benchmark::DoNotOptimize(p);
        uint32_t sum = 0;
        for (uint32_t i = 0; i < kSpan; ++i)
            sum += p[i];
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * kSpan);
}
BENCHMARK(BM_SpanLoadsPlain);

SamplerUnit unitOver(const std::vector<uint32_t>& texels, int32_t filter)
{
    SamplerUnit s;
    s.format = PixelFormat::A8R8G8B8;
    s.width = s.height = 64;
    s.bpp = 4;
    s.levelCount = 1;
    s.filterMode = filter;
    s.wrap = kWrapRepeat;
    s.levels[0] = reinterpret_cast<const uint8_t*>(texels.data());
    return s;
}

void sampleSpan(benchmark::State& state, int32_t filter)
{
    std::vector<uint32_t> texels(64 * 64, 0x80402010);
    const SamplerUnit s = unitOver(texels, filter);
    uint32_t out[4];
    for (auto _ : state) {
        Fixed u = 0x1234, v = 0x5678;
        for (int i = 0; i < kSpan; ++i, u += 0x3456, v += 0x1111) {
            sampleTexture(s, u, v, 0, out);
            benchmark::DoNotOptimize(out);
        }
    }
    state.SetItemsProcessed(state.iterations() * kSpan);
}

void BM_SampleNearest(benchmark::State& state) { sampleSpan(state, kFilterNearest); }
BENCHMARK(BM_SampleNearest);
void BM_SampleBilinear(benchmark::State& state) { sampleSpan(state, kFilterBilinear); }
BENCHMARK(BM_SampleBilinear);

void BM_MemcpySpanTexels(benchmark::State& state)
{
    std::vector<uint32_t> texels(kSpan, 0x80402010), out(kSpan * 4);
    for (auto _ : state) {
        std::memcpy(out.data(), texels.data(), kSpan * 4);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetItemsProcessed(state.iterations() * kSpan);
}
BENCHMARK(BM_MemcpySpanTexels);

void BM_FetchVertexS16x3(benchmark::State& state)
{
    std::vector<int16_t> vertices(kSpan * 3, 0x123);
    VertexArray a;
    a.set(vertices.data(), 3, kVertexS16, 4, 0, 6);
    int32_t out[4];
    for (auto _ : state) {
        for (uint32_t i = 0; i < kSpan; ++i) {
            fetchAttribute(a, out, i);
            benchmark::DoNotOptimize(out);
        }
    }
    state.SetItemsProcessed(state.iterations() * kSpan);
}
BENCHMARK(BM_FetchVertexS16x3);

void BM_CopyVertexBytes(benchmark::State& state)
{
    std::vector<int16_t> vertices(kSpan * 3, 0x123);
    int32_t out[4];
    for (auto _ : state) {
        for (uint32_t i = 0; i < kSpan; ++i) {
            std::memcpy(out, vertices.data() + 3 * i, 6);
            benchmark::DoNotOptimize(out);
        }
    }
    state.SetItemsProcessed(state.iterations() * kSpan);
}
BENCHMARK(BM_CopyVertexBytes);

}  // namespace
