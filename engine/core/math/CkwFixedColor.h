// The lighting's colours: three signed channels on a 0..256 scale, where 256
// is full intensity, so a product of two colours is one shift. Channels may
// leave 0..256 while light is summed; clamp brings them back.
#pragma once

#include <algorithm>
#include <cstdint>

struct CkwFixedColor {
    int32_t red;
    int32_t green;
    int32_t blue;

    // Each byte b of 0x..RRGGBB becomes b + ((b + 128) >> 8), so 255 -> 256;
    // the alpha byte is ignored.
    void setRgb(uint32_t argb);
    // The same mapping from three 0..255 values.
    void set(int32_t r, int32_t g, int32_t b);
    // 0xFF000000 with each channel c - ((c + 128) >> 8) held to 0..255.
    uint32_t toArgb() const;
    // Channels held to 0..255, packed 5-6-5.
    uint16_t toRgb565() const;
    void setRgb565(uint16_t pixel);

    // The lighting runs these for every light of every vertex, so they are
    // kept where the compiler can inline them.
    void add(const CkwFixedColor& other)
    {
        red += other.red;
        green += other.green;
        blue += other.blue;
    }
    void subtract(const CkwFixedColor& other)
    {
        red -= other.red;
        green -= other.green;
        blue -= other.blue;
    }
    // Channel by channel, c x other >> 8.
    void modulate(const CkwFixedColor& other)
    {
        red = scaledChannel(red, other.red);
        green = scaledChannel(green, other.green);
        blue = scaledChannel(blue, other.blue);
    }
    // By f held to [-1024, 1024] as an 8.8 factor.
    void scale(float f);
    // By a 16.16 factor, taken as 8.8 and held to [-0x40000, 0x40000].
    void scaleFixed(int32_t x)
    {
        const int32_t factor = std::clamp(x >> 8, -0x40000, 0x40000);
        red = scaledChannel(red, factor);
        green = scaledChannel(green, factor);
        blue = scaledChannel(blue, factor);
    }
    bool isWhite() const { return red == 256 && green == 256 && blue == 256; }
    bool isBlack() const { return red == 0 && green == 0 && blue == 0; }
    // Each channel to [0, 256].
    void clamp()
    {
        red = std::clamp(red, 0, 256);
        green = std::clamp(green, 0, 256);
        blue = std::clamp(blue, 0, 256);
    }

    // The channel in 16.16 (256 -> 0x10000).
    int32_t getRed() const { return red << 8; }
    int32_t getGreen() const { return green << 8; }
    int32_t getBlue() const { return blue << 8; }

private:
    static int32_t scaledChannel(int32_t c, int32_t factor)
    {
        return static_cast<int32_t>((static_cast<int64_t>(c) * factor) >> 8);
    }
};
