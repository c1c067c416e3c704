// BMP and PNG writers over zlib.
#include "tools/image/ImageWriters.h"

#include <zlib.h>

namespace {

void put16(ImageBytes& out, uint32_t v)
{
    out.push_back(uint8_t(v));
    out.push_back(uint8_t(v >> 8));
}
void put32(ImageBytes& out, uint32_t v)
{
    put16(out, v);
    put16(out, v >> 16);
}
void put32BigEndian(ImageBytes& out, uint32_t v)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(uint8_t(v >> shift));
}

uint8_t paethPredictor(int a, int b, int c)
{
    const int p = a + b - c;
    const int pa = p > a ? p - a : a - p, pb = p > b ? p - b : b - p, pc = p > c ? p - c : c - p;
    return uint8_t(pa <= pb && pa <= pc ? a : (pb <= pc ? b : c));
}

} // namespace

ImageBytes writeBmp(const BmpPicture& picture)
{
    const uint32_t bits = picture.bitsPerPixel;
    const uint32_t width = uint32_t(picture.width), height = uint32_t(picture.height);
    const uint32_t stride = ((width * bits + 31) >> 5) * 4;
    const uint32_t paletteBytes = uint32_t(picture.palette.size()) * 4;
    const uint32_t dataOffset = 14 + picture.infoSize + paletteBytes + picture.gapBeforeRows;
    ImageBytes out;
    out.push_back('B');
    out.push_back('M');
    put32(out, dataOffset + stride * height);
    put32(out, 0);
    put32(out, dataOffset);
    put32(out, picture.infoSize);
    put32(out, width);
    put32(out, height);
    put16(out, 1);
    put16(out, bits);
    put32(out, 0);
    put32(out, stride * height);
    put32(out, 2835);
    put32(out, 2835);
    put32(out, bits <= 8 ? uint32_t(picture.palette.size()) : 0);
    put32(out, 0);
    out.resize(out.size() + picture.infoSize - 40, 0);
    for (uint32_t colour : picture.palette)
        put32(out, colour & 0xFFFFFF);
    out.resize(out.size() + picture.gapBeforeRows, 0);
    for (uint32_t r = height; r-- > 0;) {
        ImageBytes row(stride, 0);
        for (uint32_t c = 0; c < width; ++c) {
            const uint32_t v = picture.pixels[size_t(r) * width + c];
            if (bits == 24) {
                row[3 * c] = uint8_t(v);
                row[3 * c + 1] = uint8_t(v >> 8);
                row[3 * c + 2] = uint8_t(v >> 16);
            } else if (bits == 8) {
                row[c] = uint8_t(v);
            } else {
                row[c / 2] |= uint8_t((v & 0xF) << ((c & 1) ? 0 : 4));
            }
        }
        out.insert(out.end(), row.begin(), row.end());
    }
    return out;
}

namespace {

std::vector<uint32_t> samplePalette(uint32_t depth)
{
    std::vector<uint32_t> palette;
    for (uint32_t i = 0; depth <= 8 && i < (depth == 4 ? 16u : 200u); ++i)
        palette.push_back(i == 3 ? 0xFF00FF : (i * 0x010305 + 0x204060) & 0xFFFFFF);
    return palette;
}

} // namespace

BmpPicture sampleBmp(int32_t width, int32_t height, uint16_t bitsPerPixel)
{
    BmpPicture p;
    p.width = width;
    p.height = height;
    p.bitsPerPixel = bitsPerPixel;
    p.palette = samplePalette(bitsPerPixel);
    for (int32_t i = 0; i < width * height; ++i)
        p.pixels.push_back(p.palette.empty() ? (uint32_t(i) * 0x071321 + 0x808080) & 0xFFFFFF
                                             : uint32_t(i * 7 + i / width) % uint32_t(p.palette.size()));
    return p;
}

PngPicture samplePng(int32_t width, int32_t height, uint8_t bitDepth)
{
    const BmpPicture b = sampleBmp(width, height, bitDepth);
    PngPicture p;
    p.width = width;
    p.height = height;
    p.bitDepth = bitDepth;
    p.palette = b.palette;
    p.indices.assign(b.pixels.begin(), b.pixels.end());
    return p;
}

