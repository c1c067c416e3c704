// Rectangle intersection of the rendering classes: {x, y, width, height} with
// inclusive right and bottom edges (x + width - 1, y + height - 1).
#pragma once

#include <cstdint>

struct CkwRect {
    int32_t x;
    int32_t y;
    int32_t width;
    int32_t height;
};

// a = a intersected with b. When they do not meet a becomes all zero and the
// result is false.
bool rectIntersect(CkwRect& a, const CkwRect& b);
