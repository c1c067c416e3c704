// Image2D and Texture2D: every format's conversion into RGB565 and alpha,
// palette images with their full 256 entries, every setter's refusals, raw
// data, and images and textures written by the writer that load back equal or
// fail with the file's code when corrupt.
#include "engine/scene/CkwImage2D.h"

#include <gtest/gtest.h>

#include "engine/core/scene/SceneIds.h"
#include "engine/scene/CkwTexture2D.h"
#include "engine/scene/ImageTestKit.h"

namespace {

class ImageTest : public ::testing::Test, public SceneTest {
protected:
    CkwImage2D* image() { return hold(new CkwImage2D); }
};

TEST_F(ImageTest, EveryFormatConvertsToRgb565AndAlphaOnLoadAndOnSet)
{
    const struct {
        int32_t format;
        std::vector<uint8_t> pixel;
        uint16_t colour;
        int32_t alpha; // -1: no alpha plane
    } cases[] = {
        {kImageFormatRgba, {0x12, 0x34, 0x56, 0x78}, 0x11AA, 0x78},
        {kImageFormatRgb, {0xFF, 0x80, 0x07}, 0xFC00, -1},
        {kImageFormatLuminance, {0x80}, 0x8410, -1},
        {kImageFormatLuminanceAlpha, {0x40, 0x99}, 0x4208, 0x99},
        {kImageFormatAlpha, {0x33}, 0xFFFF, 0x33}, // the colour of an ALPHA image is white
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.format);
        CkwImage2D* fromData = image();
        ASSERT_EQ(trap([&] { fromData->initWithData(c.format, 1, 1, static_cast<int32_t>(c.pixel.size()), c.pixel.data()); }),
                  KErrNone);
        EXPECT_FALSE(fromData->isMutable());
        EXPECT_EQ(colours(*fromData), std::vector<uint16_t>{c.colour});
        EXPECT_EQ(alphas(*fromData, 1), c.alpha < 0 ? std::vector<uint8_t>{} : std::vector<uint8_t>{uint8_t(c.alpha)});

        // A mutable image starts white and opaque; set converts one pixel of it.
        CkwImage2D* blank = image();
        ASSERT_EQ(trap([&] { blank->initBlank(c.format, 2, 2, false); }), KErrNone);
        ASSERT_EQ(trap([&] { blank->set(1, 1, 1, 1, static_cast<int32_t>(c.pixel.size()), c.pixel.data()); }), KErrNone);
        EXPECT_EQ(colours(*blank), (std::vector<uint16_t>{0xFFFF, 0xFFFF, 0xFFFF, c.colour}));
        if (c.alpha >= 0) {
            EXPECT_EQ(alphas(*blank, 4), (std::vector<uint8_t>{0xFF, 0xFF, 0xFF, uint8_t(c.alpha)}));
        }
        EXPECT_EQ(blank->colourPitch(), 4);
        EXPECT_EQ(blank->alphaPitch(), c.alpha < 0 ? 0 : 2);
    }
    CkwImage2D* luminance = image();
    ASSERT_EQ(trap([&] { luminance->initBlank(kImageFormatLuminanceAlpha, 1, 1, true); }), KErrNone);
    EXPECT_EQ(luminance->getRasterFormat(), kImageFormatRgba);
}

