// The PNG and BMP decoders into pixel buffers: headers and palettes read
// here, rows converted by a stream-conversion blit loop. PNG image data may
// span several IDAT chunks and use every row filter; it is inflated and
// unfiltered whole before the rows are converted.
#include <memory>
#include <new>
#include <vector>

#include <zlib.h>

#include "framework/streams/InflateStream.h"
#include "framework/streams/MemoryInputStream.h"
#include "framework/util/LoadLedger.h"
#include "gfx2d/image/BmpImage.h"
#include "gfx2d/image/ImageIds.h"
#include "gfx2d/image/PngChunks.h"
#include "gfx2d/image/internal/Decode.h"

namespace {

constexpr uint32_t kBmpPaletteEntryBytes = 4;

// Keeps the caller's byte order once a decoder has switched it.
class SwapGuard {
public:
    SwapGuard(InputStream& stream, uint8_t swap) : m_stream(stream), m_saved(stream.swapBytes())
    {
        stream.setSwapBytes(swap);
    }
    ~SwapGuard() { m_stream.setSwapBytes(m_saved); }

private:
    InputStream& m_stream;
    uint8_t m_saved;
};

// A PNG's chunks read through one filter that checks every chunk's CRC over
// its type and data, so a damaged file fails instead of decoding to garbage.
class ChunkReader : public InputStream {
public:
    explicit ChunkReader(InputStream& source) : InputStream(1), m_source(source) {}

    uint32_t available() override { return m_error ? 0 : m_source.available(); }
    void read(void* buffer, uint32_t n) override
    {
        m_source.read(buffer, n);
        if (m_source.hasError())
            m_error = 1;
        m_crc = crc32(m_crc, static_cast<const Bytef*>(buffer), n);
    }
    void skip(uint32_t n) override
    {
        if (n > available()) {
            m_error = 1;
            return;
        }
        uint8_t scratch[256];
        while (n != 0 && !m_error) {
            const uint32_t step = n < sizeof scratch ? n : uint32_t(sizeof scratch);
            read(scratch, step);
            n -= step;
        }
    }

    // The CRC restarts with the chunk's type.
    int header(uint32_t& length, uint32_t& type)
    {
        length = readU32();
        m_crc = crc32(0, nullptr, 0);
        char name[4];
        read(name, sizeof name);
        type = pngChunkCode(name);
        return !hasError();
    }
    int endChunk()
    {
        const uint32_t computed = static_cast<uint32_t>(m_crc);
        uint32_t stored = 0;
        return readPngCrc(*this, stored) && stored == computed;
    }
    // The next chunk the decoder knows, past those it does not use (gAMA,
    // pHYs, texts and the like).
    int nextKnown(uint32_t& length, uint32_t& type)
    {
        while (header(length, type)) {
            if (type != PngChunk::Other)
                return 1;
            skip(length);
            if (!endChunk())
                return 0;
        }
        return 0;
    }

private:
    InputStream& m_source;
    uLong m_crc = 0;
};

uint8_t paeth(uint8_t a, uint8_t b, uint8_t c)
{
    const int p = int(a) + b - c;
    const int pa = p > a ? p - a : a - p;
    const int pb = p > b ? p - b : b - p;
    const int pc = p > c ? p - c : c - p;
    if (pa <= pb && pa <= pc)
        return a;
    return pb <= pc ? b : c;
}

// Undoes the row filters in place; each row is its filter byte and rowBytes
// bytes. 0 on an unknown filter type.
int unfilterRows(uint8_t* data, uint32_t rowBytes, uint32_t rows, uint32_t pixelBytes)
{
    const std::vector<uint8_t> zeros(rowBytes, 0);
    const uint8_t* prev = zeros.data();
    for (uint32_t r = 0; r < rows; ++r) {
        uint8_t* row = data + size_t(r) * (rowBytes + 1) + 1;
        const uint8_t filter = row[-1];
        switch (filter) {
        case 0: break;
        case 1:
            for (uint32_t i = pixelBytes; i < rowBytes; ++i)
                row[i] = uint8_t(row[i] + row[i - pixelBytes]);
            break;
        case 2:
            for (uint32_t i = 0; i < rowBytes; ++i)
                row[i] = uint8_t(row[i] + prev[i]);
            break;
        case 3:
            for (uint32_t i = 0; i < rowBytes; ++i) {
                const uint32_t left = i >= pixelBytes ? row[i - pixelBytes] : 0;
                row[i] = uint8_t(row[i] + ((left + prev[i]) >> 1));
            }
            break;
        case 4:
            for (uint32_t i = 0; i < rowBytes; ++i) {
                const uint8_t left = i >= pixelBytes ? row[i - pixelBytes] : 0;
                const uint8_t upLeft = i >= pixelBytes ? prev[i - pixelBytes] : 0;
                row[i] = uint8_t(row[i] + paeth(left, prev[i], upLeft));
            }
            break;
        default: return 0;
        }
        prev = row;
    }
    return 1;
}

void applyKey(uint32_t* palette, uint32_t count, uint32_t key)
{
    for (uint32_t i = 0; i < count; ++i)
        if ((palette[i] & 0xFFFFFF) == (key & 0xFFFFFF))
            palette[i] &= 0xFFFFFF;
}

} // namespace

