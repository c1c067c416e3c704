// Pixel images: native and TGA reading, saving through the file system,
// rectangle copies, channel swaps and the 16-bit conversions.
#include "gfx2d/image/PixelImage.h"

#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <new>
#include <utility>

#include "framework/files/FileSystem.h"
#include "framework/streams/InputStream.h"
#include "gfx2d/blit/PixelRows.h"
#include "gfx2d/image/ImageIds.h"
#include "gfx2d/image/PixelFormat.h"
#include "gfx2d/raster/UnalignedAccess.h"

namespace {

uint32_t tgaU16(const uint8_t* header, uint32_t at)
{
    return header[at] | uint32_t(header[at + 1]) << 8;
}

// Every row the description names fits in its data size.
bool holdsItsPixels(const ImageDescription& d)
{
    const uint32_t bits = d.bitsPerPixel;
    const bool wholeBytes = bits == 8 || bits == 16 || bits == 24 || bits == 32;
    return wholeBytes && d.dataSize >= uint64_t(d.width) * d.height * (bits / 8);
}

uint64_t tgaPixelBytes(const uint8_t* header)
{
    return uint64_t(tgaU16(header, TgaField::Width)) * tgaU16(header, TgaField::Height) * (header[TgaField::Depth] / 8);
}

// Zeros without a source; else rows of rowBytes, the source advancing by
// pitch (0: packed rows).
std::unique_ptr<uint8_t[]> copyPixels(uint32_t size, const void* source, uint32_t pitch, uint32_t rowBytes,
                                      uint32_t rows)
{
    std::unique_ptr<uint8_t[]> out(new (std::nothrow) uint8_t[size]());
    if (!out || source == nullptr)
        return out;
    const auto* from = static_cast<const uint8_t*>(source);
    if (pitch == 0) {
        std::memcpy(out.get(), from, size);
        return out;
    }
    for (uint32_t y = 0; y < rows; ++y)
        std::memcpy(out.get() + size_t(y) * rowBytes, from + size_t(y) * pitch, rowBytes);
    return out;
}

struct Part {
    const void* data;
    uint32_t size;
};

// 1 only when every byte of every part reached the file.
int writeFile(const char16_t* path, std::initializer_list<Part> parts)
{
    FileSystem* files = getFileSystem();
    File* file = files != nullptr ? files->open(path, kOpenWrite) : nullptr;
    if (file == nullptr)
        return 0;
    int ok = 1;
    for (const Part& p : parts)
        ok &= file->write(p.data, p.size) == p.size;
    files->close(file);
    return ok;
}

void putDescription(uint8_t* out, const ImageDescription& d)
{
    const uint32_t words[9] = {d.format, d.type, d.bitsPerPixel, d.internalFormat, d.reserved0,
                               d.reserved1, d.width, d.height, d.dataSize};
    for (uint32_t i = 0; i < 9; ++i) {
        for (uint32_t b = 0; b < 4; ++b)
            out[i * 4 + b] = uint8_t(words[i] >> (8 * b));
    }
}

// A TGA's header (id length set to 0: the id field is skipped), its
// description and its pixels; false when refused or short.
bool readTga(InputStream& in, uint8_t* header, ImageDescription& description, std::unique_ptr<uint8_t[]>& pixels)
{
    in.read(header, TgaField::HeaderSize);
    if (in.hasError() || !isSupportedTga(header))
        return false;
    in.skip(header[TgaField::IdLength]);
    header[TgaField::IdLength] = 0;
    if (in.hasError() || in.available() < tgaPixelBytes(header))
        return false;
    describeTga(description, header);
    pixels = readAnnounced<uint8_t>(in, description.dataSize);
    return pixels != nullptr;
}

// The native file: nine words, then data-size bytes of pixels.
bool readNative(InputStream& in, ImageDescription& d, std::unique_ptr<uint8_t[]>& pixels)
{
    for (uint32_t* word : {&d.format, &d.type, &d.bitsPerPixel, &d.internalFormat, &d.reserved0, &d.reserved1,
                           &d.width, &d.height, &d.dataSize})
        *word = in.readU32();
    // The data must hold every pixel the description names, and be there.
    if (in.hasError() || !holdsItsPixels(d) || in.available() < d.dataSize)
        return false;
    pixels = readAnnounced<uint8_t>(in, d.dataSize);
    return pixels != nullptr;
}

template <void (*Packer)(void*, uint32_t, uint32_t, uint32_t, uint32_t), int A, int B, int C, int D>
uint16_t packWith(const uint8_t* p, bool hasAlpha)
{
    const uint32_t c[4] = {p[0], p[1], p[2], hasAlpha ? p[3] : 0xFFu};
    uint8_t out[2];
    Packer(out, c[A], c[B], c[C], c[D]);
    return static_cast<uint16_t>(load16(out));
}

void packRgb(void* dst, uint32_t r, uint32_t g, uint32_t b, uint32_t)
{
    packRgb565(dst, r, g, b);
}

} // namespace

