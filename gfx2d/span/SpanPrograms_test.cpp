// The generated span programs, interpreted, against their reference spans
// in plain C++: single random spans, and whole rotated image quads set up
// and scan-converted by the rasterizer.
#include <cstring>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "gfx2d/blit/BlitterRegistry.h"
#include "gfx2d/raster/RasterMath.h"
#include "gfx2d/raster/SpanRecordWords.h"
#include "gfx2d/span/ArmInterpreter.h"
#include "gfx2d/span/ScanConversion.h"
#include "gfx2d/span/SpanIds.h"
#include "tests/support/GoldenImage.h"
#include "tests/support/TestApp.h"
#include "tools/span/ReferenceSpans.h"
#include "tools/span/SpanPrograms.h"

namespace {

constexpr int kTargetW = 96, kTargetH = 64, kTexW = 13, kTexH = 11;

struct Scene {
    RasterState rs;
    std::vector<uint8_t> target;
    std::vector<uint8_t> texels;
    std::vector<uint32_t> palette = std::vector<uint32_t>(256);
    RenderTargetView view;
    std::vector<uint8_t> record;
    RSBFormat destination, source;
    SpanMode mode;

    Scene(SpanMode m, RSBFormat d, RSBFormat s, uint32_t seed) : destination(d), source(s), mode(m)
    {
        std::mt19937 random(seed);
        rs.init(64);
        const uint32_t bpp = d == PixelFormat::X8R8G8B8 ? 4 : 2;
        target.resize(kTargetW * kTargetH * bpp);
        // A gradient under the image, so that blends and keys show.
        for (int i = 0; i < kTargetW * kTargetH; ++i) {
            const uint32_t c = 0xFF000040u | static_cast<uint32_t>(i % kTargetW * 2) << 16 | static_cast<uint32_t>(i / kTargetW * 3) << 8;
            const uint16_t c16 = static_cast<uint16_t>(((c >> 8) & 0xF800) | ((c >> 5) & 0x7E0) | ((c >> 3) & 0x1F));
            std::memcpy(&target[i * bpp], bpp == 4 ? static_cast<const void*>(&c) : &c16, bpp);
        }
        view.flags = SurfaceFlag::RasterTarget | kTargetColourPlane;
        view.colour = {target.data(), static_cast<int32_t>(kTargetW * bpp), static_cast<uint32_t>(target.size()), d};
        rs.bindTarget(&view);
        const uint32_t texel = bytesPerPixel(s);
        const uint32_t key = s == PixelFormat::R5G6B5 ? kSpanColourKey565 : 0x37FF00FFu;
        texels.resize(kTexW * kTexH * texel);
        for (uint32_t& c : palette)
            c = random() % 5 == 0 ? (random() & 0xFF000000u) | kSpanColourKey : static_cast<uint32_t>(random());
        for (size_t i = 0; i < texels.size(); i += texel) {
            const uint32_t c = texel == 1 ? random() & 255 : random() % 5 == 0 ? key : static_cast<uint32_t>(random());
            std::memcpy(&texels[i], &c, texel);
        }
        TexturePixels px{s, kTexW, kTexH, texels.data(), static_cast<uint32_t>(texels.size()),
                         reinterpret_cast<const uint8_t*>(palette.data()), 1024};
        rs.bindTexturePixels(0, px);
        rs.block().regs[kSpanConstantAlpha] = static_cast<int32_t>(random() % 256);
        record = spanProgramRecord(m, d, s);
        setClipRectangle(rs, 0, 0, kTargetW, kTargetH);
    }
};

}  // namespace

