// Pixel buffers: definition, adoption or allocation of pixels, and the steps
// the PNG and BMP decoders share.
#include "gfx2d/image/PixelBuffer.h"

#include <cstring>
#include <new>

#include "framework/streams/InputStream.h"
#include "framework/util/LoadLedger.h"
#include "gfx2d/blit/BlitterRegistry.h"
#include "gfx2d/image/ImageIds.h"
#include "gfx2d/image/internal/Decode.h"

namespace {
bool isIndex4(RSBFormat format)
{
    return format == PixelFormat::P4X8R8G8B8 || format == PixelFormat::P4A8R8G8B8;
}
} // namespace

int PixelBuffer::setPitch(int64_t pitch)
{
    if (pitch > kMaxPitch || pitch < -kMaxPitch)
        return 0;
    m_pitch = static_cast<int16_t>(pitch);
    return 1;
}

void PixelBuffer::reset()
{
    releasePixels();
    m_pixels = nullptr;
    m_format = 0;
    m_flags &= PixelBufferFlag::Planar;
    m_pitch = 0;
    m_width = 0;
    m_height = 0;
}

int PixelBuffer::releasePixels()
{
    if (!(m_flags & PixelBufferFlag::Owned))
        return 0;
    m_allocation.reset();
    m_pixels = nullptr;
    m_flags &= ~PixelBufferFlag::Owned;
    return 1;
}

int PixelBuffer::allocateZeroed(int32_t pitch, uint32_t height)
{
    const uint64_t bytes = uint64_t(pitch < 0 ? -int64_t(pitch) : pitch) * height;
    if (bytes == 0 || bytes > m_byteLimit || !LoadScope::charge(bytes))
        return 0;
    m_allocation.reset(new (std::nothrow) uint8_t[bytes]());
    m_pixels = m_allocation.get();
    return m_pixels != nullptr;
}

uint64_t PixelBuffer::heldBytes() const
{
    return m_allocation ? uint64_t(m_pitch < 0 ? -int32_t(m_pitch) : m_pitch) * m_height : 0;
}

void PixelBuffer::makeTopDown()
{
    if (m_pixels == nullptr || m_pitch >= 0)
        return;
    m_pixels += intptr_t(m_height - 1) * m_pitch;
    m_pitch = static_cast<int16_t>(-m_pitch);
}

void PixelBuffer::makeBottomUp()
{
    if (m_pixels == nullptr || m_pitch <= 0)
        return;
    m_pixels += intptr_t(m_height - 1) * m_pitch;
    m_pitch = static_cast<int16_t>(-m_pitch);
}

int PixelBuffer::adopt(void* externalPixels, uint32_t pitchMode)
{
    if (pitchMode == PitchMode::BottomUp && m_pitch > 0)
        m_pitch = static_cast<int16_t>(-m_pitch);
    m_pixels = static_cast<uint8_t*>(externalPixels);
    m_flags |= PixelBufferFlag::External;
    return 1;
}

int PixelBuffer::create(RSBFormat format, uint32_t width, uint32_t height, bool powerOfTwo, PaletteSlot* paletteSlot,
                        const DecodeOptions* options, uint32_t pitchMode, int32_t pitch, void* externalPixels)
{
    reset();
    const int ok = define(format, width, height, powerOfTwo, pitchMode, pitch) &&
                   fill(paletteSlot, options, pitchMode, externalPixels);
    if (!ok)
        reset();
    return ok;
}

int PixelBuffer::define(RSBFormat format, uint32_t width, uint32_t height, bool powerOfTwo, uint32_t pitchMode,
                        int32_t pitch)
{
    m_format = format;
    if (width > kMaxDimension || height > kMaxDimension)
        return 0;
    if (powerOfTwo) {
        width = nextPowerOfTwo(width);
        height = nextPowerOfTwo(height);
        m_flags |= PixelBufferFlag::PowerOfTwo;
    }
    m_width = static_cast<uint16_t>(width);
    m_height = static_cast<uint16_t>(height);
    if (pitchMode == PitchMode::Given)
        return setPitch(pitch);
    return format && width && height ? setPitch(int64_t(bytesPerPixel(format)) * width) : 1;
}

