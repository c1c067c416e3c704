// Texture-ready pixel data: a nine-word description whose format and type
// are OpenGL ES values, then the pixels, rows top first without padding.
// PixelImage reads its own native file or an uncompressed TGA and converts
// 24- and 32-bit pixels to the 16-bit packed types; TgaImage keeps the TGA
// header itself in front of its pixels.
#pragma once

#include <cstdint>
#include <memory>

#include "framework/services/HashedObject.h"
#include "gfx2d/image/ImageIds.h"

class InputStream;

struct ImageDescription {
    uint32_t format = 0;
    uint32_t type = 0;
    uint32_t bitsPerPixel = 0;
    uint32_t internalFormat = 0;  // always the format
    uint32_t reserved0 = 0;
    uint32_t reserved1 = 0;
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t dataSize = 0;  // width × height × bits per pixel / 8

    static constexpr uint32_t kSize = 36;
};

// Uncompressed true-colour TGAs of 16, 24 or 32 bits without a colour map:
// run-length files and grey ones (whose depth never matches one grey byte)
// are refused.
bool isSupportedTga(const uint8_t* header);
void describeTga(ImageDescription& out, const uint8_t* header);

class PixelImage : public HashedObject {
public:
    PixelImage();
    PixelImage(const ImageDescription& description, const void* pixels, uint32_t pitch);
    PixelImage(const PixelImage& other);
    PixelImage& operator=(const PixelImage&) = delete;

    void clear();
    // tag kTgaImageTag reads a TGA, any other the native file. 1 on success;
    // a refused or short stream leaves the image cleared.
    int load(InputStream& stream, uint32_t tag);
    // A TGA, its 18-byte header (id length 0: the id field is dropped) to header.
    int loadTga(InputStream& stream, uint8_t* header);
    // 1 when the description and every pixel byte were written.
    int save(const char16_t* path) const;
    // Copies the description; no pixels: zeros; a pitch: row by row.
    int create(const ImageDescription& description, const void* pixels, uint32_t pitch);
    int recreate(const ImageDescription& description, const void* pixels, uint32_t pitch)
    {
        clear();
        return create(description, pixels, pitch);
    }
    int copyFrom(const PixelImage& other);

    // Rectangles of pixels in and out; a buffer pitch of 0 means w pixels.
    // 0 for a rectangle outside the image.
    int writeRect(int32_t x, int32_t y, int32_t w, int32_t h, const void* source, uint32_t pitch);
    int readRect(int32_t x, int32_t y, int32_t w, int32_t h, void* dest, uint32_t pitch) const;

    bool isEmpty() const { return !m_hasDescription; }
    const ImageDescription& description() const { return m_description; }
    uint32_t width() const { return m_description.width; }
    uint32_t height() const { return m_description.height; }
    uint32_t dataSize() const { return m_description.dataSize; }
    const uint8_t* pixels() const { return m_pixels.get(); }

    // In place on 24- and 32-bit pixels. swap01 and swap02 return 0 for
    // other depths; swap12 and rotateChannels leave them and return 1.
    int swap01();
    int swap02();
    int swap12();
    int rotateChannels();  // new bytes 0, 1, 2 = old 2, 0, 1

    // From RGB or RGBA bytes at 24 or 32 bits; 0 and unchanged otherwise.
    int toRgb565();
    int toArgb1555();
    int toRgba5551();
    int toRgba4444();
    int toArgb4444();

private:
    using Pack = uint16_t (*)(const uint8_t* pixel, bool hasAlpha);
    int adopt(const ImageDescription& description, std::unique_ptr<uint8_t[]> pixels);
    // The source is only read when copying into the image.
    int copyRect(int32_t x, int32_t y, int32_t w, int32_t h, uint8_t* buffer, uint32_t pitch, bool intoImage) const;
    int convert(uint32_t format, uint32_t type, Pack pack);
    int swapBytes(uint32_t a, uint32_t b, bool refuseOthers);

    bool m_hasDescription = false;
    ImageDescription m_description;
    std::unique_ptr<uint8_t[]> m_pixels;
};

class TgaImage : public HashedObject {
public:
    TgaImage();

    void clear();
    // 1 on success; the id field is skipped and dropped.
    int load(InputStream& stream);
    // The header must describe a supported TGA; pixels as for PixelImage.
    int create(const uint8_t* header, const void* pixels, uint32_t pitch);
    // Writes the header and the pixels: a TGA again.
    int save(const char16_t* path) const;
    int copyFrom(const TgaImage& other);

    const uint8_t* header() const { return m_header; }
    const uint8_t* pixels() const { return m_image.pixels(); }
    const ImageDescription* description() const { return m_image.isEmpty() ? nullptr : &m_image.description(); }

private:
    uint8_t m_header[18] = {};
    PixelImage m_image;
};
