// A small raster state with a target and a texture, rebuilt per input, so
// that every input starts from the same memory.
#include "tools/span/SpanFuzzInput.h"

#include <cstring>

#include "framework/streams/MemoryInputStream.h"
#include "gfx2d/raster/SpanRecordWords.h"
#include "gfx2d/span/ScanConversion.h"
#include "gfx2d/span/SpanProgramSet.h"
#include "tools/span/ArmEncoder.h"
#include "tools/span/SpanPrograms.h"

namespace {

constexpr size_t kArgumentBytes = 25;
constexpr int kTarget = 32, kTexture = 8;
constexpr uint32_t kFuzzBudget = 100000;

int32_t argument(const uint8_t* data, int i)
{
    int32_t v;
    std::memcpy(&v, data + 4 * i, 4);
    return v;
}

std::vector<uint8_t> arguments(int32_t l, int32_t r, int32_t u, int32_t du, int32_t v, int32_t dv, uint8_t row)
{
    std::vector<uint8_t> out(kArgumentBytes);
    const int32_t words[6] = {l, r, u, du, v, dv};
    std::memcpy(out.data(), words, sizeof words);
    out[24] = row;
    return out;
}

}  // namespace

SpanFuzzOutcome runSpanFuzzInput(const uint8_t* data, size_t size)
{
    SpanFuzzOutcome outcome;
    if (size < kArgumentBytes)
        return outcome;
    SpanProgramSet set;
    MemoryInputStream in;
    in.open(data + kArgumentBytes, static_cast<uint32_t>(size - kArgumentBytes));
    outcome.loaded = set.load(in, kSpanRecordTag);
    if (!outcome.loaded)
        return outcome;
    RasterState rs;
    rs.init(16);
    std::vector<uint32_t> target(kTarget * kTarget, 0x11223344), texels(kTexture * kTexture, 0x00FF00FF), palette(256, 7);
    RenderTargetView view;
    view.flags = SurfaceFlag::RasterTarget | kTargetColourPlane;
    view.colour = {reinterpret_cast<uint8_t*>(target.data()), kTarget * 4, kTarget * kTarget * 4, PixelFormat::X8R8G8B8};
    rs.bindTarget(&view);
    rs.bindTexturePixels(0, {PixelFormat::X8R8G8B8, kTexture, kTexture, reinterpret_cast<const uint8_t*>(texels.data()),
                             kTexture * kTexture * 4, reinterpret_cast<const uint8_t*>(palette.data()), 1024});
    setClipRectangle(rs, 0, 0, kTarget, kTarget);
    RasterStateBlock& s = rs.block();
    s.regs[kSpanConstantAlpha] = 0x80;
    s.destheight = kTarget;
    s.destptr = s.destbase + (data[24] % kTarget) * static_cast<uint32_t>(s.deststride);
    s.intp[kSpanInterpolantU] = argument(data, 2), s.intdp[kSpanInterpolantU] = argument(data, 3);
    s.intp[kSpanInterpolantV] = argument(data, 4), s.intdp[kSpanInterpolantV] = argument(data, 5);
    rs.bindSpanProgram(set.record(0));
    const SpanAddress state = spanAddress(kSpanRegionState, 0);
    outcome.span = runArmCode(rs.addressSpace(), state, rs.spanCode(), kSpanCodeBytes, state,
                              static_cast<uint32_t>(argument(data, 0)), static_cast<uint32_t>(argument(data, 1)),
                              kFuzzBudget);
    ScanConverter converter(rs);
    converter.setSpanBudget(kFuzzBudget / 10);
    const Fixed u[4] = {0, 0, kTexture << 16, kTexture << 16}, v[4] = {0, kTexture << 16, kTexture << 16, 0};
    Fixed* m = s.matrix2D.entries[0];
    // The quad's scale from the steps (0.5 and 1/16 in the plain seeds give 2 and 1).
    m[0] = static_cast<Fixed>(static_cast<uint32_t>(argument(data, 3)) << 2);
    m[3] = static_cast<Fixed>(static_cast<uint32_t>(argument(data, 5)) << 4);
    m[4] = argument(data, 0), m[5] = argument(data, 1);
    converter.drawTexturedQuad(kTexture << 16, kTexture << 16, u, v, data[24] & 1);
    outcome.quadSpansReturned = converter.counts().returned;
    return outcome;
}

std::vector<std::pair<std::string, std::vector<uint8_t>>> makeSpanSeeds()
{
    std::vector<std::pair<std::string, std::vector<uint8_t>>> seeds;
    auto add = [&](const std::string& name, std::vector<uint8_t> args, const std::vector<uint8_t>& record) {
        args.insert(args.end(), record.begin(), record.end());
        seeds.emplace_back(name, std::move(args));
    };
    const std::vector<uint8_t> plain = arguments(2 << 16, 20 << 16, 0, 0x8000, 3 << 16, 0x1000, 5);
    const char* modes[] = {"opaque", "keyed", "blend"};
    for (int m = 0; m < 3; ++m)
        add(std::string("ok-") + modes[m], plain,
            spanProgramRecord(static_cast<SpanMode>(m), PixelFormat::X8R8G8B8, PixelFormat::X8R8G8B8));
    add("wild-coordinates", arguments(-(40 << 16), 90 << 16, 0x7FFF0000, 0x7FFFFFFF, -(1 << 30), -0x7FFFFFFF, 255),
        spanProgramRecord(SpanMode::KeyedBlend, PixelFormat::X8R8G8B8, PixelFormat::X8R8G8B8));
    auto program = [](std::vector<uint32_t> code) {
        SpanRecordKeys keys;
        keys.destination = PixelFormat::X8R8G8B8;
        keys.source = PixelFormat::X8R8G8B8;
        return spanRecord(code, keys);
    };
    add("bad-wild-store", plain, program({armTransfer(kAl, false, false, 0, 1, 0), armBx(kAl, 14)}));
    add("bad-endless", plain, program({armBranch(kAl, -2)}));
    add("bad-runs-off", plain, program({armDataProcessing(kAl, kMov, false, 0, 0, armImm(1))}));
    add("bad-stack-below-state", plain,
        program({armDataProcessing(kAl, kSub, false, 13, 13, armImm(0x3000)), armBlock(kAl, false, kDb, true, 13, 0xFFFF),
                 armBx(kAl, 14)}));
    std::vector<uint8_t> tooMany = program({armBx(kAl, 14)});
    tooMany[4 * kSpanWordInterpolantCount] = 7;
    add("bad-interpolants", plain, tooMany);
    // A stored depth interpolant whose unbiasing would overflow.
    std::vector<uint8_t> lowDepth = program({armBx(kAl, 14)});
    const uint32_t depthWords[2] = {0, 0x80000000u};
    std::memcpy(&lowDepth[4 * kSpanWordDepthSource], &depthWords[0], 4);
    std::memcpy(&lowDepth[4 * kSpanWordDepthInterpolant], &depthWords[1], 4);
    add("bad-depth-interpolant", plain, lowDepth);
    std::vector<uint8_t> longer = program({armBx(kAl, 14)});
    longer.push_back(0);
    add("bad-longer", plain, longer);
    add("bad-short", {1, 2, 3}, {});
    return seeds;
}
