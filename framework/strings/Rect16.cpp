// Rectangle and span clipping.
#include "framework/strings/Rect16.h"

#include <algorithm>

void Rect16::clampInside(Rect16& r, const Rect16& bounds, int32_t margin)
{
    if (r.x + margin + r.w > bounds.x + bounds.w)
        r.x = static_cast<int16_t>(bounds.x + bounds.w - margin - r.w);
    if (r.y + margin + r.h > bounds.y + bounds.h)
        r.y = static_cast<int16_t>(bounds.y + bounds.h - margin - r.h);
    if (r.x < bounds.x + margin)
        r.x = static_cast<int16_t>(bounds.x + margin);
    if (r.y < bounds.y + margin)
        r.y = static_cast<int16_t>(bounds.y + margin);
}

void Rect16::unite(Rect16& r, const Rect16& o)
{
    if (o.isEmpty())
        return;
    if (r.isEmpty()) {
        r = o;
        return;
    }
    int32_t x = std::min(r.x, o.x);
    int32_t y = std::min(r.y, o.y);
    int32_t right = std::max(r.x + r.w, o.x + o.w);
    int32_t bottom = std::max(r.y + r.h, o.y + o.h);
    r.x = static_cast<int16_t>(x);
    r.y = static_cast<int16_t>(y);
    r.w = static_cast<int16_t>(right - x);
    r.h = static_cast<int16_t>(bottom - y);
}

void Rect16::shrinkBy(Rect16& r, const Rect16& o)
{
    if (o.x < r.x) {
        int32_t d = r.x - o.x;
        r.x = static_cast<int16_t>(r.x + d);
        r.w = static_cast<int16_t>(r.w - d);
    } else if (o.x > r.x) {
        r.w = static_cast<int16_t>(r.w - o.w);
    } else if (o.y < r.y) {
        int32_t d = r.y - o.y;
        r.y = static_cast<int16_t>(r.y + d);
        r.h = static_cast<int16_t>(r.h - d);
    } else if (o.y > r.y) {
        r.h = static_cast<int16_t>(r.h - o.h);
    }
}

void Rect16::clipTo(Rect16& r, const Rect16& o)
{
    clipSpan(o.x, o.w, r.x, r.w);
    clipSpan(o.y, o.h, r.y, r.h);
}

int Rect16::intersects(const Rect16& a, const Rect16& b)
{
    return a.x <= b.x + b.w && b.x <= a.x + a.w && a.y <= b.y + b.h && b.y <= a.y + a.h;
}

int Rect16::contains(const Rect16& a, const Rect16& b)
{
    return a.x <= b.x && a.y <= b.y && a.x + a.w >= b.x + b.w && a.y + a.h >= b.y + b.h;
}

void clipSpan(int32_t start, int32_t length, int16_t& pos, int16_t& size)
{
    int32_t p = pos;
    int32_t s = size;
    if (start + length <= p || start >= p + s) {
        size = 0;
        return;
    }
    bool wasPositive = s > 0;
    if (p + s > start + length)
        s = start + length - p;
    if (p < start) {
        s -= start - p;
        p = start;
    }
    if (wasPositive && s < 0)
        s = 0;
    pos = static_cast<int16_t>(p);
    size = static_cast<int16_t>(s);
}