bool isSupportedTga(const uint8_t* header)
{
    const uint8_t type = header[TgaField::ImageType], depth = header[TgaField::Depth];
    return header[TgaField::ColourMapType] == 0 && type == TgaField::TrueColour &&
           (depth == 16 || depth == 24 || depth == 32);
}

void describeTga(ImageDescription& out, const uint8_t* header)
{
    out = ImageDescription();
    const uint32_t depth = header[TgaField::Depth];
    const uint8_t type = header[TgaField::ImageType];
    if (type == TgaField::Grey || type == TgaField::GreyRle) {
        out.format = GlFormat::Luminance;
        out.type = GlType::UnsignedByte;
        out.bitsPerPixel = 8;
    } else {
        out.format = depth == 32 ? GlFormat::Rgba : GlFormat::Rgb;
        out.type = depth == 16 ? GlType::Short565 : GlType::UnsignedByte;
        out.bitsPerPixel = depth;
    }
    out.internalFormat = out.format;
    out.width = tgaU16(header, TgaField::Width);
    out.height = tgaU16(header, TgaField::Height);
    out.dataSize = uint32_t(uint64_t(out.width) * out.height * depth / 8);
}

PixelImage::PixelImage() : HashedObject(ImageTypeId::PixelImage) {}

PixelImage::PixelImage(const ImageDescription& description, const void* pixels, uint32_t pitch) : PixelImage()
{
    create(description, pixels, pitch);
}

PixelImage::PixelImage(const PixelImage& other) : PixelImage()
{
    copyFrom(other);
}

void PixelImage::clear()
{
    m_hasDescription = false;
    m_description = ImageDescription();
    m_pixels.reset();
}

int PixelImage::adopt(const ImageDescription& description, std::unique_ptr<uint8_t[]> pixels)
{
    m_description = description;
    m_pixels = std::move(pixels);
    m_hasDescription = true;
    return 1;
}

int PixelImage::load(InputStream& stream, uint32_t tag)
{
    uint8_t header[TgaField::HeaderSize];
    if (tag == kTgaImageTag)
        return loadTga(stream, header);
    clear();
    ImageDescription d;
    std::unique_ptr<uint8_t[]> pixels;
    return stream.available() != 0 && readNative(stream, d, pixels) ? adopt(d, std::move(pixels)) : 0;
}

int PixelImage::loadTga(InputStream& stream, uint8_t* header)
{
    clear();
    ImageDescription d;
    std::unique_ptr<uint8_t[]> pixels;
    return stream.available() != 0 && readTga(stream, header, d, pixels) ? adopt(d, std::move(pixels)) : 0;
}

int PixelImage::save(const char16_t* path) const
{
    if (!m_hasDescription)
        return 0;
    uint8_t header[ImageDescription::kSize];
    putDescription(header, m_description);
    return writeFile(path, {{header, sizeof header}, {m_pixels.get(), m_description.dataSize}});
}

int PixelImage::create(const ImageDescription& description, const void* pixels, uint32_t pitch)
{
    clear();
    if (!holdsItsPixels(description))
        return 0;
    const uint32_t rowBytes = description.width * (description.bitsPerPixel / 8);
    std::unique_ptr<uint8_t[]> block = copyPixels(description.dataSize, pixels, pitch, rowBytes, description.height);
    return block ? adopt(description, std::move(block)) : 0;
}

int PixelImage::copyFrom(const PixelImage& other)
{
    if (&other == this)
        return m_hasDescription;
    if (!other.m_hasDescription) {
        clear();
        return 0;
    }
    return create(other.m_description, other.m_pixels.get(), 0);
}

int PixelImage::copyRect(int32_t x, int32_t y, int32_t w, int32_t h, uint8_t* buffer, uint32_t pitch,
                         bool intoImage) const
{
    const uint32_t bpp = m_description.bitsPerPixel / 8;
    if (!m_hasDescription || buffer == nullptr || x < 0 || y < 0 || w < 0 || h < 0 ||
        int64_t(x) + w > m_description.width || int64_t(y) + h > m_description.height)
        return 0;
    const uint32_t rowBytes = uint32_t(w) * bpp, imagePitch = m_description.width * bpp;
    uint8_t* image = m_pixels.get() + size_t(y) * imagePitch + size_t(x) * bpp;
    const intptr_t bufferPitch = pitch ? pitch : rowBytes;
    uint8_t* to = intoImage ? image : buffer;
    const intptr_t toPitch = intoImage ? imagePitch : bufferPitch;
    PixelRows from{intoImage ? buffer : image, intoImage ? bufferPitch : imagePitch, h, rowBytes};
    // A buffer inside the image itself (a scroll) is read from a copy.
    std::unique_ptr<uint8_t[]> copy;
    if (rowsOverlap(from, {to, toPitch, h, rowBytes})) {
        copy = packRows(from);
        if (!copy)
            return 0;
        from = {copy.get(), intptr_t(rowBytes), h, rowBytes};
    }
    for (int32_t row = 0; row < h; ++row)
        std::memcpy(to + toPitch * row, static_cast<const uint8_t*>(from.first) + from.pitch * row, rowBytes);
    return 1;
}

