// Image spans over a 240x320 target, row by row: the generated span programs
// through the interpreter beside the same spans in plain C++, for the opaque
// copy and the keyed constant-alpha blend, in pixels per second.
#include <benchmark/benchmark.h>

#include <vector>

#include "gfx2d/span/ArmInterpreter.h"
#include "gfx2d/span/SpanIds.h"
#include "tools/span/ReferenceSpans.h"
#include "tools/span/SpanPrograms.h"

namespace {

constexpr int kWidth = 240, kHeight = 320;

struct Target {
    RasterState rs;
    std::vector<uint32_t> pixels = std::vector<uint32_t>(kWidth * kHeight, 0xFF203040);
    std::vector<uint32_t> texels = std::vector<uint32_t>(kWidth * kHeight);
    RenderTargetView view;

    Target()
    {
        rs.init(16);
        for (size_t i = 0; i < texels.size(); ++i)
            texels[i] = i % 7 == 0 ? 0xFF00FF : static_cast<uint32_t>(i * 2654435761u);
        view.flags = kTargetUsesPlanes | kTargetColourPlane;
        view.colour = {reinterpret_cast<uint8_t*>(pixels.data()), kWidth * 4, kWidth * kHeight * 4, PixelFormat::X8R8G8B8};
        rs.bindTarget(&view);
        rs.bindTexturePixels(0, {PixelFormat::X8R8G8B8, kWidth, kHeight, reinterpret_cast<const uint8_t*>(texels.data()),
                                 kWidth * kHeight * 4, nullptr, 0});
        setClipRectangle(rs, 0, 0, kWidth, kHeight);
        RasterStateBlock& s = rs.block();
        s.regs[kSpanConstantAlpha] = 0xA0;
        s.intdp[kSpanInterpolantU] = kFixedOne;
        s.intdp[kSpanInterpolantV] = 0;
        s.intp[kSpanInterpolantU] = 0;
    }
    // Every row of the target once, as the triangle driver hands them over.
    template <class Span>
    void frame(Span span)
    {
        RasterStateBlock& s = rs.block();
        for (int y = 0; y < kHeight; ++y) {
            s.destptr = s.destbase + static_cast<uint32_t>(y * s.deststride);
            s.intp[kSpanInterpolantV] = (y << 16) + 0x8000;
            span(0u, static_cast<uint32_t>(kWidth << 16));
        }
    }
};

void interpreted(benchmark::State& state, SpanMode mode)
{
    Target t;
    const std::vector<uint8_t> record = spanProgramRecord(mode, PixelFormat::X8R8G8B8, PixelFormat::X8R8G8B8);
    const SpanAddress base = spanAddress(kSpanRegionState, 0);
    for (auto _ : state)
        t.frame([&](uint32_t a, uint32_t b) {
            runArmCode(t.rs.addressSpace(), base, record.data() + 4, kSpanCodeBytes, base, a, b);
        });
    benchmark::DoNotOptimize(t.pixels.data());
    state.SetItemsProcessed(state.iterations() * kWidth * kHeight);
}

void native(benchmark::State& state, SpanMode mode)
{
    Target t;
    const NativeSpan span = referenceSpan(mode, PixelFormat::X8R8G8B8, PixelFormat::X8R8G8B8);
    for (auto _ : state)
        t.frame([&](uint32_t a, uint32_t b) { span(t.rs, a, b); });
    benchmark::DoNotOptimize(t.pixels.data());
    state.SetItemsProcessed(state.iterations() * kWidth * kHeight);
}

void BM_OpaqueCopyInterpreted(benchmark::State& state) { interpreted(state, SpanMode::Opaque); }
void BM_OpaqueCopyNative(benchmark::State& state) { native(state, SpanMode::Opaque); }
void BM_KeyedBlendInterpreted(benchmark::State& state) { interpreted(state, SpanMode::KeyedBlend); }
void BM_KeyedBlendNative(benchmark::State& state) { native(state, SpanMode::KeyedBlend); }
BENCHMARK(BM_OpaqueCopyInterpreted);
BENCHMARK(BM_OpaqueCopyNative);
BENCHMARK(BM_KeyedBlendInterpreted);
BENCHMARK(BM_KeyedBlendNative);

}  // namespace
