// Per-format pixel access for the blit loop templates: how wide a pixel is,
// how it loads and stores (unaligned), widens to 8-bit channels and narrows
// back, and which value is the fixed colour key.
#pragma once

#include <cstdint>
#include <type_traits>

#include "gfx2d/blit/BlitKey.h"
#include "gfx2d/blit/PixelChannels.h"
#include "gfx2d/raster/UnalignedAccess.h"

struct Rgb {
    uint32_t r, g, b;
};

// Channels of a 0x..RRGGBB word.
inline Rgb rgbOfWord(uint32_t v)
{
    return {(v >> 16) & 0xFF, (v >> 8) & 0xFF, v & 0xFF};
}
inline uint32_t wordOfRgb(Rgb c)
{
    return c.r << 16 | c.g << 8 | c.b;
}

// Blend on 8-bit channels: (dst × (255 − a) + src × a) >> 8.
inline Rgb blendRgb(Rgb d, Rgb s, uint32_t a)
{
    const uint32_t na = 255 - a;
    return {(d.r * na + s.r * a) >> 8, (d.g * na + s.g * a) >> 8, (d.b * na + s.b * a) >> 8};
}

struct Px565 {
    using Raw = uint16_t;
    static constexpr int kBytes = 2;
    static constexpr bool kPaletted = false;
    static Raw load(const uint8_t* p) { return loadUnaligned<Raw>(p); }
    static void store(uint8_t* p, Raw v) { storeUnaligned(p, v); }
    static Rgb rgb(uint32_t v) { return {expandRed565(v), expandGreen565(v), expandBlue565(v)}; }
    static Raw fromRgb(Rgb c) { return rgb565(c.r, c.g, c.b); }
    static bool isKey(uint32_t v) { return v == kKey565; }
};

// The screen's 32-bit RGB: written with top byte 0xFF when converted.
struct PxX888 {
    using Raw = uint32_t;
    static constexpr int kBytes = 4;
    static constexpr bool kPaletted = false;
    static Raw load(const uint8_t* p) { return loadUnaligned<Raw>(p); }
    static void store(uint8_t* p, Raw v) { storeUnaligned(p, v); }
    static Rgb rgb(uint32_t v) { return rgbOfWord(v); }
    static Raw fromRgb(Rgb c) { return 0xFF000000 | wordOfRgb(c); }
    static bool isKey(uint32_t v) { return (v & 0xFFFFFF) == kKeyRgb; }
};

// 8-bit palette source: the value a loop works on is the palette entry.
struct PxP8 {
    static constexpr int kBytes = 1;
    static constexpr bool kPaletted = true;
    static uint32_t fetch(const uint8_t* p, const uint32_t* palette) { return palette[*p]; }
    static Rgb rgb(uint32_t v) { return rgbOfWord(v); }
    static bool isKey(uint32_t v) { return (v & 0xFFFFFF) == kKeyRgb; }
};

// Direct sources fetch their own stored value; palette sources look it up.
template <class Src>
inline uint32_t fetchSource(const uint8_t* p, const uint32_t* palette)
{
    if constexpr (Src::kPaletted)
        return Src::fetch(p, palette);
    else
        return Src::load(p);
}

// A source value in the destination's layout: same formats copy as stored.
template <class Src, class Dst>
inline typename Dst::Raw convertValue(uint32_t v)
{
    if constexpr (std::is_same_v<Src, Dst>)
        return static_cast<typename Dst::Raw>(v);
    else
        return Dst::fromRgb(Src::rgb(v));
}
