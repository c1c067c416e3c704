// Stream conversion loops: decoded rows read from an input stream, converted
// and written into an image buffer, optionally mirrored or transposed. One
// instance per source layout, destination format and key.
#pragma once

#include <memory>
#include <new>

#include "framework/streams/InputStream.h"
#include "gfx2d/blit/internal/PixelTraits.h"

// Stream sources give a pixel's palette index (where they have one) and its
// colour as 0x..RRGGBB.
struct StreamRgb {
    static constexpr bool kPaletted = false;
    static uint32_t rowBytes(int32_t width) { return uint32_t(width) * 3; }
    static uint32_t index(const uint8_t*, int32_t) { return 0; }
    static uint32_t colour(const uint8_t* row, int32_t c, const uint32_t*)
    {
        const uint8_t* p = row + 3 * c;
        return uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0];
    }
};
// Two pixels a byte, high nibble first; each row starts on a fresh byte.
struct StreamIndex4 {
    static constexpr bool kPaletted = true;
    static uint32_t rowBytes(int32_t width) { return (uint32_t(width) + 1) / 2; }
    static uint32_t index(const uint8_t* row, int32_t c) { return (row[c >> 1] >> ((~c & 1) << 2)) & 0xF; }
    static uint32_t colour(const uint8_t* row, int32_t c, const uint32_t* palette) { return palette[index(row, c)]; }
};
struct StreamIndex8 {
    static constexpr bool kPaletted = true;
    static uint32_t rowBytes(int32_t width) { return uint32_t(width); }
    static uint32_t index(const uint8_t* row, int32_t c) { return row[c]; }
    static uint32_t colour(const uint8_t* row, int32_t c, const uint32_t* palette) { return palette[row[c]]; }
};

// Destinations narrow an 8-bit colour by dropping low bits; the keyed ones
// mark every written pixel opaque.
struct Out565 {
    static constexpr int kBytes = 2;
    static void put(uint8_t* d, uint32_t, uint32_t v) { storeUnaligned(d, rgb565(v >> 16, v >> 8, v)); }
};
struct Out1555 {
    static constexpr int kBytes = 2;
    static void put(uint8_t* d, uint32_t, uint32_t v) { storeUnaligned(d, argb1555(1, v >> 16, v >> 8, v)); }
};
struct Out4444 {
    static constexpr int kBytes = 2;
    static void put(uint8_t* d, uint32_t, uint32_t v)
    {
        storeUnaligned(d, static_cast<uint16_t>(0xF000 | (v >> 12 & 0xF00) | (v >> 8 & 0xF0) | (v >> 4 & 0xF)));
    }
};
struct Out666 {
    static constexpr int kBytes = 4;
    static void put(uint8_t* d, uint32_t, uint32_t v)
    {
        storeUnaligned(d, (v >> 18 & 0x3F) << 12 | (v >> 10 & 0x3F) << 6 | (v >> 2 & 0x3F));
    }
};
struct OutX888 {
    static constexpr int kBytes = 4;
    static void put(uint8_t* d, uint32_t, uint32_t v) { storeUnaligned(d, 0xFF000000 | v); }
};
struct OutIndex8 {
    static constexpr int kBytes = 1;
    static void put(uint8_t* d, uint32_t index, uint32_t) { *d = static_cast<uint8_t>(index); }
};

template <class Src, class Dst, bool Keyed>
void convertStream(const void* p)
{
    const auto& job = *static_cast<const BlitStreamJob*>(p);
    if (job.stream == nullptr || job.dstPixels == nullptr || job.width <= 0 || job.height <= 0 ||
        (Src::kPaletted && job.palette == nullptr))
        return;
    const uint32_t rowBytes = Src::rowBytes(job.width);
    std::unique_ptr<uint8_t[]> row(new (std::nothrow) uint8_t[rowBytes]);
    if (!row)
        return;
    // Columns of the source walk the destination's x, or its y when transposed.
    const bool mirrorX = job.mirrorX != 0, mirrorY = job.mirrorY != 0;
    intptr_t colStep, rowStep;
    auto* start = static_cast<uint8_t*>(job.dstPixels);
    if (job.transpose) {
        const BlitDirection dir = blitDirection(Dst::kBytes, job.dstPitch, job.height, job.width, mirrorX, mirrorY);
        start += dir.start;
        rowStep = dir.xStep;
        colStep = dir.yStep;
    } else {
        const BlitDirection dir = blitDirection(Dst::kBytes, job.dstPitch, job.width, job.height, mirrorX, mirrorY);
        start += dir.start;
        colStep = dir.xStep;
        rowStep = dir.yStep;
    }
    const uint32_t key = uint32_t(job.keyRed) << 16 | uint32_t(job.keyGreen) << 8 | job.keyBlue;
    InputStream& stream = *job.stream;
    for (int32_t r = 0; r < job.height; ++r, start += rowStep) {
        stream.read(row.get(), rowBytes);
        if (stream.hasError())
            return;
        uint8_t* d = start;
        for (int32_t c = 0; c < job.width; ++c, d += colStep) {
            const uint32_t colour = Src::colour(row.get(), c, job.palette) & 0xFFFFFF;
            if (Keyed && colour == key)
                continue;
            Dst::put(d, Src::index(row.get(), c), colour);
        }
        stream.skip(job.rowSkip);
    }
}
