// Binding the screen context's current render target: the raster state sees
// a surface only through the planes it hands out.
#include "gfx2d/display/ScreenContext.h"
#include "gfx2d/display/Surface.h"
#include "gfx2d/raster/RasterState.h"

namespace {
bool currentTarget(RenderTargetView& view)
{
    ScreenContext* screen = getDisplay();
    Surface* target = screen ? screen->getRenderTarget(0, 0) : nullptr;
    return target && target->targetView(view);
}
} // namespace

bool RasterState::bindTarget()
{
    RenderTargetView view;
    return bindTarget(currentTarget(view) ? &view : nullptr);
}

void RasterState::beginFrame()
{
    RenderTargetView view;
    beginFrame(currentTarget(view) ? &view : nullptr);
}
