// Plane clears of image surfaces: each plane filled through the rectangle
// fill loop from its value's format to the plane's.
#include "gfx2d/display/Surface.h"

#include <algorithm>

#include "gfx2d/blit/BlitterRegistry.h"

void ImageSurface::clearPlanes(uint32_t mask, const int32_t* colour, uint32_t depth, uint32_t stencil)
{
    uint32_t w = 0, h = 0;
    if (!getSize(&w, &h))
        return;
    const struct {
        uint32_t select;
        RSBFormat valueFormat;
        const void* value;
    } planes[3] = {{SurfacePlanes::Colour, PixelFormat::ArgbFixed, colour},
                   {SurfacePlanes::Depth, PixelFormat::Z32, &depth},
                   {SurfacePlanes::Stencil, PixelFormat::S32, &stencil}};
    for (uint32_t i = 0; i < 3; ++i) {
        if (!(mask & planes[i].select))
            continue;
        const PixelBuffer* b = i == 0 ? colourPlane() : m_planes[i].get();
        if (!b || !b->pixels())
            continue;
        BlitKey key{planes[i].valueFormat, b->format(), 0, 0, 0, BlitOperation::RectangleFill, nullptr};
        if (!findBlitter(key))
            continue;
        BlitShapeJob job;
        job.colorFormat = planes[i].valueFormat;
        job.color = planes[i].value;
        job.width = static_cast<int32_t>(std::min<uint32_t>(w, b->width()));
        job.height = static_cast<int32_t>(std::min<uint32_t>(h, b->height()));
        uint8_t* pixels = nullptr;
        if (i == 0) {
            if (!lock(&pixels, &job.dstPitch, 0, nullptr))
                continue;
        } else {
            pixels = b->pixels();
            job.dstPitch = b->pitch();
        }
        job.dstPixels = pixels;
        key.function(&job);
        if (i == 0)
            unlock();
    }
}