ImageBytes pngSignature()
{
    return {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
}

ImageBytes pngChunk(const std::string& type, const ImageBytes& data)
{
    ImageBytes out;
    out.reserve(data.size() + 12);
    put32BigEndian(out, uint32_t(data.size()));
    for (char c : type)
        out.push_back(uint8_t(c));
    for (uint8_t b : data)
        out.push_back(b);
    uLong crc = crc32(0, reinterpret_cast<const Bytef*>(type.data()), 4);
    crc = crc32(crc, data.data(), uInt(data.size()));
    put32BigEndian(out, uint32_t(crc));
    return out;
}

ImageBytes pngHeaderData(int32_t width, int32_t height, uint8_t depth, uint8_t colourType, uint8_t interlace)
{
    ImageBytes out;
    put32BigEndian(out, uint32_t(width));
    put32BigEndian(out, uint32_t(height));
    out.insert(out.end(), {depth, colourType, 0, 0, interlace});
    return out;
}

ImageBytes pngImageData(const PngPicture& picture)
{
    const uint32_t width = uint32_t(picture.width), height = uint32_t(picture.height);
    const uint32_t rowBytes = (width * picture.bitDepth + 7) / 8;
    ImageBytes raw;
    ImageBytes prev(rowBytes, 0);
    for (uint32_t r = 0; r < height; ++r) {
        ImageBytes row(rowBytes, 0);
        for (uint32_t c = 0; c < width; ++c) {
            const uint8_t v = picture.indices[size_t(r) * width + c];
            if (picture.bitDepth == 8)
                row[c] = v;
            else
                row[c / 2] |= uint8_t((v & 0xF) << ((c & 1) ? 0 : 4));
        }
        const uint8_t filter =
            picture.rowFilters.empty() ? 0 : picture.rowFilters[r % picture.rowFilters.size()];
        raw.push_back(filter);
        for (uint32_t i = 0; i < rowBytes; ++i) {
            const int left = i ? row[i - 1] : 0, up = prev[i], upLeft = i ? prev[i - 1] : 0;
            int predicted = 0;
            switch (filter) {
            case 1: predicted = left; break;
            case 2: predicted = up; break;
            case 3: predicted = (left + up) >> 1; break;
            case 4: predicted = paethPredictor(left, up, upLeft); break;
            default: break;
            }
            raw.push_back(uint8_t(row[i] - predicted));
        }
        prev = row;
    }
    uLongf packedSize = compressBound(uLong(raw.size()));
    ImageBytes packed(packedSize);
    compress2(packed.data(), &packedSize, raw.data(), uLong(raw.size()), 9);
    packed.resize(packedSize);
    return packed;
}

ImageBytes writePng(const PngPicture& picture)
{
    ImageBytes out = pngSignature();
    auto append = [&out](const ImageBytes& chunk) { out.insert(out.end(), chunk.begin(), chunk.end()); };
    append(pngChunk("IHDR", pngHeaderData(picture.width, picture.height, picture.bitDepth, picture.colourType,
                                          picture.interlace)));
    ImageBytes plte;
    for (uint32_t colour : picture.palette)
        plte.insert(plte.end(), {uint8_t(colour >> 16), uint8_t(colour >> 8), uint8_t(colour)});
    append(pngChunk("PLTE", plte));
    if (!picture.alpha.empty())
        append(pngChunk("tRNS", picture.alpha));
    const ImageBytes data = pngImageData(picture);
    const size_t step = picture.idatChunkSize ? picture.idatChunkSize : data.size();
    for (size_t at = 0; at < data.size(); at += step)
        append(pngChunk("IDAT", ImageBytes(data.begin() + at, data.begin() + std::min(data.size(), at + step))));
    append(pngChunk("IEND", {}));
    return out;
}

ImageBytes writeTga(const TgaPicture& picture)
{
    ImageBytes out(18, 0);
    out[0] = uint8_t(picture.id.size());
    out[1] = picture.colourMapType;
    out[2] = picture.type;
    out[12] = uint8_t(picture.width);
    out[13] = uint8_t(picture.width >> 8);
    out[14] = uint8_t(picture.height);
    out[15] = uint8_t(picture.height >> 8);
    out[16] = picture.depth;
    out[17] = 0x20;  // rows top first
    // Byte by byte: g++ 12 misreads inlined inserts of possibly empty vectors.
    for (const std::vector<uint8_t>* part : {&picture.id, &picture.pixels}) {
        for (uint8_t b : *part)
            out.push_back(b);
    }
    return out;
}

TgaPicture sampleTga(uint16_t width, uint16_t height, uint8_t depth)
{
    TgaPicture p;
    p.width = width;
    p.height = height;
    p.depth = depth;
    p.pixels.resize(size_t(width) * height * (depth / 8));
    for (size_t i = 0; i < p.pixels.size(); ++i)
        p.pixels[i] = uint8_t(i * 29 + 7);
    return p;
}

ImageBytes writePixelImage(const uint32_t (&description)[9], const ImageBytes& pixels)
{
    ImageBytes out;
    for (uint32_t word : description) {
        for (int b = 0; b < 4; ++b)
            out.push_back(uint8_t(word >> (8 * b)));
    }
    for (uint8_t b : pixels)
        out.push_back(b);
    return out;
}
