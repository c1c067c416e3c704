#include "gfx2d/image/BmpImage.h"

#include <gtest/gtest.h>

#include <cstring>

#include "framework/streams/MemoryInputStream.h"
#include "tests/support/AllocationWatch.h"
#include "tests/support/RunDryStream.h"
#include "tools/image/ImageWriters.h"

namespace {

void setU32(ImageBytes& b, size_t at, uint32_t v)
{
    std::memcpy(&b[at], &v, 4);
}

// Both ways of holding a BMP read every position as the picture has it.
TEST(BmpImage, WriterMadeImagesReadBackInPlaceAndFromAStream)
{
    BmpPicture longHeader = sampleBmp(6, 4, 8);
    longHeader.infoSize = 108;
    longHeader.gapBeforeRows = 10;
    for (const BmpPicture& p : {sampleBmp(7, 3, 4), sampleBmp(5, 4, 8), sampleBmp(3, 5, 24), longHeader}) {
        const ImageBytes file = writeBmp(p);
        MemoryInputStream stream;
        stream.open(file.data(), uint32_t(file.size()));
        BmpImage loaded;
        ASSERT_EQ(loaded.load(stream), 1) << p.bitsPerPixel;
        const BmpImage inPlace(file.data(), uint32_t(file.size()), 0);
        const int32_t stride = ((p.width * p.bitsPerPixel + 31) >> 5) * 4;
        const uint32_t dataOffset = uint32_t(file.size()) - uint32_t(stride * p.height);
        EXPECT_EQ(inPlace.pixels(), file.data() + dataOffset + (p.height - 1) * stride);
        for (const BmpImage* image : {static_cast<const BmpImage*>(&loaded), &inPlace}) {
            SCOPED_TRACE(testing::Message() << p.bitsPerPixel << " bits, info " << p.infoSize);
            EXPECT_EQ(image->pitch(), -stride);
            EXPECT_EQ(image->paletteSize(), p.palette.size() * 4);
            for (int32_t y = 0; y < p.height; ++y)
                for (int32_t x = 0; x < p.width; ++x) {
                    const BmpCursor cursor(image, x, y);
                    const uint32_t v = p.pixels[size_t(y) * p.width + x];
                    EXPECT_EQ(cursor.readIndex(), p.bitsPerPixel == 24 ? -1 : int32_t(v));
                    EXPECT_EQ(cursor.readColour(), p.bitsPerPixel == 24 ? v : p.palette[v]);
                }
            // Rows from an odd x, columns downwards, and no index outside.
            uint8_t row[9], column[7];
            BmpCursor cursor(image, 1, 0);
            cursor.moveDown(1);
            cursor.readIndexRow(row, p.width);
            cursor.readIndexColumn(column, p.height);
            for (int32_t i = 0; i < p.width; ++i)
                EXPECT_EQ(row[i], i + 1 < p.width && p.bitsPerPixel != 24 ? p.pixels[p.width + i + 1] : 0xFF);
            for (int32_t i = 0; i < p.height; ++i)
                EXPECT_EQ(column[i], i + 1 < p.height && p.bitsPerPixel != 24 ? p.pixels[(i + 1) * p.width + 1] : 0xFF);
            EXPECT_EQ(cursor.y(), 1);
        }
    }
}

TEST(BmpImage, HostileHeadersAndShortDataLeaveTheImageCleared)
{
    const ImageBytes good = writeBmp(sampleBmp(6, 5, 8));
    struct Case {
        const char* name;
        size_t at;  // a u32 field to overwrite; 0 = none
        uint32_t value;
        size_t cut;  // bytes taken off the end
        uint32_t announced = 0;  // not 0: a stream that announces this and runs dry
    };
    const Case cases[] = {
        {"file size zero", 2, 0, 0},
        {"info header shorter than 40", 14, 12, 0},
        {"more colours than 256", 46, 300, 0},
        {"rows cut short", 0, 0, 3},
        {"height beyond the data", 22, 0x7FFFFFF, 0},
        {"width beyond the data", 18, 0x40000000, 0},
        {"negative height", 22, uint32_t(-5), 0},
        {"pixel data inside the header", 10, 20, 0},
        {"depth 3", 28, 0x00000003, 0},
        {"1.25 MiB of rows announced, not there", 18, 0x40000, 0, 32 << 20},
    };
    for (const Case& c : cases) {
        ImageBytes bytes(good.begin(), good.end() - c.cut);
        if (c.at == 28)
            bytes[28] = uint8_t(c.value);
        else if (c.at)
            setU32(bytes, c.at, c.value);
        MemoryInputStream memory;
        memory.open(bytes.data(), uint32_t(bytes.size()));
        RunDryStream dry(bytes, c.announced);
        BmpImage loaded;
        AllocationWatch watch(1 << 20);
        EXPECT_EQ(loaded.load(c.announced ? static_cast<InputStream&>(dry) : memory), 0) << c.name;
        EXPECT_LE(watch.largest(), kFirstReadBlock) << c.name;
        EXPECT_EQ(loaded.pixels(), nullptr) << c.name;
        const BmpImage inPlace(bytes.data(), uint32_t(bytes.size()), 0);
        if (c.at != 10) {
            EXPECT_EQ(inPlace.pixels(), nullptr) << c.name;
        }
        const BmpCursor cursor(&loaded, 0, 0);
        EXPECT_EQ(cursor.readIndex(), -1) << c.name;
    }
    MemoryInputStream empty;
    BmpImage image;
    EXPECT_EQ(image.load(empty), 0);
    const uint32_t a[4] = {1, 2, 3, 4}, b[4] = {1, 2, 3, 5};
    EXPECT_EQ(equalQuad(a, a), 1);
    EXPECT_EQ(equalQuad(a, b), 0);
}

} // namespace
