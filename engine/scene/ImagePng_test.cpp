// PNG files decoded into real images: each colour type at its depths, palette
// and key transparency, and hostile files (flipped bytes, cuts, huge sizes)
// that must fail with a result, never a crash or an overread.
#include <gtest/gtest.h>

#include "engine/core/loader/CkwPngImage.h"
#include "engine/core/loader/PngTestKit.h"
#include "engine/scene/ImageTestKit.h"

namespace {

class PngTest : public ::testing::Test, public SceneTest {
protected:
    // 0 and the image held, or the decoder's result and null.
    int32_t decode(const std::vector<uint8_t>& bytes, CkwImage2D** out, uint64_t* allowance = nullptr)
    {
        IkwSerializable* image = nullptr;
        const int32_t result =
            decodePngToImage2D(static_cast<uint32_t>(bytes.size()), bytes.data(), &image, allowance);
        *out = nullptr;
        if (image != nullptr) {
            *out = hold(static_cast<CkwImage2D*>(image));
            image->release();
        }
        return result;
    }
};

TEST_F(PngTest, EachColourTypeBecomesItsImageFormat)
{
    PngSpec grey1;
    grey1.depth = 1;
    grey1.rows = {0x80, 0x40}; // pixels 1 0 / 0 1
    PngSpec greyKey;
    greyKey.rows = {10, 20, 20, 30};
    greyKey.key = png_color_16{0, 0, 0, 0, 20};
    PngSpec grey4Key = greyKey; // a key of 4-bit samples is stretched as they are
    grey4Key.depth = 4;
    grey4Key.rows = {0x12, 0x21};
    grey4Key.key = png_color_16{0, 0, 0, 0, 2};
    PngSpec rgb16Key;
    rgb16Key.width = 1;
    rgb16Key.height = 1;
    rgb16Key.depth = 16;
    rgb16Key.colourType = PNG_COLOR_TYPE_RGB;
    rgb16Key.rows = {0xFF, 0x01, 0x80, 0x02, 0x00, 0x03};
    rgb16Key.key = png_color_16{0, 0xFF01, 0x8002, 0x0003, 0};
    PngSpec rgbKey;
    rgbKey.colourType = PNG_COLOR_TYPE_RGB;
    rgbKey.height = 1;
    rgbKey.rows = {0x12, 0x34, 0x56, 0x12, 0x34, 0x57};
    rgbKey.key = png_color_16{0, 0x12, 0x34, 0x56, 0};
    PngSpec rgba;
    rgba.colourType = PNG_COLOR_TYPE_RGBA;
    rgba.height = 1;
    rgba.rows = {0x12, 0x34, 0x56, 0x78, 0xFF, 0xFF, 0xFF, 0};
    rgba.interlace = PNG_INTERLACE_ADAM7;
    PngSpec greyAlpha;
    greyAlpha.colourType = PNG_COLOR_TYPE_GRAY_ALPHA;
    greyAlpha.height = 1;
    greyAlpha.rows = {0x80, 0x11, 0x40, 0x22};

    const struct {
        const char* what;
        PngSpec spec;
        int32_t format;
        std::vector<uint16_t> colours;
        std::vector<uint8_t> alphas;
    } cases[] = {
        {"1-bit grey", grey1, kImageFormatLuminance, {0xFFFF, 0, 0, 0xFFFF}, {}},
        {"grey with key", greyKey, kImageFormatLuminanceAlpha, {0x0841, 0x10A2, 0x10A2, 0x18E3}, {255, 0, 0, 255}},
        {"4-bit grey with key", grey4Key, kImageFormatLuminanceAlpha, {0x1082, 0x2104, 0x2104, 0x1082}, {255, 0, 0, 255}},
        {"16-bit RGB ignores its key", rgb16Key, kImageFormatRgb, {0xFC00}, {}},
        {"RGB with key", rgbKey, kImageFormatRgba, {0x11AA, 0x11AA}, {0, 255}},
        {"interlaced RGBA", rgba, kImageFormatRgba, {0x11AA, 0xFFFF}, {0x78, 0}},
        {"grey and alpha", greyAlpha, kImageFormatLuminanceAlpha, {0x8410, 0x4208}, {0x11, 0x22}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        CkwImage2D* img = nullptr;
        ASSERT_EQ(decode(writePng(c.spec), &img), 0);
        EXPECT_EQ(img->getFormat(), c.format);
        EXPECT_EQ(img->getWidth(), static_cast<int32_t>(c.spec.width));
        EXPECT_FALSE(img->hasPalette());
        EXPECT_EQ(colours(*img), c.colours);
        EXPECT_EQ(alphas(*img, static_cast<int32_t>(c.alphas.size())), c.alphas);
    }
}

TEST_F(PngTest, PalettesStayPaletteImagesWithTheirTransparency)
{
    PngSpec spec;
    spec.colourType = PNG_COLOR_TYPE_PALETTE;
    spec.depth = 4;
    for (uint8_t i = 0; i < 16; ++i)
        spec.palette.push_back(png_color{uint8_t(i * 16), 0, uint8_t(255 - i * 16)});
    spec.alphas = {0, 128};
    spec.rows = {0x01, 0xF2}; // indices 0 1 / 15 2
    CkwImage2D* img = nullptr;
    ASSERT_EQ(decode(writePng(spec), &img), 0);
    ASSERT_TRUE(img->hasPalette());
    EXPECT_EQ(img->getFormat(), kImageFormatRgba);
    EXPECT_EQ(colours(*img), (std::vector<uint16_t>{0, 1, 15, 2}));
    const std::vector<uint8_t> entryAlphas = alphas(*img, kPaletteEntries);
    EXPECT_EQ(entryAlphas[0], 0);
    EXPECT_EQ(entryAlphas[1], 128);
    for (int32_t i = 2; i < 16; ++i)
        EXPECT_EQ(entryAlphas[i], 255) << i;
    EXPECT_EQ(img->getPalette()[15], packRgb565(240, 0, 15));

    spec.alphas.clear();
    ASSERT_EQ(decode(writePng(spec), &img), 0);
    EXPECT_EQ(img->getFormat(), kImageFormatRgb);
    EXPECT_EQ(img->getAlphaPlane(), nullptr);
}

TEST_F(PngTest, HostileFilesFailWithAResult)
{
    PngSpec spec;
    spec.colourType = PNG_COLOR_TYPE_PALETTE;
    spec.width = 5;
    spec.height = 3;
    spec.palette = {{1, 2, 3}, {4, 5, 6}};
    spec.alphas = {7};
    spec.rows = std::vector<uint8_t>(15, 1);
    const std::vector<uint8_t> good = writePng(spec);
    CkwImage2D* img = nullptr;
    ASSERT_EQ(decode(good, &img), 0);
    EXPECT_EQ(decode({'h', 'e', 'l', 'l', 'o', 0, 0, 0, 0}, &img), 1);
    EXPECT_EQ(decode({}, &img), 1);
    for (size_t cut = 0; cut < good.size(); ++cut) {
        const std::vector<uint8_t> shorter(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(cut));
        ASSERT_EQ(decode(shorter, &img), 1) << cut;
        EXPECT_EQ(img, nullptr);
    }
    // Any result is fine for a flipped byte, as long as nothing reads astray.
    for (size_t i = 8; i < good.size(); ++i) {
        std::vector<uint8_t> flipped = good;
        flipped[i] ^= 0xA5;
        decode(flipped, &img);
    }
    PngSpec huge;
    huge.width = 20000;
    huge.height = 1;
    huge.rows.assign(20000, 0);
    EXPECT_EQ(decode(writePng(huge), &img), 1);

    // The image's two-byte colours draw on the allowance with the rows.
    huge.width = huge.height = 64;
    huge.rows.assign(64 * 64, 9);
    uint64_t allowance = 64 * 64 * 3;
    EXPECT_EQ(decode(writePng(huge), &img, &allowance), KErrNoMemory);
}

} // namespace
