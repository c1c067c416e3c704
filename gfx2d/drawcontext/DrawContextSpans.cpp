// The drawing context's general path: any matrix other than a translation,
// polygons, and images drawn with custom span programs run through the
// raster state and the span programs.
#include "gfx2d/drawcontext/DrawContext.h"

#include "gfx2d/drawcontext/internal/DrawTarget.h"

void DrawContext::drawArraysSpans(Target&, const Effective&, uint32_t, uint32_t, uint32_t) {}

void DrawContext::drawImageSpans(Target&, const Effective&, Surface*, uint32_t, const Rect16&) {}
