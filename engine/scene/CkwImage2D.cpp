// Image2D: plane layouts, the conversion of every source format into RGB565
// and alpha, rectangle updates, raw data and the image's file data.
#include "engine/scene/CkwImage2D.h"

#include <algorithm>
#include <cstring>

#include "engine/core/loader/CkwSerializeBufferObjectsIn.h"
#include "engine/core/runtime/CleanupStack.h"
#include "engine/core/runtime/EngineAlloc.h"
#include "engine/core/runtime/Trap.h"

namespace {

// Converts count source pixels; colour or alpha may be null when the image
// has no such plane. ALPHA leaves the colour plane alone (it stays white).
template <int32_t Format>
void convertRow(const uint8_t* src, int32_t count, uint16_t* colour, uint8_t* alpha)
{
    for (int32_t i = 0; i < count; ++i) {
        if constexpr (Format == kImageFormatAlpha) {
            alpha[i] = src[0];
            src += 1;
        } else if constexpr (Format == kImageFormatLuminance) {
            colour[i] = packRgb565(src[0], src[0], src[0]);
            src += 1;
        } else if constexpr (Format == kImageFormatLuminanceAlpha) {
            colour[i] = packRgb565(src[0], src[0], src[0]);
            alpha[i] = src[1];
            src += 2;
        } else if constexpr (Format == kImageFormatRgb) {
            colour[i] = packRgb565(src[0], src[1], src[2]);
            src += 3;
        } else {
            colour[i] = packRgb565(src[0], src[1], src[2]);
            alpha[i] = src[3];
            src += 4;
        }
    }
}

void convertPixels(int32_t format, const uint8_t* src, int32_t count, uint16_t* colour, uint8_t* alpha)
{
    switch (format) {
    case kImageFormatAlpha: return convertRow<kImageFormatAlpha>(src, count, colour, alpha);
    case kImageFormatLuminance: return convertRow<kImageFormatLuminance>(src, count, colour, alpha);
    case kImageFormatLuminanceAlpha: return convertRow<kImageFormatLuminanceAlpha>(src, count, colour, alpha);
    case kImageFormatRgb: return convertRow<kImageFormatRgb>(src, count, colour, alpha);
    default: return convertRow<kImageFormatRgba>(src, count, colour, alpha);
    }
}

void checkFormatL(int32_t format)
{
    if (imageBytesPerPixel(format) == 0)
        leave(KErrIllegalArgument);
}

// Decoded pixels: a zero size or a format outside 96..100 leaves -1301, a
// side of 16384 or more -4.
void checkImport(int32_t format, uint32_t width, uint32_t height)
{
    if (width < 1 || height < 1)
        leave(KErrIllegalArgument);
    checkFormatL(format);
    if (width > kImageMaxDimension || height > kImageMaxDimension)
        leave(KErrNoMemory);
}

} // namespace

int32_t imageBytesPerPixel(int32_t format)
{
    static constexpr int32_t kBytes[] = {1, 1, 2, 3, 4};
    return format >= kImageFormatAlpha && format <= kImageFormatRgba ? kBytes[format - kImageFormatAlpha] : 0;
}

bool imageFormatHasAlpha(int32_t format)
{
    return format == kImageFormatAlpha || format == kImageFormatLuminanceAlpha || format == kImageFormatRgba;
}

IkwSerializable* CkwImage2D::create() { return new CkwImage2D; }

void CkwImage2D::checkSize(int32_t width, int32_t height)
{
    if (static_cast<uint32_t>(width) > kImageMaxDimension || static_cast<uint32_t>(height) > kImageMaxDimension)
        leave(KErrNoMemory);
}

void CkwImage2D::sizeData(uint64_t bytes)
{
    if (bytes > kImageMaxBytes)
        leave(KErrNoMemory);
    m_data.setCount(static_cast<int32_t>(bytes));
    if (bytes != 0)
        std::memset(m_data.data(), 0, bytes);
}

void CkwImage2D::layout(int32_t format, int32_t width, int32_t height, bool isMutable, int32_t entries)
{
    checkSize(width, height);
    const int64_t pixels = int64_t{width} * height;
    const bool alpha = imageFormatHasAlpha(format);
    // Sized before anything else changes: an image that cannot grow keeps
    // its old size and planes together.
    if (entries < 1)
        sizeData(pixels * (alpha ? 3 : 2));
    else // always a full palette: images index it with any byte
        sizeData(kPaletteEntries * 2 + pixels + (alpha ? kPaletteEntries : 0));
    m_format = format;
    m_width = width;
    m_height = height;
    m_mutable = isMutable;
    m_paletteOffset = entries < 1 ? -1 : 0;
    m_colourOffset = entries < 1 ? 0 : kPaletteEntries * 2;
    m_alphaOffset = !alpha ? -1 : static_cast<int32_t>(entries < 1 ? pixels * 2 : kPaletteEntries * 2 + pixels);
    // White, and opaque, until written; an ALPHA image has no colour of its own.
    const int64_t colours = entries < 1 ? pixels : kPaletteEntries;
    if ((m_mutable || m_format == kImageFormatAlpha) && colours != 0)
        std::memset(m_data.data() + (entries < 1 ? m_colourOffset : m_paletteOffset), 0xFF, colours * 2);
    if (m_mutable && alpha && colours != 0)
        std::memset(m_data.data() + m_alphaOffset, 0xFF, colours);
}

