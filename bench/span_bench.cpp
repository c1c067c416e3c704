// Image spans over a 240x320 target, row by row: every program of the span
// library through the interpreter beside the same span in plain C++ (opaque,
// keyed and keyed blend; X8R8G8B8 and R5G6B5 targets; X8R8G8B8, 8-bit
// palette and 5-6-5 images), in pixels per second; then a frame of 4,000
// small turned pictures cycling all those programs, set up and scan
// converted, the same both ways; and at the end the interpreter's time over
// the native span's for each.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "framework/streams/MemoryInputStream.h"
#include "gfx2d/raster/RasterMath.h"
#include "gfx2d/span/ArmInterpreter.h"
#include "gfx2d/span/SpanIds.h"
#include "gfx2d/span/SpanProgramSet.h"
#include "tools/span/ReferenceSpans.h"
#include "tools/span/SpanPrograms.h"

namespace {

constexpr int kWidth = 240, kHeight = 320;

struct Program {
    SpanMode mode;
    RSBFormat destination, source;
    std::string name;
};

std::vector<Program> library()
{
    const struct {
        SpanMode mode;
        const char* name;
    } modes[] = {{SpanMode::Opaque, "Opaque"}, {SpanMode::Keyed, "Keyed"}, {SpanMode::KeyedBlend, "KeyedBlend"}};
    std::vector<Program> programs;
    for (const auto& m : modes)
        for (const auto [d, s] : kSpanFormatPairs)
            programs.push_back({m.mode, d, s,
                                std::string(m.name) + (d == PixelFormat::X8R8G8B8 ? "To8888" : "To565") +
                                    (s == PixelFormat::X8R8G8B8 ? "From8888" : s == PixelFormat::R5G6B5 ? "From565" : "FromP8")});
    return programs;
}

struct Target {
    RasterState rs;
    std::vector<uint8_t> pixels = std::vector<uint8_t>(kWidth * kHeight * 4, 0x40);
    std::vector<uint8_t> texels = std::vector<uint8_t>(kWidth * kHeight * 4);
    std::vector<uint32_t> palette = std::vector<uint32_t>(256);
    RenderTargetView view;

