#include "gfx2d/image/Palette.h"

#include <gtest/gtest.h>

#include <vector>

#include "framework/streams/MemoryInputStream.h"
#include "tests/support/AllocationWatch.h"
#include "tests/support/RunDryStream.h"
#include "tools/image/ImageWriters.h"

namespace {

ImageBytes join(std::initializer_list<ImageBytes> parts)
{
    ImageBytes out;
    for (const ImageBytes& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

const ImageBytes kPlte3 = pngChunk("PLTE", {0x10, 0x20, 0x30, 0x40, 0x50, 0x60, 0xFF, 0x00, 0xFF});

TEST(Palette, LoadsChunksAndRawTablesAndRefusesWhatItCannotRead)
{
    struct Case {
        const char* name;
        uint32_t tag;
        ImageBytes bytes;
        std::vector<uint32_t> colours;  // empty: the load fails
        uint32_t announced = 0;         // not 0: a stream that announces this and runs dry
    };
    const Case cases[] = {
        {"plte alone is opaque", 0x40546F85, kPlte3, {0xFF102030, 0xFF405060, 0xFFFF00FF}},
        {"short trns leaves the rest opaque", 0x40546F85, join({kPlte3, pngChunk("tRNS", {0x00, 0x80})}),
         {0x00102030, 0x80405060, 0xFFFF00FF}},
        {"long trns sets the palette's alphas only", 0x40546F85,
         join({kPlte3, pngChunk("tRNS", {1, 2, 3, 4, 5})}), {0x01102030, 0x02405060, 0x03FF00FF}},
        {"raw table forces alpha", 0x40547DA2, {0x11, 0x22, 0x33, 0x00, 0x44, 0x55, 0x66, 0x77, 0x99},
         {0xFF332211, 0xFF665544}},
        {"length not a multiple of 3", 0x40546F85, pngChunk("PLTE", {1, 2, 3, 4}), {}},
        {"wrong first chunk", 0x40546F85, pngChunk("tRNS", {1, 2, 3}), {}},
        {"wrong second chunk", 0x40546F85, join({kPlte3, pngChunk("IDAT", {1})}), {}},
        {"more than 256 colours", 0x40546F85, pngChunk("PLTE", ImageBytes(257 * 3, 7)), {}},
        {"cut inside the colours", 0x40546F85, ImageBytes(kPlte3.begin(), kPlte3.begin() + 12), {}},
        {"unknown tag", 0xA6EFB9A2, kPlte3, {}},
        {"raw table announcing 32 MiB", 0x40547DA2, ImageBytes(8, 1), {}, 32 << 20},
    };
    for (const Case& c : cases) {
        MemoryInputStream memory;
        memory.open(c.bytes.data(), uint32_t(c.bytes.size()));
        RunDryStream dry(c.bytes, c.announced);
        InputStream& stream = c.announced ? static_cast<InputStream&>(dry) : memory;
        Palette palette;
        AllocationWatch watch(1 << 20);
        EXPECT_EQ(palette.load(stream, c.tag), c.colours.empty() ? 0 : 1) << c.name;
        EXPECT_LE(watch.largest(), kFirstReadBlock) << c.name;
        EXPECT_EQ(stream.swapBytes(), 0) << c.name;
        ASSERT_EQ(palette.count(), c.colours.size()) << c.name;
        EXPECT_EQ(palette.format(), c.colours.empty() ? 0u : 0x0C4404u) << c.name;
        for (size_t i = 0; i < c.colours.size(); ++i)
            EXPECT_EQ(palette.colours()[i], c.colours[i]) << c.name << " colour " << i;
    }
}

} // namespace
