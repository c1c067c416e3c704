// Presented frames as PNG files, so a person can look at what a headless run
// drew.
#include "platform/host/HostDirectDraw.h"

#include <png.h>

#include <cstring>

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
