// The image readers' fuzz run and its seeds.
#include "tools/image/ImageFuzzInput.h"

#include <algorithm>
#include <memory>

#include "framework/streams/MemoryInputStream.h"
#include "gfx2d/image/BmpImage.h"
#include "gfx2d/image/ImageIds.h"
#include "gfx2d/image/Palette.h"
#include "gfx2d/image/PixelBuffer.h"
#include "tests/support/TestApp.h"

namespace {

// The blitter table is a service: the run needs an application around it.
void ensureApplication()
{
    if (getGameApp() == nullptr) {
        static TestApp app;
    }
}

struct Target {
    RSBFormat format;
    uint8_t keyFlag;
    uint8_t transpose;
    uint8_t mirror;
};

constexpr Target kTargets[kImageFuzzDecodes] = {
    {PixelFormat::R5G6B5, 0, 0, 0},
    {PixelFormat::X8R8G8B8, 0, 1, 1},
    {PixelFormat::A1R5G5B5, 1, 0, 1},
    {PixelFormat::P8X8R8G8B8, 0, 1, 0},
};

uint32_t decodeAll(const uint8_t* data, size_t size, uint32_t tag)
{
    uint32_t decoded = 0;
    for (const Target& t : kTargets) {
        MemoryInputStream stream;
        stream.open(data, static_cast<uint32_t>(size));
        DecodeOptions options;
        options.stream = &stream;
        options.decoderTag = tag;
        options.keyFlag = t.keyFlag;
        options.keyColour = 0xFF00FF;
        options.transpose = t.transpose;
        options.mirror = t.mirror;
        options.flip = t.mirror;
        // 24-bit rows have no keyed or index loop; they go to a direct format.
        const RSBFormat direct = t.format == PixelFormat::R5G6B5 ? PixelFormat::R5G6B5 : PixelFormat::X8R8G8B8;
        options.formatMap[0] = {PixelFormat::P4X8R8G8B8, t.format};
        options.formatMap[1] = {PixelFormat::P8X8R8G8B8, t.format};
        options.formatMap[2] = {PixelFormat::R8G8B8, direct};
        PaletteSlot slot;
        PixelBuffer buffer;
        decoded += buffer.create(0, 0, 0, false, &slot, &options, PitchMode::Packed, 0, nullptr);
    }
    return decoded;
}

} // namespace

ImageFuzzOutcome readImageFuzzInput(const uint8_t* data, size_t size)
{
    ensureApplication();
    ImageFuzzOutcome outcome;
    size = std::min<size_t>(size, 0xFFFFFFFFu);
    for (uint32_t tag : {ResourceType::PngPalette, ResourceType::RawPalette}) {
        MemoryInputStream stream;
        stream.open(data, static_cast<uint32_t>(size));
        Palette palette;
        palette.load(stream, tag);
    }

    BmpImage inPlace(data, static_cast<uint32_t>(size), 0);
    MemoryInputStream stream;
    stream.open(data, static_cast<uint32_t>(size));
    BmpImage loaded;
    outcome.bmpLoaded = loaded.load(stream);
    for (const BmpImage* image : {&inPlace, &loaded}) {
        const int32_t w = image->pixels() ? image->header().width : 0, h = image->pixels() ? image->header().height : 0;
        uint32_t sum = 0;
        std::vector<uint8_t> row(size_t(w) + 2);
        for (int32_t y = -1; y <= h && h <= 256 && w <= 256; ++y) {
            BmpCursor cursor(image, -1, y);
            cursor.readIndexRow(row.data(), w + 2);
            for (int32_t x = -1; x <= w; ++x) {
                cursor.seek(x, y);
                sum += uint32_t(cursor.readIndex()) + cursor.readColour();
            }
        }
        (void)sum;
    }

    outcome.pngDecodes = decodeAll(data, size, ResourceType::PngFile);
    outcome.bmpDecodes = decodeAll(data, size, ResourceType::BmpFile);
    return outcome;
}

