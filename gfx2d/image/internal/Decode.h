// What the PNG and BMP decoders work out about a picture before its rows
// are converted into a pixel buffer.
#pragma once

#include <cstdint>

#include "gfx2d/image/PixelBuffer.h"

struct PixelBuffer::Decode {
    int32_t width = 0;
    int32_t height = 0;
    uint32_t depth = 0;
    bool paletted = false;
    uint32_t rowBytes = 0;
    RSBFormat sourceFormat = 0;
    uint32_t* palette = nullptr;  // 256 entries: the scratch area or the slot's
    bool paletteSupplied = false;
    uint32_t scratch[kPaletteEntries] = {};
};
