// PNG images named by 3D files' external references, decoded through libpng
// from memory into a new Image2D made by the object factory: palette PNGs stay
// palette images, a tRNS key becomes an alpha channel. The image class takes
// the pixels through IkwPixelImport.
#pragma once

#include <cstdint>

#include "engine/core/runtime/CkwRefCount.h"

// Image formats of the pixels handed to an image (the engine's Image2D ids).
constexpr int32_t kImageFormatAlpha = 96;
constexpr int32_t kImageFormatLuminance = 97;
constexpr int32_t kImageFormatLuminanceAlpha = 98;
constexpr int32_t kImageFormatRgb = 99;
constexpr int32_t kImageFormatRgba = 100;

// Width and height each stay below this; libpng is told before it reads the
// header, so a hostile size never reaches a size computation.
constexpr uint32_t kMaxPngDimension = 16383;

// What an image class implements to be filled from decoded pixels: rows of
// 1, 2, 3 or 4 bytes per pixel by format, tightly packed, or one index byte
// per pixel and a palette of paletteLength bytes, entries in the format's
// layout. Leaves on failure.
class IkwPixelImport {
public:
    virtual void importPixels(int32_t format, uint32_t width, uint32_t height, const uint8_t* pixels) = 0;
    virtual void importPalettized(int32_t format, uint32_t width, uint32_t height, const uint8_t* indices,
                                  uint32_t paletteLength, const uint8_t* palette) = 0;

protected:
    ~IkwPixelImport() = default;
};

// 0 and a new image holding one reference in *out; 1 for bytes that are no
// PNG this decoder reads; the leave code of what failed otherwise, -4 when
// memory ran out (nothing is left behind then). With an allowance, what the
// decoding allocates (rows, palette, the image and its planes) is taken from
// it as it is allocated, and a request past what is left runs out of memory
// before anything is sized by it.
int32_t decodePngToImage2D(uint32_t length, const uint8_t* data, IkwSerializable** out,
                           uint64_t* allowance = nullptr);

// The read callback's cursor over the input.
struct PngReadCursor {
    const uint8_t* position;
    const uint8_t* end;
};
