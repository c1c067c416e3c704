// A 4 MiB deflated pack entry read through PackEntryStream against one zlib
// uncompress of the same bytes. The stream must keep at least half the
// throughput of the one-shot inflate.
#include <benchmark/benchmark.h>

#include <zlib.h>

#include "framework/resources/PackEntryStream.h"
#include "framework/resources/ResourcePack.h"
#include "tools/pack/HostFiles.h"
#include "tools/pack/PackWriter.h"

namespace {

constexpr uint32_t kEntrySize = 4u << 20;

// Game-like data: runs of texture-ish bytes with noise, deflating about 3:1.
const Bytes& payload()
{
    static const Bytes bytes = [] {
        Bytes out(kEntrySize);
        uint32_t seed = 12345;
        for (uint32_t i = 0; i < kEntrySize; ++i) {
            seed = seed * 1664525 + 1013904223;
            out[i] = static_cast<uint8_t>((i / 64) * 3 + ((seed >> 28) & 3));
        }
        return out;
    }();
    return bytes;
}

const Bytes& packImage()
{
    static const Bytes image = [] {
        PackWriter writer;
        writer.add(0x03000100, 0x69E4C505, payload(), true);
        Bytes out;
        writer.build(PackIndexForm::Sorted, out);
        return out;
    }();
    return image;
}

void BM_PackEntryStreamRead(benchmark::State& state)
{
    ResourcePack pack;
    pack.openFile(new MemoryFile(packImage()));
    Bytes out(kEntrySize);
    const uint32_t slice = static_cast<uint32_t>(state.range(0));
    for (auto _ : state) {
        PackEntryStream stream;
        stream.open(&pack, 0x03000100, 1);
        for (uint32_t done = 0; done < kEntrySize; done += slice)
            stream.read(out.data() + done, std::min(slice, kEntrySize - done));
        if (stream.hasError())
            state.SkipWithError("entry stream failed");
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * kEntrySize);
}
BENCHMARK(BM_PackEntryStreamRead)->Arg(4096)->Arg(65536)->Arg(kEntrySize)->Unit(benchmark::kMillisecond);

void BM_ZlibUncompress(benchmark::State& state)
{
    const Bytes& image = packImage();
    // The zlib stream of the one entry: after the 32-byte header, one index
    // record, two block records, the 4-byte entry header and the two sizes.
    const size_t at = 32 + 4 + 16 + 4 + 8;
    Bytes out(kEntrySize);
    for (auto _ : state) {
        uLongf size = kEntrySize;
        if (uncompress(out.data(), &size, image.data() + at, image.size() - at) != Z_OK)
            state.SkipWithError("uncompress failed");
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * kEntrySize);
}
BENCHMARK(BM_ZlibUncompress)->Unit(benchmark::kMillisecond);

} // namespace
