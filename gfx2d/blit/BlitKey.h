// What a blit asks for (BlitKey) and the job records the blit loops take.
// The registry matches a key against its table; the caller fills the job of
// the key's operation and runs the loop found.
#pragma once

#include <cstdint>

#include "gfx2d/image/PixelFormat.h"

class InputStream;

using BlitFunction = void (*)(const void* job);

namespace BlitOperation {
constexpr uint32_t ImageCopy = 0;
constexpr uint32_t Line = 1;
constexpr uint32_t StreamConversion = 2;
constexpr uint32_t RectangleFill = 3;
} // namespace BlitOperation

namespace BlitKeyMode {
constexpr uint32_t None = 0;
constexpr uint32_t JobKey = 1;    // the stream job's own key colour
constexpr uint32_t FixedKey = 2;  // 0xF81F for R5G6B5 sources, 0xFF00FF (low 24 bits) otherwise
} // namespace BlitKeyMode

namespace BlitBlendMode {
constexpr uint32_t Opaque = 0;
constexpr uint32_t ConstantAlpha = 1;
constexpr uint32_t ColourAlpha = 3;
} // namespace BlitBlendMode

constexpr uint32_t kBlitterRegistryServiceId = 0x4AE1222B;
constexpr uint16_t kKey565 = 0xF81F;
constexpr uint32_t kKeyRgb = 0xFF00FF;

struct BlitKey {
    RSBFormat sourceFormat = 0;  // 0 in an entry: any source (line and fill colours)
    RSBFormat destFormat = 0;
    uint32_t keyMode = 0;
    uint32_t alphaTest = 0;
    uint32_t blendMode = 0;
    uint32_t operation = 0;
    BlitFunction function = nullptr;
};

struct BlitImageJob {
    int32_t srcPitch = 0;
    const void* srcPixels = nullptr;  // first pixel of the source rectangle
    const uint32_t* palette = nullptr;
    int32_t dstPitch = 0;
    void* dstPixels = nullptr;
    int32_t width = 0;
    int32_t height = 0;
    uint8_t mirrorX = 0;
    uint8_t mirrorY = 0;
    uint8_t alpha = 0;
};

struct BlitShapeJob {
    int32_t dstPitch = 0;
    void* dstPixels = nullptr;  // start pixel of a line, top-left pixel of a fill
    RSBFormat colorFormat = 0;
    const void* color = nullptr;
    int32_t width = 0;   // a line's dx
    int32_t height = 0;  // a line's dy
};

struct BlitStreamJob {
    InputStream* stream = nullptr;
    uint32_t rowSkip = 0;
    const uint32_t* palette = nullptr;
    int32_t dstPitch = 0;
    void* dstPixels = nullptr;
    int32_t width = 0;
    int32_t height = 0;
    uint8_t keyBlue = 0;
    uint8_t keyGreen = 0;
    uint8_t keyRed = 0;
    uint8_t transpose = 0;
    uint8_t mirrorX = 0;
    uint8_t mirrorY = 0;
};
