// What one drawing call works with: the render target as it holds it locked
// and the resolved drawing state, shared by the blit-loop and span-program
// paths of the drawing context.
#pragma once

#include <cstdint>

#include "gfx2d/blit/BlitClip.h"
#include "gfx2d/display/Surface.h"
#include "gfx2d/drawcontext/DrawContext.h"

struct DrawContext::Target {
    Surface* surface = nullptr;
    uint32_t width = 0;
    uint32_t height = 0;
    uint8_t* pixels = nullptr;
    int32_t pitch = 0;
    RSBFormat format = 0;
    // The context's clip cut to this target: the target may have been
    // changed, or made again at another size, since the clip was set.
    ClipRect clip{};

    // Callers pass clipped coordinates only.
    uint8_t* pixelAt(int32_t x, int32_t y) const
    {
        return pixels + intptr_t(y) * pitch + intptr_t(x) * bytesPerPixel(format);
    }
};

// The top flags and blend mode after the resolution rules.
struct DrawContext::Effective {
    bool key = false, alphaTest = false, blend = false;
    uint32_t mode = 0;
    uint32_t blitBlend = 0;  // BlitBlendMode of the fast path
};

// Bytes of one coordinate of a vertex array of the type; 0 for types the
// context cannot read.
inline uint32_t vertexElementBytes(uint32_t type)
{
    return type == VertexType::S8 ? 1 : type == VertexType::S16 ? 2 : type == VertexType::Fixed32 ? 4 : 0;
}
