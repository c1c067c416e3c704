// Procedural and compressed images: warp maps at exact points, a small plasma
// against its formula worked out here, generation that repeats itself and
// obeys its lock, every cell mode, and compressed images with their levels.
#include "engine/scene/CkwPlasmaImage.h"

#include <gtest/gtest.h>

#include <set>

#include "engine/scene/CkwCompressedImage2D.h"
#include "engine/scene/ImageTestKit.h"

namespace {

constexpr int32_t kOne = 0x10000;

class PlasmaTest : public ::testing::Test, public SceneTest {
protected:
    CkwPlasmaImage* load(const M3gPlasmaFields& fields)
    {
        CkwObject3D* loaded = nullptr;
        EXPECT_EQ(loadRecords(*this, [&](M3gFileWriter& w) { w.addObject(m3gPlasmaRecord(fields)); }, &loaded), -1);
        return static_cast<CkwPlasmaImage*>(loaded);
    }
    CkwPlasmaImage* fresh()
    {
        IkwSerializable* made = nullptr;
        EXPECT_EQ(trap([&] { made = CkwPlasmaImage::create(); }), KErrNone);
        return hold(static_cast<CkwPlasmaImage*>(made));
    }
};

TEST_F(PlasmaTest, WarpMapsAnswerAtExactPoints)
{
    CkwWarpMap empty;
    CkwWarpMap single;
    single.appendKnot(kOne / 4, 12345);
    CkwWarpMap straight;
    straight.appendKnot(0, 0);
    straight.appendKnot(kOne, kOne);
    CkwWarpMap smooth;
    smooth.copyFrom(straight);
    smooth.setSmooth(true);
    CkwWarpMap folded; // the segment from 2 down to 1 holds nothing
    for (const SkwKnot k : {SkwKnot{0, 0}, SkwKnot{2 * kOne, 2 * kOne}, SkwKnot{kOne, kOne}, SkwKnot{3 * kOne, kOne}})
        folded.appendKnot(k.x, k.y);
    CkwWarpMap hill;
    hill.setSmooth(true);
    hill.appendKnot(0, 0);
    hill.appendKnot(kOne / 2, kOne);
    hill.appendKnot(kOne, 0);
    const struct {
        const char* what;
        const CkwWarpMap& map;
        int32_t x, y;
    } cases[] = {
        {"empty", empty, 777, kOne / 2},
        {"one knot", single, -kOne, 12345},
        {"straight inside", straight, kOne / 4, kOne / 4},
        {"straight below", straight, -kOne / 2, 0},
        {"straight above", straight, 2 * kOne, kOne},
        {"smooth line midway", smooth, kOne / 2, kOne / 2},
        {"smooth line continues below", smooth, -kOne / 2, -kOne / 2},
        {"smooth line continues above", smooth, 2 * kOne, 2 * kOne},
        // Hermite on the first half of a hill: 1/8 x slope 1 + 1/2 x height 1.
        {"hill at a quarter", hill, kOne / 4, 40960},
        {"hill at its knot", hill, kOne / 2, kOne},
        {"folded: the first segment holding x", folded, 3 * kOne / 2, 3 * kOne / 2},
        {"folded: past the first", folded, 5 * kOne / 2, kOne},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.map.evaluate(c.x), c.y) << c.what;
    straight.appendKnot(2 * kOne, 0);
    EXPECT_EQ(straight.evaluate(3 * kOne / 2), kOne / 2) << "a knot added after an answer";
}

// Twice the pixels and twice the knots cost about twice the visits.
TEST_F(PlasmaTest, WarpMapsCostInProportionToKnotsAndPixels)
{
    uint64_t visits[2] = {};
    for (int32_t k = 0; k < 2; ++k) {
        M3gPlasmaFields fields;
        fields.widthExponent = static_cast<uint8_t>(3 + k);
        for (int32_t i = 0, n = 1000 << k; i < n; ++i)
            fields.warpMaps[0].knots.push_back({float(i) / float(n), 0.5f});
        fields.warpMaps[1] = fields.warpMaps[0];
        const uint64_t before = engineContext()->visits;
        ASSERT_NE(load(fields), nullptr);
        visits[k] = engineContext()->visits - before;
    }
    EXPECT_LT(visits[1], visits[0] * 5 / 2) << visits[0] << " then " << visits[1];
}

// A 2 x 2 plasma coloured by one feature (s) and its row (t): feature 12 is
// the height at the pixel, 13 the height mirrored about the field's middle,
// 15 a hash of the pixel's own raw height.
TEST_F(PlasmaTest, SmallPlasmaMatchesItsFormula)
{
    M3gPlasmaFields fields;
    fields.seed = 0x1234567;
    fields.widthExponent = 1;
    fields.heightExponent = 1;
    const int32_t features[] = {12, 13, 15};
    std::vector<CkwPlasmaImage*> plasmas;
    for (const int32_t feature : features) {
        fields.weightsA = {};
        fields.weightsA[size_t(feature)] = 1;
        plasmas.push_back(load(fields));
    }
    ASSERT_EQ(plasmas[0]->getWidth(), 2);

    // A 2 x 2 field: (0, 0) is 0, the other three points get one displacement
    // each from the seed's first three draws (their neighbours are all 0).
    uint32_t seed = fields.seed;
    int32_t d[3];
    for (int32_t& r : d) {
        seed = seed * 1664525u + 1013904223u;
        r = static_cast<int32_t>(seed & 0xFFFF);
    }
    const int32_t mean = static_cast<int32_t>((int64_t{d[0] + d[1] + d[2]} * 21845) >> 16);
    const int32_t grid[4] = {0, d[0] - mean, d[1] - mean, d[2] - mean};
    int32_t largest = 0;
    for (int32_t g : grid)
        largest = std::max(largest, std::abs(g));
    const int64_t norm = 0x7D710000 / largest;
    int32_t c[4][3];
    for (int i = 0; i < 4; ++i)
        for (int ch = 0; ch < 3; ++ch) {
            const int32_t b = (fields.colours[size_t(i)] >> (16 - 8 * ch)) & 0xFF;
            c[i][ch] = b + ((b + 128) >> 8); // 255 becomes 256
        }
    const auto lerp = [](int32_t a, int32_t b, int32_t f) { return a + (((f >> 8) * (b - a)) >> 8); };
    for (size_t f = 0; f < plasmas.size(); ++f) {
        std::vector<uint16_t> expected(4);
        for (int32_t j = 0; j < 2; ++j) {
            for (int32_t x = 0; x < 2; ++x) {
                const int32_t k = x + 2 * j, at = features[f] == 12 ? k : (2 - k) & 3;
                const int32_t s = features[f] == 15 ? static_cast<int32_t>((uint32_t(grid[k]) * 2709u - 2327u) & 0xFFFF)
                                                    : static_cast<int32_t>((grid[at] * norm) >> 16) + kOne / 2;
                const int32_t t = j * kOne / 2;
                uint32_t rgb[3];
                for (int ch = 0; ch < 3; ++ch) {
                    const int32_t p = lerp(c[1][ch], c[0][ch], s);
                    const int32_t q = lerp(c[3][ch], c[2][ch], s);
                    rgb[ch] = static_cast<uint32_t>(std::clamp(lerp(p, q, t), 0, 255));
                }
                expected[static_cast<size_t>((1 - j) * 2 + x)] = packRgb565(rgb[0], rgb[1], rgb[2]); // last row first
            }
        }
        EXPECT_EQ(colours(*plasmas[f]), expected) << "feature " << features[f];
    }
}

TEST_F(PlasmaTest, GenerationRepeatsObeysItsLockAndCoversEveryCellMode)
{
    for (uint8_t mode = 1; mode <= 5; ++mode) {
        SCOPED_TRACE(mode);
        M3gPlasmaFields fields;
        fields.widthExponent = 5;
        fields.heightExponent = 4;
        fields.detailDepth = 2;
        fields.turbulence = 0.75f;
        fields.cellMode = mode;
        fields.cellWidthExponent = 3;
        fields.cellHeightExponent = 2;
        for (int i = 0; i < 16; ++i) {
            fields.weightsA[i] = 0.1f * float(i + 1);
            fields.weightsB[i] = i % 3 == 0 ? -0.5f : 0.25f;
        }
        fields.warpMaps[0] = {true, {{0, 0.4f}, {0.5f, 0.6f}, {1, 0.5f}}};
        fields.warpMaps[1] = {false, {{0.2f, 0.3f}, {0.8f, 0.7f}}};
        CkwPlasmaImage* a = load(fields);
        CkwPlasmaImage* b = load(fields);
        const std::vector<uint16_t> pixels = colours(*a);
        ASSERT_EQ(pixels.size(), 512u);
        EXPECT_EQ(colours(*b), pixels);
        EXPECT_GT(std::set<uint16_t>(pixels.begin(), pixels.end()).size(), 8u);
        CkwPlasmaImage* copy = nullptr;
        ASSERT_EQ(trap([&] { copy = hold(static_cast<CkwPlasmaImage*>(a->duplicate())); }), KErrNone);
        EXPECT_TRUE(copy->isDirty());
        EXPECT_EQ(colours(*copy), pixels);

        // Held off while locked; the last unlock regenerates the same pixels.
        std::fill(a->CkwImage2D::getPixels(), a->CkwImage2D::getPixels() + 1024, 0);
        a->lock(true);
        a->lock(true);
        a->setDirty();
        EXPECT_EQ(colours(*a), std::vector<uint16_t>(512, 0));
        a->lock(false);
        EXPECT_EQ(colours(*a), std::vector<uint16_t>(512, 0));
        a->lock(false);
        EXPECT_EQ(colours(*a), pixels);
    }
}

TEST_F(PlasmaTest, PlasmaRecordsRefuseHugeSizesAndBadValues)
{
    const auto record = [](const std::function<void(M3gPlasmaFields&)>& change) {
        M3gPlasmaFields f;
        f.widthExponent = 2;
        f.heightExponent = 2;
        change(f);
        return m3gPlasmaRecord(f);
    };
    const struct {
        const char* what;
        M3gRecord record;
        int32_t code;
    } cases[] = {
        {"small", record([](auto&) {}), KErrNone},
        // Read, but too large to generate.
        {"width exponent 14", record([](auto& f) { f.widthExponent = 14; }), KErrNoMemory},
        {"both exponents 15", record([](auto& f) { f.widthExponent = f.heightExponent = 15; }), KErrNoMemory},
        {"height exponent 16", record([](auto& f) { f.heightExponent = 16; }), KErrCorruptData},
        {"detail 16", record([](auto& f) { f.detailDepth = 16; }), KErrCorruptData},
        {"cell mode 6", record([](auto& f) { f.cellMode = 6; }), KErrIndexOutOfRange},
        {"cell mode 0", record([](auto& f) { f.cellMode = 0; }), KErrIndexOutOfRange},
        {"cell exponent 16", record([](auto& f) { f.cellHeightExponent = 16; }), KErrCorruptData},
        {"knots past the record", record([](auto& f) { f.warpMaps[3].knots.clear(); }), KErrNone},
        // Made bytes it may have, but 4 Mi pixels of work.
        {"generation past the load's allowance", record([](auto& f) { f.widthExponent = f.heightExponent = 11; }),
         KErrNoMemory},
    };
    for (const auto& c : cases)
        EXPECT_EQ(readRecord(*fresh(), c.record), c.code) << c.what;
    M3gRecord cut = record([](auto&) {});
    cut.data.resize(cut.data.size() - 4);
    EXPECT_EQ(readRecord(*fresh(), cut), KErrReadPastEnd);

    // A picture that fits the load's allowance alone is refused after another
    // before it is generated: only the first's 24 steps a pixel are taken.
    const uint64_t generated = engineContext()->generationSteps;
    const auto twoPictures = [&](M3gFileWriter& w) {
        w.beginSection(kM3gSchemeZlib);
        for (const uint8_t height : {9, 10})
            w.addObject(record([&](auto& f) { f.widthExponent = 10, f.heightExponent = height; }));
    };
    EXPECT_EQ(loadRecords(*this, twoPictures), KErrNoMemory);
    EXPECT_EQ(engineContext()->generationSteps - generated, 24u << 19);

    // A zero exponent generates nothing and stays an empty image.
    M3gPlasmaFields flat;
    flat.widthExponent = 0;
    EXPECT_EQ(load(flat)->getPixels(), nullptr);
}

// Weights and knots far out of range saturate and still generate; the cell
// angle is the arctangent of (dx, dy); an inserted knot redraws; the small
// helpers give their exact values.
TEST_F(PlasmaTest, ExtremeValuesAngleKnotsAndHelpers)
{
    M3gPlasmaFields extreme;
    extreme.widthExponent = extreme.heightExponent = 3;
    extreme.weightsA[0] = -40000.0f;
    extreme.weightsB[2] = 1e9f;
    extreme.warpMaps[0] = {false, {{0, -1e6f}, {1, 1e6f}}};
    extreme.warpMaps[1] = {true, {{0, 1e6f}, {0.5f, -1e6f}, {1, 1e6f}}};
    EXPECT_EQ(colours(*load(extreme)).size(), 64u);
    // Smooth maps whose knots lie 2^32 apart on both axes, as a file's floats
    // saturate: in a record, then across the span and past either end of one
    // that rises at once. The sanitizer build checks the arithmetic.
    extreme.warpMaps[0] = extreme.warpMaps[2] = extreme.warpMaps[3] = {true, {{-40000, -40000}, {40000, 40000}}};
    EXPECT_EQ(colours(*load(extreme)).size(), 64u);
    for (const auto& [x0, x1] : {std::pair{INT32_MIN, INT32_MAX}, {INT32_MIN, INT32_MIN}, {INT32_MAX, INT32_MAX}}) {
        CkwWarpMap map;
        map.setSmooth(true);
        map.appendKnot(x0, INT32_MIN);
        map.appendKnot(x1, INT32_MAX);
        for (const int32_t x : {INT32_MIN, 0, INT32_MAX})
            map.evaluate(x);
    }

    // Only the angle colours s; c2 = c0 and c3 = c1 make t irrelevant.
    M3gPlasmaFields angle;
    angle.widthExponent = angle.heightExponent = 3;
    angle.cellWidthExponent = angle.cellHeightExponent = 2;
    angle.weightsA = {};
    angle.weightsA[10] = 1.0f;
    angle.colours = {0x000000, 0xFFFFFF, 0x000000, 0xFFFFFF};
    CkwPlasmaImage* plasma = load(angle);
    // Column 3 of row 2 lies half a cell right of its cell's centre: dx 0.5,
    // dy 0, a quarter turn, so s is 0.75 and the grey a quarter of white.
    const uint16_t pixel = colours(*plasma)[(8 - 1 - 2) * 8 + 3];
    EXPECT_NEAR(pixel >> 11, 64 >> 3, 1);

    plasma->insertKnot(0, 0, 0, kOne);
    EXPECT_TRUE(plasma->isDirty());
    EXPECT_EQ(plasma->warpMap(0).evaluate(kOne / 3), kOne);
    EXPECT_EQ(trap([&] { plasma->insertKnot(0, 2, 0, 0); }), KErrIndexOutOfRange);
    plasma->insertKnot(0, 0, -kOne, 0);
    EXPECT_EQ(plasma->warpMap(0).knots()[1].y, kOne);

    const struct {
        float value;
        int32_t channel;
    } channels[] = {{1.0f, 256}, {0.5f, 128}, {0.0f, 0}, {0.001f, 0}, {0.002f, 1}, {1e10f, 8388608}};
    for (const auto& c : channels)
        EXPECT_EQ(CkwPlasmaImage::channelFromFloat(c.value), c.channel) << c.value;
    const int32_t hashes[][2] = {{0, 63209}, {1, 382}, {-1, 60500}, {12345, 16918}};
    for (const auto& h : hashes)
        EXPECT_EQ(CkwPlasmaImage::hash16(h[0]), h[1]) << h[0];
    EXPECT_EQ(CkwPlasmaImage::clampWarp(-5), 0);
    EXPECT_EQ(CkwPlasmaImage::clampWarp(INT32_MAX), kOne);
}

TEST_F(PlasmaTest, CompressedImagesKeepTheirLevelsAndShowNoPixels)
{
    auto* image = hold(new CkwCompressedImage2D);
    const std::vector<uint8_t> bytes = {1, 2, 3, 4, 5, 6, 7, 8, 9};
    EXPECT_EQ(trap([&] { image->setImageData(kImageFormatRgb, 6, 8, 4, 4, bytes.data()); }), KErrIllegalArgument);
    ASSERT_EQ(trap([&] { image->setImageData(kImageFormatRgb, 8, 2, 4, 4, bytes.data()); }), KErrNone);
    EXPECT_EQ(image->getLevelCount(), 4);
    EXPECT_EQ(image->getRasterFormat(), kRasterFormatCompressed);
    EXPECT_EQ(image->getPixels(), nullptr);
    EXPECT_EQ(trap([&] { image->duplicate(); }), KErrIllegalState); // three levels missing
    EXPECT_EQ(trap([&] { image->addLevel(3, 2, bytes.data()); }), KErrIllegalArgument);
    for (int32_t level = 1; level < 4; ++level)
        ASSERT_EQ(trap([&] { image->addLevel(level, level, bytes.data() + 4); }), KErrNone) << level;
    EXPECT_EQ(trap([&] { image->addLevel(1, 1, bytes.data()); }), KErrIllegalState); // a fifth level
    int32_t length = 0;
    const uint8_t* third = image->getLevel(3, length);
    EXPECT_EQ(std::vector<uint8_t>(third, third + length), (std::vector<uint8_t>{5, 6, 7}));
    EXPECT_EQ(image->getLevel(4, length), nullptr);

    M3gCompressedImageFields fields;
    fields.width = 2;
    fields.height = 4;
    fields.levels = {{9, 9, 9}, {8}, {7, 7}};
    CkwObject3D* loaded = nullptr;
    ASSERT_EQ(loadRecords(*this, [&](M3gFileWriter& w) { w.addObject(m3gCompressedImageRecord(fields)); }, &loaded), -1);
    auto& c = *static_cast<CkwCompressedImage2D*>(loaded);
    EXPECT_EQ(c.getStoredLevelCount(), 3);
    CkwCompressedImage2D* copy = nullptr;
    ASSERT_EQ(trap([&] { copy = hold(static_cast<CkwCompressedImage2D*>(c.duplicate())); }), KErrNone);
    const uint8_t* second = copy->getLevel(2, length);
    EXPECT_EQ(std::vector<uint8_t>(second, second + length), (std::vector<uint8_t>{7, 7}));

    fields.height = 0;
    EXPECT_EQ(readRecord(*image, m3gCompressedImageRecord(fields)), KErrCorruptData);
    fields.height = 3;
    EXPECT_EQ(readRecord(*image, m3gCompressedImageRecord(fields)), KErrIllegalArgument);
}

} // namespace
