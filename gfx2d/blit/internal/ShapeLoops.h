// Line and rectangle-fill loops in one colour: one instance per destination
// format, alpha test and blend.
#pragma once

#include <cstdlib>

#include "gfx2d/blit/internal/PixelTraits.h"

// The job's colour as A8R8G8B8; false when alpha-tested and fully transparent.
// A missing colour, or one in a format with no rule to A8R8G8B8, draws
// black, opaque.
template <bool AlphaTest>
inline bool shapeColour(const BlitShapeJob& job, Rgb& colour, uint32_t& alpha)
{
    uint32_t argb = 0xFF000000;
    if (job.color != nullptr)
        tryPixelToArgb8888(job.colorFormat, job.color, argb);
    alpha = argb >> 24;
    colour = rgbOfWord(argb);
    return !(AlphaTest && alpha == 0);
}

template <class Dst, bool Blend>
inline void plot(uint8_t* d, typename Dst::Raw value, Rgb colour, uint32_t alpha)
{
    if constexpr (Blend)
        Dst::store(d, Dst::fromRgb(blendRgb(Dst::rgb(Dst::load(d)), colour, alpha)));
    else
        Dst::store(d, value);
}

// Bresenham from the start pixel towards (dx, dy); the end point itself is
// not drawn.
template <class Dst, bool AlphaTest, bool Blend>
void drawLine(const void* p)
{
    const auto& job = *static_cast<const BlitShapeJob*>(p);
    Rgb colour;
    uint32_t alpha;
    if (job.dstPixels == nullptr || !shapeColour<AlphaTest>(job, colour, alpha))
        return;
    const typename Dst::Raw value = Dst::fromRgb(colour);
    const int32_t dx = job.width, dy = job.height;
    const int32_t sx = (dx > 0) - (dx < 0), sy = (dy > 0) - (dy < 0);
    const int32_t adx = std::abs(dx), ady = std::abs(dy);
    const intptr_t xStep = intptr_t(sx) * Dst::kBytes, yStep = intptr_t(sy) * job.dstPitch;
    auto* d = static_cast<uint8_t*>(job.dstPixels);
    // One walk along the major axis (x on a tie), stepping the minor one
    // whenever the error turns non-negative.
    const bool yMajor = ady > adx;
    const int32_t major = yMajor ? ady : adx, minor = yMajor ? adx : ady;
    const intptr_t majorStep = yMajor ? yStep : xStep, minorStep = yMajor ? xStep : yStep;
    plot<Dst, Blend>(d, value, colour, alpha);
    int32_t error = 2 * minor - major;
    for (int32_t n = major - 1; n > 0; --n) {
        if (error >= 0) {
            d += minorStep;
            error -= 2 * major;
        }
        error += 2 * minor;
        d += majorStep;
        plot<Dst, Blend>(d, value, colour, alpha);
    }
}

template <class Dst, bool AlphaTest, bool Blend>
void fillRect(const void* p)
{
    const auto& job = *static_cast<const BlitShapeJob*>(p);
    Rgb colour;
    uint32_t alpha;
    if (job.dstPixels == nullptr || job.width <= 0 || job.height <= 0 || !shapeColour<AlphaTest>(job, colour, alpha))
        return;
    const typename Dst::Raw value = Dst::fromRgb(colour);
    auto* row = static_cast<uint8_t*>(job.dstPixels);
    for (int32_t y = 0; y < job.height; ++y, row += job.dstPitch) {
        uint8_t* d = row;
        for (int32_t x = 0; x < job.width; ++x, d += Dst::kBytes)
            plot<Dst, Blend>(d, value, colour, alpha);
    }
}
