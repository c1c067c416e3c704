// PNG golden comparison through libpng's simplified interface.
#include "tests/support/GoldenImage.h"

#include <png.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>


namespace {

constexpr int kMaxWidth = 128;
constexpr int kMaxHeight = 96;

std::string envOr(const char* name, const char* fallback)
{
    const char* v = std::getenv(name);
    return v && *v ? v : fallback;
}

// Words 0xAARRGGBB are B, G, R, A in memory on a little-endian host.
bool writePng(const std::string& path, const uint32_t* pixels, int width, int height)
{
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(width);
    image.height = static_cast<png_uint_32>(height);
    image.format = PNG_FORMAT_BGRA;
    return png_image_write_to_file(&image, path.c_str(), 0, pixels, 0, nullptr) != 0;
}

bool readPng(const std::string& path, std::vector<uint32_t>& pixels, int& width, int& height)
{
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str()))
        return false;
    image.format = PNG_FORMAT_BGRA;
    if (image.width > kMaxWidth || image.height > kMaxHeight) {
        png_image_free(&image);
        return false;
    }
    width = static_cast<int>(image.width);
    height = static_cast<int>(image.height);
    pixels.assign(static_cast<size_t>(width) * height, 0);
    return png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr) != 0;
}

}  // namespace

::testing::AssertionResult matchesGolden(const char* goldenPath, const uint32_t* pixels, int width, int height)
{
    if (width <= 0 || height <= 0 || width > kMaxWidth || height > kMaxHeight)
        return ::testing::AssertionFailure() << "goldens are at most 128 x 96, not " << width << " x " << height;
    const std::string golden = envOr("PF_SOURCE_DIR", ".") + "/" + goldenPath;
    if (envOr("UPDATE_GOLDENS", "") == "1") {
        if (!writePng(golden, pixels, width, height))
            return ::testing::AssertionFailure() << "cannot write " << golden;
        return ::testing::AssertionSuccess();
    }
    const std::string stem = envOr("PF_BUILD_DIR", ".") + "/golden-failures/" +
                             std::filesystem::path(goldenPath).stem().string();
    std::vector<uint32_t> expected;
    int w = 0, h = 0;
    if (!readPng(golden, expected, w, h)) {
        writePng(stem + ".actual.png", pixels, width, height);
        return ::testing::AssertionFailure() << "no readable golden " << golden << " (run with UPDATE_GOLDENS=1)";
    }
    if (w != width || h != height) {
        writePng(stem + ".actual.png", pixels, width, height);
        return ::testing::AssertionFailure() << "golden is " << w << " x " << h << ", picture " << width << " x "
                                             << height;
    }
    std::vector<uint32_t> diff(expected.size());
    size_t differing = 0;
    for (size_t i = 0; i < expected.size(); ++i) {
        const bool same = expected[i] == pixels[i];
        differing += same ? 0 : 1;
        // Differences in opaque red over a dimmed copy of the golden.
        diff[i] = same ? 0xFF000000u | ((expected[i] >> 2) & 0x3F3F3F) : 0xFFFF0000u;
    }
    if (differing == 0)
        return ::testing::AssertionSuccess();
    writePng(stem + ".actual.png", pixels, width, height);
    writePng(stem + ".diff.png", diff.data(), width, height);
    return ::testing::AssertionFailure() << differing << " pixels differ from " << golden << "; see " << stem
                                         << ".{actual,diff}.png";
}
