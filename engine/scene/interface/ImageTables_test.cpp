// The Image2D, Stageset, Texture2D and Sprite3D tables through the public
// interface: the argument checks before the classes are called, the results
// the classes' refusals map to, and the handles the getters give.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>

#include "engine/core/interface/EngineHandle.h"
#include "engine/core/interface/IkwEngine.h"
#include "engine/core/interface/InterfaceIds.h"
#include "engine/core/interface/InterfaceMetadata.h"
#include "engine/core/runtime/EngineErrors.h"
#include "engine/scene/CkwImage2D.h"
#include "engine/scene/interface/ImageTables.h"

namespace {

const EngineResult kIllegal = mapLeaveCode(KErrIllegalArgument);
const EngineResult kNull = mapLeaveCode(KErrNullArgument);

class ImageTablesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(initEngineApi(&m_root), 0);
        ASSERT_EQ(api().initialize(m_root, nullptr, nullptr), 0);
        ASSERT_EQ(api().setOption(kOptionTrackHandles), 0);
    }
    void TearDown() override
    {
        for (EngineHandle* h : m_handles)
            unknownRelease(h);
        api().release(m_root);
    }
    const IkwEngineTable& api() const { return *m_root->table; }
    EngineHandle* make(uint32_t iid)
    {
        EngineHandle* h = nullptr;
        EXPECT_EQ(api().createEngineObject(iid, &h), 0);
        m_handles.push_back(h);
        return h;
    }
    EngineHandle* keep(EngineHandle* h)
    {
        m_handles.push_back(h);
        return h;
    }
    // An immutable RGB image of the size.
    EngineHandle* image(uint32_t width, uint32_t height)
    {
        EngineHandle* h = make(kIidImage2D);
        EXPECT_EQ(tableOf<IkwImage2DTable>(h).initEx(h, kImageFormatRgb, width, height, 1), 0);
        return h;
    }

    IkwEngine* m_root = nullptr;
    std::vector<EngineHandle*> m_handles;
};

TEST_F(ImageTablesTest, RowsCarryTheImageTables)
{
    const struct {
        uint32_t iid;
        const void* table;
    } rows[] = {{kIidImage2D, &kImage2DTable}, {kIidStageset, &kStagesetTable}, {kIidTexture2D, &kTexture2DTable},
                {kIidSprite3D, &kSprite3DTable}};
    for (const auto& r : rows) {
        EXPECT_EQ(interfaceTable(*interfaceById(r.iid)), r.table) << r.iid;
        EngineHandle* h = make(r.iid);
        EXPECT_EQ(h->table, r.table);
        EXPECT_EQ(api().getObjectType(h), r.iid);
    }
    // A stageset serves as an Image2D; a texture is a transformable, not a node.
    EngineHandle* s = make(kIidStageset);
    EngineHandle* q = nullptr;
    EXPECT_EQ(unknownQueryInterface(s, kIidImage2D, &q), 0);
    keep(q);
    EngineHandle* t = make(kIidTexture2D);
    EXPECT_EQ(unknownQueryInterface(t, kIidNode, &q), kResultNotSupported);
    EXPECT_EQ(unknownQueryInterface(t, kIidTransformable, &q), 0);
    keep(q);
}

