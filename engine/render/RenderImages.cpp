// Raster views of scene images.
#include "engine/render/RenderImages.h"

#include "engine/scene/CkwCompositingMode.h"
#include "engine/scene/CkwImage2D.h"

bool rasterImageOf(CkwImage2D* image, SkwRasterImage& out)
{
    out = SkwRasterImage{};
    if (image == nullptr || image->getWidth() < 1 || image->getHeight() < 1)
        return false;
    const int32_t format = image->getRasterFormat();
    if (format < kRasterFormatAlpha || format > kRasterFormatRgba || image->getPixels() == nullptr)
        return false;
    out.format = format;
    out.width = image->getWidth();
    out.height = image->getHeight();
    out.alphaData = image->getAlphaPlane();
    if (image->hasPalette()) {
        // Palettes always hold 256 entries, so any index byte is defined.
        out.indexData = image->getPixels();
        out.colorData = image->getPalette();
    } else {
        out.colorData = reinterpret_cast<const uint16_t*>(image->getPixels());
    }
    return true;
}

SkwRasterCompositing rasterCompositingOf(const CkwCompositingMode& mode)
{
    SkwRasterCompositing out;
    out.colorWrite = mode.isColorWriteEnabled();
    out.alphaWrite = mode.isAlphaWriteEnabled();
    out.depthTest = mode.isDepthTestEnabled();
    out.depthWrite = mode.isDepthWriteEnabled();
    out.blending = mode.getBlending();
    out.alphaThreshold = mode.getAlphaThreshold();
    out.depthOffsetFactor = mode.getDepthOffsetFactor();
    out.depthOffsetUnits = mode.getDepthOffsetUnits();
    return out;
}

