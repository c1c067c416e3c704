// Channel expanders of packed pixels and the direction set-up of a blit.
// Conversions widen channels to 8 bits through these; the expanders replicate
// a channel's top bits into the bits they free, so full intensity gives 255.
#pragma once

#include <cstdint>

constexpr uint32_t widen5(uint32_t x) { return (x << 3) | (x >> 2); }
constexpr uint32_t widen4(uint32_t x) { return (x << 4) | x; }
// The blit loops' 6-bit rule.
constexpr uint32_t widen6(uint32_t x) { return (x << 2) | (x >> 4); }

constexpr uint32_t expandRed565(uint32_t v) { return ((v >> 8) & 0xF8) | ((v >> 13) & 7); }
// Green replicates only its top two bits: three would overwrite bit 2 and
// change the value a round trip back to 565 gives.
constexpr uint32_t expandGreen565(uint32_t v) { return ((v >> 3) & 0xFC) | ((v >> 9) & 3); }
constexpr uint32_t expandBlue565(uint32_t v) { return ((v << 3) & 0xFF) | ((v >> 2) & 7); }

constexpr uint32_t expandRed1555(uint32_t v) { return ((v >> 7) & 0xF8) | ((v >> 12) & 7); }
constexpr uint32_t expandGreen1555(uint32_t v) { return ((v >> 2) & 0xF8) | ((v >> 7) & 7); }
constexpr uint32_t expandBlue1555(uint32_t v) { return expandBlue565(v); }
constexpr uint32_t expandAlpha1555(uint32_t v) { return (v & 0x8000) ? 255 : 0; }

constexpr uint32_t expandNibble(uint32_t v, uint32_t shift) { return widen4((v >> shift) & 0xF); }
constexpr uint32_t expandAlpha4444(uint32_t v) { return expandNibble(v, 12); }
constexpr uint32_t expandRed4444(uint32_t v) { return expandNibble(v, 8); }
constexpr uint32_t expandGreen4444(uint32_t v) { return expandNibble(v, 4); }
constexpr uint32_t expandBlue4444(uint32_t v) { return expandNibble(v, 0); }

constexpr uint32_t expandRed8888(uint32_t v) { return (v >> 16) & 0xFF; }
constexpr uint32_t expandGreen8888(uint32_t v) { return (v >> 8) & 0xFF; }
constexpr uint32_t expandBlue8888(uint32_t v) { return v & 0xFF; }
constexpr uint32_t expandAlpha8888(uint32_t v) { return v >> 24; }

constexpr uint32_t expandField666(uint32_t v, uint32_t shift)
{
    const uint32_t x = (v >> shift) & 0x3F;
    return (x << 2) | (x & 3);
}
constexpr uint32_t expandRed666(uint32_t v) { return expandField666(v, 12); }
constexpr uint32_t expandGreen666(uint32_t v) { return expandField666(v, 6); }
constexpr uint32_t expandBlue666(uint32_t v) { return expandField666(v, 0); }

// Where a blit starts reading and how it steps: a mirrored axis starts at its
// far end and steps backwards.
struct BlitDirection {
    intptr_t start;
    intptr_t xStep;
    intptr_t yStep;
};
constexpr BlitDirection blitDirection(int32_t bytesPerPixel, int32_t stride, int32_t width, int32_t height,
                                      bool mirrorX, bool mirrorY)
{
    BlitDirection d{0, bytesPerPixel, stride};
    if (mirrorX) {
        d.start += intptr_t(width - 1) * bytesPerPixel;
        d.xStep = -bytesPerPixel;
    }
    if (mirrorY) {
        d.start += intptr_t(height - 1) * stride;
        d.yStep = -intptr_t(stride);
    }
    return d;
}