int PixelBuffer::decodePng(PaletteSlot* slot, const DecodeOptions& options, uint32_t pitchMode, void* externalPixels)
{
    ChunkReader s(*options.stream);
    uint32_t length = 0, type = 0;
    PngHeader h;
    if (!readPngSignature(s) || !s.header(length, type) || type != PngChunk::IHDR || !readPngHeader(s, length, h) ||
        !s.endChunk())
        return 0;
    // Only palette pictures at 4 or 8 bits have rows the conversion loops read.
    if (h.colourType != PngColourType::Palette || (h.bitDepth != 4 && h.bitDepth != 8) || h.compression != 0 ||
        h.filter != 0 || h.interlace != 0)
        return 0;
    Decode d;
    d.width = h.width;
    d.height = h.height;
    d.depth = h.bitDepth;
    d.paletted = true;
    if (!prepareDecode(d, slot, options))
        return 0;

    if (!s.nextKnown(length, type) || type != PngChunk::PLTE || length % 3 != 0 || length / 3 > (1u << d.depth))
        return 0;
    const uint32_t count = length / 3;
    if (d.paletteSupplied)
        s.skip(length);
    else
        readPngPaletteEntries(s, d.palette, count);
    if (!s.endChunk() || !s.nextKnown(length, type))
        return 0;
    if (type == PngChunk::tRNS) {
        if (d.paletteSupplied)
            s.skip(length);
        else
            readPngAlpha(s, length, d.palette, count);
        if (!s.endChunk() || !s.nextKnown(length, type))
            return 0;
    } else {
        setOpaque(d.palette, count);
    }
    if (options.keyFlag)
        applyKey(d.palette, count, options.keyColour);
    if (type != PngChunk::IDAT)
        return 0;

    // The image data of every IDAT chunk in a row, taken as it arrives: the
    // chunk lengths and the stream's size are only announced.
    std::unique_ptr<uint8_t[]> packed;
    uint64_t capacity = 0, packedSize = 0;
    while (type == PngChunk::IDAT) {
        if (!readGrowing(s, packed, capacity, packedSize, length, UINT32_MAX) || !s.endChunk())
            return 0;
        if (!s.header(length, type))
            break;
    }
    // The rows are inflated as they come too, with one byte beyond them: the
    // conversion skips a filter byte after every row, the last one included.
    const uint64_t unpacked = uint64_t(d.rowBytes + 1) * uint32_t(d.height);
    MemoryInputStream packedStream;
    InflateStream inflater;
    packedStream.open(packed.get(), static_cast<uint32_t>(packedSize));
    if (!inflater.open(&packedStream, static_cast<uint32_t>(packedSize), static_cast<uint32_t>(unpacked)))
        return 0;
    std::unique_ptr<uint8_t[]> rows = readAnnounced<uint8_t>(inflater, unpacked, 1);
    if (!rows || !unfilterRows(rows.get(), d.rowBytes, uint32_t(d.height), 1))
        return 0;
    if (!placeDecode(d, options, pitchMode, externalPixels))
        return 0;
    MemoryInputStream rowStream;
    rowStream.open(rows.get() + 1, static_cast<uint32_t>(unpacked));
    const int decoded = runDecodeBlit(d, options, rowStream, 1, false);
    // The packed and the inflated rows go with this call.
    LoadScope::release(capacity + unpacked + 1);
    return decoded;
}

int PixelBuffer::decodeBmp(PaletteSlot* slot, const DecodeOptions& options, uint32_t pitchMode, void* externalPixels)
{
    InputStream& s = *options.stream;
    SwapGuard littleEndian(s, 0);
    BmpHeader h;
    if (!readBmpHeader(s, h))
        return 0;
    // Top-down, run-length coded and 1-, 2-, 16- or 32-bit pictures have rows
    // the conversion loops would misread.
    if (h.height <= 0 || h.compression != 0 || (h.bitsPerPixel != 4 && h.bitsPerPixel != 8 && h.bitsPerPixel != 24))
        return 0;
    Decode d;
    d.width = h.width;
    d.height = h.height;
    d.depth = h.bitsPerPixel;
    d.paletted = h.paletteSize != 0;
    if (!prepareDecode(d, slot, options))
        return 0;
    const uint32_t padding = ((d.rowBytes + 3) & ~3u) - d.rowBytes;
    const uint64_t paletteEnd = uint64_t(h.paletteOffset) + h.paletteSize;
    if (h.dataOffset < paletteEnd)
        return 0;
    const uint64_t gap = h.dataOffset - paletteEnd;
    const uint64_t needed = uint64_t(h.infoSize - kBmpInfoHeaderSize) + h.paletteSize + gap +
                            uint64_t(d.rowBytes + padding) * uint32_t(d.height);
    if (needed > s.available())
        return 0;
    s.skip(h.infoSize - kBmpInfoHeaderSize);

    const uint32_t count = h.paletteSize / kBmpPaletteEntryBytes;
    if (d.paletteSupplied) {
        s.skip(h.paletteSize);
    } else {
        for (uint32_t i = 0; i < count; ++i)
            d.palette[i] = s.readU32();
    }
    if (options.keyFlag) {
        setOpaque(d.palette, count);
        applyKey(d.palette, count, options.keyColour);
    } else if (m_format == PixelFormat::P4X8R8G8B8 || m_format == PixelFormat::P8X8R8G8B8) {
        setOpaque(d.palette, count);
    }
    // The rows are taken as they arrive before the picture is sized for them:
    // the stream only announces its size.
    s.skip(static_cast<uint32_t>(gap));
    const uint64_t rowsSize = uint64_t(d.rowBytes + padding) * uint32_t(d.height);
    std::unique_ptr<uint8_t[]> rows = readAnnounced<uint8_t>(s, rowsSize);
    MemoryInputStream rowStream;
    if (!rows || !rowStream.open(rows.get(), static_cast<uint32_t>(rowsSize)) ||
        !placeDecode(d, options, pitchMode, externalPixels))
        return 0;
    const int decoded = runDecodeBlit(d, options, rowStream, padding, true);
    LoadScope::release(rowsSize);
    return decoded;
}