TEST(SpanPrograms, InterpretedSpansEqualTheReferenceOnRandomSpans)
{
    uint32_t seed = 1;
    for (SpanMode mode : {SpanMode::Opaque, SpanMode::Keyed, SpanMode::KeyedBlend}) {
        for (RSBFormat d : kSpanDestinations) {
            for (RSBFormat s : kSpanSources) {
                if (spanProgramCode(mode, d, s).empty())
                    continue;
                Scene sc(mode, d, s, seed++);
                ASSERT_EQ(sc.record.size(), kSpanRecordBytes);
                const NativeSpan reference = referenceSpan(mode, d, s);
                ASSERT_NE(reference, nullptr);
                std::mt19937 random(seed);
                RasterStateBlock& b = sc.rs.block();
                for (int i = 0; i < 300; ++i) {
                    const int32_t row = static_cast<int32_t>(random() % kTargetH);
                    b.destptr = b.destbase + static_cast<uint32_t>(row * b.deststride);
                    setClipRectangle(sc.rs, static_cast<int32_t>(random() % 20), 0,
                                     kTargetW - static_cast<int32_t>(random() % 20), kTargetH);
                    for (uint32_t k : {kSpanInterpolantU, kSpanInterpolantV}) {
                        b.intp[k] = static_cast<Fixed>(random() % (40 << 16)) - (12 << 16);
                        b.intdp[k] = static_cast<Fixed>(random() % 0x30000) - 0x18000;
                    }
                    if (i % 7 == 0)
                        b.regs[kSpanConstantAlpha] = i % 2 ? 0 : 255;
                    else
                        b.regs[kSpanConstantAlpha] = static_cast<int32_t>(random() % 256);
                    const int32_t l = static_cast<int32_t>(random() % (120 << 16)) - (10 << 16);
                    const int32_t r = l + static_cast<int32_t>(random() % (60 << 16)) - (4 << 16);
                    const std::vector<uint8_t> before = sc.target;
                    const SpanAddress state = spanAddress(kSpanRegionState, 0);
                    ASSERT_EQ(runArmCode(sc.rs.addressSpace(), state, sc.record.data() + kSpanRecordCodeOffset,
                                         kSpanCodeBytes, state, static_cast<uint32_t>(l), static_cast<uint32_t>(r)),
                              SpanRun::Returned);
                    const std::vector<uint8_t> interpreted = sc.target;
                    sc.target = before;
                    reference(sc.rs, static_cast<uint32_t>(l), static_cast<uint32_t>(r));
                    ASSERT_EQ(interpreted, sc.target) << "mode " << int(mode) << " " << std::hex << d << " from " << s
                                                      << " span " << i;
                }
            }
        }
    }
}

TEST(SpanPrograms, ScanConvertedQuadsEqualTheReferenceThroughEveryProgram)
{
    for (SpanMode mode : {SpanMode::Opaque, SpanMode::Keyed, SpanMode::KeyedBlend}) {
        // Seeds from a base per mode: the golden quad keeps its texels whatever the pairs.
        uint32_t seed = 100 + 16 * uint32_t(mode);
        for (RSBFormat d : kSpanDestinations) {
            for (RSBFormat s : kSpanSources) {
                if (spanProgramCode(mode, d, s).empty())
                    continue;
                for (int32_t angle : {0, 37, 300, 512}) {
                    Scene sc(mode, d, s, seed++);
                    RasterStateBlock& b = sc.rs.block();
                    b.regs[kSpanConstantAlpha] = 200;
                    Fixed* m = b.matrix2D.entries[0];
                    affineRotation(*sc.rs.tables(), m, angle);
                    affineScale(m, 0x38000, 0x2C000);
                    m[4] = 40 << 16;
                    m[5] = 18 << 16;
                    const Fixed u[4] = {0, 0, kTexW << 16, kTexW << 16}, v[4] = {0, kTexH << 16, kTexH << 16, 0};
                    const std::vector<uint8_t> before = sc.target;
                    sc.rs.bindSpanProgram(sc.record.data());
                    ScanConverter interpreted(sc.rs);
                    sc.rs.resetPool();
                    interpreted.drawTexturedQuad(kTexW << 16, kTexH << 16, u, v, false);
                    EXPECT_GT(interpreted.counts().returned, 8u);
                    EXPECT_EQ(interpreted.counts().faults + interpreted.counts().timeouts + interpreted.counts().leftCode, 0u);
                    const std::vector<uint8_t> viaProgram = sc.target;
                    sc.target = before;
                    ScanConverter native(sc.rs);
                    native.bindNativeSpan(referenceSpan(mode, d, s), 3);
                    sc.rs.resetPool();
                    native.drawTexturedQuad(kTexW << 16, kTexH << 16, u, v, false);
                    EXPECT_EQ(viaProgram, sc.target) << "mode " << int(mode) << " angle " << angle;
                    EXPECT_NE(viaProgram, before);
                    if (mode == SpanMode::KeyedBlend && d == PixelFormat::X8R8G8B8 && s == PixelFormat::P8X8R8G8B8 &&
                        angle == 37) {
                        std::vector<uint32_t> picture(kTargetW * kTargetH);
                        std::memcpy(picture.data(), viaProgram.data(), viaProgram.size());
                        for (uint32_t& p : picture)
                            p |= 0xFF000000u;
                        EXPECT_TRUE(matchesGolden("gfx2d/span/testdata/keyed_blend_quad.png", picture.data(), kTargetW, kTargetH));
                    }
                }
            }
        }
    }
}

