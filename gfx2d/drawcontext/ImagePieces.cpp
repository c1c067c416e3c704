// Drawing one image piece through the drawing context.
#include "gfx2d/drawcontext/ImagePieces.h"

#include "gfx2d/drawcontext/DrawContext.h"

void drawImagePiece(void* target, const BlitPiece& piece)
{
    const auto* t = static_cast<const ImagePieceTarget*>(target);
    DrawContext* dc = t->context;
    if (!dc->pushMatrix())
        return;
    dc->translate(intToFixed(piece.x), intToFixed(piece.y));
    const int16_t source[4] = {int16_t(piece.srcX), int16_t(piece.srcY), int16_t(piece.width), int16_t(piece.height)};
    dc->drawImage(t->image, 0, source);
    dc->popMatrix();
}
