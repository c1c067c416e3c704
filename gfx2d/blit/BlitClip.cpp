// Rectangle and line clipping for the blit loops.
#include "gfx2d/blit/BlitClip.h"

#include <algorithm>
#include <cstdlib>

namespace {

// One axis of a rectangle: [pos, pos + len) against [lo, hi). A cut at the low
// end moves the source origin unless mirrored; a cut at the high end moves it
// when mirrored (the far source columns land at the low end then).
uint32_t clipAxis(int32_t& pos, int32_t& len, int32_t& src, int32_t lo, int32_t hi, bool mirror, uint32_t lowBit,
                  uint32_t highBit)
{
    uint32_t bits = 0;
    if (pos < lo) {
        const int64_t cut = int64_t(lo) - pos;
        if (len - cut < 1) {
            len = 0;
            return lowBit | ClipBits::Nothing;
        }
        len -= static_cast<int32_t>(cut);
        bits |= lowBit;
        // The other rectangle follows the cut, wrapping at the top of the range.
        if (!mirror)
            src = static_cast<int32_t>(src + cut);
        pos = lo;
    }
    if (int64_t(pos) + len > hi) {
        const int64_t excess = int64_t(pos) + len - hi;
        bits |= highBit;
        if (len - excess < 1) {
            len = 0;
            return bits | ClipBits::Nothing;
        }
        len -= static_cast<int32_t>(excess);
        if (mirror)
            src = static_cast<int32_t>(src + excess);
    }
    return bits;
}

} // namespace

uint32_t clipBlitRect(int32_t* x, int32_t* y, const ClipRect& clip, int32_t* srcX, int32_t* srcY, int32_t* w,
                      int32_t* h, bool mirrorX, bool mirrorY)
{
    uint32_t bits = clipAxis(*x, *w, *srcX, clip.x, clip.x + clip.w, mirrorX, ClipBits::Left, ClipBits::Right);
    if (bits & ClipBits::Nothing)
        return bits;
    bits |= clipAxis(*y, *h, *srcY, clip.y, clip.y + clip.h, mirrorY, ClipBits::Top, ClipBits::Bottom);
    return (bits & ClipBits::Nothing) ? bits : bits | ClipBits::Remains;
}

uint32_t clipBlitSource(int32_t* x, int32_t* y, int32_t srcW, int32_t srcH, int32_t* srcX, int32_t* srcY,
                        int32_t* w, int32_t* h, bool mirrorX, bool mirrorY)
{
    // The same cuts with the roles of source and destination exchanged.
    uint32_t bits = clipAxis(*srcX, *w, *x, 0, srcW, mirrorX, ClipBits::Left, ClipBits::Right);
    if (bits & ClipBits::Nothing)
        return bits;
    bits |= clipAxis(*srcY, *h, *y, 0, srcH, mirrorY, ClipBits::Top, ClipBits::Bottom);
    return (bits & ClipBits::Nothing) ? bits : bits | ClipBits::Remains;
}

uint32_t clipLine(int32_t* x, int32_t* y, const ClipRect& clip, int32_t* dx, int32_t* dy)
{
    const int64_t x0 = *x, y0 = *y, ddx = *dx, ddy = *dy;
    const int64_t x1 = x0 + ddx, y1 = y0 + ddy;
    const int64_t left = clip.x, right = int64_t(clip.x) + clip.w, top = clip.y, bottom = int64_t(clip.y) + clip.h;
    if (clip.w <= 0 || clip.h <= 0 || (x0 < left && x1 < left) || (x0 >= right && x1 >= right) ||
        (y0 < top && y1 < top) || (y0 >= bottom && y1 >= bottom))
        return ClipBits::Rejected;

    // Parametric clip in 16.16: t runs from 0 at the start to 1 at the end.
    constexpr int64_t kOne = 0x10000;
    int64_t tEnter = 0, tLeave = kOne;
    // One edge: p the line's step across it, q the start's distance inside.
    auto meet = [&](int64_t p, int64_t q) {
        if (p == 0)
            return;
        const int64_t t = q * kOne / p;
        if (p < 0)
            tEnter = std::max(tEnter, t);
        else
            tLeave = std::min(tLeave, t);
    };
    meet(-ddx, x0 - left);
    meet(ddx, right - x0);
    const int64_t sideEnter = tEnter, sideLeave = tLeave;
    meet(-ddy, y0 - top);
    meet(ddy, bottom - y0);
    if (tEnter > tLeave)
        return ClipBits::Nothing;

    // Rounds half up on both sides of zero: a division would truncate negative
    // steps towards zero and cut a pixel off lines drawn up or left.
    auto at = [](int64_t base, int64_t delta, int64_t t) { return base + ((delta * t + kOne / 2) >> 16); };
    // The side edges are met by the whole line, the top and bottom by what
    // is left of it between the sides.
    uint32_t bits = 0;
    if (std::min(x0, x1) < left)
        bits |= x0 < left ? ClipBits::Left | ClipBits::StartLeft : ClipBits::Left;
    if (std::max(x0, x1) > right)
        bits |= x0 > right ? ClipBits::Right | ClipBits::StartRight : ClipBits::Right;
    const int64_t ys = at(y0, ddy, sideEnter), ye = at(y0, ddy, sideLeave);
    if (std::min(ys, ye) < top)
        bits |= ys < top ? ClipBits::Top | ClipBits::StartTop : ClipBits::Top;
    if (std::max(ys, ye) > bottom)
        bits |= ys > bottom ? ClipBits::Bottom | ClipBits::StartBottom : ClipBits::Bottom;

    int64_t sx = std::clamp(at(x0, ddx, tEnter), left, right - 1);
    int64_t sy = std::clamp(at(y0, ddy, tEnter), top, bottom - 1);
    // The end point is not drawn, so the major axis may end one step outside;
    // the minor axis can reach its end value before the last pixel, so it
    // must end inside.
    int64_t ex = std::clamp(at(x0, ddx, tLeave), left - 1, right);
    int64_t ey = std::clamp(at(y0, ddy, tLeave), top - 1, bottom);
    if (std::abs(ex - sx) >= std::abs(ey - sy))
        ey = std::clamp(ey, top, bottom - 1);
    else
        ex = std::clamp(ex, left, right - 1);
    *x = static_cast<int32_t>(sx);
    *y = static_cast<int32_t>(sy);
    *dx = static_cast<int32_t>(ex - sx);
    *dy = static_cast<int32_t>(ey - sy);
    return bits | ClipBits::Remains;
}

void clipPieceToSource(BlitPiece& p, int32_t srcW, int32_t srcH)
{
    if (clipBlitSource(&p.x, &p.y, srcW, srcH, &p.srcX, &p.srcY, &p.width, &p.height, false, false) &
        ClipBits::Nothing)
        p.width = p.height = 0;
}
