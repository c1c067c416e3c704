// Pixel storage behind every surface: a format, a size, a signed pitch and a
// pixel pointer. create defines a buffer and, given decode options, fills it
// from a PNG or BMP stream through a stream-conversion blit loop.
#pragma once

#include <cstdint>
#include <memory>

#include "gfx2d/image/PixelFormat.h"

class InputStream;

namespace PixelBufferFlag {
constexpr uint16_t Owned = 1;
constexpr uint16_t External = 2;
constexpr uint16_t PowerOfTwo = 4;
constexpr uint16_t Planar = 8;
} // namespace PixelBufferFlag

namespace PitchMode {
constexpr uint32_t Packed = 0;    // bytes per pixel × width
constexpr uint32_t BottomUp = 1;  // the same, negated
constexpr uint32_t Given = 2;
} // namespace PitchMode

// Beyond these a size is refused: the pitch is kept in 16 signed bits, a
// decoded picture is held whole while it is unfiltered, and no buffer the
// library allocates needs more pixels than a picture it decodes.
constexpr int32_t kMaxPitch = 32767;
constexpr uint32_t kMaxDimension = 65535;
constexpr uint64_t kMaxDecodedPixels = uint64_t(1) << 24;

constexpr uint32_t kFormatMapSize = 10;
constexpr uint32_t kPaletteEntries = 256;

struct FormatPair {
    RSBFormat source = 0;
    RSBFormat dest = 0;
};

struct DecodeOptions {
    uint8_t keyFlag = 0;    // palette entries equal to keyColour become transparent
    uint8_t transpose = 0;  // x and y exchanged: the buffer takes (height, width)
    uint8_t mirror = 0;
    uint8_t flip = 0;
    InputStream* stream = nullptr;
    uint32_t decoderTag = 0;  // ResourceType::PngFile or ResourceType::BmpFile
    uint32_t keyColour = 0;   // 0x00RRGGBB
    // A caller's 256 colours used in place of the file's palette, before any
    // palette slot; the decoder still settles their alpha.
    uint32_t* palette = nullptr;
    FormatPair formatMap[kFormatMapSize];
};

// A palette the decoder may use (when filled) or fill (for palette formats):
// 256 colours 0xAARRGGBB.
using PaletteSlot = std::unique_ptr<uint32_t[]>;

class PixelBuffer {
public:
    PixelBuffer() = default;
    virtual ~PixelBuffer() { reset(); }

    PixelBuffer(const PixelBuffer&) = delete;
    PixelBuffer& operator=(const PixelBuffer&) = delete;

    // 1 on success; on failure the buffer is empty.
    virtual int create(RSBFormat format, uint32_t width, uint32_t height, bool powerOfTwo, PaletteSlot* paletteSlot,
                       const DecodeOptions* options, uint32_t pitchMode, int32_t pitch, void* externalPixels);
    virtual void makeTopDown();
    virtual void makeBottomUp();
    virtual uint8_t* planePointer(uint32_t plane) const { return plane == 0 ? m_pixels : nullptr; }

    void reset();
    // 1 when owned pixels were freed; 0 when the pixels are not owned.
    int releasePixels();
    // |pitch| × height zeroed bytes as the pixels; 0 when they cannot be had
    // or would pass the buffer's limit.
    int allocateZeroed(int32_t pitch, uint32_t height);
    // The most bytes the buffer's own pixels may take; it outlives reset.
    void limitBytes(uint64_t bytes) { m_byteLimit = bytes; }
    // The bytes of pixels the buffer owns.
    uint64_t heldBytes() const;

    RSBFormat format() const { return m_format; }
    uint16_t flags() const { return m_flags; }
    int32_t pitch() const { return m_pitch; }
    uint32_t width() const { return m_width; }
    uint32_t height() const { return m_height; }
    // The top row; rows are m_pitch bytes apart.
    uint8_t* pixels() const { return m_pixels; }

private:
    struct Decode;
    // Format, size and pitch as asked; 0 for sizes the fields cannot hold.
    int define(RSBFormat format, uint32_t width, uint32_t height, bool powerOfTwo, uint32_t pitchMode, int32_t pitch);
    // Pixels adopted, decoded or allocated.
    int fill(PaletteSlot* paletteSlot, const DecodeOptions* options, uint32_t pitchMode, void* externalPixels);
    int decodePng(PaletteSlot* slot, const DecodeOptions& options, uint32_t pitchMode, void* externalPixels);
    int decodeBmp(PaletteSlot* slot, const DecodeOptions& options, uint32_t pitchMode, void* externalPixels);
    int prepareDecode(Decode& d, PaletteSlot* slot, const DecodeOptions& options);
    int placeDecode(const Decode& d, const DecodeOptions& options, uint32_t pitchMode, void* externalPixels);
    int runDecodeBlit(const Decode& d, const DecodeOptions& options, InputStream& rows, uint32_t rowSkip,
                      bool bottomUpRows);
    int adopt(void* externalPixels, uint32_t pitchMode);
    int allocateRows(bool bottomUp);
    int setPitch(int64_t pitch);

protected:
    RSBFormat m_format = 0;
    uint16_t m_flags = 0;
    int16_t m_pitch = 0;
    uint16_t m_width = 0;
    uint16_t m_height = 0;
    uint8_t* m_pixels = nullptr;
    std::unique_ptr<uint8_t[]> m_allocation;
    uint64_t m_byteLimit = UINT64_MAX;
};

class PlanarPixelBuffer : public PixelBuffer {
public:
    static constexpr uint32_t kMaxPlanes = 10;

    PlanarPixelBuffer() { m_flags = PixelBufferFlag::Planar; }

    int create(RSBFormat format, uint32_t width, uint32_t height, bool powerOfTwo, PaletteSlot* paletteSlot,
               const DecodeOptions* options, uint32_t pitchMode, int32_t pitch, void* externalPixels) override;
    uint8_t* planePointer(uint32_t plane) const override { return plane < kMaxPlanes ? m_planes[plane] : nullptr; }
    void setPlane(uint32_t plane, uint8_t* pixels);
    uint32_t planeCount() const { return m_planeCount; }

private:
    uint32_t m_planeCount = 0;
    uint8_t* m_planes[kMaxPlanes] = {};
};

// convertPixel, but a Z32 source passes through: its word, its upper 16 bits
// for R5G6B5, its word in all four channels for ARGB_fixed.
int convertPixelWithDepth(RSBFormat srcFormat, const void* src, RSBFormat dstFormat, void* dst);
