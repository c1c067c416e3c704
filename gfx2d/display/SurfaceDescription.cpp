// What an image surface reports of itself: its kind, memory, layout, size,
// plane use, formats and palette.
#include "gfx2d/display/Surface.h"

int ImageSurface::getDescription(SurfaceDescription& d) const
{
    using namespace SurfaceFlag;
    const uint32_t f = m_flags;
    d = SurfaceDescription{};
    if (f & KindImage)
        d.kind = 2;
    else if (f & KindDevice)
        d.kind = 1;
    else
        return 0;
    if (f & Memory)
        d.memory = 0;
    else if (f & OtherMemory)
        d.memory = 1;
    else
        return 0;
    if (f & LayoutA)
        d.layout = f & LayoutOne ? 1 : f & LayoutTwo ? 2 : 0;
    else if (f & LayoutB)
        d.layout = f & LayoutOne ? 3 : f & LayoutTwo ? 4 : 0;
    uint32_t w = 0, h = 0;
    if (!getSize(&w, &h))
        return 0;
    d.width = static_cast<uint16_t>(w);
    d.height = static_cast<uint16_t>(h);
    d.described = (f & Described) != 0;
    d.planeUse = ((f & RasterTarget) ? 1 : 0) | ((f & PlaneUse2) ? 2 : 0);
    d.attribute4 = (f & Attribute4) != 0;
    d.locked = isLocked();
    d.planar = (f & Planar) != 0;
    d.explicitFormat = (f & ExplicitFormat) != 0;
    d.format = getFormat();
    d.plane1 = m_planes[1] != nullptr;
    d.plane1Format = m_planes[1] ? m_planes[1]->format() : 0;
    d.plane2 = m_planes[2] != nullptr;
    d.plane2Format = m_planes[2] ? m_planes[2]->format() : 0;
    d.palette = palette();
    d.wrapped = (f & Wraps) ? m_wrapped : nullptr;
    d.ownsPalette = (f & OwnsPalette) != 0;
    return 1;
}
