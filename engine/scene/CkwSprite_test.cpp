// Sprites: crop limits, the crop as texture coordinates (mirrored, and left
// where it lies when it reaches past the image),
// CROP animation through roundClamp, duplication and the sprite's record.
#include "engine/scene/CkwSprite.h"

#include <gtest/gtest.h>

#include <limits>

#include "engine/core/math/FloatBits.h"
#include "engine/core/scene/SceneIds.h"
#include "engine/scene/CkwStageset.h"
#include "engine/scene/ImageTestKit.h"

namespace {

class SpriteTest : public ::testing::Test, public SceneTest {
protected:
    CkwImage2D* blank(int32_t width, int32_t height)
    {
        CkwImage2D* img = hold(new CkwImage2D);
        EXPECT_EQ(trap([&] { img->initBlank(kImageFormatRgb, width, height, true); }), KErrNone);
        return img;
    }
    CkwSprite* sprite() { return hold(new CkwSprite); }
};

TEST_F(SpriteTest, CropCoordinatesMirrorAndStayWhereTheCropLies)
{
    CkwSprite* s = sprite();
    s->setImage(blank(2048, 16));
    EXPECT_EQ(s->getCropWidth(), 1024.0f);
    EXPECT_EQ(s->getCropHeight(), 16.0f);
    s->setImage(blank(64, 32));
    EXPECT_EQ(trap([&] { s->setCrop(0, 0, -1024, 1024); }), KErrNone);
    EXPECT_EQ(trap([&] { s->setCrop(0, 0, 1025, 1); }), KErrIllegalArgument);
    EXPECT_EQ(trap([&] { s->setCrop(0, 0, 1, INT32_MIN); }), KErrIllegalArgument);

    const struct {
        const char* what;
        int32_t x, y, w, h;
        int32_t left, top, right, bottom;
    } cases[] = {
        {"quarter to three quarters", 16, 0, 32, 32, 0x4000, 0, 0xC000, 0x10000},
        {"mirrored", 16, 0, -32, 32, 0xC000, 0, 0x4000, 0x10000},
        {"mirrored vertically", 0, 8, 64, -8, 0, 0x8000, 0x10000, 0x4000},
        // Past the image the coordinates run on past [0, 1]; nothing wraps.
        {"three lengths right", 16 + 3 * 64, 0, 32, 32, 0x34000, 0, 0x3C000, 0x10000},
        {"two lengths left", 16 - 2 * 64, -64, 32, 32, -0x1C000, -0x20000, -0x14000, -0x10000},
        {"mirrored across the left edge", -16, 0, -32, 32, 0x4000, 0, -0x4000, 0x10000},
    };
    for (const auto& c : cases) {
        ASSERT_EQ(trap([&] { s->setCrop(c.x, c.y, c.w, c.h); }), KErrNone);
        int32_t edges[4] = {};
        ASSERT_TRUE(s->computeCropCoords(edges[0], edges[1], edges[2], edges[3])) << c.what;
        EXPECT_EQ(std::vector<int32_t>(edges, edges + 4), (std::vector<int32_t>{c.left, c.top, c.right, c.bottom}))
            << c.what;
    }
    int32_t e[4];
    ASSERT_EQ(trap([&] { s->setCrop(5, 5, 0, 10); }), KErrNone);
    EXPECT_FALSE(s->computeCropCoords(e[0], e[1], e[2], e[3]));
    EXPECT_FALSE(sprite()->computeCropCoords(e[0], e[1], e[2], e[3]));
    const float nowhere[4] = {std::numeric_limits<float>::quiet_NaN(), 0, 16, 16};
    s->applyAnimatedProperty(kPropertyCrop, 4, nowhere);
    EXPECT_FALSE(s->computeCropCoords(e[0], e[1], e[2], e[3]));
}

TEST_F(SpriteTest, CropAnimationRoundsAndClampsTheSize)
{
    const struct {
        float roundIn;
        int32_t low, high, expected;
    } rounding[] = {
        {2.5f, 0, 10, 3}, {-2.5f, -10, 10, -3}, {3e9f, 0, 100, 100}, {-1.0f, 0, 100, 0},
        {-3e9f, INT32_MIN, INT32_MAX, INT32_MIN}, {0.49999997f, -5, 5, 1}, // the half is added in float
    };
    for (const auto& c : rounding)
        EXPECT_EQ(roundClamp(c.roundIn, c.low, c.high), c.expected) << c.roundIn;

    CkwSprite* s = sprite();
    EXPECT_TRUE(s->isAnimatable(kPropertyCrop));
    EXPECT_TRUE(s->isAnimatable(kPropertyAlpha));
    EXPECT_FALSE(s->isAnimatable(kPropertyColor));
    const float crop[4] = {1.25f, -2.5f, 5000.7f, -3.5f};
    s->applyAnimatedProperty(kPropertyCrop, 4, crop);
    EXPECT_EQ(s->getCropX(), 1.25f);
    EXPECT_EQ(s->getCropY(), -2.5f);
    EXPECT_EQ(s->getCropWidth(), 1024.0f);
    EXPECT_EQ(s->getCropHeight(), -4.0f);
}

TEST_F(SpriteTest, SpritesLoadFromTheirRecordAndDuplicate)
{
    CkwImage2D* img = blank(8, 4);
    CkwImage2D* stageset = hold(new CkwStageset);
    PlainNode* notAppearance = node(kClassGroup);
    auto* appearance = hold(new CkwAppearance);
    const auto record = [](const std::function<void(M3gSpriteFields&)>& change) {
        M3gSpriteFields f;
        f.node.transformable.object.userId = 77;
        f.image = 2;
        f.appearance = 3;
        f.scaled = true;
        f.crop = {1, 2, -3, 4};
        change(f);
        return m3gSpriteRecord(f);
    };
    M3gRecordWriter badScaled;
    m3gWriteNode(badScaled, {});
    badScaled.objectIndex(2).objectIndex(3).byte(2);
    const struct {
        const char* what;
        M3gRecord record;
        int32_t code;
    } cases[] = {
        {"good", record([](auto&) {}), KErrNone},
        {"no image", record([](auto& f) { f.image = 0; }), KErrCorruptData},
        {"a stageset", record([](auto& f) { f.image = 4; }), KErrCorruptData},
        {"no appearance", record([](auto& f) { f.appearance = 0; }), KErrCorruptData},
        {"a group as appearance", record([](auto& f) { f.appearance = 5; }), KErrCorruptData},
        {"scaled byte 2", badScaled.record(kM3gTypeSprite), KErrIndexOutOfRange},
        {"crop 1025 wide", record([](auto& f) { f.crop[2] = 1025; }), KErrCorruptData},
        {"crop -1025 high", record([](auto& f) { f.crop[3] = -1025; }), KErrCorruptData},
    };
    CkwSprite* loaded = nullptr;
    for (const auto& c : cases) {
        CkwSprite* s = sprite();
        EXPECT_EQ(readRecord(*s, c.record, {img, appearance, stageset, notAppearance}), c.code) << c.what;
        if (loaded == nullptr)
            loaded = s;
    }
    EXPECT_EQ(loaded->getUserID(), 77);
    EXPECT_EQ(loaded->getImage(), img);
    EXPECT_EQ(loaded->getAppearance(), appearance);
    EXPECT_TRUE(loaded->isScaled());
    EXPECT_EQ(loaded->getCropWidth(), -3.0f);
    CkwObject3D* references[3] = {};
    EXPECT_EQ(loaded->getReferences(3, references), 2);
    EXPECT_EQ(references[1], appearance);

    CkwSprite* copy = nullptr;
    ASSERT_EQ(trap([&] { copy = hold(static_cast<CkwSprite*>(loaded->duplicate())); }), KErrNone);
    EXPECT_EQ(copy->getImage(), img);
    EXPECT_EQ(copy->getAppearance(), appearance);
    EXPECT_TRUE(copy->isScaled());
    EXPECT_EQ(copy->getCropX(), 1.0f);
    EXPECT_EQ(copy->getCropHeight(), 4.0f);
    EXPECT_EQ(copy->getUserID(), 77);
}

} // namespace
