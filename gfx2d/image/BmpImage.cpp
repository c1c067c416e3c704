// BMP header reader, the stored-form BMP image and its row cursor.
#include "gfx2d/image/BmpImage.h"

#include <cstring>
#include <new>

#include "framework/streams/InputStream.h"
#include "framework/streams/MemoryInputStream.h"

namespace {
constexpr uint32_t kPaletteEntryBytes = 4;
constexpr uint32_t kBitFieldsBytes = 12;

bool validDepth(uint32_t bits)
{
    return bits == 1 || bits == 2 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32;
}
} // namespace

uint64_t BmpHeader::stride() const
{
    const uint64_t w = width > 0 ? uint64_t(width) : 0;
    return ((w * bitsPerPixel + 31) >> 5) * 4;
}

int readBmpHeader(InputStream& stream, BmpHeader& header)
{
    header = BmpHeader{};
    uint8_t signature[2];
    stream.read(signature, 2);
    if (stream.hasError() || signature[0] != 'B' || signature[1] != 'M')
        return 0;
    header.fileSize = stream.readU32();
    stream.skip(4);
    header.dataOffset = stream.readU32();
    header.infoSize = stream.readU32();
    header.width = stream.readS32();
    header.height = stream.readS32();
    header.planes = stream.readU16();
    header.bitsPerPixel = stream.readU16();
    header.compression = stream.readU32();
    header.imageSize = stream.readU32();
    header.xResolution = stream.readS32();
    header.yResolution = stream.readS32();
    header.coloursUsed = stream.readU32();
    header.importantColours = stream.readU32();
    if (stream.hasError() || header.fileSize == 0 || header.infoSize < kBmpInfoHeaderSize ||
        header.infoSize > 0xFFFFFFFFu - kBmpFileHeaderSize || !validDepth(header.bitsPerPixel))
        return 0;
    header.paletteOffset = header.infoSize + kBmpFileHeaderSize;
    if (header.bitsPerPixel <= 8) {
        const uint32_t most = 1u << header.bitsPerPixel;
        if (header.coloursUsed > most)
            return 0;
        header.paletteSize = kPaletteEntryBytes * (header.coloursUsed ? header.coloursUsed : most);
    } else if ((header.bitsPerPixel == 16 || header.bitsPerPixel == 32) && header.compression == kBmpBitFields) {
        header.paletteSize = kBitFieldsBytes;
    }
    return 1;
}

BmpImage::BmpImage(const uint8_t* data, uint32_t length, uint8_t ownsBuffers) : HashedObject(ImageTypeId::BmpImage)
{
    m_ownsBuffers = ownsBuffers;
    m_ownedBlock = ownsBuffers ? data : nullptr;
    MemoryInputStream stream;
    BmpHeader header;
    if (data == nullptr || !stream.open(data, length) || !readBmpHeader(stream, header) || header.width <= 0 ||
        header.height <= 0)
        return;
    const uint64_t stride = header.stride();
    const uint64_t rows = stride * uint64_t(header.height);
    if (uint64_t(header.paletteOffset) + header.paletteSize > length || uint64_t(header.dataOffset) + rows > length ||
        stride > 0x7FFFFFFF)
        return;
    m_header = header;
    m_pitch = -static_cast<int32_t>(stride);
    m_paletteSize = header.paletteSize;
    m_palette = header.paletteSize ? data + header.paletteOffset : nullptr;
    m_pixels = data + header.dataOffset + uint64_t(header.height - 1) * stride;
}

void BmpImage::clear()
{
    if (m_ownsBuffers)
        delete[] m_ownedBlock;
    m_ownedBlock = nullptr;
    m_ownedPalette.reset();
    m_ownedPixels.reset();
    m_ownsBuffers = 0;
    m_pitch = 0;
    m_palette = nullptr;
    m_paletteSize = 0;
    m_pixels = nullptr;
}

