// Rectangle intersection, computed in 64 bits so that edges near the int32
// limits cannot wrap.
#include "engine/core/scene/RectIntersect.h"

#include <algorithm>

bool rectIntersect(CkwRect& a, const CkwRect& b)
{
    // Edges are inclusive: the last column is x + width - 1, so a rectangle
    // of zero width covers nothing and meets nothing.
    const int64_t left = std::max<int64_t>(a.x, b.x);
    const int64_t top = std::max<int64_t>(a.y, b.y);
    const int64_t right = std::min<int64_t>(int64_t{a.x} + a.width, int64_t{b.x} + b.width) - 1;
    const int64_t bottom = std::min<int64_t>(int64_t{a.y} + a.height, int64_t{b.y} + b.height) - 1;
    if (left > right || top > bottom) {
        a = {0, 0, 0, 0};
        return false;
    }
    a = {static_cast<int32_t>(left), static_cast<int32_t>(top), static_cast<int32_t>(right - left + 1),
         static_cast<int32_t>(bottom - top + 1)};
    return true;
}