namespace {

PngPicture seedPng(int32_t width, int32_t height, uint8_t depth)
{
    PngPicture p = samplePng(width, height, depth);
    p.alpha = {0x00, 0x80, 0xFF};
    p.rowFilters = {0, 1, 2, 3, 4};
    return p;
}

ImageBytes concat(std::initializer_list<ImageBytes> parts)
{
    ImageBytes out;
    for (const ImageBytes& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

// A palette PNG assembled chunk by chunk, with the image data given.
ImageBytes framedPng(const ImageBytes& header, const ImageBytes& idat, bool paletteFirst = true)
{
    const ImageBytes plte = pngChunk("PLTE", ImageBytes(48, 0x40));
    const ImageBytes data = pngChunk("IDAT", idat);
    return concat({pngSignature(), pngChunk("IHDR", header), paletteFirst ? plte : data, paletteFirst ? data : plte,
                   pngChunk("IEND", {})});
}

void setU32(ImageBytes& bytes, size_t at, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        bytes[at + i] = uint8_t(v >> (8 * i));
}

} // namespace

std::vector<std::pair<std::string, ImageBytes>> makeImageSeeds()
{
    std::vector<std::pair<std::string, ImageBytes>> seeds;
    PngPicture png8 = seedPng(9, 7, 8);
    png8.idatChunkSize = 11;
    seeds.emplace_back("ok-png8-filters-chunks", writePng(png8));
    seeds.emplace_back("ok-png4-odd", writePng(seedPng(5, 4, 4)));
    seeds.emplace_back("ok-bmp8", writeBmp(sampleBmp(6, 5, 8)));
    seeds.emplace_back("ok-bmp4-odd", writeBmp(sampleBmp(7, 3, 4)));
    seeds.emplace_back("ok-bmp24", writeBmp(sampleBmp(5, 4, 24)));
    BmpPicture longHeader = sampleBmp(4, 4, 8);
    longHeader.infoSize = 108;
    longHeader.gapBeforeRows = 6;
    seeds.emplace_back("ok-bmp-long-header", writeBmp(longHeader));

    const PngPicture small = seedPng(4, 3, 4);
    const ImageBytes rows = pngImageData(small);
    seeds.emplace_back("bad-png-interlaced", framedPng(pngHeaderData(4, 3, 4, 3, 1), rows));
    seeds.emplace_back("bad-png-depth2", framedPng(pngHeaderData(4, 3, 2, 3, 0), rows));
    seeds.emplace_back("bad-png-truecolour", framedPng(pngHeaderData(4, 3, 8, 2, 0), rows));
    seeds.emplace_back("bad-png-zero-width", framedPng(pngHeaderData(0, 3, 4, 3, 0), rows));
    seeds.emplace_back("bad-png-negative-height", framedPng(pngHeaderData(4, -3, 4, 3, 0), rows));
    seeds.emplace_back("bad-png-huge", framedPng(pngHeaderData(70000, 70000, 8, 3, 0), rows));
    seeds.emplace_back("bad-png-wide", framedPng(pngHeaderData(40000, 1, 8, 3, 0), rows));
    seeds.emplace_back("bad-png-idat-before-plte", framedPng(pngHeaderData(4, 3, 4, 3, 0), rows, false));
    seeds.emplace_back("bad-png-truncated-idat",
                       framedPng(pngHeaderData(4, 3, 4, 3, 0), ImageBytes(rows.begin(), rows.begin() + rows.size() / 2)));
    ImageBytes corrupt = rows;
    corrupt[0] = 0;
    seeds.emplace_back("bad-png-corrupt-idat", framedPng(pngHeaderData(4, 3, 4, 3, 0), corrupt));
    PngPicture badFilter = small;
    badFilter.rowFilters = {0, 7};
    seeds.emplace_back("bad-png-filter-type", writePng(badFilter));
    PngPicture longPalette = seedPng(4, 3, 8);
    longPalette.palette.resize(300, 0x123456);
    seeds.emplace_back("bad-png-palette-300", writePng(longPalette));
    PngPicture deepPalette = small;
    deepPalette.palette.resize(17, 0x123456);
    seeds.emplace_back("bad-png-palette-beyond-depth", writePng(deepPalette));
    seeds.emplace_back("bad-png-no-idat", concat({pngSignature(), pngChunk("IHDR", pngHeaderData(4, 3, 4, 3, 0)),
                                                  pngChunk("PLTE", ImageBytes(48, 1)), pngChunk("IEND", {})}));

    ImageBytes bmp = writeBmp(sampleBmp(6, 5, 8));
    ImageBytes manyColours = bmp;
    setU32(manyColours, 46, 300);
    seeds.emplace_back("bad-bmp-colours-300", manyColours);
    ImageBytes beyondDepth = writeBmp(sampleBmp(6, 5, 4));
    setU32(beyondDepth, 46, 17);
    seeds.emplace_back("bad-bmp-colours-beyond-depth", beyondDepth);
    ImageBytes shortInfo = bmp;
    setU32(shortInfo, 14, 12);
    seeds.emplace_back("bad-bmp-short-info", shortInfo);
    seeds.emplace_back("bad-bmp-truncated-rows", ImageBytes(bmp.begin(), bmp.end() - 9));
    ImageBytes rle = bmp;
    setU32(rle, 30, 1);
    seeds.emplace_back("bad-bmp-rle", rle);
    ImageBytes topDown = bmp;
    setU32(topDown, 22, uint32_t(-5));
    seeds.emplace_back("bad-bmp-top-down", topDown);
    ImageBytes tall = bmp;
    setU32(tall, 22, 0x7FFFFFFF);
    seeds.emplace_back("bad-bmp-tall", tall);
    ImageBytes zeroSize = bmp;
    setU32(zeroSize, 2, 0);
    seeds.emplace_back("bad-bmp-file-size-zero", zeroSize);
    ImageBytes dataInHeader = bmp;
    setU32(dataInHeader, 10, 20);
    seeds.emplace_back("bad-bmp-data-in-header", dataInHeader);
    seeds.emplace_back("bad-empty", ImageBytes{});
    return seeds;
}