TEST_F(ImageTablesTest, ImageEntriesCheckTheirArgumentsInOrder)
{
    EngineHandle* h = make(kIidImage2D);
    const auto& i = tableOf<IkwImage2DTable>(h);
    const uint8_t pixels[12] = {0x12, 0x34, 0x56, 0x78, 1, 2, 3, 4, 5, 6, 7, 8};
    const struct {
        const char* what;
        std::function<EngineResult()> call;
        EngineResult result;
    } cases[] = {
        {"init format 101", [&] { return i.init(h, 101, 1, 1); }, kIllegal},
        {"init width 0", [&] { return i.init(h, kImageFormatRgb, 0, 1); }, kIllegal},
        {"init height 2^31", [&] { return i.init(h, kImageFormatRgb, 1, 0x80000000u); }, kIllegal},
        {"init 16384 wide", [&] { return i.init(h, kImageFormatRgb, 16384, 1); }, mapLeaveCode(KErrNoMemory)},
        {"pixels null", [&] { return i.initWithPixels(h, kImageFormatRgba, 1, 1, 4, nullptr); }, kNull},
        {"pixels short", [&] { return i.initWithPixels(h, kImageFormatRgba, 1, 1, 3, pixels); }, kIllegal},
        {"palette null", [&] { return i.initWithPalette(h, kImageFormatRgb, 1, 1, 1, pixels, 3, nullptr); }, kNull},
        {"palette empty", [&] { return i.initWithPalette(h, kImageFormatRgb, 1, 1, 1, pixels, 0, pixels); }, kIllegal},
        {"palette", [&] { return i.initWithPalette(h, kImageFormatRgb, 2, 1, 2, pixels, 6, pixels + 4); }, 0},
        {"set on a palette image", [&] { return i.set(h, 0, 0, 1, 1, 3, pixels); }, mapLeaveCode(KErrIllegalState)},
        {"pixels", [&] { return i.initWithPixels(h, kImageFormatRgba, 1, 1, 4, pixels); }, 0},
        {"blank", [&] { return i.init(h, kImageFormatRgba, 2, 2); }, 0},
        {"set x < 0", [&] { return i.set(h, -1, 0, 1, 1, 4, pixels); }, kIllegal},
        {"set height 0", [&] { return i.set(h, 0, 0, 1, 0, 4, pixels); }, kIllegal},
        {"set null", [&] { return i.set(h, 0, 0, 1, 1, 4, nullptr); }, kNull},
        {"set beyond", [&] { return i.set(h, 1, 1, 2, 1, 8, pixels); }, kIllegal},
        {"set", [&] { return i.set(h, 1, 1, 1, 1, 4, pixels); }, 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.call(), c.result) << c.what;
    uint32_t value = 0;
    i.getFormat(h, &value);
    EXPECT_EQ(value, uint32_t(kImageFormatRgba));
    i.getHeight(h, &value);
    EXPECT_EQ(value, 2u);
    uint8_t isMutable = 0;
    i.isMutable(h, &isMutable);
    EXPECT_EQ(isMutable, 1);
    void* plane = nullptr;
    i.getPixels(h, &plane);
    EXPECT_EQ(static_cast<uint16_t*>(plane)[3], 0x11AA);
    i.getAlpha(h, &plane);
    EXPECT_EQ(static_cast<uint8_t*>(plane)[3], 0x78);
    i.getPalette(h, &plane);
    EXPECT_EQ(plane, nullptr);
}

TEST_F(ImageTablesTest, StagesetTextureAndSpriteEntriesCheckBeforeTheClasses)
{
    EngineHandle* s = make(kIidStageset);
    const auto& st = tableOf<IkwStagesetTable>(s);
    EngineHandle* t = make(kIidTexture2D);
    const auto& tx = tableOf<IkwTexture2DTable>(t);
    EngineHandle* sp = make(kIidSprite3D);
    const auto& spr = tableOf<IkwSprite3DTable>(sp);
    EngineHandle* square = image(64, 32);
    EngineHandle* odd = image(48, 32);
    EngineHandle* group = make(kIidGroup);
    const uint8_t data[10] = {};
    const struct {
        const char* what;
        std::function<EngineResult()> call;
        EngineResult result;
    } cases[] = {
        {"stageset width 0", [&] { return st.init(s, 0, 1); }, kIllegal},
        {"stageset values null", [&] { return st.initWithValues(s, 1, 1, 5, nullptr); }, kNull},
        {"stageset values short", [&] { return st.initWithValues(s, 2, 1, 9, data); }, kIllegal},
        {"stageset values", [&] { return st.initWithValues(s, 2, 1, 10, data); }, 0},
        {"scale negative", [&] { return st.setParam1(s, -0.5f); }, kIllegal},
        {"scale NaN", [&] { return st.setParam1(s, std::numeric_limits<float>::quiet_NaN()); }, mapLeaveCode(KErrInvalidFloat)},
        {"scale -0", [&] { return st.setParam1(s, -0.0f); }, 0},
        {"offset negative", [&] { return st.setParam2(s, -3.0f); }, 0},
        {"texture null", [&] { return tx.init(t, nullptr); }, kNull},
        {"texture 48 wide", [&] { return tx.setImage(t, odd); }, kIllegal},
        {"texture a group", [&] { return tx.setImage(t, group); }, kIllegal},
        {"texture", [&] { return tx.init(t, square); }, 0},
        {"blending 229", [&] { return tx.setBlending(t, 229); }, kIllegal},
        {"wrapping 242", [&] { return tx.setWrapping(t, 240, 242); }, kIllegal},
        {"filtering 208, 208", [&] { return tx.setFiltering(t, 208, 208); }, kIllegal},
        {"filtering 208, 209", [&] { return tx.setFiltering(t, 208, 209); }, 0},
        {"sprite null image", [&] { return spr.init(sp, 1, nullptr, nullptr); }, kNull},
        {"sprite a group as appearance", [&] { return spr.init(sp, 1, square, group); }, kIllegal},
        {"sprite", [&] { return spr.init(sp, 0x100, square, nullptr); }, 0},
        {"sprite set null", [&] { return spr.setImage(sp, nullptr); }, kNull},
        {"crop 1025", [&] { return spr.setCrop(sp, 0, 0, 1025, 1); }, kIllegal},
        {"crop mirrored", [&] { return spr.setCrop(sp, 3, -4, -1024, 7); }, 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.call(), c.result) << c.what;

    float value = 1.0f;
    st.getParam1(s, &value);
    EXPECT_EQ(value, 0.0f);
    st.getParam2(s, &value);
    EXPECT_EQ(value, -3.0f);
    uint32_t word = 0;
    tx.setBlendColor(t, 0xFF123456);
    tx.getBlendColor(t, &word);
    EXPECT_EQ(word, 0x123456u);
    tx.getImageFilter(t, &word);
    EXPECT_EQ(word, 209u);
    EngineHandle* got = nullptr;
    EXPECT_EQ(tx.getImage(t, &got), 0);
    EXPECT_EQ(keep(got)->object, square->object);

    uint8_t scaled = 1;
    spr.isScaled(sp, &scaled); // only the low 8 bits of 0x100 count
    EXPECT_EQ(scaled, 0);
    int32_t crop[4] = {};
    spr.getCropX(sp, &crop[0]);
    spr.getCropY(sp, &crop[1]);
    spr.getCropWidth(sp, &crop[2]);
    spr.getCropHeight(sp, &crop[3]);
    EXPECT_EQ(std::vector<int32_t>(crop, crop + 4), (std::vector<int32_t>{3, -4, -1024, 7}));
    spr.setAppearance(sp, group); // another kind changes nothing
    EXPECT_EQ(spr.getAppearance(sp, &got), 0);
    EXPECT_EQ(got, nullptr);
    EXPECT_EQ(spr.setImage(sp, odd), 0);
    spr.getCropWidth(sp, &crop[2]);
    EXPECT_EQ(crop[2], 48);
}

} // namespace
