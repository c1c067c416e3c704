// A Windows BMP picture held as stored: header, palette and rows in file
// order, read from a stream or pointed at in place. The BMP decoder shares
// the header reader.
#pragma once

#include <cstdint>
#include <memory>

#include "framework/services/HashedObject.h"
#include "gfx2d/image/ImageIds.h"

class InputStream;

constexpr uint32_t kBmpFileHeaderSize = 14;
constexpr uint32_t kBmpInfoHeaderSize = 40;  // the shortest info header read
constexpr uint32_t kBmpBitFields = 3;        // compression: three masks follow the header

struct BmpHeader {
    uint32_t fileSize = 0;
    uint32_t dataOffset = 0;
    uint32_t infoSize = 0;
    int32_t width = 0;
    int32_t height = 0;  // positive: rows stored bottom-up
    uint16_t planes = 0;
    uint16_t bitsPerPixel = 0;
    uint32_t compression = 0;
    uint32_t imageSize = 0;
    int32_t xResolution = 0;
    int32_t yResolution = 0;
    uint32_t coloursUsed = 0;
    uint32_t importantColours = 0;
    // Derived: where the palette starts in the file and its bytes.
    uint32_t paletteOffset = 0;
    uint32_t paletteSize = 0;

    // ((width × bits + 31) >> 5) × 4, in 64 bits so a hostile width cannot wrap.
    uint64_t stride() const;
};

// Reads the 54 header bytes (nothing after a wrong signature). 1 when the
// signature is "BM", the stream holds, the file size is nonzero, the info
// header is at least 40 bytes and the colour count fits 256 and the depth.
int readBmpHeader(InputStream& stream, BmpHeader& header);

class BmpImage : public HashedObject {
public:
    BmpImage() : HashedObject(ImageTypeId::BmpImage) {}
    // Points into the block without copying; stays cleared when the header is
    // refused or the palette or rows reach past the block.
    BmpImage(const uint8_t* data, uint32_t length, uint8_t ownsBuffers);
    ~BmpImage() override { clear(); }

    // 1 with palette and rows read; 0 and a cleared image otherwise.
    int load(InputStream& stream);
    void clear();

    const BmpHeader& header() const { return m_header; }
    int32_t pitch() const { return m_pitch; }
    // The top row of the picture (the last stored row).
    const uint8_t* pixels() const { return m_pixels; }
    const uint8_t* palette() const { return m_palette; }
    uint32_t paletteSize() const { return m_paletteSize; }

private:
    uint8_t m_ownsBuffers = 0;
    BmpHeader m_header;
    int32_t m_pitch = 0;
    const uint8_t* m_palette = nullptr;
    uint32_t m_paletteSize = 0;
    const uint8_t* m_pixels = nullptr;
    std::unique_ptr<uint8_t[]> m_ownedPalette;
    std::unique_ptr<uint8_t[]> m_ownedPixels;
    // In-place images may own the block they point into.
    const uint8_t* m_ownedBlock = nullptr;
};

// Reads palette indices or colours of a BmpImage; positions outside the
// picture read as no index (-1, 0xFF) or colour 0.
class BmpCursor {
public:
    BmpCursor(const BmpImage* image, int32_t x, int32_t y) : m_image(image) { seek(x, y); }

    void seek(int32_t x, int32_t y);
    void moveDown(int32_t n);
    int32_t readIndex() const;
    void readIndexRow(uint8_t* destination, int32_t n) const;
    void readIndexColumn(uint8_t* destination, int32_t n) const;
    // Bytes blue, green, red, reserved.
    uint32_t readColour() const;

    int32_t x() const { return m_x; }
    int32_t y() const { return m_y; }

private:
    int32_t indexAt(int32_t x, int32_t y) const;
    bool inside(int32_t x, int32_t y) const;

    const BmpImage* m_image;
    const uint8_t* m_row = nullptr;
    int32_t m_x = 0;
    int32_t m_y = 0;
};

// 1 when all four words of both records are equal.
int equalQuad(const uint32_t a[4], const uint32_t b[4]);
