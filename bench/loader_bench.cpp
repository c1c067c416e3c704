// The loader against zlib alone: a writer-made scene of about 2 MB (thousands
// of groups in zlib sections) loaded from memory through the engine's Loader
// interface, and the same sections only inflated. The loader should cost no
// more than three times the inflation; the ratio is in the "vs_inflate" line.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdint>
#include <vector>
#include <zlib.h>

#include "engine/core/interface/IkwEngine.h"
#include "engine/core/interface/InterfaceIds.h"
#include "tools/m3g/M3gFileWriter.h"
#include "tools/m3g/M3gSceneEncoders.h"

namespace {

const std::vector<uint8_t>& sceneFile()
{
    static const std::vector<uint8_t> file = [] {
        M3gFileWriter writer;
        uint32_t seed = 12345;
        std::vector<uint32_t> loose;
        for (int i = 0; i < 14000; ++i) {
            if (i % 500 == 0)
                writer.beginSection(kM3gSchemeZlib);
            M3gGroupFields group;
            group.node.transformable.object.userId = i;
            M3gUserParameter parameter;
            parameter.id = 1;
            for (int b = 0; b < 240; ++b) {
                seed = seed * 1664525u + 1013904223u;
                parameter.value.push_back(static_cast<uint8_t>(seed >> 28)); // compresses like real data
            }
            group.node.transformable.object.userParameters.push_back(parameter);
            if (loose.size() >= 4) {
                group.children.assign(loose.begin(), loose.end());
                loose.clear();
            }
            loose.push_back(writer.addObject(m3gGroupRecord(group)));
        }
        return writer.finish();
    }();
    return file;
}

void inflateSections(const std::vector<uint8_t>& file, std::vector<uint8_t>& out)
{
    size_t at = 12;
    while (at + 13 <= file.size()) {
        const auto u32 = [&](size_t p) {
            return uint32_t{file[p]} | uint32_t{file[p + 1]} << 8 | uint32_t{file[p + 2]} << 16
                   | uint32_t{file[p + 3]} << 24;
        };
        const uint32_t total = u32(at + 1);
        const uint32_t raw = u32(at + 5);
        out.resize(raw);
        uLongf length = raw;
        if (file[at] == 1)
            uncompress(out.data(), &length, file.data() + at + 9, total - 13);
        at += total;
    }
}

double loadSeconds(const IkwEngineTable& api, const std::vector<uint8_t>& file)
{
    const auto start = std::chrono::steady_clock::now();
    EngineHandle* loader = nullptr;
    api.createEngineObject(kIidLoader, &loader);
    const auto& l = tableOf<IkwLoaderTable>(loader);
    if (l.loadBuffer(loader, static_cast<uint32_t>(file.size()), file.data(), nullptr) != 0)
        return -1.0;
    tableOf<IkwUnknownTable>(loader).release(loader);
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double inflateSeconds(const std::vector<uint8_t>& file)
{
    std::vector<uint8_t> out;
    const auto start = std::chrono::steady_clock::now();
    inflateSections(file, out);
    benchmark::DoNotOptimize(out.data());
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void LoadSceneFromMemory(benchmark::State& state)
{
    const std::vector<uint8_t>& file = sceneFile();
    IkwEngine* root = nullptr;
    initEngineApi(&root);
    root->table->initialize(root, nullptr, nullptr);
    double loading = 0.0;
    double inflating = 0.0;
    for (auto _ : state) {
        const double seconds = loadSeconds(*root->table, file);
        if (seconds < 0.0) {
            state.SkipWithError("the scene did not load");
            break;
        }
        loading += seconds;
        state.PauseTiming();
        inflating += inflateSeconds(file);
        state.ResumeTiming();
    }
    root->table->release(root);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * file.size()));
    state.counters["file_bytes"] = static_cast<double>(file.size());
    state.counters["vs_inflate"] = inflating > 0.0 ? loading / inflating : 0.0;
}

void InflateSectionsOnly(benchmark::State& state)
{
    const std::vector<uint8_t>& file = sceneFile();
    std::vector<uint8_t> out;
    for (auto _ : state) {
        inflateSections(file, out);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * file.size()));
}

} // namespace

BENCHMARK(LoadSceneFromMemory)->Unit(benchmark::kMillisecond);
BENCHMARK(InflateSectionsOnly)->Unit(benchmark::kMillisecond);
