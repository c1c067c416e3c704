// Formatting throughput: the resource manager's numbered texts and the span
// interpreter's debug lines go through these engines.
#include "framework/util/Format.h"

#include <benchmark/benchmark.h>

#include <cstdio>

static void BM_FormatNarrowMixed(benchmark::State& state)
{
    char buffer[128];
    int i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(formatNarrow(buffer, "op %-8s r%d, #0x%08x (%5u)", "mov", i & 15, i * 2654435761u, i));
        ++i;
    }
}
BENCHMARK(BM_FormatNarrowMixed);

static void BM_SnprintfMixed(benchmark::State& state)
{
    char buffer[128];
    int i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            std::snprintf(buffer, sizeof buffer, "op %-8s r%d, #0x%08x (%5u)", "mov", i & 15, i * 2654435761u, i));
        ++i;
    }
}
BENCHMARK(BM_SnprintfMixed);

static void BM_FormatWideNumberedText(benchmark::State& state)
{
    char16_t buffer[16];
    uint32_t id = 0x21FF0000;
    for (auto _ : state)
        benchmark::DoNotOptimize(formatWide(buffer, u"0x%8.8x", id++));
}
BENCHMARK(BM_FormatWideNumberedText);
