// Rectangle intersection, computed in 64 bits so that edges near the int32
// limits cannot wrap.
#include "engine/core/scene/RectIntersect.h"

#include <algorithm>

bool rectIntersect(CkwRect& a, const CkwRect& b)
{
    const int64_t left = std::max<int64_t>(a.x, b.x);
    const int64_t top = std::max<int64_t>(a.y, b.y);
    const int64_t right = std::min<int64_t>(int64_t{a.x} + a.width, int64_t{b.x} + b.width);
    const int64_t bottom = std::min<int64_t>(int64_t{a.y} + a.height, int64_t{b.y} + b.height);
    if (left > right || top > bottom) {
        a = {0, 0, 0, 0};
        return false;
    }
    a = {static_cast<int32_t>(left), static_cast<int32_t>(top), static_cast<int32_t>(right - left),
         static_cast<int32_t>(bottom - top)};
    return true;
}
