#include "gfx2d/image/PixelBuffer.h"

#include <gtest/gtest.h>
#include <png.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>

#include "framework/streams/MemoryInputStream.h"
#include "gfx2d/image/ImageIds.h"
#include "tests/support/AllocationWatch.h"
#include "tests/support/RunDryStream.h"
#include "tests/support/TestApp.h"
#include "tools/image/ImageWriters.h"

namespace {

using namespace PixelFormat;

TEST(PixelBuffer, CreateDefinesAllocatesAndAdoptsBuffers)
{
    uint8_t external[64];
    struct Case {
        const char* name;
        RSBFormat format;
        uint32_t w, h;
        bool pot;
        uint32_t mode;
        int32_t pitch;
        void* pixels;
        int ok;
        uint32_t outW, outH;
        int32_t outPitch;
        uint16_t flags;
    };
    const Case cases[] = {
        {"packed", R5G6B5, 10, 4, false, 0, 0, nullptr, 1, 10, 4, 20, PixelBufferFlag::Owned},
        {"bottom-up", R5G6B5, 10, 4, false, 1, 0, nullptr, 1, 10, 4, -20, PixelBufferFlag::Owned},
        {"powers of two", X8R8G8B8, 100, 3, true, 0, 0, nullptr, 1, 128, 4, 512,
         PixelBufferFlag::Owned | PixelBufferFlag::PowerOfTwo},
        {"given pitch", R5G6B5, 10, 4, false, 2, 24, nullptr, 1, 10, 4, 24, PixelBufferFlag::Owned},
        {"given negative pitch", R5G6B5, 10, 4, false, 2, -24, nullptr, 1, 10, 4, -24, PixelBufferFlag::Owned},
        {"pitch below a row", R5G6B5, 10, 4, false, 2, 10, nullptr, 0, 0, 0, 0, 0},
        {"widest 32-bit row", X8R8G8B8, 8191, 1, false, 0, 0, nullptr, 1, 8191, 1, 32764, PixelBufferFlag::Owned},
        // The pitch is kept in 16 signed bits: 8192 × 4 would wrap.
        {"pitch past 16 bits", X8R8G8B8, 8192, 1, false, 0, 0, nullptr, 0, 0, 0, 0, 0},
        {"width past 16 bits", L8, 70000, 1, false, 2, 100, nullptr, 0, 0, 0, 0, 0},
        {"no size", R5G6B5, 0, 4, false, 0, 0, nullptr, 0, 0, 0, 0, 0},
        {"external bottom-up", R5G6B5, 4, 8, false, 1, 0, external, 1, 4, 8, -8, PixelBufferFlag::External},
    };
    for (const Case& c : cases) {
        PixelBuffer buffer;
        ASSERT_EQ(buffer.create(c.format, c.w, c.h, c.pot, nullptr, nullptr, c.mode, c.pitch, c.pixels), c.ok)
            << c.name;
        EXPECT_EQ(buffer.width(), c.outW) << c.name;
        EXPECT_EQ(buffer.height(), c.outH) << c.name;
        EXPECT_EQ(buffer.pitch(), c.outPitch) << c.name;
        EXPECT_EQ(buffer.flags(), c.flags) << c.name;
        EXPECT_EQ(buffer.format(), c.ok ? c.format : 0u) << c.name;
        if (!c.ok || c.pixels)
            continue;
        // The top row is where the pitch says; turning the rows over moves it.
        uint8_t* top = buffer.pixels();
        const int32_t pitch = buffer.pitch();
        buffer.makeTopDown();
        buffer.makeBottomUp();
        EXPECT_EQ(buffer.pixels(), pitch < 0 ? top : top + intptr_t(c.outH - 1) * pitch) << c.name;
        EXPECT_EQ(buffer.pitch(), -std::abs(pitch)) << c.name;
        EXPECT_EQ(buffer.planePointer(0), buffer.pixels());
        EXPECT_EQ(buffer.planePointer(1), nullptr);
        EXPECT_EQ(buffer.releasePixels(), 1);
        EXPECT_EQ(buffer.releasePixels(), 0);
    }
}

// Writes a palette PNG with libpng, whose filter choice is its own.
ImageBytes libpngWrite(int w, int h, int depth, const std::vector<uint32_t>& palette,
                       const std::vector<uint8_t>& alpha, const std::vector<uint8_t>& indices)
{
    ImageBytes out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_set_write_fn(
        png, &out,
        [](png_structp p, png_bytep data, png_size_t n) {
            auto* o = static_cast<ImageBytes*>(png_get_io_ptr(p));
            o->insert(o->end(), data, data + n);
        },
        nullptr);
    png_set_IHDR(png, info, w, h, depth, PNG_COLOR_TYPE_PALETTE, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    std::vector<png_color> colours;
    for (uint32_t c : palette)
        colours.push_back({png_byte(c >> 16), png_byte(c >> 8), png_byte(c)});
    png_set_PLTE(png, info, colours.data(), int(colours.size()));
    if (!alpha.empty())
        png_set_tRNS(png, info, alpha.data(), int(alpha.size()), nullptr);
    png_set_filter(png, 0, PNG_ALL_FILTERS);
    png_write_info(png, info);
    png_set_packing(png);
    for (int y = 0; y < h; ++y)
        png_write_row(png, indices.data() + size_t(y) * w);
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return out;
}

struct Picture {
    int w, h;
    std::vector<uint32_t> palette;  // 0xAARRGGBB as the decoder should see it
    std::vector<uint32_t> pixels;   // index, or 0xRRGGBB for 24-bit
    bool direct = false;
};

Picture pictureOf(const BmpPicture& b)
{
    Picture p{b.width, b.height, {}, b.pixels, b.bitsPerPixel == 24};
    for (uint32_t c : b.palette)
        p.palette.push_back(0xFF000000 | c);
    return p;
}

uint32_t expectedPixel(RSBFormat format, uint32_t colour, uint32_t index, bool keyed)
{
    const uint32_t rgb = colour & 0xFFFFFF, r = rgb >> 16, g = (rgb >> 8) & 255, b = rgb & 255;
    if (keyed && rgb == 0xFF00FF)
        return 0;  // not written: the buffer starts zeroed
    switch (format) {
    case R5G6B5: return (r >> 3) << 11 | (g >> 2) << 5 | b >> 3;
    case A1R5G5B5: return 0x8000 | (r >> 3) << 10 | (g >> 3) << 5 | b >> 3;
    case X8R8G8B8: return 0xFF000000 | rgb;
    default: return index;
    }
}

struct Decoded {
    int ok = 0;
    PixelBuffer buffer;
    PaletteSlot slot;
};

// announced not 0: the file comes through a stream that announces this and runs dry.
void decode(Decoded& out, const ImageBytes& file, uint32_t tag, RSBFormat format, uint8_t keyFlag,
            uint32_t flags = 0, uint32_t pitchMode = 0, uint32_t announced = 0)
{
    MemoryInputStream memory;
    memory.open(file.data(), uint32_t(file.size()));
    RunDryStream dry(file, announced);
    DecodeOptions options;
    options.stream = announced ? static_cast<InputStream*>(&dry) : &memory;
    options.decoderTag = tag;
    options.keyFlag = keyFlag;
    options.keyColour = 0xFF00FF;
    options.transpose = flags & 1;
    options.mirror = (flags >> 1) & 1;
    options.flip = (flags >> 2) & 1;
    options.formatMap[3] = {P4X8R8G8B8, format};
    options.formatMap[5] = {P8X8R8G8B8, format};
    options.formatMap[7] = {R8G8B8, format};
    out.ok = out.buffer.create(0, 0, 0, false, &out.slot, &options, pitchMode, 0, nullptr);
}

// Checks every buffer pixel against the picture, mirrored, flipped and
// transposed as asked.
void expectPicture(const Decoded& d, const Picture& p, RSBFormat format, bool keyed, uint32_t flags,
                   const std::string& what)
{
    ASSERT_EQ(d.ok, 1) << what;
    const bool transpose = flags & 1, mirror = flags & 2, flip = flags & 4;
    ASSERT_EQ(d.buffer.width(), uint32_t(transpose ? p.h : p.w)) << what;
    ASSERT_EQ(d.buffer.height(), uint32_t(transpose ? p.w : p.h)) << what;
    const int bytes = int(bytesPerPixel(format));
    for (int r = 0; r < p.h; ++r)
        for (int c = 0; c < p.w; ++c) {
            const int x = transpose ? (mirror ? p.h - 1 - r : r) : (mirror ? p.w - 1 - c : c);
            const int y = transpose ? (flip ? p.w - 1 - c : c) : (flip ? p.h - 1 - r : r);
            uint32_t got = 0;
            std::memcpy(&got, d.buffer.pixels() + intptr_t(y) * d.buffer.pitch() + x * bytes, bytes);
            const uint32_t v = p.pixels[size_t(r) * p.w + c];
            ASSERT_EQ(got, expectedPixel(format, p.direct ? v : p.palette[v], v, keyed))
                << what << " at " << c << "," << r;
        }
}

TEST(PixelBuffer, PngAndBmpPicturesDecodeIntoEveryFormatAndOrientation)
{
    TestApp app;
    struct Source {
        const char* name;
        Picture picture;
        uint32_t tag;
        ImageBytes file;
    };
    std::vector<Source> sources;
    for (uint8_t depth : {4, 8}) {
        const BmpPicture bmp = sampleBmp(depth == 4 ? 7 : 10, 5, depth);
        PngPicture png = samplePng(bmp.width, bmp.height, depth);
        png.rowFilters = {0, 1, 2, 3, 4};
        png.idatChunkSize = 9;
        const Picture p = pictureOf(bmp);
        sources.push_back({depth == 4 ? "png 4-bit, every filter, 9-byte chunks" : "png 8-bit, every filter",
                           p, ResourceType::PngFile, writePng(png)});
        sources.push_back({depth == 4 ? "libpng 4-bit" : "libpng 8-bit", p, ResourceType::PngFile,
                           libpngWrite(p.w, p.h, depth, png.palette, {}, png.indices)});
        sources.push_back({depth == 4 ? "bmp 4-bit" : "bmp 8-bit", p, ResourceType::BmpFile, writeBmp(bmp)});
    }
    const BmpPicture direct = sampleBmp(5, 3, 24);
    sources.push_back({"bmp 24-bit", pictureOf(direct), ResourceType::BmpFile, writeBmp(direct)});

    for (const Source& s : sources)
        for (RSBFormat format : {R5G6B5, X8R8G8B8, A1R5G5B5, P8X8R8G8B8}) {
            const bool keyed = format == A1R5G5B5;
            if (s.picture.direct && (keyed || format == P8X8R8G8B8))
                continue;
            for (uint32_t flags = 0; flags < 8; ++flags)
                for (uint32_t pitchMode : {0u, 1u}) {
                    Decoded d;
                    decode(d, s.file, s.tag, format, keyed, flags, pitchMode);
                    expectPicture(d, s.picture, format, keyed, flags,
                                  std::string(s.name) + " into " + formatName(format) + " flags " +
                                      std::to_string(flags) + " mode " + std::to_string(pitchMode));
                    if (format == P8X8R8G8B8) {
                        ASSERT_TRUE(d.slot);
                        for (size_t i = 0; i < s.picture.palette.size(); ++i)
                            ASSERT_EQ(d.slot[i], s.picture.palette[i]) << s.name << " colour " << i;
                    }
                }
        }

    // Rows and image data a stream announces but never delivers are refused
    // having taken no more than one first block.
    ImageBytes wideBmp = writeBmp(sampleBmp(10, 5, 8)), longIdat = writePng(samplePng(10, 5, 8));
    wideBmp[18] = 0x80;  // 16,000 by 400 pixels
    wideBmp[19] = 0x3E;
    wideBmp[22] = 0x90;
    wideBmp[23] = 1;
    const auto idat = std::search(longIdat.begin(), longIdat.end(), std::begin("IDAT"), std::end("IDAT") - 1);
    idat[-3] = 0x20;  // 2 MiB of data
    for (const auto& [file, tag] : {std::pair{wideBmp, ResourceType::BmpFile}, {longIdat, ResourceType::PngFile}}) {
        Decoded d;
        AllocationWatch watch(1 << 20);
        EXPECT_NO_THROW(decode(d, file, tag, P8X8R8G8B8, 0, 0, 0, 32 << 20));
        EXPECT_EQ(d.ok, 0);
        EXPECT_LE(watch.largest(), kFirstReadBlock);
    }
    // A picture of 2047 × 8192 pixels at 16 bytes each passes the buffer's
    // limit: refused before its pixels are asked for.
    PngPicture tall{2047, 8192, 4, {0x102030}, {}, std::vector<uint8_t>(2047 * 8192), {}, 0};
    Decoded limited;
    limited.buffer.limitBytes(uint64_t(64) << 20);
    AllocationWatch watch(size_t(32) << 20);
    decode(limited, writePng(tall), ResourceType::PngFile, ArgbFixed, 0);
    EXPECT_EQ(limited.ok, 0);
    EXPECT_LE(watch.largest(), size_t(32) << 20);
}

TEST(PixelBuffer, PalettesFollowTheirTransparencyAndSuppliedPalettesStay)
{
    TestApp app;
    PngPicture png{3, 2, 8, {0x102030, 0xFF00FF, 0x405060}, {0x80}, {0, 1, 2, 2, 1, 0}, {}, 0};
    Decoded withAlpha;
    decode(withAlpha, writePng(png), ResourceType::PngFile, P8X8R8G8B8, 0);
    ASSERT_EQ(withAlpha.ok, 1);
    // A short tRNS leaves the rest opaque.
    EXPECT_EQ(withAlpha.slot[0], 0x80102030u);
    EXPECT_EQ(withAlpha.slot[1], 0xFFFF00FFu);
    EXPECT_EQ(withAlpha.slot[2], 0xFF405060u);

    // Transparency bytes beyond the palette are skipped.
    PngPicture longAlpha{2, 1, 8, {}, std::vector<uint8_t>(25, 0x40), {9, 0}, {}, 0};
    for (uint32_t i = 0; i < 10; ++i)
        longAlpha.palette.push_back(0x010101 * i);
    Decoded skipped;
    decode(skipped, writePng(longAlpha), ResourceType::PngFile, P8X8R8G8B8, 0);
    ASSERT_EQ(skipped.ok, 1);
    EXPECT_EQ(skipped.slot[9], 0x40090909u);
    EXPECT_EQ(skipped.buffer.pixels()[0], 9);

    png.alpha.clear();
    for (bool hasAlpha : {false, true}) {
        png.alpha = hasAlpha ? std::vector<uint8_t>{0x11, 0x22} : std::vector<uint8_t>{};
        Decoded supplied;
        supplied.slot.reset(new uint32_t[256]);
        for (uint32_t i = 0; i < 256; ++i)
            supplied.slot[i] = 0x00ABCD00 + i;
        decode(supplied, writePng(png), ResourceType::PngFile, P8X8R8G8B8, 0);
        ASSERT_EQ(supplied.ok, 1);
        for (uint32_t i = 0; i < 4; ++i)
            EXPECT_EQ(supplied.slot[i], (i < 3 && !hasAlpha ? 0xFF000000 : 0) | (0x00ABCD00 + i)) << i;
        EXPECT_EQ(supplied.buffer.pixels()[4], 1);
    }

    // No pair in the format map for the picture's format; a preset size that
    // the picture does not match.
    MemoryInputStream stream;
    const ImageBytes file = writePng(png);
    stream.open(file.data(), uint32_t(file.size()));
    DecodeOptions options;
    options.stream = &stream;
    options.decoderTag = ResourceType::PngFile;
    options.formatMap[0] = {R8G8B8, R5G6B5};
    PixelBuffer buffer;
    EXPECT_EQ(buffer.create(0, 0, 0, false, nullptr, &options, 0, 0, nullptr), 0);
    stream.open(file.data(), uint32_t(file.size()));
    options.formatMap[0] = {P8X8R8G8B8, R5G6B5};
    EXPECT_EQ(buffer.create(R5G6B5, 100, 2, true, nullptr, &options, 0, 0, nullptr), 0);
    EXPECT_EQ(buffer.format(), 0u);
    stream.open(file.data(), uint32_t(file.size()));
    options.decoderTag = 0x12345678;
    EXPECT_EQ(buffer.create(0, 0, 0, false, nullptr, &options, 0, 0, nullptr), 0);
    stream.open(file.data(), uint32_t(file.size()));
    options.decoderTag = ResourceType::PngFile;
    ASSERT_EQ(buffer.create(R5G6B5, 3, 2, true, nullptr, &options, 0, 0, nullptr), 1);
    EXPECT_EQ(buffer.width() * 100 + buffer.height(), 402u);
}

// Golden pictures: 0xFFRRGGBB rows through libpng's simplified interface.
bool writeGolden(const std::string& path, int w, int h, const std::vector<uint32_t>& pixels)
{
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = uint32_t(w);
    image.height = uint32_t(h);
    image.format = PNG_FORMAT_BGRA;
    return png_image_write_to_file(&image, path.c_str(), 0, pixels.data(), 0, nullptr) != 0;
}

bool readGolden(const std::string& path, int w, int h, std::vector<uint32_t>& pixels)
{
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str()))
        return false;
    image.format = PNG_FORMAT_BGRA;
    pixels.assign(size_t(w) * h, 0);
    if (int(image.width) != w || int(image.height) != h) {
        png_image_free(&image);
        return false;
    }
    return png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr) != 0;
}

