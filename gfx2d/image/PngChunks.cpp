// PNG framing readers shared by the palette loader and the PNG decoder.
#include "gfx2d/image/PngChunks.h"

#include <cstring>

#include "framework/streams/InputStream.h"
#include "gfx2d/image/ImageIds.h"

namespace {
constexpr uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
constexpr uint32_t kHeaderLength = 13;
} // namespace

int readPngSignature(InputStream& stream)
{
    uint8_t bytes[8];
    stream.read(bytes, sizeof bytes);
    return !stream.hasError() && std::memcmp(bytes, kSignature, sizeof bytes) == 0;
}

uint32_t pngChunkCode(const char name[4])
{
    static constexpr char kNames[][5] = {"IHDR", "PLTE", "tRNS", "IDAT", "IEND"};
    for (uint32_t i = 0; i < 5; ++i)
        if (std::memcmp(name, kNames[i], 4) == 0)
            return i + 1;
    return PngChunk::Other;
}

int readPngChunkHeader(InputStream& stream, uint32_t& length, uint32_t& type)
{
    length = stream.readU32();
    char name[4];
    stream.read(name, sizeof name);
    type = pngChunkCode(name);
    return !stream.hasError();
}

int readPngCrc(InputStream& stream, uint32_t& value)
{
    value = stream.readU32();
    return !stream.hasError();
}

int readPngHeader(InputStream& stream, uint32_t length, PngHeader& header)
{
    if (length != kHeaderLength)
        return 0;
    header.width = stream.readS32();
    header.height = stream.readS32();
    header.bitDepth = stream.readU8();
    header.colourType = stream.readU8();
    header.compression = stream.readU8();
    header.filter = stream.readU8();
    header.interlace = stream.readU8();
    return !stream.hasError();
}

void readPngPaletteEntries(InputStream& stream, uint32_t* colours, uint32_t count)
{
    for (uint32_t i = 0; i < count; ++i) {
        uint8_t rgb[3];
        stream.read(rgb, 3);
        colours[i] = uint32_t(rgb[0]) << 16 | uint32_t(rgb[1]) << 8 | rgb[2];
    }
}

void readPngAlpha(InputStream& stream, uint32_t length, uint32_t* colours, uint32_t count)
{
    const uint32_t given = length < count ? length : count;
    for (uint32_t i = 0; i < given; ++i)
        colours[i] = (colours[i] & 0x00FFFFFF) | uint32_t(stream.readU8()) << 24;
    for (uint32_t i = given; i < count; ++i)
        colours[i] |= 0xFF000000;
    stream.skip(length - given);
}

void setOpaque(uint32_t* colours, uint32_t count)
{
    for (uint32_t i = 0; i < count; ++i)
        colours[i] |= 0xFF000000;
}
