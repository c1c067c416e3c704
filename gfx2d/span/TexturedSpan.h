// A textured span in host code: one row of a triangle sampled from texture
// unit 0, with the depth test and write of the raster state's draw bytes and
// optional perspective correction. Written for the triangle driver's native
// span call (interpolant 0 depth, 1 and 2 the texture coordinates).
#pragma once

#include <cstdint>

#include "gfx2d/raster/RasterState.h"

// left, right: the row's x range in 16.16, as the triangle driver passes
// them. R5G6B5 and X8R8G8B8 targets; other formats draw nothing.
void texturedSpan(RasterState& state, uint32_t left, uint32_t right);

// The sampled colour (four 16-bit channels A, R, G, B) packed for the
// target; the 32-bit form leaves the top byte clear.
uint16_t packTexelRgb565(const uint32_t argb[4]);
uint32_t packTexelXrgb8888(const uint32_t argb[4]);
