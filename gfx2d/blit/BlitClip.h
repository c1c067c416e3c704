// Clipping run before a blit: image copies and fills against the clip
// rectangle and the source image, lines against the clip rectangle. Values
// are updated in place; the result is a ClipBits set.
#pragma once

#include <cstdint>

namespace ClipBits {
constexpr uint32_t Left = 1;
constexpr uint32_t Right = 2;
constexpr uint32_t Top = 4;
constexpr uint32_t Bottom = 8;
constexpr uint32_t Remains = 32;
constexpr uint32_t Nothing = 64;
constexpr uint32_t Rejected = 80;  // a line wholly outside before any clipping
// A line's start lay beyond the edge whose bit is set (its end did not).
constexpr uint32_t StartLeft = 0x01000000;
constexpr uint32_t StartRight = 0x02000000;
constexpr uint32_t StartTop = 0x04000000;
constexpr uint32_t StartBottom = 0x08000000;
} // namespace ClipBits

struct ClipRect {
    int32_t x, y, w, h;
};

// The destination rectangle (x, y, w, h) against clip; the source origin
// follows each cut, from the far side on a mirrored axis.
uint32_t clipBlitRect(int32_t* x, int32_t* y, const ClipRect& clip, int32_t* srcX, int32_t* srcY, int32_t* w,
                      int32_t* h, bool mirrorX, bool mirrorY);
// The source rectangle (srcX, srcY, w, h) against an image of srcW × srcH;
// the destination origin follows each cut, so rectangles that come from files
// never read outside their image. Run before clipBlitRect.
uint32_t clipBlitSource(int32_t* x, int32_t* y, int32_t srcW, int32_t srcH, int32_t* srcX, int32_t* srcY,
                        int32_t* w, int32_t* h, bool mirrorX, bool mirrorY);
// A line from (x, y) by (dx, dy), its end point excluded. What remains draws
// only pixels inside clip with the line loops' stepping.
uint32_t clipLine(int32_t* x, int32_t* y, const ClipRect& clip, int32_t* dx, int32_t* dy);

// A piece of an image about to be drawn: its source rectangle and where its
// top-left corner lands. Glyphs and tiles hand these to whoever draws them.
struct BlitPiece {
    int32_t x;
    int32_t y;
    int32_t srcX;
    int32_t srcY;
    int32_t width;
    int32_t height;
};
using BlitPieceSink = void (*)(void* context, const BlitPiece& piece);

// clipBlitSource on a piece; nothing left leaves it 0 × 0.
void clipPieceToSource(BlitPiece& piece, int32_t srcW, int32_t srcH);
