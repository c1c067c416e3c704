// Writes PNG files for tests through libpng: any colour type and depth, a
// palette, tRNS entries or key, interlacing.
#pragma once

#include <cstdint>
#include <optional>
#include <png.h>
#include <vector>

struct PngSpec {
    uint32_t width = 2;
    uint32_t height = 2;
    int depth = 8;
    int colourType = PNG_COLOR_TYPE_GRAY;
    std::vector<uint8_t> rows; // packed as libpng writes them, row after row
    std::vector<png_color> palette;
    std::vector<uint8_t> alphas;     // tRNS of a palette
    std::optional<png_color_16> key; // tRNS of grey or RGB
    int interlace = PNG_INTERLACE_NONE;
};

inline std::vector<uint8_t> writePng(const PngSpec& spec)
{
    std::vector<uint8_t> out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_set_write_fn(
        png, &out,
        [](png_structp p, png_bytep data, png_size_t n) {
            auto* v = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(p));
            v->insert(v->end(), data, data + n);
        },
        nullptr);
    png_set_IHDR(png, info, spec.width, spec.height, spec.depth, spec.colourType, spec.interlace,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (!spec.palette.empty())
        png_set_PLTE(png, info, spec.palette.data(), static_cast<int>(spec.palette.size()));
    png_color_16 key = spec.key.value_or(png_color_16{});
    if (!spec.alphas.empty() || spec.key)
        png_set_tRNS(png, info, spec.alphas.empty() ? nullptr : spec.alphas.data(), static_cast<int>(spec.alphas.size()),
                     spec.key ? &key : nullptr);
    png_write_info(png, info);
    const size_t rowBytes = spec.rows.size() / spec.height;
    std::vector<png_bytep> rows;
    for (uint32_t y = 0; y < spec.height; ++y)
        rows.push_back(const_cast<png_bytep>(spec.rows.data() + y * rowBytes));
    png_write_image(png, rows.data());
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return out;
}