    explicit Target(const Program& p)
    {
        rs.init(16);
        const bool wide = p.destination == PixelFormat::X8R8G8B8, paletted = p.source == PixelFormat::P8X8R8G8B8;
        // One texel in seven is the colour key.
        for (uint32_t i = 0; i < 256; ++i)
            palette[i] = i % 7 == 0 ? 0xFF00FF : i * 2654435761u;
        for (size_t i = 0; i < kWidth * kHeight; ++i) {
            const uint32_t c = i % 7 == 0 ? 0xFF00FF : static_cast<uint32_t>(i * 2654435761u);
            if (paletted)
                texels[i] = static_cast<uint8_t>(i % 7 == 0 ? 0 : 1 + i % 255);
            else
                std::memcpy(&texels[4 * i], &c, 4);
        }
        const uint32_t bpp = wide ? 4 : 2;
        view.flags = SurfaceFlag::RasterTarget | kTargetColourPlane;
        view.colour = {pixels.data(), static_cast<int32_t>(kWidth * bpp), kWidth * kHeight * bpp, p.destination};
        rs.bindTarget(&view);
        rs.bindTexturePixels(0, {p.source, kWidth, kHeight, texels.data(), static_cast<uint32_t>(texels.size()),
                                 reinterpret_cast<const uint8_t*>(palette.data()), 1024});
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

void interpreted(benchmark::State& state, const Program& p)
{
    Target t(p);
    const std::vector<uint8_t> record = spanProgramRecord(p.mode, p.destination, p.source);
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

void native(benchmark::State& state, const Program& p)
{
    Target t(p);
    const NativeSpan span = referenceSpan(p.mode, p.destination, p.source);
    for (auto _ : state)
        t.frame([&](uint32_t a, uint32_t b) { span(t.rs, a, b); });
    benchmark::DoNotOptimize(t.pixels.data());
    state.SetItemsProcessed(state.iterations() * kWidth * kHeight);
}

// A frame of small pictures, each turned, its program and formats the next
// in the library's list: the draws a HUD of icons makes, where set-up and
// per-span costs weigh as much as pixels do. The programs run decoded once
// by their sets, as the drawing context runs them.
constexpr int kFrameDraws = 4000, kPictureSide = 8;

struct Frame {
    RasterState rs;
    std::vector<uint8_t> pixels[2];  // X8R8G8B8 and R5G6B5 targets
    std::vector<uint8_t> texels = std::vector<uint8_t>(kPictureSide * kPictureSide * 4, 0x5A);
    std::vector<uint32_t> palette = std::vector<uint32_t>(256, 0xFF00FF);
    SpanProgramSet sets[kSpanSetCount];
    std::vector<Program> programs = library();

    Frame()
    {
        rs.init(64);
        for (auto& p : pixels)
            p.assign(kWidth * kHeight * 4, 0x40);
        for (const SpanPackEntry& e : spanPackEntries())
            for (uint32_t s = 0; s < kSpanSetCount; ++s)
                for (uint32_t id : kSpanSets[s].records)
                    if (id == e.id) {
                        MemoryInputStream in;
                        in.open(e.payload.data(), static_cast<uint32_t>(e.payload.size()));
                        sets[s].load(in, kSpanRecordTag);
                    }
    }
    // Draw i through its program, or through its reference span.
    void draw(int i, bool interpreted)
    {
        const Program& p = programs[static_cast<size_t>(i) % programs.size()];
        const bool wide = p.destination == PixelFormat::X8R8G8B8;
        RenderTargetView view;
        view.flags = SurfaceFlag::RasterTarget | kTargetColourPlane;
        view.colour = {pixels[wide ? 0 : 1].data(), kWidth * (wide ? 4 : 2), kWidth * kHeight * (wide ? 4u : 2u),
                       p.destination};
        rs.bindTarget(&view);
        rs.bindTexturePixels(0, {p.source, kPictureSide, kPictureSide, texels.data(),
                                 static_cast<uint32_t>(texels.size()), reinterpret_cast<const uint8_t*>(palette.data()),
                                 1024});
        setClipRectangle(rs, 0, 0, kWidth, kHeight);
        setOneToOneMapping(rs);
        rs.block().regs[kSpanConstantAlpha] = 0xA0;
        Fixed* m = rs.block().matrix2D.entries[0];
        affineRotation(*rs.tables(), m, i * 37 % 1024);
        m[4] = (i * 53 % kWidth) << 16;
        m[5] = (i * 97 % kHeight) << 16;
        rs.resetPool();
        ScanConverter sc(rs);
        if (interpreted) {
            SpanProgramSet& set = sets[static_cast<int>(p.mode)];
            set.select(p.destination, p.source, kSpanKey3Image, kSpanKey4Image, kSpanKey5Image, kSpanKey6Image);
            rs.bindSpanProgram(set.selected());
            sc.useProgram(set.selectedProgram());
        } else {
            sc.bindNativeSpan(referenceSpan(p.mode, p.destination, p.source), 3);
        }
        const Fixed side = kPictureSide << 16;
        const Fixed u[4] = {0, 0, side, side}, v[4] = {0, side, side, 0};
        sc.drawTexturedQuad(side, side, u, v, false);
        rs.unbindTextureUnit(0);
    }
};

void frame(benchmark::State& state, bool interpreted)
{
    Frame f;
    for (auto _ : state) {
        f.rs.beginSpanFrame();
        for (int i = 0; i < kFrameDraws; ++i)
            f.draw(i, interpreted);
        benchmark::DoNotOptimize(f.pixels[0].data());
    }
    state.SetItemsProcessed(state.iterations() * kFrameDraws);
}

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
        std::vector<std::string> names{"SmallPicturesFrame"};
        for (const Program& p : library())
            names.push_back(p.name);
        for (const std::string& name : names) {
            const auto in = t.find(name + "/Interpreted"), na = t.find(name + "/Native");
            if (in != t.end() && na != t.end() && na->second > 0)
                std::printf("%-26s interpreter / native = %5.2fx\n", name.c_str(), in->second / na->second);
        }
        ConsoleReporter::Finalize();
    }

private:
    std::map<std::string, double> m_medians, m_single;
};

}  // namespace

int main(int argc, char** argv)
{
    for (const Program& p : library()) {
        benchmark::RegisterBenchmark((p.name + "/Interpreted").c_str(), interpreted, p);
        benchmark::RegisterBenchmark((p.name + "/Native").c_str(), native, p);
    }
    benchmark::RegisterBenchmark("SmallPicturesFrame/Interpreted", frame, true);
    benchmark::RegisterBenchmark("SmallPicturesFrame/Native", frame, false);
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
