// Stagesets: depth values beside the pixels, their one-time conversion to
// depth-buffer values for both projections, rectangle updates and the
// stageset's record.
#include "engine/scene/CkwStageset.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "engine/scene/CkwCamera.h"
#include "engine/scene/ImageTestKit.h"

namespace {

class StagesetTest : public ::testing::Test, public SceneTest {
protected:
    CkwStageset* stageset() { return hold(new CkwStageset); }
    static std::vector<uint16_t> depth(CkwStageset& s)
    {
        return std::vector<uint16_t>(s.getDepthMap(), s.getDepthMap() + s.getWidth() * s.getHeight());
    }
};

// The conversion as a reference in double precision; the engine works in
// float, so results may differ by one step.
uint16_t referenceDepth(bool parallel, double v, double scale, double offset, double nearZ, double farZ)
{
    double z = v == 0 ? farZ : v * scale + offset;
    z = std::clamp(z, nearZ, farZ);
    const double k = parallel ? 4095.0 / (farZ - nearZ) : farZ * 4095.0 / (farZ - nearZ);
    const double d = parallel ? (z - nearZ) * k : (1.0 - nearZ / z) * k;
    return static_cast<uint16_t>(static_cast<uint32_t>(d * 65536.0) >> 12);
}

TEST_F(StagesetTest, DepthValuesConvertOnceForEitherProjection)
{
    const uint16_t values[] = {0, 10, 1, 500};
    for (const bool parallel : {true, false}) {
        SCOPED_TRACE(parallel ? "parallel" : "perspective");
        std::vector<uint8_t> data(4 * 5, 0x80);
        for (int i = 0; i < 4; ++i) {
            data[12 + 2 * i] = static_cast<uint8_t>(values[i]);
            data[13 + 2 * i] = static_cast<uint8_t>(values[i] >> 8);
        }
        CkwStageset* s = stageset();
        ASSERT_EQ(trap([&] { s->initWithData(2, 2, 20, data.data()); }), KErrNone);
        EXPECT_EQ(depth(*s), (std::vector<uint16_t>{0, 10, 1, 500}));
        s->setDepthScale(2.0f);
        s->setDepthOffset(-5.0f); // the stored 1 stands before the near plane
        CkwCamera* camera = hold(new CkwCamera);
        if (parallel)
            camera->setParallel(2.0f, 1.0f, 1.0f, 100.0f);
        else
            camera->setPerspective(60.0f, 1.0f, 1.0f, 100.0f);
        s->prepareDepthMap(nullptr); // no camera: nothing yet
        EXPECT_TRUE(s->isDepthMapUnconverted());
        s->prepareDepthMap(camera);
        const std::vector<uint16_t> converted = depth(*s);
        EXPECT_EQ(converted[0], 65520); // nothing there: the far plane
        EXPECT_EQ(converted[2], 0);     // clamped to the near plane
        EXPECT_EQ(converted[3], 65520); // beyond the far plane
        EXPECT_NEAR(converted[1], referenceDepth(parallel, 10, 2.0, -5.0, 1.0, 100.0), 1);
        // Converted once: a new scale or camera changes nothing.
        s->setDepthScale(1.0f);
        camera->setParallel(1.0f, 1.0f, 0.5f, 10.0f);
        s->prepareDepthMap(camera);
        EXPECT_EQ(depth(*s), converted);
    }
    CkwStageset* generic = stageset();
    ASSERT_EQ(trap([&] { generic->initBlank(1, 1); }), KErrNone);
    CkwCamera* camera = hold(new CkwCamera); // a generic projection
    generic->prepareDepthMap(camera);
    EXPECT_EQ(depth(*generic), std::vector<uint16_t>{0xFFFF});
    EXPECT_FALSE(generic->isDepthMapUnconverted());
}

TEST_F(StagesetTest, RectanglesCarryTheirDepthAndShortDataIsRefused)
{
    CkwStageset* s = stageset();
    ASSERT_EQ(trap([&] { s->initBlank(3, 2); }), KErrNone);
    EXPECT_TRUE(s->isMutable());
    EXPECT_EQ(colours(*s), std::vector<uint16_t>(6, 0xFFFF));
    EXPECT_EQ(depth(*s), std::vector<uint16_t>(6, 0xFFFF));
    // Two by two at column 1: four RGB pixels, then four depth values.
    const std::vector<uint8_t> data = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 2, 0, 3, 0, 4, 1};
    ASSERT_EQ(trap([&] { s->setWithDepth(1, 0, 2, 2, 20, data.data()); }), KErrNone);
    EXPECT_EQ(depth(*s), (std::vector<uint16_t>{0xFFFF, 1, 2, 0xFFFF, 3, 0x104}));
    EXPECT_EQ(colours(*s), (std::vector<uint16_t>{0xFFFF, 0, 0, 0xFFFF, 0, 0}));

