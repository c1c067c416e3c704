// The engine's raster image. Whatever the source format, colours are kept as
// RGB565 and alpha in a separate 8-bit plane (per pixel, or per palette entry),
// all planes in one buffer, so the rasterizer, the background copy and a bound
// render target read them without conversion.
#pragma once

#include <cstdint>

#include "engine/core/factory/ClassIds.h"
#include "engine/core/loader/CkwPngImage.h"
#include "engine/core/runtime/CkwArray.h"
#include "engine/core/scene/CkwObject3D.h"

// Width and height each stay below this.
constexpr int32_t kImageMaxDimension = 16383;
// The raster format the rasterizer sees for an image whose data stays compressed.
constexpr int32_t kRasterFormatCompressed = 95;
// A palette always holds this many colours (and alphas), so any index byte
// names a defined entry.
constexpr int32_t kPaletteEntries = 256;
// The most bytes one image's planes (or a generator's work grid) may take; a
// bigger image leaves -4 as if memory had run out. The device never had more.
constexpr uint32_t kImageMaxBytes = 64u << 20;

// Bytes per source pixel of a format; 0 for anything but 96..100.
int32_t imageBytesPerPixel(int32_t format);
bool imageFormatHasAlpha(int32_t format);
// An RGB565 colour from 8-bit channels.
inline uint16_t packRgb565(uint32_t r, uint32_t g, uint32_t b)
{
    return static_cast<uint16_t>((r >> 3) << 11 | (g >> 2) << 5 | (b >> 3));
}

class CkwImage2D : public CkwObject3D, public IkwPixelImport {
public:
    // The factory's creator of class id 10: an empty immutable RGB image.
    static IkwSerializable* create();

    int32_t getClassId() const override { return kClassImage2D; }
    void deserialize(CkwSerializeBufferObjectsIn& buffer) override;
    CkwObject3D* duplicate() const override;

    // A blank direct image; mutable unless immutable is set. A size above
    // 16383 leaves -4.
    void initBlank(int32_t format, int32_t width, int32_t height, bool immutable);
    // An immutable direct image converted from length bytes of data; data
    // shorter than the image leaves -1301.
    void initWithData(int32_t format, int32_t width, int32_t height, int32_t length, const uint8_t* data);
    // An immutable palette image. Fewer than width x height indices, an empty
    // palette or a short palette that is not whole entries leave -1301.
    void initPalettized(int32_t format, int32_t width, int32_t height, int32_t indexLength, const uint8_t* indices,
                        int32_t paletteLength, const uint8_t* palette);
    // Lays the planes out for the current size and format: below 1 a direct
    // image, else a palette image.
    void setPaletteSize(int32_t entries);
    // Converts a rectangle of pixels in the image's format into its planes.
    // A rectangle outside the image or short data leave -1301, an immutable
    // image -1300.
    void set(int32_t x, int32_t y, int32_t width, int32_t height, int32_t length, const uint8_t* data);
    // Takes bytes that are already the image's stored form (decoded or
    // compressed data) as they are.
    virtual void setImageData(int32_t format, int32_t width, int32_t height, int32_t length, int32_t capacity,
                              const uint8_t* bytes);
    void appendData(int32_t length, const uint8_t* bytes);
    // A direct image of the new size in the current format, blank.
    void resize(int32_t width, int32_t height);
    // Turns a palette image into a direct one with the same pixels.
    void expandPalette();

    virtual int32_t getWidth() { return m_width; }
    virtual int32_t getHeight() { return m_height; }
    // The colour plane (RGB565), or the index plane of a palette image; null
    // when there is none.
    virtual uint8_t* getPixels();
    uint8_t* getAlphaPlane();
    // kPaletteEntries RGB565 colours, or null for a direct image.
    uint16_t* getPalette();
    bool isMutable() const { return m_mutable; }
    int32_t getFormat() const { return m_format; }
    bool hasPalette() const { return m_paletteOffset >= 0; }
    // What the rasterizer is told: luminance formats read as RGB and RGBA.
    int32_t getRasterFormat() const;
    int32_t colourPitch() const { return m_width * 2; }
    int32_t alphaPitch() const { return imageFormatHasAlpha(m_format) ? m_width : 0; }

    void importPixels(int32_t format, uint32_t width, uint32_t height, const uint8_t* pixels) override;
    void importPalettized(int32_t format, uint32_t width, uint32_t height, const uint8_t* indices,
                          uint32_t paletteLength, const uint8_t* palette) override;

protected:
    // The image part of a duplicate.
    void copyImageFrom(const CkwImage2D& source);
    // The checks of set, in its order, without writing.
    void checkRectangle(int32_t x, int32_t y, int32_t width, int32_t height, int32_t length, int32_t bytesPerPixel) const;
    // A side above 16383 leaves -4.
    static void checkSize(int32_t width, int32_t height);
    // Grows the buffer to bytes (checked against the image limit) and zeroes it.
    void sizeData(uint64_t bytes);
    // Lays out and blanks the planes of a direct (entries < 1) or palette
    // image; leaves the image as it was when memory cannot be had.
    void layout(int32_t format, int32_t width, int32_t height, bool isMutable, int32_t entries);
    // Drops the bytes past count; they stay allocated and zeroed.
    void keepDataBytes(int32_t count)
    {
        if (count < m_data.count())
            m_data.setCount(count);
    }
    uint8_t* dataAt(int32_t offset) { return offset < 0 ? nullptr : m_data.data() + offset; }
    const CkwArray<uint8_t>& data() const { return m_data; }

private:
    CkwArray<uint8_t> m_data;
    int32_t m_paletteOffset = -1;
    int32_t m_colourOffset = -1;
    int32_t m_width = 0;
    int32_t m_height = 0;
    int32_t m_alphaOffset = -1;
    int32_t m_format = kImageFormatRgb;
    bool m_mutable = false;
};