void CkwImage2D::setPaletteSize(int32_t entries) { layout(m_format, m_width, m_height, m_mutable, entries); }

void CkwImage2D::initBlank(int32_t format, int32_t width, int32_t height, bool immutable)
{
    checkFormatL(format);
    layout(format, width, height, !immutable, 0);
}

void CkwImage2D::initWithData(int32_t format, int32_t width, int32_t height, int32_t length, const uint8_t* data)
{
    checkFormatL(format);
    checkSize(width, height);
    const int64_t pixels = int64_t{width} * height;
    if (length < pixels * imageBytesPerPixel(format))
        leave(KErrIllegalArgument);
    layout(format, width, height, false, 0);
    convertPixels(format, data, static_cast<int32_t>(pixels), reinterpret_cast<uint16_t*>(dataAt(m_colourOffset)),
                  dataAt(m_alphaOffset));
}

void CkwImage2D::initPalettized(int32_t format, int32_t width, int32_t height, int32_t indexLength,
                                const uint8_t* indices, int32_t paletteLength, const uint8_t* palette)
{
    checkFormatL(format);
    checkSize(width, height);
    const int32_t bytesPerPixel = imageBytesPerPixel(format);
    const int64_t pixels = int64_t{width} * height;
    if (indexLength < pixels)
        leave(KErrIllegalArgument);
    // An empty palette would leave every index naming an undefined colour.
    const bool partEntry = paletteLength < kPaletteEntries * bytesPerPixel && paletteLength % bytesPerPixel != 0;
    if (paletteLength < bytesPerPixel || partEntry)
        leave(KErrIllegalArgument);
    const int32_t entries = std::min(paletteLength / bytesPerPixel, kPaletteEntries);
    layout(format, width, height, false, entries);
    if (pixels != 0)
        std::memcpy(dataAt(m_colourOffset), indices, static_cast<size_t>(pixels));
    convertPixels(format, palette, entries, getPalette(), dataAt(m_alphaOffset));
}

void CkwImage2D::checkRectangle(int32_t x, int32_t y, int32_t width, int32_t height, int32_t length,
                                int32_t bytesPerPixel) const
{
    if (x < 0 || y < 0 || width < 1 || height < 1 || int64_t{x} + width > m_width || int64_t{y} + height > m_height
        || length < int64_t{width} * height * bytesPerPixel)
        leave(KErrIllegalArgument);
    if (!m_mutable || hasPalette())
        leave(KErrIllegalState);
}

void CkwImage2D::set(int32_t x, int32_t y, int32_t width, int32_t height, int32_t length, const uint8_t* data)
{
    const int32_t bytesPerPixel = imageBytesPerPixel(m_format);
    checkRectangle(x, y, width, height, length, bytesPerPixel);
    auto* colour = reinterpret_cast<uint16_t*>(dataAt(m_colourOffset));
    uint8_t* alpha = dataAt(m_alphaOffset);
    for (int32_t row = 0; row < height; ++row) {
        const int32_t at = (y + row) * m_width + x;
        convertPixels(m_format, data + int64_t{row} * width * bytesPerPixel, width, colour + at,
                      alpha != nullptr ? alpha + at : nullptr);
    }
}

void CkwImage2D::setImageData(int32_t format, int32_t width, int32_t height, int32_t length, int32_t capacity,
                              const uint8_t* bytes)
{
    if (((width | height) & ~0x3FFF) != 0 || length < 0 || length >= (1 << 28))
        leave(KErrNoMemory);
    if (capacity < length)
        leave(KErrIllegalArgument);
    // Bytes short of a whole plane leave zeros behind them, never stale memory.
    sizeData(std::max<int64_t>(int64_t{width} * height * 2, length));
    m_format = format;
    m_width = width;
    m_height = height;
    m_mutable = false;
    if (length != 0)
        std::memcpy(m_data.data(), bytes, static_cast<size_t>(length));
    m_colourOffset = 0;
    m_paletteOffset = -1;
    m_alphaOffset = -1;
}

void CkwImage2D::appendData(int32_t length, const uint8_t* bytes)
{
    if (length <= 0)
        return;
    const int32_t at = m_data.count();
    if (uint64_t{static_cast<uint32_t>(at)} + static_cast<uint32_t>(length) > kImageMaxBytes)
        leave(KErrNoMemory);
    m_data.setCountGrowing(at + length);
    std::memcpy(m_data.data() + at, bytes, static_cast<size_t>(length));
}

void CkwImage2D::resize(int32_t width, int32_t height) { layout(m_format, width, height, m_mutable, 0); }

