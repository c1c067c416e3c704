// Helpers of the rasterizer tests: a render target with depth and alpha
// planes, vertex and texture builders, and the PNG golden comparison (goldens
// live beside the tests, are rewritten only with UPDATE_GOLDENS=1, and a
// failure leaves the actual picture and a difference image in the build tree).
#pragma once

#include <png.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/render/CkwRasterizerStandard.h"

struct RasterTarget {
    int32_t width, height;
    std::vector<uint16_t> color, depth;
    std::vector<uint8_t> alpha;

    RasterTarget(int32_t w, int32_t h, uint16_t fill = 0, uint16_t depthFill = 0xFFFF)
        : width(w), height(h), color(size_t(w) * h, fill), depth(size_t(w) * h, depthFill), alpha(size_t(w) * h, 0)
    {
    }
    void bind(CkwRasterizerStandard& r, bool withDepth = true, bool withAlpha = false)
    {
        r.setTarget(color.data(), width, height, width * 2, withDepth ? depth.data() : nullptr, withDepth);
        r.setAlphaPlane(withAlpha ? alpha.data() : nullptr, width);
    }
    uint16_t at(int32_t x, int32_t y) const { return color[size_t(y) * width + x]; }
    uint16_t depthAt(int32_t x, int32_t y) const { return depth[size_t(y) * width + x]; }
};

// Vertex at (x, y) pixels with colour channels in 0..1 and an alpha byte.
inline SkwRasterVertex rasterVertex(double x, double y, int32_t z = 0x8000000, double r = 1, double g = 1,
                                    double b = 1, uint8_t alpha = 255)
{
    SkwRasterVertex v{};
    v.x = static_cast<int32_t>(x * 16 + (x < 0 ? -0.5 : 0.5));
    v.y = static_cast<int32_t>(y * 16 + (y < 0 ? -0.5 : 0.5));
    v.z = z;
    v.r = static_cast<int32_t>(r * 65536);
    v.g = static_cast<int32_t>(g * 65536);
    v.b = static_cast<int32_t>(b * 65536);
    v.alpha = alpha;
    for (SkwRasterTexCoord& t : v.tex)
        t.q = 0x10000;
    return v;
}

// The rasterizer draws a triangle when, seen from its top vertex, the next
// vertex lies on the left; this puts any three vertices in that order.
inline void drawEitherWinding(CkwRasterizerStandard& r, SkwRasterVertex a, SkwRasterVertex b, SkwRasterVertex c)
{
    const int64_t cross = int64_t(b.x - a.x) * (c.y - a.y) - int64_t(b.y - a.y) * (c.x - a.x);
    if (cross > 0)
        std::swap(b, c);
    r.drawTriangle(&a, &b, &c);
}

inline SkwRasterCompositing compositing(int32_t blending, bool depthTest = true, bool depthWrite = true,
                                        float threshold = 0.0f)
{
    SkwRasterCompositing mode;
    mode.blending = blending;
    mode.depthTest = depthTest;
    mode.depthWrite = depthWrite;
    mode.alphaThreshold = threshold;
    return mode;
}

inline uint16_t rgb565(int32_t r8, int32_t g8, int32_t b8)
{
    return static_cast<uint16_t>((r8 >> 3) << 11 | (g8 >> 2) << 5 | b8 >> 3);
}

namespace golden {

inline std::string envOr(const char* name, const char* fallback)
{
    const char* v = std::getenv(name);
    return v ? v : fallback;
}

inline void writePng(const std::string& path, const std::vector<uint8_t>& rgb, int32_t w, int32_t h)
{
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        return;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_init_io(png, f);
    png_set_IHDR(png, info, w, h, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int32_t y = 0; y < h; ++y)
        png_write_row(png, const_cast<uint8_t*>(rgb.data() + size_t(y) * w * 3));
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    std::fclose(f);
}

// False when the file is missing or not an 8-bit RGB picture.
inline bool readPng(const std::string& path, std::vector<uint8_t>& rgb, int32_t& w, int32_t& h)
{
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str()))
        return false;
    image.format = PNG_FORMAT_RGB;
    w = static_cast<int32_t>(image.width);
    h = static_cast<int32_t>(image.height);
    rgb.assign(PNG_IMAGE_SIZE(image), 0);
    return png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr) != 0;
}

} // namespace golden

// Compares an RGB565 picture with engine/render/goldens/<name>.png.
inline ::testing::AssertionResult matchesGolden(const std::string& name, const RasterTarget& target)
{
    const int32_t w = target.width, h = target.height;
    std::vector<uint8_t> actual(size_t(w) * h * 3);
    for (size_t i = 0; i < target.color.size(); ++i) {
        const uint32_t p = target.color[i];
        const uint32_t r = p >> 11, g = (p >> 5) & 63, b = p & 31;
        actual[i * 3] = static_cast<uint8_t>(r << 3 | r >> 2);
        actual[i * 3 + 1] = static_cast<uint8_t>(g << 2 | g >> 4);
        actual[i * 3 + 2] = static_cast<uint8_t>(b << 3 | b >> 2);
    }
    const std::string path = golden::envOr("PF_SOURCE_DIR", ".") + "/engine/render/goldens/" + name + ".png";
    if (golden::envOr("UPDATE_GOLDENS", "0") == "1") {
        golden::writePng(path, actual, w, h);
        return ::testing::AssertionSuccess() << "rewrote " << path;
    }
    std::vector<uint8_t> expected;
    int32_t ew = 0, eh = 0;
    const bool read = golden::readPng(path, expected, ew, eh);
    if (read && ew == w && eh == h && expected == actual)
        return ::testing::AssertionSuccess();
    const std::string out = golden::envOr("PF_BUILD_DIR", ".") + "/" + name;
    golden::writePng(out + ".actual.png", actual, w, h);
    size_t differing = 0;
    if (read && ew == w && eh == h) {
        std::vector<uint8_t> diff(actual.size());
        for (size_t i = 0; i < diff.size(); ++i) {
            diff[i] = static_cast<uint8_t>(std::abs(int(actual[i]) - int(expected[i])) * 4 > 255
                                               ? 255
                                               : std::abs(int(actual[i]) - int(expected[i])) * 4);
            differing += actual[i] != expected[i];
        }
        golden::writePng(out + ".diff.png", diff, w, h);
    }
    return ::testing::AssertionFailure() << name << ": " << (read ? "" : "no readable golden; ") << differing
                                         << " channel values differ; actual picture in " << out << ".actual.png";
}