int PixelBuffer::fill(PaletteSlot* paletteSlot, const DecodeOptions* options, uint32_t pitchMode,
                      void* externalPixels)
{
    if (externalPixels && m_width && m_height && m_pitch)
        return adopt(externalPixels, pitchMode);
    if (options) {
        if (options->stream == nullptr)
            return 0;
        if (options->decoderTag == ResourceType::PngFile)
            return decodePng(paletteSlot, *options, pitchMode, externalPixels);
        if (options->decoderTag == ResourceType::BmpFile)
            return decodeBmp(paletteSlot, *options, pitchMode, externalPixels);
        return 0;
    }
    if (!m_format || !m_width || !m_height || !m_pitch || externalPixels)
        return 0;
    const int32_t magnitude = m_pitch < 0 ? -m_pitch : m_pitch;
    return uint64_t(magnitude) >= uint64_t(bytesPerPixel(m_format)) * m_width &&
           allocateRows(pitchMode == PitchMode::BottomUp || m_pitch < 0);
}

int PixelBuffer::allocateRows(bool bottomUp)
{
    if (uint64_t(m_width) * m_height > kMaxDecodedPixels || !allocateZeroed(m_pitch, m_height))
        return 0;
    m_pitch = static_cast<int16_t>(m_pitch < 0 ? -m_pitch : m_pitch);
    m_flags |= PixelBufferFlag::Owned;
    if (bottomUp)
        makeBottomUp();
    return 1;
}

int PixelBuffer::prepareDecode(Decode& d, PaletteSlot* slot, const DecodeOptions& options)
{
    if (d.width <= 0 || d.height <= 0 || uint32_t(d.width) > kMaxDimension || uint32_t(d.height) > kMaxDimension ||
        uint64_t(d.width) * uint64_t(d.height) > kMaxDecodedPixels)
        return 0;
    if (d.depth < 8) {
        if (d.depth == 0 || 8 % d.depth != 0)
            return 0;
        d.rowBytes = (d.depth * uint32_t(d.width) + 7) / 8;
    } else {
        d.rowBytes = d.depth / 8 * uint32_t(d.width);
    }
    d.sourceFormat = !d.paletted ? PixelFormat::R8G8B8
                                 : (d.depth < 8 ? PixelFormat::P4X8R8G8B8 : PixelFormat::P8X8R8G8B8);
    if (m_format == 0) {
        for (const FormatPair& pair : options.formatMap) {
            if (pair.source == d.sourceFormat) {
                m_format = pair.dest;
                break;
            }
        }
        if (m_format == PixelFormat::P4X8R8G8B8)
            m_format = PixelFormat::P8X8R8G8B8;
        else if (m_format == PixelFormat::P4A8R8G8B8)
            m_format = PixelFormat::P8A8R8G8B8;
        if (m_format == 0)
            return 0;
    }
    d.palette = d.scratch;
    if (options.palette) {
        d.palette = options.palette;
        d.paletteSupplied = true;
    } else if (slot != nullptr) {
        if (*slot) {
            d.palette = slot->get();
            d.paletteSupplied = true;
        } else if (formatFlags(m_format) & FormatFlagPalette) {
            if (!LoadScope::charge(kPaletteEntries * 4))
                return 0;
            slot->reset(new (std::nothrow) uint32_t[kPaletteEntries]());
            if (!*slot)
                return 0;
            d.palette = slot->get();
        }
    }
    return 1;
}

