// Matrix library hot paths: products by class, the inverse, and the integer
// vertex transform the renderer runs per vertex.
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "engine/core/math/CkwIntMatrix.h"
#include "engine/core/math/CkwMatrix.h"

namespace {

CkwMatrix randomAffine(uint32_t seed)
{
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> value(-2.0f, 2.0f);
    CkwMatrix m;
    for (int c = 0; c < 4; ++c)
        for (int r = 0; r < 3; ++r)
            m.m[4 * c + r] = value(rng);
    m.classify();
    return m;
}

void BM_MultiplyAffine(benchmark::State& state)
{
    const CkwMatrix a = randomAffine(1);
    const CkwMatrix b = randomAffine(2);
    for (auto _ : state) {
        CkwMatrix p = a;
        p.multiply(b);
        benchmark::DoNotOptimize(p);
    }
}
BENCHMARK(BM_MultiplyAffine);

void BM_MultiplyGeneral(benchmark::State& state)
{
    CkwMatrix a = randomAffine(3);
    a.m[3] = 0.25f;
    a.classify();
    const CkwMatrix b = randomAffine(4);
    for (auto _ : state) {
        CkwMatrix p = a;
        p.multiply(b);
        benchmark::DoNotOptimize(p);
    }
}
BENCHMARK(BM_MultiplyGeneral);

void BM_MultiplyTranslation(benchmark::State& state)
{
    const CkwMatrix a = randomAffine(5);
    const CkwMatrix t = CkwMatrix::translation(1.0f, 2.0f, 3.0f);
    for (auto _ : state) {
        CkwMatrix p = a;
        p.multiply(t);
        benchmark::DoNotOptimize(p);
    }
}
BENCHMARK(BM_MultiplyTranslation);

void BM_Invert(benchmark::State& state)
{
    const CkwMatrix a = randomAffine(6);
    for (auto _ : state) {
        CkwMatrix p = a;
        benchmark::DoNotOptimize(p.invert());
        benchmark::DoNotOptimize(p);
    }
}
BENCHMARK(BM_Invert);

void BM_IntTransformPointsS16(benchmark::State& state)
{
    const int32_t count = static_cast<int32_t>(state.range(0));
    CkwMatrix m = randomAffine(7);
    m.m[3] = 0.01f;
    m.classify();
    CkwIntMatrix im;
    CkwIntMatrix::fromMatrix(im, m, 32767.0f, false, false);
    std::mt19937 rng(8);
    std::uniform_int_distribution<int> component(-32767, 32767);
    std::vector<int16_t> points(static_cast<size_t>(count) * 3);
    for (int16_t& p : points)
        p = static_cast<int16_t>(component(rng));
    std::vector<int32_t> xyz(points.size());
    std::vector<int32_t> w(static_cast<size_t>(count));
    for (auto _ : state) {
        im.transformPointsS16(points.data(), xyz.data(), w.data(), count);
        benchmark::DoNotOptimize(xyz.data());
    }
    state.SetItemsProcessed(state.iterations() * count);
}
BENCHMARK(BM_IntTransformPointsS16)->Arg(1024);

} // namespace
