// Surfaces: locking and plane addressing, sizes and formats, and the
// render target the screen context records.
#include "gfx2d/display/Surface.h"

#include "framework/services/AppBase.h"
#include "gfx2d/display/ScreenContext.h"

namespace {

// Rectangles that reach below 0 on either side count as outside.
bool rectInside(const Rect16& r, uint32_t width, uint32_t height)
{
    return r.x >= 0 && r.y >= 0 && r.x + r.w >= 0 && r.y + r.h >= 0 && r.x + r.w <= int32_t(width) &&
           r.y + r.h <= int32_t(height);
}

int addressIn(const PixelBuffer* b, uint8_t** address, int32_t* pitch, const Rect16* rect)
{
    uint8_t* a = nullptr;
    int32_t p = 0;
    if (b && b->pixels()) {
        p = b->pitch();
        a = b->pixels();
        if (rect) {
            if (!rectInside(*rect, b->width(), b->height())) {
                a = nullptr;
                p = 0;
            } else {
                a += intptr_t(rect->x) * bytesPerPixel(b->format()) + intptr_t(rect->y) * p;
            }
        }
    }
    if (pitch)
        *pitch = p;
    if (address)
        *address = a;
    return a != nullptr;
}

} // namespace

const PixelBuffer* SurfaceBase::colourPlane() const
{
    if (m_flags & SurfaceFlag::Wraps) {
        const auto* inner = static_cast<const SurfaceBase*>(m_wrapped);
        return inner ? inner->colourPlane() : nullptr;
    }
    return m_planes[0].get();
}

const uint32_t* SurfaceBase::palette() const
{
    // Read at use: a palette taken at sharing time dies when the source
    // decodes anew or is released.
    if (!m_palette && (m_flags & SurfaceFlag::Wraps) && m_wrapped)
        return m_wrapped->palette();
    return m_palette;
}

int Surface::containsRect(const Rect16& r) const
{
    uint32_t w = 0, h = 0;
    getSize(&w, &h);
    return rectInside(r, w, h);
}

bool SurfaceBase::targetView(RenderTargetView& out) const
{
    out = RenderTargetView{};
    out.flags = m_flags;
    // A sharer's own planes were made at its source's size then: the source
    // may have been made again at another since.
    const PixelBuffer* buffers[3] = {colourPlane(), m_planes[1].get(), m_planes[2].get()};
    TargetPlane* planes[3] = {&out.colour, &out.depth, &out.stencil};
    for (uint32_t i = 0; i < 3; ++i) {
        const PixelBuffer* b = buffers[i];
        // The raster state maps whole rows from the first; bottom-up planes
        // are not raster targets.
        if (b && b->pixels() && b->pitch() > 0)
            *planes[i] = {b->pixels(), b->pitch(), uint32_t(b->pitch()) * b->height(), b->format(), b->width(),
                          b->height()};
    }
    return out.colour.pixels != nullptr;
}

int SurfaceBase::lock(uint8_t** address, int32_t* pitch, uint32_t lockFlags, const Rect16* rect)
{
    if ((m_flags & SurfaceFlag::Wraps) && m_wrapped)
        return m_wrapped->lock(address, pitch, lockFlags, rect);
    const PixelBuffer* b = m_planes[0].get();
    if (!address)
        return addressIn(b, nullptr, pitch, nullptr);
    const int ok = addressIn(b, address, pitch, rect);
    if (ok)
        m_flags |= SurfaceFlag::Locked;
    else
        m_flags &= ~SurfaceFlag::Locked;
    return ok;
}

void SurfaceBase::unlock()
{
    m_flags &= ~SurfaceFlag::Locked;
    if ((m_flags & SurfaceFlag::Wraps) && m_wrapped)
        m_wrapped->unlock();
}

RSBFormat SurfaceBase::getFormat() const
{
    const PixelBuffer* b = colourPlane();
    return b ? b->format() : 0;
}

int SurfaceBase::getSize(uint32_t* width, uint32_t* height) const
{
    const PixelBuffer* planes[3] = {colourPlane(), m_planes[1].get(), m_planes[2].get()};
    for (const PixelBuffer* b : planes) {
        if (b) {
            if (width)
                *width = b->width();
            if (height)
                *height = b->height();
            return 1;
        }
    }
    return 0;
}

int SurfaceBase::planeAddress(uint32_t plane, uint8_t** address, int32_t* pitch, const Rect16* rect)
{
    const PixelBuffer* b = plane == 0 ? colourPlane() : plane < 3 ? m_planes[plane].get() : nullptr;
    return addressIn(b, address, pitch, rect);
}

RSBFormat SurfaceBase::planeFormat(uint32_t plane) const
{
    if (plane == 0)
        return getFormat();
    return plane < 3 && m_planes[plane] ? m_planes[plane]->format() : 0;
}

void SurfaceBase::makeCurrent()
{
    setRenderTarget(this);
}

void setRenderTarget(Surface* surface)
{
    if (ScreenContext* screen = getDisplay())
        screen->setRenderTarget(surface);
}

void clearRenderTarget(Surface* surface)
{
    ScreenContext* screen = getGameApp() ? getDisplay() : nullptr;
    if (screen && screen->getRenderTarget(0, 0) == surface)
        screen->setRenderTarget(nullptr);
}
