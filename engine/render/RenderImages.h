// How the renderer shows the rasterizer scene state: the planes of an Image2D
// as a raster image record (without copying them), and a compositing mode.
#pragma once

#include "engine/render/RasterTypes.h"

class CkwCompositingMode;
class CkwImage2D;

// False (record emptied) for an image the rasterizer cannot read: none,
// empty, or still compressed.
bool rasterImageOf(CkwImage2D* image, SkwRasterImage& out);

SkwRasterCompositing rasterCompositingOf(const CkwCompositingMode& mode);