int BmpImage::load(InputStream& stream)
{
    clear();
    if (stream.available() == 0)
        return 0;
    BmpHeader header;
    if (!readBmpHeader(stream, header) || header.width <= 0 || header.height <= 0)
        return 0;
    m_ownsBuffers = 1;
    stream.skip(header.infoSize - kBmpInfoHeaderSize);
    const uint64_t stride = header.stride();
    const uint64_t rows = stride * uint64_t(header.height);
    const uint64_t before = uint64_t(header.paletteOffset) + header.paletteSize;
    // Sizes must fit in what the stream announces.
    if (header.dataOffset < before || stride > 0x7FFFFFFF ||
        uint64_t(header.paletteSize) + (header.dataOffset - before) + rows > stream.available()) {
        clear();
        return 0;
    }
    // Palette and rows are read as they arrive: the stream only announces its size.
    if (header.paletteSize)
        m_ownedPalette = readAnnounced<uint8_t>(stream, header.paletteSize);
    stream.skip(static_cast<uint32_t>(header.dataOffset - before));
    if (!stream.hasError() && (m_ownedPalette || !header.paletteSize))
        m_ownedPixels = readAnnounced<uint8_t>(stream, rows, rows ? 0 : 1);
    if (!m_ownedPixels) {
        clear();
        return 0;
    }
    m_header = header;
    m_pitch = -static_cast<int32_t>(stride);
    m_palette = m_ownedPalette.get();
    m_paletteSize = header.paletteSize;
    m_pixels = m_ownedPixels.get() + uint64_t(header.height - 1) * stride;
    return 1;
}

void BmpCursor::seek(int32_t x, int32_t y)
{
    m_x = x;
    m_y = y;
    m_row = m_image && m_image->pixels() ? m_image->pixels() + intptr_t(m_image->pitch()) * y : nullptr;
}

void BmpCursor::moveDown(int32_t n)
{
    seek(m_x, m_y + n);
}

bool BmpCursor::inside(int32_t x, int32_t y) const
{
    return m_image && m_image->pixels() && x >= 0 && y >= 0 && x < m_image->header().width &&
           y < m_image->header().height;
}

int32_t BmpCursor::indexAt(int32_t x, int32_t y) const
{
    if (!inside(x, y) || m_image->palette() == nullptr)
        return -1;
    const uint8_t* row = m_image->pixels() + intptr_t(m_image->pitch()) * y;
    switch (m_image->header().bitsPerPixel) {
    case 4: return (x & 1) ? row[x >> 1] & 0xF : row[x >> 1] >> 4;
    case 8: return row[x];
    default: return -1;
    }
}

int32_t BmpCursor::readIndex() const
{
    return indexAt(m_x, m_y);
}

void BmpCursor::readIndexRow(uint8_t* destination, int32_t n) const
{
    for (int32_t i = 0; i < n; ++i) {
        const int32_t index = indexAt(m_x + i, m_y);
        destination[i] = index < 0 ? 0xFF : static_cast<uint8_t>(index);
    }
}

void BmpCursor::readIndexColumn(uint8_t* destination, int32_t n) const
{
    for (int32_t i = 0; i < n; ++i) {
        const int32_t index = indexAt(m_x, m_y + i);
        destination[i] = index < 0 ? 0xFF : static_cast<uint8_t>(index);
    }
}

uint32_t BmpCursor::readColour() const
{
    if (!inside(m_x, m_y))
        return 0;
    if (m_image->palette() == nullptr) {
        if (m_image->header().bitsPerPixel != 24)
            return 0;
        const uint8_t* p = m_row + 3 * m_x;
        return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16;
    }
    const int32_t index = readIndex();
    if (index < 0 || uint32_t(index) >= m_image->paletteSize() / kPaletteEntryBytes)
        return 0;
    uint32_t entry;
    std::memcpy(&entry, m_image->palette() + kPaletteEntryBytes * index, 4);
    return entry;
}

int equalQuad(const uint32_t a[4], const uint32_t b[4])
{
    return a[0] == b[0] && a[1] == b[1] && a[2] == b[2] && a[3] == b[3];
}
