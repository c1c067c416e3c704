// Readers of a PNG file's framing: signature, chunk headers, CRCs and the
// image header. The stream must be in big-endian mode.
#pragma once

#include <cstdint>

class InputStream;

struct PngHeader {
    int32_t width = 0;
    int32_t height = 0;
    uint8_t bitDepth = 0;
    uint8_t colourType = 0;
    uint8_t compression = 0;
    uint8_t filter = 0;
    uint8_t interlace = 0;
};

// 1 when the next 8 bytes are the PNG signature.
int readPngSignature(InputStream& stream);
// Length and the type mapped to a PngChunk code (Other for unknown types);
// 1 when the stream has not failed.
int readPngChunkHeader(InputStream& stream, uint32_t& length, uint32_t& type);
// The PngChunk code of a 4-byte chunk type.
uint32_t pngChunkCode(const char name[4]);
// Reads the stored CRC; checking it is the caller's choice.
int readPngCrc(InputStream& stream, uint32_t& value);
// 0 unless length is 13.
int readPngHeader(InputStream& stream, uint32_t length, PngHeader& header);

// count colours of a PLTE chunk's r, g, b triples into 0x00RRGGBB words.
void readPngPaletteEntries(InputStream& stream, uint32_t* colours, uint32_t count);
// A tRNS chunk of length bytes: the first min(count, length) colours take
// their alpha byte, the rest alpha 0xFF; the bytes past the palette are
// skipped so the CRC after them is read in its place.
void readPngAlpha(InputStream& stream, uint32_t length, uint32_t* colours, uint32_t count);
void setOpaque(uint32_t* colours, uint32_t count);