int PixelImage::writeRect(int32_t x, int32_t y, int32_t w, int32_t h, const void* source, uint32_t pitch)
{
    return copyRect(x, y, w, h, static_cast<uint8_t*>(const_cast<void*>(source)), pitch, true);
}

int PixelImage::readRect(int32_t x, int32_t y, int32_t w, int32_t h, void* dest, uint32_t pitch) const
{
    return copyRect(x, y, w, h, static_cast<uint8_t*>(dest), pitch, false);
}

int PixelImage::swapBytes(uint32_t a, uint32_t b, bool refuseOthers)
{
    const uint32_t bits = m_description.bitsPerPixel;
    if (!m_hasDescription || (bits != 24 && bits != 32))
        return refuseOthers ? 0 : 1;
    const uint32_t step = bits / 8, pixels = m_description.width * m_description.height;
    uint8_t* p = m_pixels.get();
    for (uint32_t i = 0; i < pixels; ++i, p += step)
        std::swap(p[a], p[b]);
    return 1;
}

int PixelImage::swap01()
{
    return swapBytes(0, 1, true);
}

int PixelImage::swap02()
{
    return swapBytes(0, 2, true);
}

int PixelImage::swap12()
{
    return swapBytes(1, 2, false);
}

int PixelImage::rotateChannels()
{
    // (2, 0, 1) is a swap of 0 and 2 followed by a swap of 1 and 2.
    swapBytes(0, 2, false);
    return swapBytes(1, 2, false);
}

int PixelImage::convert(uint32_t format, uint32_t type, Pack pack)
{
    const ImageDescription& d = m_description;
    if (!m_hasDescription || (d.format != GlFormat::Rgb && d.format != GlFormat::Rgba) ||
        d.type != GlType::UnsignedByte || (d.bitsPerPixel != 24 && d.bitsPerPixel != 32))
        return 0;
    const uint32_t pixels = d.width * d.height;
    std::unique_ptr<uint8_t[]> out(new (std::nothrow) uint8_t[size_t(pixels) * 2]);
    if (!out)
        return 0;
    const uint32_t step = d.bitsPerPixel / 8;
    for (uint32_t i = 0; i < pixels; ++i) {
        const uint16_t v = pack(m_pixels.get() + size_t(i) * step, step == 4);
        out[size_t(i) * 2] = uint8_t(v);
        out[size_t(i) * 2 + 1] = uint8_t(v >> 8);
    }
    m_description.format = m_description.internalFormat = format;
    m_description.type = type;
    m_description.bitsPerPixel = 16;
    m_description.dataSize = pixels * 2;
    m_pixels = std::move(out);
    return 1;
}

int PixelImage::toRgb565()
{
    return convert(GlFormat::Rgb, GlType::Short565, packWith<packRgb, 2, 1, 0, 3>);
}

int PixelImage::toArgb1555()
{
    return convert(GlFormat::Rgba, GlType::Short1555AlphaFirst, packWith<packArgb1555, 3, 2, 1, 0>);
}

int PixelImage::toRgba5551()
{
    return convert(GlFormat::Rgba, GlType::Short5551, packWith<packRgba5551, 2, 1, 0, 3>);
}

int PixelImage::toRgba4444()
{
    return convert(GlFormat::Rgba, GlType::Short4444, packWith<packNibbles4444, 2, 1, 0, 3>);
}

int PixelImage::toArgb4444()
{
    return convert(GlFormat::Rgba, GlType::Short4444AlphaFirst, packWith<packNibbles4444, 3, 2, 1, 0>);
}

TgaImage::TgaImage() : HashedObject(ImageTypeId::TgaImage) {}

void TgaImage::clear()
{
    std::memset(m_header, 0, sizeof m_header);
    m_image.clear();
}

int TgaImage::load(InputStream& stream)
{
    clear();
    return m_image.loadTga(stream, m_header);
}

int TgaImage::create(const uint8_t* header, const void* pixels, uint32_t pitch)
{
    clear();
    if (header == nullptr || !isSupportedTga(header) || tgaPixelBytes(header) > UINT32_MAX)
        return 0;
    ImageDescription d;
    describeTga(d, header);
    if (!m_image.create(d, pixels, pitch))
        return 0;
    std::memcpy(m_header, header, sizeof m_header);
    m_header[TgaField::IdLength] = 0;
    return 1;
}

int TgaImage::save(const char16_t* path) const
{
    if (m_image.isEmpty())
        return 0;
    return writeFile(path, {{m_header, TgaField::HeaderSize}, {m_image.pixels(), m_image.dataSize()}});
}

int TgaImage::copyFrom(const TgaImage& other)
{
    if (&other == this)
        return !m_image.isEmpty();
    clear();
    if (!m_image.copyFrom(other.m_image))
        return 0;
    std::memcpy(m_header, other.m_header, sizeof m_header);
    return 1;
}