// A 48 × 32 palette PNG with every row filter, flipped while it decodes into
// the screen's format: held against the picture it was written from, then
// against the golden beside this test.
TEST(PixelBuffer, DecodedPictureMatchesItsGolden)
{
    TestApp app;
    const BmpPicture sample = sampleBmp(48, 32, 8);
    PngPicture png = samplePng(48, 32, 8);
    png.rowFilters = {4, 3, 2, 1, 0};
    Decoded d;
    decode(d, writePng(png), ResourceType::PngFile, X8R8G8B8, 0, 4);
    const Picture picture = pictureOf(sample);
    expectPicture(d, picture, X8R8G8B8, false, 4, "golden picture");
    std::vector<uint32_t> actual(48 * 32);
    for (int y = 0; y < 32; ++y)
        std::memcpy(&actual[size_t(y) * 48], d.buffer.pixels() + y * d.buffer.pitch(), 48 * 4);

    const char* source = std::getenv("PF_SOURCE_DIR");
    const char* build = std::getenv("PF_BUILD_DIR");
    ASSERT_NE(source, nullptr);
    const std::string golden = std::string(source) + "/gfx2d/image/PixelBuffer_decoded.png";
    const char* update = std::getenv("UPDATE_GOLDENS");
    if (update != nullptr && std::string(update) == "1") {
        ASSERT_TRUE(writeGolden(golden, 48, 32, actual));
    }
    std::vector<uint32_t> expected;
    ASSERT_TRUE(readGolden(golden, 48, 32, expected)) << golden;
    if (expected != actual) {
        const std::string out = std::string(build ? build : ".") + "/goldens";
        std::filesystem::create_directories(out);
        std::vector<uint32_t> difference(actual.size());
        for (size_t i = 0; i < actual.size(); ++i)
            difference[i] = actual[i] == expected[i] ? 0xFF000000 : 0xFFFF0000;
        writeGolden(out + "/PixelBuffer_decoded.actual.png", 48, 32, actual);
        writeGolden(out + "/PixelBuffer_decoded.difference.png", 48, 32, difference);
        FAIL() << "differs from " << golden << "; actual and difference written to " << out;
    }
}

} // namespace