TEST_F(ImageTest, PaletteImagesHoldAllEntriesAndExpandIntoDirectPixels)
{
    // Two RGBA entries, indexed by 0, 1 and 255: every index byte names a defined entry.
    const uint8_t palette[] = {0xFF, 0, 0, 0x10, 0, 0xFF, 0, 0x20};
    const uint8_t indices[] = {0, 1, 255, 1};
    CkwImage2D* img = image();
    ASSERT_EQ(trap([&] { img->initPalettized(kImageFormatRgba, 2, 2, 4, indices, 8, palette); }), KErrNone);
    ASSERT_TRUE(img->hasPalette());
    const uint16_t* entries = img->getPalette();
    EXPECT_EQ(entries[0], 0xF800);
    EXPECT_EQ(entries[1], 0x07E0);
    EXPECT_EQ(entries[255], 0);
    EXPECT_EQ(alphas(*img, kPaletteEntries)[1], 0x20);
    EXPECT_EQ(alphas(*img, kPaletteEntries)[255], 0);
    EXPECT_EQ(std::vector<uint8_t>(img->getPixels(), img->getPixels() + 4), std::vector<uint8_t>(indices, indices + 4));

    ASSERT_EQ(trap([&] { img->expandPalette(); }), KErrNone);
    EXPECT_FALSE(img->hasPalette());
    EXPECT_EQ(colours(*img), (std::vector<uint16_t>{0xF800, 0x07E0, 0, 0x07E0}));
    EXPECT_EQ(alphas(*img, 4), (std::vector<uint8_t>{0x10, 0x20, 0, 0x20}));

    const std::vector<uint8_t> big(800, 7);
    const struct {
        const char* what;
        int32_t width;
        int32_t indexLength;
        int32_t paletteLength;
        int32_t code;
    } cases[] = {
        {"empty palette", 2, 4, 0, KErrIllegalArgument},
        {"100 RGB bytes", 2, 4, 100, KErrIllegalArgument},
        {"800 RGB bytes: 256 entries", 2, 4, 800, KErrNone},
        {"short indices", 2, 3, 6, KErrIllegalArgument},
        {"16384 wide", 16384, 4, 6, KErrNoMemory},
    };
    for (const auto& c : cases)
        EXPECT_EQ(trap([&] { image()->initPalettized(kImageFormatRgb, c.width, 2, c.indexLength, big.data(), c.paletteLength, big.data()); }),
                  c.code)
            << c.what;
}

TEST_F(ImageTest, SettersRefuseBadRectanglesSizesAndImmutableImages)
{
    CkwImage2D* mutableImage = image();
    CkwImage2D* fixed = image();
    const std::vector<uint8_t> data(64, 0x55);
    ASSERT_EQ(trap([&] {
        mutableImage->initBlank(kImageFormatRgb, 4, 4, false);
        fixed->initWithData(kImageFormatRgb, 4, 4, 48, data.data());
    }),
              KErrNone);
    const struct {
        const char* what;
        CkwImage2D* target;
        int32_t x, y, w, h, length;
        int32_t code;
    } cases[] = {
        {"inside", mutableImage, 1, 1, 3, 3, 27, KErrNone},
        {"x < 0", mutableImage, -1, 0, 1, 1, 3, KErrIllegalArgument},
        {"y < 0", mutableImage, 0, -1, 1, 1, 3, KErrIllegalArgument},
        {"empty", mutableImage, 0, 0, 0, 1, 3, KErrIllegalArgument},
        {"one past the right", mutableImage, 1, 0, 4, 1, 12, KErrIllegalArgument},
        {"one past the bottom", mutableImage, 0, 1, 1, 4, 12, KErrIllegalArgument},
        {"short data", mutableImage, 0, 0, 2, 2, 11, KErrIllegalArgument},
        {"immutable", fixed, 0, 0, 1, 1, 3, KErrIllegalState},
        {"immutable, outside", fixed, 4, 0, 1, 1, 3, KErrIllegalArgument},
    };
    for (const auto& c : cases)
        EXPECT_EQ(trap([&] { c.target->set(c.x, c.y, c.w, c.h, c.length, data.data()); }), c.code) << c.what;
    EXPECT_EQ(colours(*fixed)[0], 0x52AA);

    const struct {
        const char* what;
        std::function<void(CkwImage2D&)> call;
        int32_t code;
    } sizes[] = {
        {"16383 wide", [](CkwImage2D& i) { i.initBlank(kImageFormatRgb, 16383, 1, false); }, KErrNone},
        {"16384 wide", [](CkwImage2D& i) { i.initBlank(kImageFormatRgb, 16384, 1, false); }, KErrNoMemory},
        // Passes the size test, but its planes exceed what an image may take.
        {"16383 square", [](CkwImage2D& i) { i.initBlank(kImageFormatRgb, 16383, 16383, false); }, KErrNoMemory},
        {"short data", [&](CkwImage2D& i) { i.initWithData(kImageFormatRgba, 2, 2, 15, data.data()); }, KErrIllegalArgument},
        {"raw 16384 high", [&](CkwImage2D& i) { i.setImageData(kImageFormatRgb, 1, 16384, 2, 2, data.data()); }, KErrNoMemory},
        {"raw 2^28 bytes", [&](CkwImage2D& i) { i.setImageData(kImageFormatRgb, 1, 1, 1 << 28, 1 << 28, data.data()); }, KErrNoMemory},
        {"raw beyond capacity", [&](CkwImage2D& i) { i.setImageData(kImageFormatRgb, 1, 1, 2, 1, data.data()); }, KErrIllegalArgument},
    };
    for (const auto& c : sizes)
        EXPECT_EQ(trap([&] { c.call(*image()); }), c.code) << c.what;

    // An image that cannot grow keeps its size and planes together.
    ASSERT_EQ(trap([&] { fixed->initBlank(kImageFormatRgba, 16383, 16383, false); }), KErrNoMemory);
    EXPECT_EQ(fixed->getWidth(), 4);
    EXPECT_EQ(fixed->getFormat(), kImageFormatRgb);
    EXPECT_EQ(colours(*fixed)[15], 0x52AA);

    // Raw bytes short of the plane leave zeros behind them, not stale memory.
    CkwImage2D* raw = image();
    ASSERT_EQ(trap([&] { raw->setImageData(kImageFormatRgb, 2, 2, 3, 3, data.data()); }), KErrNone);
    EXPECT_EQ(colours(*raw), (std::vector<uint16_t>{0x5555, 0x0055, 0, 0}));
    EXPECT_EQ(raw->getAlphaPlane(), nullptr);
}

