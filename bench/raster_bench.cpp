// Fill rate of the triangle rasterizer over a 240 x 320 target (flat, Gouraud
// and textured-modulate spans with depth), each beside the general span
// routine doing the same work and a plain memset of the colour buffer, and
// the triangle rate for small (about 20 pixel) triangles, and the fill rates
// of a sprite quad stretched over the target and of a background blit.
#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <vector>

#include "engine/render/CkwRasterizerStandard.h"

namespace {

constexpr int32_t kWidth = 240;
constexpr int32_t kHeight = 320;

struct Scene {
    std::vector<uint16_t> color = std::vector<uint16_t>(kWidth * kHeight);
    std::vector<uint16_t> depth = std::vector<uint16_t>(kWidth * kHeight, 0xFFFF);
    std::vector<uint16_t> texels = std::vector<uint16_t>(64 * 64);
    SkwRasterImage image{kRasterFormatRgb, 64, 64, nullptr, nullptr, nullptr};
    SkwRasterTextureSource source;
    CkwRasterizerStandard r;

    Scene(bool textured, bool perspective, bool general)
    {
        std::mt19937 rng(7);
        for (uint16_t& t : texels)
            t = static_cast<uint16_t>(rng());
        image.colorData = texels.data();
        source.image = &image;
        source.function = kFuncModulate;
        r.setTarget(color.data(), kWidth, kHeight, kWidth * 2, depth.data(), true);
        r.setCompositingMode(SkwRasterCompositing{});
        if (textured)
            r.setTexture(0, &source, perspective ? kPolygonPerspective : kPolygonDefaultBits);
        r.setGeneralSpansOnly(general);
    }
};

SkwRasterVertex vertex(int32_t x, int32_t y, int32_t z, int32_t r, int32_t g, int32_t b, int32_t s, int32_t t,
                       int32_t q)
{
    SkwRasterVertex v{};
    v.x = x * 16;
    v.y = y * 16;
    v.z = z;
    v.r = r;
    v.g = g;
    v.b = b;
    v.alpha = 255;
    v.tex[0] = {s, t, 0, q};
    return v;
}

enum Kind { kFlat, kGouraud, kTextured };

// Two triangles covering the whole target, redrawn at equal depth (which
// passes), so every pixel runs the full depth-tested path.
void fillScreen(benchmark::State& state, Kind kind, bool general)
{
    Scene scene(kind == kTextured, true, general);
    const bool shaded = kind != kFlat;
    const int32_t q0 = 0x10000, q1 = 0x4000;  // the far side is four times as far
    SkwRasterVertex tl = vertex(0, 0, 0x800000, 0xF000, 0x8000, 0x4000, 0, 0, q1);
    SkwRasterVertex tr = vertex(kWidth, 0, 0x800000, shaded ? 0x3000 : 0xF000, 0x8000, 0x4000, 8 << 16, 0, q1);
    SkwRasterVertex bl = vertex(0, kHeight, 0x800000, 0xF000, shaded ? 0xE000 : 0x8000, 0x4000, 0, 10 << 16, q0);
    SkwRasterVertex br = vertex(kWidth, kHeight, 0x800000, 0xF000, 0x8000, shaded ? 0xC000 : 0x4000, 8 << 16,
                                10 << 16, q0);
    for (auto _ : state) {
        scene.r.drawTriangle(&tl, &bl, &tr);
        scene.r.drawTriangle(&tr, &bl, &br);
        benchmark::DoNotOptimize(scene.color.data());
        benchmark::ClobberMemory();
    }
    state.counters["pixels/s"] =
        benchmark::Counter(double(kWidth) * kHeight, benchmark::Counter::kIsIterationInvariantRate);
}

void BM_FlatDepth(benchmark::State& state) { fillScreen(state, kFlat, false); }
void BM_FlatDepthGeneral(benchmark::State& state) { fillScreen(state, kFlat, true); }
void BM_GouraudDepth(benchmark::State& state) { fillScreen(state, kGouraud, false); }
void BM_GouraudDepthGeneral(benchmark::State& state) { fillScreen(state, kGouraud, true); }
void BM_TexModulateDepth(benchmark::State& state) { fillScreen(state, kTextured, false); }
void BM_TexModulateDepthGeneral(benchmark::State& state) { fillScreen(state, kTextured, true); }
BENCHMARK(BM_FlatDepth);
BENCHMARK(BM_FlatDepthGeneral);
BENCHMARK(BM_GouraudDepth);
BENCHMARK(BM_GouraudDepthGeneral);
BENCHMARK(BM_TexModulateDepth);
BENCHMARK(BM_TexModulateDepthGeneral);

// The physical limit: writing every colour word once.
void BM_MemsetColorBuffer(benchmark::State& state)
{
    std::vector<uint16_t> color(kWidth * kHeight);
    uint8_t value = 0;
    for (auto _ : state) {
        std::memset(color.data(), ++value, color.size() * 2);
        benchmark::DoNotOptimize(color.data());
        benchmark::ClobberMemory();
    }
    state.counters["pixels/s"] =
        benchmark::Counter(double(kWidth) * kHeight, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_MemsetColorBuffer);

// Right triangles with legs of 6 and 7 pixels (about 20 pixels each) scattered
// over the target, Gouraud shaded or textured, depth tested.
void smallTriangles(benchmark::State& state, bool textured)
{
    Scene scene(textured, true, false);
    std::mt19937 rng(11);
    constexpr int32_t kCount = 1024;
    std::vector<SkwRasterVertex> v(kCount * 3);
    for (int32_t i = 0; i < kCount; ++i) {
        const int32_t x = static_cast<int32_t>(rng() % (kWidth - 8)), y = static_cast<int32_t>(rng() % (kHeight - 8));
        const int32_t z = static_cast<int32_t>(rng() % 0x0FFFFFFF);
        v[i * 3] = vertex(x, y, z, 0x8000, 0x4000, 0x2000, 0, 0, 0x10000);
        v[i * 3 + 1] = vertex(x, y + 7, z, 0x2000, 0xC000, 0x2000, 0, 0x10000, 0xC000);
        v[i * 3 + 2] = vertex(x + 6, y, z, 0x2000, 0x4000, 0xE000, 0x10000, 0, 0x8000);
    }
    for (auto _ : state) {
        for (int32_t i = 0; i < kCount; ++i)
            scene.r.drawTriangle(&v[i * 3], &v[i * 3 + 1], &v[i * 3 + 2]);
        std::fill(scene.depth.begin(), scene.depth.end(), 0xFFFF);
        benchmark::DoNotOptimize(scene.color.data());
    }
    state.counters["triangles/s"] = benchmark::Counter(kCount, benchmark::Counter::kIsIterationInvariantRate);
}

// A 64 x 64 palette sprite stretched over the whole target, the quad path
// that copies texels without the triangle walk.
void BM_ScaledSpriteQuad(benchmark::State& state)
{
    Scene scene(false, false, false);
    std::vector<uint8_t> indices(64 * 64);
    std::mt19937 rng(13);
    for (uint8_t& i : indices)
        i = static_cast<uint8_t>(rng());
    scene.image.indexData = indices.data();
    scene.source.function = kFuncReplace;
    scene.r.setTexture(0, &scene.source, kPolygonDefaultBits);
    SkwRasterVertex tl = vertex(0, 0, 0x800000, 0x10000, 0x10000, 0x10000, 0, 0, 0x10000);
    SkwRasterVertex bl = vertex(0, kHeight, 0x800000, 0x10000, 0x10000, 0x10000, 0, 0x10000, 0x10000);
    SkwRasterVertex tr = vertex(kWidth, 0, 0x800000, 0x10000, 0x10000, 0x10000, 0x10000, 0, 0x10000);
    SkwRasterVertex br = vertex(kWidth, kHeight, 0x800000, 0x10000, 0x10000, 0x10000, 0x10000, 0x10000, 0x10000);
    for (auto _ : state) {
        scene.r.drawQuad(true, &tl, &bl, &tr, &br);
        benchmark::DoNotOptimize(scene.color.data());
        benchmark::ClobberMemory();
    }
    state.counters["pixels/s"] =
        benchmark::Counter(double(kWidth) * kHeight, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_ScaledSpriteQuad);

// A palette background image repeated over the whole target.
void BM_BackgroundBlit(benchmark::State& state)
{
    Scene scene(false, false, false);
    std::vector<uint8_t> indices(64 * 64);
    std::mt19937 rng(17);
    for (uint8_t& i : indices)
        i = static_cast<uint8_t>(rng());
    scene.image.indexData = indices.data();
    scene.r.setBlitImage(&scene.image, kFuncReplace);
    for (auto _ : state) {
        scene.r.blitImage(0, 0, kWidth, kHeight, 0, 0, 0x5000, 0x3000);
        benchmark::DoNotOptimize(scene.color.data());
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_BackgroundBlit);

void BM_SmallTrianglesGouraud(benchmark::State& state) { smallTriangles(state, false); }
void BM_SmallTrianglesTextured(benchmark::State& state) { smallTriangles(state, true); }
BENCHMARK(BM_SmallTrianglesGouraud);
BENCHMARK(BM_SmallTrianglesTextured);

} // namespace