void CkwImage2D::expandPalette()
{
    if (!hasPalette())
        return;
    const int32_t pixels = m_width * m_height;
    const bool alpha = m_alphaOffset >= 0;
    // The palette, indices and per-entry alpha move out before the layout changes.
    CkwArray<uint8_t> old;
    old.setCount(m_data.count());
    std::memcpy(old.data(), m_data.data(), static_cast<size_t>(m_data.count()));
    const auto* palette = reinterpret_cast<const uint16_t*>(old.data() + m_paletteOffset);
    const uint8_t* indices = old.data() + m_colourOffset;
    const uint8_t* entryAlpha = alpha ? old.data() + m_alphaOffset : nullptr;
    setPaletteSize(0);
    auto* colour = reinterpret_cast<uint16_t*>(dataAt(m_colourOffset));
    uint8_t* alphaPlane = dataAt(m_alphaOffset);
    for (int32_t i = 0; i < pixels; ++i) {
        colour[i] = palette[indices[i]];
        if (alphaPlane != nullptr)
            alphaPlane[i] = entryAlpha[indices[i]];
    }
}

uint8_t* CkwImage2D::getPixels() { return dataAt(m_colourOffset); }

uint8_t* CkwImage2D::getAlphaPlane() { return dataAt(m_alphaOffset); }

uint16_t* CkwImage2D::getPalette() { return reinterpret_cast<uint16_t*>(dataAt(m_paletteOffset)); }

int32_t CkwImage2D::getRasterFormat() const
{
    if (getClassId() == kClassCompressedImage2D)
        return kRasterFormatCompressed;
    if (m_format == kImageFormatLuminance)
        return kImageFormatRgb;
    if (m_format == kImageFormatLuminanceAlpha)
        return kImageFormatRgba;
    return m_format;
}

void CkwImage2D::importPixels(int32_t format, uint32_t width, uint32_t height, const uint8_t* pixels)
{
    checkImport(format, width, height);
    const auto w = static_cast<int32_t>(width);
    const auto h = static_cast<int32_t>(height);
    initWithData(format, w, h, w * h * imageBytesPerPixel(format), pixels);
}

void CkwImage2D::importPalettized(int32_t format, uint32_t width, uint32_t height, const uint8_t* indices,
                                  uint32_t paletteLength, const uint8_t* palette)
{
    checkImport(format, width, height);
    const auto w = static_cast<int32_t>(width);
    const auto h = static_cast<int32_t>(height);
    initPalettized(format, w, h, w * h, indices, static_cast<int32_t>(std::min<uint32_t>(paletteLength, INT32_MAX)),
                   palette);
}

void CkwImage2D::deserialize(CkwSerializeBufferObjectsIn& buffer)
{
    CkwObject3D::deserialize(buffer);
    const int32_t format = buffer.readByteInRange(kRasterFormatCompressed, kImageFormatRgba + 1);
    const bool isMutable = buffer.readBoolean();
    const uint32_t width = buffer.readUInt32();
    const uint32_t height = buffer.readUInt32();
    if (width == 0 || height == 0)
        leave(KErrCorruptData);
    if (width > kImageMaxDimension || height > kImageMaxDimension)
        leave(KErrNoMemory);
    const auto w = static_cast<int32_t>(width);
    const auto h = static_cast<int32_t>(height);
    if (isMutable) {
        buffer.chargeMadeBytes(uint64_t{width} * height * (imageFormatHasAlpha(format) ? 3 : 2));
        initBlank(format, w, h, false);
        return;
    }
    const int32_t bytesPerPixel = imageBytesPerPixel(format);
    const int64_t pixels = int64_t{w} * h;
    const uint32_t paletteLength = buffer.readArrayCount(1);
    const uint8_t* palette = buffer.readBytes(paletteLength);
    const uint32_t pixelLength = buffer.readArrayCount(1);
    const uint8_t* data = buffer.readBytes(pixelLength);
    if (paletteLength != 0) {
        if (paletteLength < kPaletteEntries * static_cast<uint32_t>(bytesPerPixel) && paletteLength % bytesPerPixel != 0)
            leave(KErrCorruptData);
        if (pixelLength < pixels)
            leave(KErrCorruptData);
        initPalettized(format, w, h, static_cast<int32_t>(pixelLength), data, static_cast<int32_t>(paletteLength),
                       palette);
        return;
    }
    if (pixelLength < pixels * bytesPerPixel)
        leave(KErrCorruptData);
    initWithData(format, w, h, static_cast<int32_t>(pixelLength), data);
}

void CkwImage2D::copyImageFrom(const CkwImage2D& source)
{
    copyFrom(source);
    m_data.setCount(source.m_data.count());
    if (source.m_data.count() != 0)
        std::memcpy(m_data.data(), source.m_data.data(), static_cast<size_t>(source.m_data.count()));
    m_paletteOffset = source.m_paletteOffset;
    m_colourOffset = source.m_colourOffset;
    m_width = source.m_width;
    m_height = source.m_height;
    m_alphaOffset = source.m_alphaOffset;
    m_format = source.m_format;
    m_mutable = source.m_mutable;
}

CkwObject3D* CkwImage2D::duplicate() const
{
    CkwCleanupPtr<CkwImage2D> copy(new CkwImage2D);
    copy->copyImageFrom(*this);
    return copy.release();
}