TEST_F(ImageTest, ImagesLoadFromTheirRecordsAndDuplicateWhole)
{
    M3gImage2DFields direct;
    direct.object.userId = 5;
    direct.format = kImageFormatRgba;
    direct.width = 2;
    direct.height = 1;
    direct.pixels = {0x12, 0x34, 0x56, 0x78, 0xFF, 0xFF, 0xFF, 0x00, 0xAA}; // one spare byte
    M3gImage2DFields palette;
    palette.width = 3;
    palette.height = 1;
    palette.palette = {0, 0, 0xFF, 0xFF, 0, 0};
    palette.pixels = {1, 0, 1};
    M3gImage2DFields blank;
    blank.format = kImageFormatLuminanceAlpha;
    blank.isMutable = true;
    blank.width = 3;
    blank.height = 2;
    CkwObject3D* loaded[3] = {};
    for (int32_t i = 0; i < 3; ++i) {
        const M3gImage2DFields& fields = i == 0 ? direct : i == 1 ? palette : blank;
        ASSERT_EQ(loadRecords(*this, [&](M3gFileWriter& w) { w.addObject(m3gImage2DRecord(fields)); }, &loaded[i]), -1) << i;
    }
    auto& d = *static_cast<CkwImage2D*>(loaded[0]);
    EXPECT_EQ(d.getUserID(), 5);
    EXPECT_EQ(colours(d), (std::vector<uint16_t>{0x11AA, 0xFFFF}));
    EXPECT_EQ(alphas(d, 2), (std::vector<uint8_t>{0x78, 0x00}));
    auto& p = *static_cast<CkwImage2D*>(loaded[1]);
    ASSERT_TRUE(p.hasPalette());
    EXPECT_EQ(p.getPalette()[0], 0x001F);
    EXPECT_EQ(p.getPalette()[1], 0xF800);
    EXPECT_EQ(p.getFormat(), kImageFormatRgb);
    auto& b = *static_cast<CkwImage2D*>(loaded[2]);
    EXPECT_TRUE(b.isMutable());
    EXPECT_EQ(colours(b), std::vector<uint16_t>(6, 0xFFFF));
    EXPECT_EQ(alphas(b, 6), std::vector<uint8_t>(6, 0xFF));

    for (CkwObject3D* source : loaded) {
        CkwImage2D* copy = nullptr;
        ASSERT_EQ(trap([&] { copy = hold(static_cast<CkwImage2D*>(source->duplicate())); }), KErrNone);
        auto& original = *static_cast<CkwImage2D*>(source);
        EXPECT_EQ(copy->getUserID(), original.getUserID());
        EXPECT_EQ(copy->getFormat(), original.getFormat());
        EXPECT_EQ(copy->isMutable(), original.isMutable());
        EXPECT_EQ(copy->hasPalette(), original.hasPalette());
        EXPECT_EQ(colours(*copy), colours(original));
        const int32_t alphaCount = original.hasPalette() ? kPaletteEntries : original.getWidth() * original.getHeight();
        EXPECT_EQ(alphas(*copy, alphaCount), alphas(original, alphaCount));
        EXPECT_NE(copy->getPixels(), original.getPixels());
    }
}

