// Presented frames as PNG files, so a person can look at what a headless run
// drew: one file per present into the folder PENNYFALL_CAPTURE names.
#include "platform/host/internal/HostScreen.h"

#include <png.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

// Widens an n-bit channel to 8 bits by repeating its top bits.
uint32_t widen(uint32_t value, uint32_t mask)
{
    const int shift = __builtin_ctz(mask);
    const int bits = __builtin_popcount(mask);
    uint32_t v = (value & mask) >> shift;
    v <<= 8 - bits;
    return v | (v >> bits);
}

} // namespace

uint32_t HostFrame::argb(uint32_t x, uint32_t y) const
{
    const uint32_t v = at(x, y);
    const HostScreenFormat& i = hostScreenFormat(format);
    return 0xFF000000u | widen(v, i.red) << 16 | widen(v, i.green) << 8 | widen(v, i.blue);
}

bool hostWriteFramePng(const char* path, const HostFrame& frame)
{
    if (!path || frame.width == 0 || frame.height == 0 || frame.pixels.size() != size_t(frame.width) * frame.height)
        return false;
    std::vector<uint32_t> argb(frame.pixels.size());
    for (uint32_t y = 0; y < frame.height; ++y) {
        for (uint32_t x = 0; x < frame.width; ++x)
            argb[size_t(y) * frame.width + x] = frame.argb(x, y);
    }
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    image.width = frame.width;
    image.height = frame.height;
    // Words 0xAARRGGBB lie in memory as B, G, R, A on a little-endian host.
    image.format = PNG_FORMAT_BGRA;
    return png_image_write_to_file(&image, path, 0, argb.data(), 0, nullptr) != 0;
}

void hostCaptureFrame(const HostFrame& frame, uint32_t serial, bool& warned)
{
    const char* folder = std::getenv("PENNYFALL_CAPTURE");
    if (!folder || !*folder)
        return;
    char name[32];
    std::snprintf(name, sizeof name, "/frame-%06u.png", serial);
    const std::string path = std::string(folder) + name;
    if (!hostWriteFramePng(path.c_str(), frame) && !warned) {
        std::fprintf(stderr, "frame capture: cannot write %s\n", path.c_str());
        warned = true;
    }
}
