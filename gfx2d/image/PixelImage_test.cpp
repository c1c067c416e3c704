// Pixel and TGA images from the writers: TGA descriptions and refusals,
// native files that do not hold what they announce, every cut and flipped
// byte, saving back byte for byte, rectangles, channel swaps and the 16-bit
// conversions against the packing formulas written out here.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "framework/files/testing/MemoryFileSystem.h"
#include "framework/streams/MemoryInputStream.h"
#include "gfx2d/image/ImageIds.h"
#include "gfx2d/image/PixelImage.h"
#include "tests/support/AllocationWatch.h"
#include "tests/support/RunDryStream.h"
#include "tests/support/TestApp.h"
#include "tools/image/ImageWriters.h"

namespace {

int loadImage(PixelImage& image, const ImageBytes& bytes, uint32_t tag)
{
    MemoryInputStream in;
    in.open(bytes.data(), uint32_t(bytes.size()));
    return image.load(in, tag);
}

int loadTga(TgaImage& image, const ImageBytes& bytes)
{
    MemoryInputStream in;
    in.open(bytes.data(), uint32_t(bytes.size()));
    return image.load(in);
}

std::vector<uint32_t> words(const ImageDescription& d)
{
    return {d.format, d.type, d.bitsPerPixel, d.internalFormat, d.reserved0, d.reserved1, d.width, d.height, d.dataSize};
}

ImageBytes pixelsOf(const PixelImage& image)
{
    return ImageBytes(image.pixels(), image.pixels() + image.dataSize());
}

TEST(PixelImage, TgaLoadsAsItsHeaderDescribesAndSkipsItsIdField)
{
    struct Case {
        uint8_t depth;
        std::vector<uint32_t> description;
    } cases[] = {
        {16, {0x1907, 0x8363, 16, 0x1907, 0, 0, 5, 3, 30}},
        {24, {0x1907, 0x1401, 24, 0x1907, 0, 0, 5, 3, 45}},
        {32, {0x1908, 0x1401, 32, 0x1908, 0, 0, 5, 3, 60}},
    };
    for (const Case& c : cases) {
        TgaPicture picture = sampleTga(5, 3, c.depth);
        picture.id = {'i', 'd', '!'};
        const ImageBytes file = writeTga(picture);
        PixelImage image;
        EXPECT_EQ(image.m_typeId, 0x622F3249u);
        ASSERT_EQ(loadImage(image, file, kTgaImageTag), 1);
        EXPECT_EQ(words(image.description()), c.description);
        EXPECT_EQ(pixelsOf(image), picture.pixels);

        TgaImage tga;
        EXPECT_EQ(tga.m_typeId, 0x02626411u);
        ASSERT_EQ(loadTga(tga, file), 1);
        EXPECT_EQ(words(*tga.description()), c.description);
        EXPECT_EQ(ImageBytes(tga.pixels(), tga.pixels() + picture.pixels.size()), picture.pixels);
    }
}

TEST(PixelImage, UnsupportedOrShortImagesAreRefusedAndLeaveNothing)
{
    const TgaPicture good = sampleTga(4, 2, 24);
    auto tga = [&](auto change) {
        TgaPicture p = good;
        change(p);
        return writeTga(p);
    };
    const ImageBytes goodTga = writeTga(good);
    const ImageBytes pixels(24, 0x5A);
    const uint32_t rgb24[9] = {0x1907, 0x1401, 24, 0x1907, 0, 0, 4, 2, 24};
    auto native = [&](uint32_t at, uint32_t value, size_t cut) {
        uint32_t d[9];
        std::copy(rgb24, rgb24 + 9, d);
        d[at] = value;
        ImageBytes bytes = writePixelImage(d, pixels);
        bytes.resize(bytes.size() - cut);
        return bytes;
    };
    struct Case {
        const char* name;
        ImageBytes bytes;
        uint32_t tag;
        uint32_t announced = 0;  // not 0: a stream that announces this and runs dry
    } cases[] = {
        {"run-length true colour", tga([](TgaPicture& p) { p.type = 10; }), kTgaImageTag},
        {"run-length grey", tga([](TgaPicture& p) { p.type = 11; p.depth = 16; }), kTgaImageTag},
        {"8-bit grey", tga([](TgaPicture& p) { p.type = 3; p.depth = 8; }), kTgaImageTag},
        {"16-bit grey", tga([](TgaPicture& p) { p.type = 3; p.depth = 16; }), kTgaImageTag},
        {"colour map", tga([](TgaPicture& p) { p.colourMapType = 1; }), kTgaImageTag},
        {"depth 20", tga([](TgaPicture& p) { p.depth = 20; }), kTgaImageTag},
        {"id longer than the file", tga([](TgaPicture& p) { p.id.assign(200, 1); p.pixels.clear(); }), kTgaImageTag},
        {"tga one pixel byte short", ImageBytes(goodTga.begin(), goodTga.end() - 1), kTgaImageTag},
        {"tga header cut", ImageBytes(goodTga.begin(), goodTga.begin() + 17), kTgaImageTag},
        {"empty", ImageBytes(), kTgaImageTag},
        {"data size beyond the file", native(8, 25, 0), 0},
        {"data size below the pixels", native(8, 23, 1), 0},
        {"12 bits per pixel", native(2, 12, 0), 0},
        {"native one byte short", native(8, 24, 1), 0},
        {"huge width", native(6, 0x40000000, 0), 0},
        {"tga rows announced, not there", tga([](TgaPicture& p) { p.width = p.height = 2048; }), kTgaImageTag,
         32 << 20},
        {"native rows announced, not there",
         writePixelImage({0x1907, 0x1401, 24, 0x1907, 0, 0, 2048, 2048, 2048 * 2048 * 3}, pixels), 0, 32 << 20},
    };
    for (const Case& c : cases) {
        PixelImage image;
        ASSERT_EQ(loadImage(image, native(8, 24, 0), 0), 1);
        // What a stream announces costs nothing until its bytes arrive.
        const AllocationWatch watch(size_t(1) << 20);
        RunDryStream dry(c.bytes, c.announced);
        MemoryInputStream memory;
        memory.open(c.bytes.data(), uint32_t(c.bytes.size()));
        InputStream& in = c.announced ? static_cast<InputStream&>(dry) : memory;
        EXPECT_EQ(image.load(in, c.tag), 0) << c.name;
        EXPECT_TRUE(image.isEmpty()) << c.name;
        EXPECT_EQ(image.pixels(), nullptr) << c.name;
        if (c.tag == kTgaImageTag) {
            TgaImage tgaImage;
            RunDryStream again(c.bytes, c.announced);
            memory.open(c.bytes.data(), uint32_t(c.bytes.size()));
            EXPECT_EQ(tgaImage.load(c.announced ? static_cast<InputStream&>(again) : memory), 0) << c.name;
            EXPECT_EQ(tgaImage.description(), nullptr) << c.name;
        }
        EXPECT_LE(watch.largest(), kFirstReadBlock) << c.name;
    }

    // Every cut is refused; every flipped byte ends cleanly, and what loads
    // holds all the pixels its description names.
    const std::pair<ImageBytes, uint32_t> wholes[] = {{goodTga, kTgaImageTag}, {native(8, 24, 0), 0}};
    for (const auto& [whole, tag] : wholes) {
        for (size_t i = 0; i < whole.size(); ++i) {
            PixelImage image;
            EXPECT_EQ(loadImage(image, ImageBytes(whole.begin(), whole.begin() + i), tag), 0) << i;
            ImageBytes flipped = whole;
            flipped[i] ^= 0xFF;
            if (loadImage(image, flipped, tag)) {
                const ImageDescription& d = image.description();
                EXPECT_GE(uint64_t(d.dataSize), uint64_t(d.width) * d.height * (d.bitsPerPixel / 8)) << i;
                EXPECT_EQ(image.readRect(int32_t(d.width) - 1, int32_t(d.height) - 1, 1, 1, ImageBytes(4).data(), 0),
                          d.width && d.height ? 1 : 0);
            }
            TgaImage tgaImage;
            if (tag == kTgaImageTag && loadTga(tgaImage, flipped)) {
                EXPECT_EQ(tgaImage.description()->dataSize, image.dataSize()) << i;
            }
        }
    }
}

TEST(PixelImage, SavesBackByteForByte)
{
    TestApp app;
    MemoryFileSystem files;
    app.m_fileSystem = &files;

    const uint32_t rgba32[9] = {0x1908, 0x1401, 32, 0x1908, 0, 0, 3, 2, 24};
    ImageBytes pixels(24);
    for (size_t i = 0; i < pixels.size(); ++i)
        pixels[i] = uint8_t(i * 11);
    const ImageBytes file = writePixelImage(rgba32, pixels);
    PixelImage image;
    ASSERT_EQ(loadImage(image, file, 0), 1);
    ASSERT_EQ(image.save(u"/data/a.img"), 1);
    EXPECT_EQ(files.files[u"/data/a.img"], file);
    PixelImage copy(image);
    EXPECT_EQ(pixelsOf(copy), pixels);

    // A TGA comes back without its id field.
    TgaPicture picture = sampleTga(3, 2, 16);
    picture.id = {1, 2, 3, 4};
    TgaImage tga;
    ASSERT_EQ(loadTga(tga, writeTga(picture)), 1);
    ASSERT_EQ(tga.save(u"/data/a.tga"), 1);
    picture.id.clear();
    EXPECT_EQ(files.files[u"/data/a.tga"], writeTga(picture));

    files.faults.write = true;
    EXPECT_EQ(image.save(u"/data/b.img"), 0);
    EXPECT_EQ(tga.save(u"/data/b.tga"), 0);
    files.faults = {};
    files.faults.open = true;
    EXPECT_EQ(image.save(u"/data/c.img"), 0);
    app.m_fileSystem = nullptr;
}

TEST(PixelImage, RectanglesSwapsAndSixteenBitConversions)
{
    // 3 × 2 pixels of bytes b0 b1 b2 [b3], every byte different.
    for (uint32_t bits : {24u, 32u}) {
        const uint32_t step = bits / 8;
        ImageBytes bytes(6 * step);
        for (size_t i = 0; i < bytes.size(); ++i)
            bytes[i] = uint8_t(0x13 + i * 0x1D);
        bytes[3 * step - 1] = 0;  // one transparent pixel when there is alpha
        const ImageDescription d{bits == 32 ? 0x1908u : 0x1907u, 0x1401, bits, bits == 32 ? 0x1908u : 0x1907u, 0, 0, 3,
                                 2, 6 * step};
        using Formula = uint16_t (*)(uint32_t b0, uint32_t b1, uint32_t b2, uint32_t b3);
        struct Case {
            int (PixelImage::*convert)();
            uint32_t format, type;
            Formula formula;
        } cases[] = {
            {&PixelImage::toRgb565, 0x1907, 0x8363,
             [](uint32_t b0, uint32_t b1, uint32_t b2, uint32_t) { return uint16_t((b2 & 0xF8) << 8 | (b1 & 0xFC) << 3 | b0 >> 3); }},
            {&PixelImage::toArgb1555, 0x1908, 0x8024,
             [](uint32_t b0, uint32_t b1, uint32_t b2, uint32_t b3) {
                 return uint16_t((b3 ? 0x8000 : 0) | (b2 >> 3) << 10 | (b1 >> 3) << 5 | b0 >> 3);
             }},
            {&PixelImage::toRgba5551, 0x1908, 0x8034,
             [](uint32_t b0, uint32_t b1, uint32_t b2, uint32_t b3) {
                 return uint16_t((b2 >> 3) << 11 | (b1 >> 3) << 6 | (b0 >> 3) << 1 | (b3 ? 1 : 0));
             }},
            {&PixelImage::toRgba4444, 0x1908, 0x8033,
             [](uint32_t b0, uint32_t b1, uint32_t b2, uint32_t b3) {
                 return uint16_t((b2 >> 4) << 12 | (b1 >> 4) << 8 | (b0 >> 4) << 4 | b3 >> 4);
             }},
            {&PixelImage::toArgb4444, 0x1908, 0x8023,
             [](uint32_t b0, uint32_t b1, uint32_t b2, uint32_t b3) {
                 return uint16_t((b3 >> 4) << 12 | (b2 >> 4) << 8 | (b1 >> 4) << 4 | b0 >> 4);
             }},
        };
        for (const Case& c : cases) {
            PixelImage image(d, bytes.data(), 0);
            ASSERT_EQ((image.*c.convert)(), 1);
            EXPECT_EQ(words(image.description()), std::vector<uint32_t>({c.format, c.type, 16, c.format, 0, 0, 3, 2, 12}));
            for (uint32_t i = 0; i < 6; ++i) {
                const uint8_t* p = &bytes[i * step];
                const uint16_t expected = c.formula(p[0], p[1], p[2], step == 4 ? p[3] : 0xFF);
                EXPECT_EQ(uint16_t(image.pixels()[i * 2] | image.pixels()[i * 2 + 1] << 8), expected) << bits << " " << i;
            }
            EXPECT_EQ((image.*c.convert)(), 0);  // 16-bit input is refused
        }

        PixelImage image(d, bytes.data(), 0);
        ASSERT_EQ(image.swap02(), 1);
        EXPECT_EQ(image.pixels()[0], bytes[2]);
        EXPECT_EQ(image.pixels()[2], bytes[0]);
        ASSERT_EQ(image.swap02(), 1);
        ASSERT_EQ(image.rotateChannels(), 1);
        EXPECT_EQ(ImageBytes(image.pixels(), image.pixels() + 3), ImageBytes({bytes[2], bytes[0], bytes[1]}));
        ASSERT_EQ(image.swap01(), 1);
        ASSERT_EQ(image.swap12(), 1);
        EXPECT_EQ(ImageBytes(image.pixels(), image.pixels() + 3), ImageBytes({bytes[0], bytes[1], bytes[2]}));

        // The middle column out with a pitch, back in one pixel to the left.
        ImageBytes column(2 * 8, 0);
        ASSERT_EQ(image.readRect(1, 0, 1, 2, column.data(), 8), 1);
        EXPECT_EQ(ImageBytes(column.begin() + 8, column.begin() + 8 + step), ImageBytes(&bytes[4 * step], &bytes[5 * step]));
        ASSERT_EQ(image.writeRect(0, 0, 1, 2, column.data(), 8), 1);
        EXPECT_EQ(ImageBytes(image.pixels() + 3 * step, image.pixels() + 4 * step), ImageBytes(&bytes[4 * step], &bytes[5 * step]));
        EXPECT_EQ(image.readRect(2, 1, 2, 1, column.data(), 0), 0);
        EXPECT_EQ(image.writeRect(-1, 0, 1, 1, column.data(), 0), 0);
        // Its own top row moved one pixel to the right, as it was before.
        const ImageBytes top(image.pixels(), image.pixels() + 2 * step);
        ASSERT_EQ(image.writeRect(1, 0, 2, 1, image.pixels(), 0), 1);
        EXPECT_EQ(ImageBytes(image.pixels() + step, image.pixels() + 3 * step), top);
    }

    ImageDescription grey{0x1909, 0x1401, 8, 0x1909, 0, 0, 2, 2, 4};
    const uint8_t greyPixels[4] = {1, 2, 3, 4};
    PixelImage image(grey, greyPixels, 0);
    EXPECT_EQ(image.toRgb565(), 0);
    EXPECT_EQ(image.swap02(), 0);
    EXPECT_EQ(image.swap12(), 1);
    EXPECT_EQ(words(image.description()), words(grey));
    EXPECT_EQ(ImageBytes(image.pixels(), image.pixels() + 4), ImageBytes(greyPixels, greyPixels + 4));
}

} // namespace