TEST_F(ImageTest, CorruptImageRecordsFailWithTheFilesCode)
{
    const auto record = [](const std::function<void(M3gImage2DFields&)>& change) {
        M3gImage2DFields f;
        f.width = 2;
        f.height = 2;
        f.pixels.assign(12, 1);
        change(f);
        return m3gImage2DRecord(f);
    };
    M3gRecordWriter badBoolean;
    m3gWriteObject3D(badBoolean, {});
    badBoolean.byte(kImageFormatRgb).byte(2).uint32(1).uint32(1);
    M3gRecordWriter pastEnd;
    m3gWriteObject3D(pastEnd, {});
    pastEnd.byte(kImageFormatRgb).boolean(false).uint32(1).uint32(1).uint32(0).uint32(1000).bytes(std::vector<uint8_t>(3));
    const struct {
        const char* what;
        M3gRecord record;
        int32_t code;
    } cases[] = {
        {"format 95", record([](auto& f) { f.format = 95; }), KErrIndexOutOfRange},
        {"format 101", record([](auto& f) { f.format = 101; }), KErrIndexOutOfRange},
        {"mutable byte 2", badBoolean.record(kM3gTypeImage2D), KErrIndexOutOfRange},
        {"width 0", record([](auto& f) { f.width = 0; }), KErrCorruptData},
        {"height 16384", record([](auto& f) { f.height = 16384; }), KErrNoMemory},
        {"short pixels", record([](auto& f) { f.pixels.resize(11); }), KErrCorruptData},
        {"100 palette bytes", record([](auto& f) { f.palette.assign(100, 0); }), KErrCorruptData},
        {"short indices", record([](auto& f) { f.palette.assign(6, 0); f.pixels.resize(3); }), KErrCorruptData},
        {"pixel count past the record", pastEnd.record(kM3gTypeImage2D), KErrReadPastEnd},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(readRecord(*image(), c.record), c.code) << c.what;
        EXPECT_NE(loadRecords(*this, [&](M3gFileWriter& w) { w.addObject(c.record); }), -1) << c.what;
    }
    // Blank images of 32 MiB each from records of a few bytes: a file gets two.
    const M3gRecord blank = record([](auto& f) { f.isMutable = true; f.width = f.height = 4096; });
    const auto blanks = [&](int n) { return [&, n](M3gFileWriter& w) { for (int i = 0; i < n; ++i) w.addObject(blank); }; };
    EXPECT_EQ(loadRecords(*this, blanks(2)), -1);
    EXPECT_NE(loadRecords(*this, blanks(3)), -1);
}

