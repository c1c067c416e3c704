// Colour tables from PLTE/tRNS chunks or raw colour words.
#include "gfx2d/image/Palette.h"

#include <new>

#include "framework/streams/InputStream.h"
#include "framework/util/LoadLedger.h"
#include "gfx2d/image/PngChunks.h"

namespace {
constexpr uint32_t kBytesPerEntry = 3;
} // namespace

void Palette::clear()
{
    m_colours.reset();
    m_format = 0;
    m_count = 0;
}

int Palette::load(InputStream& stream, uint32_t tag)
{
    clear();
    int ok = 0;
    if (tag == ResourceType::PngPalette) {
        // Chunk fields are big-endian whatever mode the caller left the stream in.
        const uint8_t swap = stream.swapBytes();
        stream.setSwapBytes(1);
        ok = loadChunks(stream);
        stream.setSwapBytes(swap);
    } else if (tag == ResourceType::RawPalette) {
        ok = loadRaw(stream);
    }
    if (!ok)
        clear();
    return ok;
}

int Palette::loadChunks(InputStream& stream)
{
    m_format = PixelFormat::A8R8G8B8;
    uint32_t length = 0, type = 0, crc = 0;
    if (!readPngChunkHeader(stream, length, type) || type != PngChunk::PLTE || length % kBytesPerEntry != 0 ||
        length / kBytesPerEntry > kMaxPaletteColours)
        return 0;
    const uint32_t count = length / kBytesPerEntry;
    if (!LoadScope::charge(uint64_t(count) * 4))
        return 0;
    m_colours.reset(new (std::nothrow) uint32_t[count ? count : 1]);
    if (!m_colours)
        return 0;
    m_count = count;
    readPngPaletteEntries(stream, m_colours.get(), count);
    if (stream.hasError())
        return 0;
    readPngCrc(stream, crc);
    if (stream.available() == 0) {
        setOpaque(m_colours.get(), count);
        return !stream.hasError();
    }
    if (!readPngChunkHeader(stream, length, type) || type != PngChunk::tRNS)
        return 0;
    readPngAlpha(stream, length, m_colours.get(), count);
    if (stream.hasError())
        return 0;
    return readPngCrc(stream, crc);
}

int Palette::loadRaw(InputStream& stream)
{
    m_format = PixelFormat::A8R8G8B8;
    // The words are read as they arrive, the stream only announces its size,
    // and each becomes its colour in place.
    const uint32_t count = stream.available() / 4;
    std::unique_ptr<uint32_t[]> colours = readAnnounced<uint32_t>(stream, count);
    if (!colours)
        return 0;
    for (uint32_t i = 0; i < count; ++i) {
        uint8_t* b = reinterpret_cast<uint8_t*>(&colours[i]);
        stream.swapIfNeeded(b, 4);
        colours[i] = (b[0] | b[1] << 8 | b[2] << 16 | uint32_t(b[3]) << 24) | 0xFF000000;
    }
    m_colours = std::move(colours);
    m_count = count;
    return 1;
}
