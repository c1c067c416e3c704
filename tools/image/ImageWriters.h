// Writers of BMP and palette PNG files for tests, fuzz seeds and sample
// packs, from pictures described in memory. The PNG writer can pick each
// row's filter and split the image data over several chunks, and exposes its
// chunk framing so tests can assemble hostile files.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

using ImageBytes = std::vector<uint8_t>;

struct BmpPicture {
    int32_t width = 0;
    int32_t height = 0;
    uint16_t bitsPerPixel = 8;        // 4, 8 (palette) or 24
    std::vector<uint32_t> palette;    // 0x00RRGGBB, written blue, green, red, 0
    std::vector<uint32_t> pixels;     // top-down rows: indices, or 0xRRGGBB at 24 bits
    uint32_t infoSize = 40;           // longer headers get zero bytes after the 40
    uint32_t gapBeforeRows = 0;       // zero bytes between palette and rows
};

// Bottom-up rows padded to four bytes, the palette after the info header.
ImageBytes writeBmp(const BmpPicture& picture);

struct PngPicture {
    int32_t width = 0;
    int32_t height = 0;
    uint8_t bitDepth = 8;             // 4 or 8
    std::vector<uint32_t> palette;    // 0x00RRGGBB
    std::vector<uint8_t> alpha;       // tRNS bytes; none when empty
    std::vector<uint8_t> indices;     // top-down rows, one index a pixel
    std::vector<uint8_t> rowFilters;  // filter type per row (cycled); all 0 when empty
    uint32_t idatChunkSize = 0;       // split the data into chunks of this size; 0: one chunk
    uint8_t interlace = 0;            // written as given; the rows are never interlaced
    uint8_t colourType = 3;
};

ImageBytes writePng(const PngPicture& picture);

// Sample pictures for tests and seeds: 16 colours at 4 bits, 200 at 8, colour
// 3 is the key 0xFF00FF; neighbouring pixels differ in index or colour.
BmpPicture sampleBmp(int32_t width, int32_t height, uint16_t bitsPerPixel);
PngPicture samplePng(int32_t width, int32_t height, uint8_t bitDepth);

// Framing: one chunk with its length and CRC; the signature; the 13 IHDR bytes.
ImageBytes pngChunk(const std::string& type, const ImageBytes& data);
ImageBytes pngSignature();
ImageBytes pngHeaderData(int32_t width, int32_t height, uint8_t depth, uint8_t colourType, uint8_t interlace);
// The filtered, deflated rows of a picture: what its IDAT chunks carry.
ImageBytes pngImageData(const PngPicture& picture);

struct TgaPicture {
    uint16_t width = 0;
    uint16_t height = 0;
    uint8_t depth = 24;           // 16, 24 or 32
    uint8_t type = 2;             // written as given; pixels are never run-length coded
    uint8_t colourMapType = 0;
    std::vector<uint8_t> id;      // the id field, its length in byte 0
    std::vector<uint8_t> pixels;  // file order: rows as stored, blue, green, red[, alpha]
};

ImageBytes writeTga(const TgaPicture& picture);
// Pixel bytes (i * 29 + 7) & 0xFF, so every byte of every channel differs
// from its neighbours.
TgaPicture sampleTga(uint16_t width, uint16_t height, uint8_t depth);

// The native pixel image: nine little-endian words (format, type, bits per
// pixel, internal format, 0, 0, width, height, data size), then the pixels.
ImageBytes writePixelImage(const uint32_t (&description)[9], const ImageBytes& pixels);