int PixelBuffer::placeDecode(const Decode& d, const DecodeOptions& options, uint32_t pitchMode, void* externalPixels)
{
    uint32_t w = uint32_t(d.width), h = uint32_t(d.height);
    if (m_flags & PixelBufferFlag::PowerOfTwo) {
        w = nextPowerOfTwo(w);
        h = nextPowerOfTwo(h);
        if (w == 0 || h == 0)
            return 0;
    }
    if (options.transpose)
        std::swap(w, h);
    if (m_width || m_height) {
        if (m_width != w || m_height != h)
            return 0;
    }
    m_width = static_cast<uint16_t>(w);
    m_height = static_cast<uint16_t>(h);
    const int64_t pitch = isIndex4(m_format) ? (int64_t(w) * 4 + 7) / 8 : int64_t(bytesPerPixel(m_format)) * w;
    if (m_pitch != 0) {
        if ((m_pitch < 0 ? -m_pitch : m_pitch) != pitch)
            return 0;
    } else if (pitch == 0 || !setPitch(pitch)) {
        return 0;
    }
    if (externalPixels)
        return adopt(externalPixels, pitchMode);
    return allocateRows(pitchMode == PitchMode::BottomUp || m_pitch < 0);
}

int PixelBuffer::runDecodeBlit(const Decode& d, const DecodeOptions& options, InputStream& rows, uint32_t rowSkip,
                               bool bottomUpRows)
{
    if (!registerBlitters())
        return 0;
    BlitKey key;
    key.sourceFormat = d.sourceFormat;
    key.destFormat = m_format;
    key.keyMode = options.keyFlag ? BlitKeyMode::JobKey : BlitKeyMode::None;
    key.operation = BlitOperation::StreamConversion;
    if (findBlitter(key) == nullptr)
        return 0;
    BlitStreamJob job;
    job.stream = &rows;
    job.rowSkip = rowSkip;
    job.palette = d.palette;
    job.dstPitch = m_pitch;
    job.dstPixels = m_pixels;
    job.width = d.width;
    job.height = d.height;
    job.keyBlue = static_cast<uint8_t>(options.keyColour);
    job.keyGreen = static_cast<uint8_t>(options.keyColour >> 8);
    job.keyRed = static_cast<uint8_t>(options.keyColour >> 16);
    job.transpose = options.transpose;
    job.mirrorX = options.mirror;
    job.mirrorY = options.flip;
    // Rows stored bottom-up turn the picture's rows over: its y, which is the
    // buffer's x when transposed.
    if (bottomUpRows) {
        if (options.transpose)
            job.mirrorX = !job.mirrorX;
        else
            job.mirrorY = !job.mirrorY;
    }
    key.function(&job);
    return !rows.hasError();
}

int convertPixelWithDepth(RSBFormat srcFormat, const void* src, RSBFormat dstFormat, void* dst)
{
    if (srcFormat != PixelFormat::Z32)
        return convertPixel(srcFormat, src, dstFormat, dst);
    uint32_t word;
    std::memcpy(&word, src, 4);
    switch (dstFormat) {
    case PixelFormat::A8R8G8B8:
    case PixelFormat::X8R8G8B8: std::memcpy(dst, &word, 4); return 1;
    case PixelFormat::R5G6B5: {
        const uint16_t high = static_cast<uint16_t>(word >> 16);
        std::memcpy(dst, &high, 2);
        return 1;
    }
    case PixelFormat::ArgbFixed: {
        const uint32_t words[4] = {word, word, word, word};
        std::memcpy(dst, words, sizeof words);
        return 1;
    }
    default: return 0;
    }
}

int PlanarPixelBuffer::create(RSBFormat format, uint32_t width, uint32_t height, bool powerOfTwo,
                              PaletteSlot* paletteSlot, const DecodeOptions* options, uint32_t pitchMode,
                              int32_t pitch, void* externalPixels)
{
    const int ok =
        PixelBuffer::create(format, width, height, powerOfTwo, paletteSlot, options, pitchMode, pitch, externalPixels);
    m_planes[0] = ok ? m_pixels : nullptr;
    m_planeCount = ok ? 1 : 0;
    return ok;
}

void PlanarPixelBuffer::setPlane(uint32_t plane, uint8_t* pixels)
{
    if (plane >= kMaxPlanes)
        return;
    m_planes[plane] = pixels;
    if (plane >= m_planeCount)
        m_planeCount = plane + 1;
}