TEST_F(ImageTest, TexturesTakePowerOfTwoImagesAndAnimateTheirBlendColour)
{
    auto* texture = hold(new CkwTexture2D);
    const struct {
        int32_t width, height;
        int32_t code;
    } sizes[] = {{64, 32, KErrNone}, {1, 1024, KErrNone}, {48, 32, KErrIllegalArgument}, {2048, 2048, KErrIllegalArgument}};
    for (const auto& c : sizes) {
        CkwImage2D* img = image();
        ASSERT_EQ(trap([&] { img->initBlank(kImageFormatRgb, c.width, c.height, true); }), KErrNone);
        EXPECT_EQ(trap([&] { texture->setImage(img); }), c.code) << c.width << "x" << c.height;
    }
    EXPECT_EQ(texture->getImage()->getHeight(), 1024); // a refused image keeps the last good one
    EXPECT_TRUE(texture->isAnimatable(kPropertyColor));
    EXPECT_TRUE(texture->isAnimatable(kPropertyTranslation));
    EXPECT_FALSE(texture->isAnimatable(kPropertyAlpha));
    const float values[3] = {1.2f, 0.5f, -1.0f};
    texture->applyAnimatedProperty(kPropertyColor, 3, values);
    EXPECT_EQ(texture->getBlendColor(), 0xFF8000u);

    // A texture record round trip, sharing its image with the copy.
    CkwObject3D* loaded = nullptr;
    M3gTexture2DFields fields;
    fields.blendColor = 0x123456;
    fields.blending = kTextureFuncDecal;
    fields.wrappingS = kTextureWrapClamp;
    fields.levelFilter = kTextureFilterLinear;
    fields.imageFilter = kTextureFilterLinear;
    ASSERT_EQ(loadRecords(*this,
                          [&](M3gFileWriter& w) {
                              M3gImage2DFields img;
                              img.width = 4;
                              img.height = 2;
                              img.pixels.assign(24, 9);
                              fields.image = w.addObject(m3gImage2DRecord(img));
                              w.addObject(m3gTexture2DRecord(fields));
                          },
                          &loaded),
              -1);
    auto& t = *static_cast<CkwTexture2D*>(loaded);
    EXPECT_EQ(t.getBlendColor(), 0x123456u);
    EXPECT_EQ(t.getBlending(), kTextureFuncDecal);
    EXPECT_EQ(t.getWrappingS(), kTextureWrapClamp);
    EXPECT_EQ(t.getWrappingT(), kTextureWrapRepeat);
    EXPECT_EQ(t.getLevelFilter(), kTextureFilterLinear);
    EXPECT_EQ(t.getImageFilter(), kTextureFilterLinear);
    CkwTexture2D* copy = nullptr;
    ASSERT_EQ(trap([&] { copy = hold(static_cast<CkwTexture2D*>(t.duplicate())); }), KErrNone);
    EXPECT_EQ(copy->getImage(), t.getImage());
    EXPECT_EQ(copy->getBlending(), kTextureFuncDecal);
    EXPECT_EQ(t.getImage()->refCount(), 2); // the texture's and the copy's
    CkwObject3D* references[2] = {};
    EXPECT_EQ(t.getReferences(2, references), 1);
    EXPECT_EQ(references[0], t.getImage());

    // Index 2 is a good image, 3 one three pixels wide.
    CkwImage2D* good = image();
    CkwImage2D* odd = image();
    ASSERT_EQ(trap([&] {
        good->initBlank(kImageFormatRgb, 4, 1, true);
        odd->initBlank(kImageFormatRgb, 3, 1, true);
    }),
              KErrNone);
    const auto record = [](const std::function<void(M3gTexture2DFields&)>& change) {
        M3gTexture2DFields f;
        f.image = 2;
        change(f);
        return m3gTexture2DRecord(f);
    };
    const struct {
        const char* what;
        M3gRecord record;
        int32_t code;
    } corrupt[] = {
        {"good", record([](auto&) {}), KErrNone},
        {"no image", record([](auto& f) { f.image = 0; }), KErrCorruptData},
        {"image 3 wide", record([](auto& f) { f.image = 3; }), KErrCorruptData},
        {"blending 229", record([](auto& f) { f.blending = 229; }), KErrIndexOutOfRange},
        {"wrapping 239", record([](auto& f) { f.wrappingT = 239; }), KErrIndexOutOfRange},
        {"level filter 211", record([](auto& f) { f.levelFilter = 211; }), KErrIndexOutOfRange},
        {"image filter 208", record([](auto& f) { f.imageFilter = 208; }), KErrIndexOutOfRange},
    };
    for (const auto& c : corrupt)
        EXPECT_EQ(readRecord(*hold(new CkwTexture2D), c.record, {good, odd}), c.code) << c.what;
}

} // namespace
