// Image spans over a 240x320 target, row by row: the generated span programs
// through the interpreter beside the same spans in plain C++, for the opaque
// copy and the keyed constant-alpha blend, in pixels per second, and at the
// end the interpreter's time over the native span's for each.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
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
        view.flags = SurfaceFlag::RasterTarget | kTargetColourPlane;
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
    for (auto _ : state) {
        // As the scan converter runs them: the program prepared once a draw.
        const ArmProgram* program = prepareArmCode(record.data() + 4, kSpanCodeBytes);
        t.frame([&](uint32_t a, uint32_t b) {
            ArmMachine m = spanMachine(base, base, a, b);
            runArmProgram(t.rs.addressSpace(), *program, m);
        });
    }
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

// The console output, then how many times slower the interpreter is than
// the native span: from the medians when repeated, else from the one run.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    RatioReporter() : ConsoleReporter(OO_Tabular) {}
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& r : runs) {
            if (r.run_type == Run::RT_Aggregate && r.aggregate_name == "median")
                m_medians[r.run_name.function_name] = r.GetAdjustedCPUTime();
            else if (r.run_type == Run::RT_Iteration)
                m_single[r.run_name.function_name] = r.GetAdjustedCPUTime();
        }
        ConsoleReporter::ReportRuns(runs);
    }
    void Finalize() override
    {
        const std::map<std::string, double>& t = m_medians.empty() ? m_single : m_medians;
        for (const char* name : {"OpaqueCopy", "KeyedBlend"}) {
            const auto in = t.find(std::string("BM_") + name + "Interpreted"), na = t.find(std::string("BM_") + name + "Native");
            if (in != t.end() && na != t.end() && na->second > 0)
                std::printf("%s: interpreter / native = %.2fx\n", name, in->second / na->second);
        }
        ConsoleReporter::Finalize();
    }

private:
    std::map<std::string, double> m_medians, m_single;
};

}  // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