    CkwStageset* fixed = stageset();
    const std::vector<uint8_t> bytes(40, 1);
    const struct {
        const char* what;
        std::function<void()> call;
        int32_t code;
    } cases[] = {
        {"depth one byte short", [&] { s->setWithDepth(0, 0, 2, 2, 19, bytes.data()); }, KErrIllegalArgument},
        {"outside", [&] { s->setWithDepth(2, 0, 2, 1, 20, bytes.data()); }, KErrIllegalArgument},
        {"colour only", [&] { fixed->initWithData(2, 2, 12, bytes.data()); }, KErrIllegalArgument},
        {"short colour", [&] { fixed->initWithData(2, 2, 11, bytes.data()); }, KErrIllegalArgument},
        {"immutable", [&] { fixed->setWithDepth(0, 0, 1, 1, 5, bytes.data()); }, KErrIllegalState},
    };
    for (const auto& c : cases)
        EXPECT_EQ(trap(c.call), c.code) << c.what;

    // Laid out again through the plain image calls, the depth map follows the size.
    ASSERT_EQ(trap([&] { s->CkwImage2D::initBlank(kImageFormatRgba, 4, 3, false); }), KErrNone);
    EXPECT_EQ(depth(*s), std::vector<uint16_t>(12, 0xFFFF));
    ASSERT_EQ(trap([&] { s->setWithDepth(3, 2, 1, 1, 6, bytes.data()); }), KErrNone);
    EXPECT_EQ(depth(*s)[11], 0x0101);
}

TEST_F(StagesetTest, StagesetsLoadFromTheirRecordAndDuplicate)
{
    M3gStagesetFields fields;
    fields.image.width = 2;
    fields.image.height = 1;
    fields.image.pixels = {0xFF, 0, 0, 0, 0, 0xFF};
    fields.depthOffset = 1.0f;
    fields.depthScale = 2.0f;
    fields.depth = {0, 10};
    CkwObject3D* loaded = nullptr;
    ASSERT_EQ(loadRecords(*this, [&](M3gFileWriter& w) { w.addObject(m3gStagesetRecord(fields)); }, &loaded), -1);
    auto& s = *static_cast<CkwStageset*>(loaded);
    EXPECT_EQ(colours(s), (std::vector<uint16_t>{0xF800, 0x001F}));
    EXPECT_EQ(depth(s), (std::vector<uint16_t>{0, 10}));
    EXPECT_EQ(s.getDepthScale(), 2.0f);
    EXPECT_EQ(s.getDepthOffset(), 1.0f);
    CkwStageset* copy = nullptr;
    ASSERT_EQ(trap([&] { copy = hold(static_cast<CkwStageset*>(s.duplicate())); }), KErrNone);
    EXPECT_EQ(depth(*copy), depth(s));
    EXPECT_EQ(colours(*copy), colours(s));
    EXPECT_EQ(copy->getDepthScale(), 2.0f);

    M3gStagesetFields blank;
    blank.image.isMutable = true;
    blank.image.width = 3;
    ASSERT_EQ(loadRecords(*this, [&](M3gFileWriter& w) { w.addObject(m3gStagesetRecord(blank)); }, &loaded), -1);
    EXPECT_EQ(depth(*static_cast<CkwStageset*>(loaded)), std::vector<uint16_t>(3, 0xFFFF));

    M3gStagesetFields nan = fields;
    nan.depthScale = std::numeric_limits<float>::quiet_NaN();
    M3gStagesetFields shortDepth = fields;
    shortDepth.depth = {0};
    // An own-format type: a plain M3G file may not hold one.
    M3gFileWriter m3g;
    m3g.addObject(m3gStagesetRecord(fields));
    CkwSerializeObjectsIn parser;
    EXPECT_NE(feedFile(parser, m3g.finish(), fixedPieces(4096), false), -1);
    EXPECT_EQ(readRecord(*stageset(), m3gStagesetRecord(nan)), KErrCorruptData);
    EXPECT_EQ(readRecord(*stageset(), m3gStagesetRecord(shortDepth)), KErrReadPastEnd);
}

} // namespace
