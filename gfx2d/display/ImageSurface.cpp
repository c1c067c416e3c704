// Image surfaces: planes held in pixel buffers, made, shared from another
// surface, handed to the raster state as texture pixels, and released.
#include "gfx2d/display/Surface.h"

#include <algorithm>
#include <new>

ImageSurface::~ImageSurface()
{
    releaseAll();
}

void ImageSurface::releasePixels()
{
    m_wrapped = nullptr;
    for (auto& plane : m_planes)
        plane.reset();
}

void ImageSurface::releaseAll()
{
    clearRenderTarget(this);
    m_ownedPalette.reset();
    m_loadedPalette.reset();
    m_palette = nullptr;
    releasePixels();
    releaseSourceResource();
    m_flags &= SurfaceFlag::KeptOnRelease;
}

uint64_t SurfaceBase::heldBytes() const
{
    uint64_t bytes = (m_ownedPalette ? kPaletteEntries * 4 : 0) + (m_loadedPalette ? kPaletteEntries * 4 : 0);
    for (const auto& plane : m_planes)
        bytes += plane ? plane->heldBytes() : 0;
    return bytes;
}

uint64_t ImageSurface::bytesLeft() const
{
    return kMaxSurfaceBytes - std::min(heldBytes(), kMaxSurfaceBytes);
}

bool ImageSurface::texturePixels(TexturePixels& out)
{
    const PixelBuffer* b = colourPlane();
    if (!(m_flags & SurfaceFlag::Initialised) || !b || !b->pixels() || b->pitch() <= 0)
        return false;
    out = TexturePixels{};
    out.format = b->format();
    out.width = b->width();
    out.height = b->height();
    out.pixels = b->pixels();
    out.bytes = uint32_t(b->pitch()) * b->height();
    // Palettes hold 256 colours, a caller's too.
    if (formatFlags(out.format) & FormatFlagPalette) {
        out.palette = reinterpret_cast<const uint8_t*>(palette());
        out.paletteBytes = out.palette ? kPaletteEntries * 4 : 0;
    }
    return true;
}

int ImageSurface::createPixelBuffer(RSBFormat format, uint32_t width, uint32_t height, const uint32_t* palette,
                                    const DecodeOptions* options)
{
    PaletteSlot* slot = nullptr;
    DecodeOptions withPalette;
    if (palette) {
        m_palette = palette;
        if (options) {
            // The decoder reads the given colours instead of the file's and
            // sets their alpha as the file's transparency says.
            withPalette = *options;
            withPalette.palette = const_cast<uint32_t*>(palette);
            options = &withPalette;
        }
    } else {
        m_flags |= SurfaceFlag::OwnsPalette;
        slot = &m_ownedPalette;
    }
    std::unique_ptr<PixelBuffer> b;
    if (m_flags & SurfaceFlag::Planar)
        b.reset(new (std::nothrow) PlanarPixelBuffer());
    else
        b.reset(new (std::nothrow) PixelBuffer());
    if (b)
        b->limitBytes(bytesLeft());
    if (!b || !b->create(format, width, height, (m_flags & SurfaceFlag::PowerOfTwo) != 0, slot, options,
                         PitchMode::Packed, 0, nullptr))
        return 0;
    if (slot)
        m_palette = m_ownedPalette.get();
    m_planes[0] = std::move(b);
    return 1;
}

int ImageSurface::createPlanes(RSBFormat format1, RSBFormat format2, uint32_t width, uint32_t height)
{
    const RSBFormat formats[2] = {format1, format2};
    const uint64_t wanted = (uint64_t(bytesPerPixel(format1)) + bytesPerPixel(format2)) * width * height;
    if (wanted > bytesLeft())
        return 0;
    for (uint32_t i = 0; i < 2; ++i) {
        if (!formats[i])
            continue;
        std::unique_ptr<PixelBuffer> b(new (std::nothrow) PixelBuffer());
        if (!b || !b->create(formats[i], width, height, false, nullptr, nullptr, PitchMode::Packed, 0, nullptr))
            return 0;
        m_planes[i + 1] = std::move(b);
    }
    return 1;
}

int ImageSurface::adoptFrom(RSBFormat requested, Surface* source, uint32_t classId, const uint32_t* palette)
{
    using namespace SurfaceFlag;
    SurfaceDescription d;
    if (!source || classId != kSurfaceTypeId || source->m_typeId != kSurfaceTypeId)
        return 0;
    // Chains are checked whenever a link is made, so none can loop.
    uint32_t depth = 0;
    for (const Surface* s = source; s; s = static_cast<const SurfaceBase*>(s)->wrapped())
        if (s == this || ++depth > kMaxShareDepth)
            return 0;
    if (!source->getDescription(d))
        return 0;
    if (requested && d.format != requested)
        return 0;
    if (palette && !(formatFlags(d.format) & FormatFlagPalette))
        return 0;
    if (((m_flags & Attribute4) && !d.attribute4) || ((m_flags & RasterTarget) && !(d.planeUse & 1)) ||
        ((m_flags & PlaneUse2) && !(d.planeUse & 2)) || ((m_flags & Planar) && !d.planar) ||
        ((m_flags & ExplicitFormat) && !d.explicitFormat))
        return 0;
    m_flags |= Wraps;
    m_palette = palette;
    m_wrapped = source;
    return 1;
}
