// 16-bit rectangles for dirty areas, clipping and hit tests. Arithmetic runs
// in 32 bits and is stored back truncated to 16 bits; w == 0 or h == 0 is empty.
#pragma once

#include <cstdint>

struct Rect16 {
    int16_t x = 0;
    int16_t y = 0;
    int16_t w = 0;
    int16_t h = 0;

    bool isEmpty() const { return w == 0 || h == 0; }

    // Moves r inside bounds less the margin; the left/top margin wins when r is too large.
    static void clampInside(Rect16& r, const Rect16& bounds, int32_t margin);
    // r becomes the bounding box of r and o.
    static void unite(Rect16& r, const Rect16& o);
    // Takes o off one side of r: the x axis first, the y axis only when the x edges agree.
    static void shrinkBy(Rect16& r, const Rect16& o);
    // Clips r to o.
    static void clipTo(Rect16& r, const Rect16& o);
    // Closed intervals: rectangles that only touch intersect.
    static int intersects(const Rect16& a, const Rect16& b);
    static int contains(const Rect16& a, const Rect16& b);
};

// Clips the span (pos, size) in place to the span (start, length); no
// overlap leaves size 0.
void clipSpan(int32_t start, int32_t length, int16_t& pos, int16_t& size);
