// Glyphs and tiles reach the screen the same way: each piece of their image
// is drawn at its place through the drawing context's matrix stack, so the
// caller's transform and clip apply to every piece.
#pragma once

#include "gfx2d/blit/BlitClip.h"

class DrawContext;
class Surface;

struct ImagePieceTarget {
    DrawContext* context;
    Surface* image;
};

// A BlitPieceSink whose context is an ImagePieceTarget.
void drawImagePiece(void* target, const BlitPiece& piece);