TEST(SpanPrograms, UntransformedImagesEqualTheBlitLoopsForTheSameSource)
{
    TestApp app;
    ASSERT_EQ(registerBlitters(), 1);
    uint32_t seed = 500;
    int compared = 0;
    for (SpanMode mode : {SpanMode::Opaque, SpanMode::Keyed, SpanMode::KeyedBlend}) {
        for (RSBFormat d : kSpanDestinations) {
            for (RSBFormat s : kSpanSources) {
                BlitKey query;
                query.sourceFormat = s;
                query.destFormat = d;
                query.keyMode = mode == SpanMode::Opaque ? BlitKeyMode::None : BlitKeyMode::FixedKey;
                query.blendMode = mode == SpanMode::KeyedBlend ? BlitBlendMode::ConstantAlpha : BlitBlendMode::Opaque;
                query.operation = BlitOperation::ImageCopy;
                const BlitFunction blit = findBlitter(query);
                if (!blit)
                    continue;  // no loop moves 32-bit pixels onto R5G6B5
                Scene sc(mode, d, s, seed++);
                RasterStateBlock& b = sc.rs.block();
                b.regs[kSpanConstantAlpha] = 0x9C;
                b.matrix2D.entries[0][4] = 7 << 16;
                b.matrix2D.entries[0][5] = 5 << 16;
                const Fixed u[4] = {0, 0, kTexW << 16, kTexW << 16}, v[4] = {0, kTexH << 16, kTexH << 16, 0};
                const std::vector<uint8_t> before = sc.target;
                sc.rs.bindSpanProgram(sc.record.data());
                ScanConverter converter(sc.rs);
                converter.drawTexturedQuad(kTexW << 16, kTexH << 16, u, v, false);
                const std::vector<uint8_t> viaProgram = sc.target;
                sc.target = before;
                const int32_t dbpp = d == PixelFormat::X8R8G8B8 ? 4 : 2;
                BlitImageJob job;
                job.srcPitch = kTexW * int32_t(bytesPerPixel(s));
                job.srcPixels = sc.texels.data();
                job.palette = sc.palette.data();
                job.dstPitch = kTargetW * dbpp;
                job.dstPixels = sc.target.data() + 5 * job.dstPitch + 7 * dbpp;
                job.width = kTexW;
                job.height = kTexH;
                job.alpha = 0x9C;
                blit(&job);
                EXPECT_EQ(viaProgram, sc.target) << "mode " << int(mode) << " " << std::hex << d << " from " << s;
                ++compared;
            }
        }
    }
    EXPECT_EQ(compared, 12);
}
